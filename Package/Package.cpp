#include "Package.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

#include "AnsiText.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef VM_TEST_HOOKS
int PackageAllocationsBeforeFailure = -1;
static bool InjectedFailure()
{
    if (PackageAllocationsBeforeFailure < 0)
        return false;
    if (PackageAllocationsBeforeFailure == 0)
        return true;
    --PackageAllocationsBeforeFailure;
    return false;
}
#else
static bool InjectedFailure() { return false; }
#endif

// The handle record, the directory and its index come zero-filled from the
// process heap; extracted blocks from the global heap, which their users free.
static void* PackageAlloc(uint64_t bytes)
{
    if (InjectedFailure() || bytes > SIZE_MAX || bytes == 0)
        return nullptr;
#ifdef _WIN32
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(bytes));
#else
    return calloc(1, static_cast<size_t>(bytes));
#endif
}

static void PackageFree(void* block)
{
    if (!block)
        return;
#ifdef _WIN32
    HeapFree(GetProcessHeap(), 0, block);
#else
    free(block);
#endif
}

static uint8_t* BlockAlloc(uint64_t bytes)
{
    if (InjectedFailure() || bytes > SIZE_MAX)
        return nullptr;
#ifdef _WIN32
    return static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes)));
#else
    return static_cast<uint8_t*>(calloc(1, static_cast<size_t>(bytes)));
#endif
}

void FreePackageBlock(void* block)
{
    if (!block)
        return;
#ifdef _WIN32
    GlobalFree(block);
#else
    free(block);
#endif
}

uint32_t PackageAdler32(const void* bytes, uint64_t length, uint32_t start)
{
    uLong sum = start;
    const Bytef* p = static_cast<const Bytef*>(bytes);
    const uInt chunk = 1u << 30;
    while (length > 0) {
        uInt n = length > chunk ? chunk : static_cast<uInt>(length);
        sum = adler32(sum, p, n);
        p += n;
        length -= n;
    }
    return static_cast<uint32_t>(sum);
}

uint64_t LocatePeHeader(const uint8_t* image, uint64_t size)
{
    // DOS header: 64 bytes, "MZ", e_lfarlc at least 0x40.
    if (!image || size < 64 || ReadLittle16(image) != 0x5A4D || ReadLittle16(image + 0x18) < 0x40)
        return 0;
    // NT headers: 248 bytes (the 32-bit form) with the "PE\0\0" signature.
    uint64_t pe = ReadLittle32(image + 0x3C);
    if (pe + 248 > size || ReadLittle32(image + pe) != 0x00004550u)
        return 0;
    return pe;
}

uint64_t LocateImageEnd(const uint8_t* image, uint64_t size)
{
    uint64_t pe = LocatePeHeader(image, size);
    if (pe == 0)
        return 0;
    uint16_t sections = ReadLittle16(image + pe + 6);
    uint16_t optionalSize = ReadLittle16(image + pe + 20);
    if (sections == 0)
        return 0;
    uint64_t last = pe + 24 + optionalSize + static_cast<uint64_t>(sections - 1) * 40;
    if (last + 40 > size)
        return 0;
    return static_cast<uint64_t>(ReadLittle32(image + last + 20)) + ReadLittle32(image + last + 16);
}

// --- plausibility of declared sizes -------------------------------------------

// The most bytes a zlib stream of `compressed` bytes can inflate to.  DEFLATE
// emits at most 258 bytes per match, and a match costs at least two bits (a
// length code and a distance code of one bit each); literals and block
// headers yield less per bit.  So each byte of deflate data gives at most
// 4 x 258 = 1032 bytes.  The zlib header and trailer (6 bytes) yield nothing,
// which leaves more than 6 KB of slack in this bound.  Sizes above it are lies
// of a damaged or crafted package, rejected before any memory is set aside.
constexpr uint64_t DeflateMostRatio = 1032;

static uint64_t MostInflated(uint32_t compressed)
{
    return static_cast<uint64_t>(compressed) * DeflateMostRatio;
}

// --- lookup index ----------------------------------------------------------

// Hash of a (parent, name) key with the name folded as the comparison folds
// it, so that names equal under AnsiCompareNoCase hash alike (FNV-1a).
static uint32_t KeyHash(int32_t parent, const char* name, size_t length)
{
    uint32_t hash = 2166136261u ^ static_cast<uint32_t>(parent);
    hash *= 16777619u;
    for (size_t i = 0; i < length; ++i) {
        hash ^= AnsiFold(static_cast<unsigned char>(name[i]));
        hash *= 16777619u;
    }
    return hash;
}

static bool SameKey(const PackageEntry& e, int32_t parent, const char* name, size_t length)
{
    return e.parent == parent && AnsiCompareNoCase(e.name, PackageNameLength(e), name, length) == 0;
}

// How far a (parent, name) group may sit from its home slot.  Ordinary names
// spread over a table at most half full, where runs stay in the low tens even
// for millions of entries; a longer run means the names were chosen to collide
// in the unseeded hash.  Such a directory is searched in the sorted lookup
// array instead, so that a crafted package cannot make opening it (done at
// every start of the setup and by every tool command) quadratic in its size.
constexpr uint32_t LookupProbeLimit = 64;

// Builds the hash table over the sorted lookup array: one slot per group of
// entries with the same (parent, folded name), holding the group's first
// position + 1; 0 marks a free slot.  Every group sits at most
// LookupProbeLimit slots after its home; when one would not, the table is
// dropped (hashSlots stays null) and lookups search the sorted array.
// Returns false when out of memory.
static bool BuildLookupHash(PackageHandle* h)
{
    uint32_t slots = 1;
    while (slots < h->lookupCount * 2u)
        slots <<= 1;
    h->hashSlots = static_cast<uint32_t*>(PackageAlloc(static_cast<uint64_t>(slots) * sizeof(uint32_t)));
    if (!h->hashSlots)
        return false;
    h->hashMask = slots - 1;
    for (uint32_t position = 0; position < h->lookupCount; ++position) {
        const PackageEntry& e = h->entries[h->lookup[position]];
        size_t length = PackageNameLength(e);
        if (position > 0 && SameKey(h->entries[h->lookup[position - 1]], e.parent, e.name, length))
            continue;   // not the first of its group
        uint32_t slot = KeyHash(e.parent, e.name, length) & h->hashMask;
        uint32_t distance = 0;
        while (h->hashSlots[slot] != 0) {
            if (++distance > LookupProbeLimit) {
                PackageFree(h->hashSlots);
                h->hashSlots = nullptr;
                h->hashMask = 0;
                return true;
            }
            slot = (slot + 1) & h->hashMask;
        }
        h->hashSlots[slot] = position + 1;
    }
    return true;
}

// The first lookup position at or after `from` whose entry does not order
// before (parent, component, start) in the lookup order: within a group that
// is the first entry at or after `start`.
static uint32_t LowerBound(const PackageHandle* handle, uint32_t from, int32_t parent, const char* component,
                           size_t length, uint32_t start)
{
    const PackageEntry* entries = handle->entries;
    const uint32_t* found = std::partition_point(
        handle->lookup + from, handle->lookup + handle->lookupCount, [&](uint32_t index) {
            const PackageEntry& e = entries[index];
            if (e.parent != parent)
                return e.parent < parent;
            int byName = AnsiCompareNoCase(e.name, PackageNameLength(e), component, length);
            if (byName != 0)
                return byName < 0;
            return index < start;
        });
    return static_cast<uint32_t>(found - handle->lookup);
}

// The first entry at or after `start` whose parent is `parent` and whose name
// equals the component (ignoring ASCII case), or -1.  Same answer as walking
// the directory from `start`: the hash (or, without one, a binary search)
// finds the group, and a binary search inside it the first entry from `start`.
static int64_t FindChild(const PackageHandle* handle, int32_t parent, const char* component,
                         size_t length, uint32_t start)
{
    if (handle->lookupCount == 0)
        return -1;
    const PackageEntry* entries = handle->entries;
    uint32_t first;   // the group's first lookup position
    if (handle->hashSlots) {
        uint32_t slot = KeyHash(parent, component, length) & handle->hashMask;
        for (uint32_t distance = 0;; ++distance) {
            uint32_t group = handle->hashSlots[slot];
            // Every group sits within LookupProbeLimit of its home.
            if (group == 0 || distance > LookupProbeLimit)
                return -1;
            if (SameKey(entries[handle->lookup[group - 1]], parent, component, length)) {
                first = group - 1;
                break;
            }
            slot = (slot + 1) & handle->hashMask;
        }
    } else {
        first = LowerBound(handle, 0, parent, component, length, 0);
    }
    // The group lists its entries in directory order; mostly its first one is
    // already at or after the start.
    uint32_t position = first;
    if (position < handle->lookupCount && handle->lookup[position] < start)
        position = LowerBound(handle, position, parent, component, length, start);
    if (position >= handle->lookupCount || !SameKey(entries[handle->lookup[position]], parent, component, length))
        return -1;
    return handle->lookup[position];
}

// --- open and close -------------------------------------------------------------

// Frees what a handle holds, as far as it got: the directory, its index, the
// view and the record itself.  A null handle is ignored.
static void ReleaseHandle(PackageHandle* h)
{
    if (!h)
        return;
    PackageFree(h->hashSlots);
    PackageFree(h->lookup);
    PackageFree(h->entries);
    if (h->view.base)
        CloseFileView(&h->view);
    PackageFree(h);
}

// Finds, verifies and decodes the archive in the mapped file of `h`, filling
// the handle as it goes.  Returns the code of OpenPackage.
static int DecodePackage(PackageHandle* h)
{
    // Every bound is checked against the size the listing reports, and never
    // beyond what is really mapped.
    uint64_t size = h->view.reportedSize;
    if (size > h->view.mappedSize)
        size = h->view.mappedSize;
    h->fileSize = static_cast<uint32_t>(size);
    const uint8_t* base = h->view.base;

    // The header stands at the image end; failing that, the first 4-byte
    // aligned occurrence of the magic value anywhere in the file is taken.
    uint64_t headerAt = LocateImageEnd(base, size);
    if (headerAt == 0 || headerAt + PackageHeaderSize > size || ReadLittle32(base + headerAt) != PackageMagic) {
        uint64_t limit = size & ~static_cast<uint64_t>(3);
        headerAt = limit;
        for (uint64_t p = 0; p + 4 <= limit; p += 4) {
            if (ReadLittle32(base + p) == PackageMagic) {
                headerAt = p;
                break;
            }
        }
        if (headerAt == limit)
            return PackageNoHeader;
    }

    if (headerAt + PackageHeaderSize > size)
        return PackageOutOfBounds;
    const uint8_t* header = base + headerAt;
    uint32_t dataSize = ReadLittle32(header + 4);
    uint32_t directorySize = ReadLittle32(header + 8);
    uint32_t entryCount = ReadLittle32(header + 16);
    uint32_t dataChecksum = ReadLittle32(header + 20);
    uint32_t compressedDirectoryChecksum = ReadLittle32(header + 24);
    uint64_t dataAt = headerAt + PackageHeaderSize;
    if (dataAt + dataSize > size || dataAt + dataSize + directorySize > size)
        return PackageOutOfBounds;

    h->header = header;
    h->data = base + dataAt;
    h->directory = h->data + dataSize;
    h->dataSize = dataSize;

    if (PackageAdler32(h->data, dataSize) != dataChecksum ||
        PackageAdler32(h->directory, directorySize) != compressedDirectoryChecksum)
        return PackageBadChecksum;

    // A directory larger than the format's 32-bit sizes cannot be held.
    uint64_t capacity = static_cast<uint64_t>(entryCount) * PackageEntryRecordSize;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // The fuzzer's sanitizer poisons every byte of a huge block; a smaller
    // limit keeps it fast without changing what the rest of the code sees.
    if (capacity > (64u << 20))
        return PackageNoMemory;
#endif
    if (capacity > 0xFFFFFFFFu)
        return PackageNoMemory;
    // Records that no stream of this size can hold are not allocated for.
    if (capacity > MostInflated(directorySize))
        return PackageBadDirectory;
    if (entryCount > 0) {
        h->entries = static_cast<PackageEntry*>(PackageAlloc(capacity));
        if (!h->entries)
            return PackageNoMemory;
    }
    uLongf produced = static_cast<uLongf>(capacity);
    Bytef empty = 0;
    int z = uncompress(h->entries ? reinterpret_cast<Bytef*>(h->entries) : &empty, &produced,
                       h->directory, directorySize);
    if (z != Z_OK)
        return PackageBadDirectory;
    // A shorter directory is accepted: the records it does not fill stay zero.
    h->entryCount = entryCount;

    // Records the stream did not fill are all zero: their empty names match no
    // path component, so only the filled ones are indexed.
    uint32_t filled = static_cast<uint32_t>((static_cast<uint64_t>(produced) + PackageEntryRecordSize - 1) / PackageEntryRecordSize);
    if (filled > 0) {
        h->lookup = static_cast<uint32_t*>(PackageAlloc(static_cast<uint64_t>(filled) * sizeof(uint32_t)));
        if (!h->lookup)
            return PackageNoMemory;
        for (uint32_t i = 0; i < filled; ++i)
            h->lookup[i] = i;
        std::sort(h->lookup, h->lookup + filled, PackageLookupOrder{h->entries});
        h->lookupCount = filled;
        if (!BuildLookupHash(h))
            return PackageNoMemory;
    }

    return PackageOpened;
}

int OpenPackage(const char* path, PackageHandle** out)
{
    PackageHandle* h = static_cast<PackageHandle*>(PackageAlloc(sizeof(PackageHandle)));
    int code = PackageNoMemory;
    if (h) {
        // The file-view codes are the package codes of the same failures.
        code = path ? OpenFileView(path, &h->view) : PackageCannotOpen;
        if (code == FileviewOk)
            code = DecodePackage(h);
        else
            h->view.base = nullptr;
    }
    if (code != PackageOpened) {
        ReleaseHandle(h);
        h = nullptr;
    }
    if (out)
        *out = h;
    else
        ReleaseHandle(h);
    return code;
}

void ClosePackage(PackageHandle* handle)
{
    ReleaseHandle(handle);
}

// --- lookup and extraction ------------------------------------------------------

const PackageEntry* FindPackageEntry(const PackageHandle* handle, const char* path)
{
    if (!handle || !path || handle->entryCount == 0)
        return nullptr;
    if (*path == '\0')
        return &handle->entries[0];

    int32_t wantedParent = 0;
    uint32_t start = 0;
    const char* p = path;
    for (;;) {
        const char* end = strchr(p, '\\');
        size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
        const char* next = end ? end + 1 : p + length;
        if (length == 1 && p[0] == '.')
            wantedParent = -1;   // "." is the root entry itself
        // An empty component, or one longer than a name field holds, matches nothing.
        if (length == 0 || length >= PackageNameSize)
            return nullptr;
        int64_t match = FindChild(handle, wantedParent, p, length, start);
        if (match < 0)
            return nullptr;
        const PackageEntry* entry = &handle->entries[match];
        if (*next == '\0')
            return entry;
        if (!(entry->attributes & PackageAttributeDirectory))
            return nullptr;
        wantedParent = static_cast<int32_t>(match);
        start = static_cast<uint32_t>(match);
        p = next;
    }
}

// Whether the entry's stream can be what its record says: it lies wholly
// inside the data region, and its size is one it can inflate to.  Checked
// before the block is allocated, so a record cannot make the reader set aside
// gigabytes for a stream of a few bytes.
static bool PlausibleStream(const PackageHandle* handle, const PackageEntry* entry)
{
    return static_cast<uint64_t>(entry->offset) + entry->compressedSize <= handle->dataSize &&
           entry->size <= MostInflated(entry->compressedSize);
}

// Inflates the entry's stream into `block` (size + 1 bytes) and checks it.
// Returns the code of ExtractPackageEntry.  As uncompress does, the stream
// must end (its own Adler-32 trailer checked) and bytes after its end are
// not read.  The Adler-32 of the content is the one inflate computed for
// that trailer: the content is not read a second time to compute it again.
static int InflateEntry(const PackageHandle* handle, const PackageEntry* entry, uint8_t* block)
{
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return ExtractNoMemory;
    stream.next_in = const_cast<Bytef*>(handle->data + entry->offset);
    stream.avail_in = entry->compressedSize;
    stream.next_out = block;
    stream.avail_out = entry->size;
    int z = inflate(&stream, Z_FINISH);
    uLong produced = stream.total_out;
    uLong content = stream.adler;
    inflateEnd(&stream);
    if (z == Z_MEM_ERROR)
        return ExtractNoMemory;
    if (z != Z_STREAM_END || produced != entry->size)
        return ExtractBadStream;
    if (content != entry->checksum)
        return ExtractBadChecksum;
    block[entry->size] = '\0';
    return ExtractOk;
}

// Checks, allocates and inflates; the entry was found in the handle's directory.
static int ExtractFound(const PackageHandle* handle, const PackageEntry* entry, uint8_t** data, uint32_t* size)
{
    if (!PlausibleStream(handle, entry))
        return ExtractBadStream;
    uint8_t* block = BlockAlloc(static_cast<uint64_t>(entry->size) + 1);
    if (!block)
        return ExtractNoMemory;
    int code = InflateEntry(handle, entry, block);
    if (code == ExtractOk && size)
        *size = entry->size;
    if (code == ExtractOk && data)
        *data = block;
    else
        FreePackageBlock(block);
    return code;
}

int ExtractPackageEntry(const PackageHandle* handle, const char* path, uint8_t** data, uint32_t* size)
{
    const PackageEntry* entry = FindPackageEntry(handle, path);
    if (!entry)
        return ExtractNotFound;
    return ExtractFound(handle, entry, data, size);
}

int ExtractPackageRecordInto(const PackageHandle* handle, const PackageEntry* entry, uint8_t* buffer,
                             uint64_t capacity)
{
    if (!handle || !entry || entry < handle->entries || entry >= handle->entries + handle->entryCount)
        return ExtractNotFound;
    if (!PlausibleStream(handle, entry))
        return ExtractBadStream;
    if (!buffer || capacity < static_cast<uint64_t>(entry->size) + 1)
        return ExtractNoMemory;
    return InflateEntry(handle, entry, buffer);
}

uint32_t PackageEntrySize(const PackageHandle* handle, const char* path)
{
    const PackageEntry* entry = FindPackageEntry(handle, path);
    return entry ? entry->size : PackageEntryNotFound;
}
