#include "Package.h"

#include <algorithm>
#include <new>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

#include "AnsiText.h"
#include "BlockInflater.h"

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

// libdeflate's Adler-32 uses the processor's vector instructions where it
// has them (SSE2, AVX2): several times zlib's speed, which matters for the
// check of a whole setup file at start-up.
uint32_t PackageAdler32(const void* bytes, uint64_t length, uint32_t start)
{
    uint32_t sum = start;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    const size_t chunk = size_t(1) << 30;
    while (length > 0) {
        size_t n = length > chunk ? chunk : static_cast<size_t>(length);
        sum = libdeflate_adler32(sum, p, n);
        p += n;
        length -= n;
    }
    return sum;
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

// --- windows of the file ----------------------------------------------------------

#ifdef VM_TEST_HOOKS
uint64_t PackageWindowBytes = 0;
#endif

// The largest stream the one-block path maps whole: more than any window,
// far less than a 32-bit process can map.
constexpr uint64_t OneBlockMostBytes = 64u << 20;

// What a window of a package opened now maps past the byte asked for.
static uint64_t WindowBytesOfNewHandle()
{
#ifdef VM_TEST_HOOKS
    if (PackageWindowBytes == 0) {
        const char* forced = getenv("VELLMARK_TEST_PACKAGE_WINDOW");
        if (forced && *forced)
            return strtoull(forced, nullptr, 10) > 0 ? strtoull(forced, nullptr, 10) : 1;
    }
    if (PackageWindowBytes > 0)
        return PackageWindowBytes;
#endif
    return FileWindowDefaultBytes;
}

// The window an extraction reads through: the handle's own when no other
// extraction holds it (it stays mapped for the next one, so that extracting
// many small entries in a row maps the file once per window), otherwise one
// of the extraction's own, unmapped when it ends.
class WindowLease {
public:
    explicit WindowLease(const PackageHandle* handle) : handle_(const_cast<PackageHandle*>(handle))
    {
        bool expected = false;
        shared_ = handle_->windowTaken.compare_exchange_strong(expected, true, std::memory_order_acquire);
    }
    ~WindowLease()
    {
        if (shared_)
            handle_->windowTaken.store(false, std::memory_order_release);
        else
            UnmapFileWindow(&own_);
    }
    WindowLease(const WindowLease&) = delete;
    WindowLease& operator=(const WindowLease&) = delete;

    FileWindow* Window() { return shared_ ? &handle_->window : &own_; }

private:
    PackageHandle* handle_;
    bool shared_ = false;
    FileWindow own_ = {};
};

// The bytes of [offset, offset + length) of the file that the window holds
// from `offset` on, at most `length` and at least one: the window is moved
// when it does not hold `offset`.  null when they lie outside the file.
static const uint8_t* WindowPiece(const PackageHandle* h, FileWindow* window, uint64_t offset, uint64_t length,
                                  uint64_t* pieceLength)
{
    uint64_t available = FileWindowAvailable(window, offset);
    if (available == 0) {
        if (!MapFileWindow(&h->view, window, offset, 1, h->windowBytes))
            return nullptr;
        available = FileWindowAvailable(window, offset);
    }
    *pieceLength = available < length ? available : length;
    return window->base + (offset - window->offset);
}

// Gives the stream its next input: the piece of [offset, offset + length)
// of the file that the window holds from `offset` on (at most 1 GB, what
// avail_in can count); `*fed` grows by its length.  false when the file
// cannot be mapped there.
static bool FeedStreamFromWindow(const PackageHandle* h, FileWindow* window, uint64_t offset, uint64_t length,
                                 z_stream* stream, uint64_t* fed)
{
    uint64_t n = 0;
    const uint8_t* piece = WindowPiece(h, window, offset, length, &n);
    if (!piece)
        return false;
    if (n > 0x40000000u)
        n = 0x40000000u;
    stream->next_in = const_cast<Bytef*>(piece);
    stream->avail_in = static_cast<uInt>(n);
    *fed += n;
    return true;
}

// Copies `length` bytes at `offset` of the file, across window edges.
static bool ReadFileBytes(const PackageHandle* h, FileWindow* window, uint64_t offset, void* out, uint64_t length)
{
    uint8_t* to = static_cast<uint8_t*>(out);
    while (length > 0) {
        uint64_t n = 0;
        const uint8_t* piece = WindowPiece(h, window, offset, length, &n);
        if (!piece || n == 0)
            return false;
        memcpy(to, piece, static_cast<size_t>(n));
        to += n;
        offset += n;
        length -= n;
    }
    return true;
}

// The Adler-32 of [offset, offset + length) of the file, read window by
// window; `*done` grows by the bytes read and is reported to `progress`.
static bool FileAdler32(const PackageHandle* h, FileWindow* window, uint64_t offset, uint64_t length,
                        uint32_t* sum, PackageProgress progress, void* context, uint64_t* done, uint64_t total)
{
    uint32_t adler = 1;
    while (length > 0) {
        uint64_t n = 0;
        const uint8_t* piece = WindowPiece(h, window, offset, length, &n);
        if (!piece || n == 0)
            return false;
        adler = PackageAdler32(piece, n, adler);
        offset += n;
        length -= n;
        *done += n;
        if (progress)
            progress(context, *done, total);
    }
    *sum = adler;
    return true;
}

// LocateImageEnd read from the file: the DOS header, the PE header and the
// last section header, each where the one before says.  0 as there.
static uint64_t FileImageEnd(const PackageHandle* h, FileWindow* window, uint64_t size)
{
    uint8_t dos[64];
    if (size < 64 || !ReadFileBytes(h, window, 0, dos, sizeof dos) || ReadLittle16(dos) != 0x5A4D ||
        ReadLittle16(dos + 0x18) < 0x40)
        return 0;
    uint64_t pe = ReadLittle32(dos + 0x3C);
    uint8_t nt[24];
    if (pe + 248 > size || !ReadFileBytes(h, window, pe, nt, sizeof nt) || ReadLittle32(nt) != 0x00004550u)
        return 0;
    uint16_t sections = ReadLittle16(nt + 6);
    uint16_t optionalSize = ReadLittle16(nt + 20);
    if (sections == 0)
        return 0;
    uint64_t last = pe + 24 + optionalSize + static_cast<uint64_t>(sections - 1) * 40;
    uint8_t section[8];
    if (last + 40 > size || !ReadFileBytes(h, window, last + 16, section, sizeof section))
        return 0;
    return static_cast<uint64_t>(ReadLittle32(section + 4)) + ReadLittle32(section);
}

// The first 4-byte aligned occurrence of the magic value in the file, or
// `size & ~3` when there is none.  Windows start at multiples of the
// granularity, so an aligned value never straddles one of their edges
// unless the window is cut short; then it is copied.
static uint64_t SearchMagic(const PackageHandle* h, FileWindow* window, uint64_t size)
{
    uint64_t limit = size & ~static_cast<uint64_t>(3);
    uint64_t p = 0;
    while (p + 4 <= limit) {
        uint64_t n = 0;
        const uint8_t* piece = WindowPiece(h, window, p, limit - p, &n);
        if (!piece)
            return limit;
        if (n < 4) {
            uint8_t value[4];
            if (!ReadFileBytes(h, window, p, value, 4))
                return limit;
            if (ReadLittle32(value) == PackageMagic)
                return p;
            p += 4;
            continue;
        }
        uint64_t whole = n & ~static_cast<uint64_t>(3);
        for (uint64_t k = 0; k < whole; k += 4) {
            if (ReadLittle32(piece + k) == PackageMagic)
                return p + k;
        }
        p += whole;
    }
    return limit;
}

// --- inflating a stream of the file --------------------------------------------

// Where the inflated bytes go: Refill gives zlib new output space when it has
// filled what it had, and false when there is to be no more.
class InflateOutput {
public:
    virtual ~InflateOutput() = default;
    virtual bool Refill(z_stream* stream) = 0;
    bool stopped = false;   // set with a false Refill that ends the extraction
};

// Inflates the zlib stream at [offset, offset + length) of the file, read
// through `window`, until it ends.  The output space is the stream's own to
// begin with and refilled by `output`.  As uncompress does, the stream must
// end (its Adler-32 trailer checked) and bytes after its end are not read.
// Returns ExtractOk, ExtractNoMemory, ExtractBadStream (damaged, cut short,
// or more output than the space given), or ExtractStopped (the output
// stopped it).
static int InflateFileStream(const PackageHandle* h, FileWindow* window, uint64_t offset, uint64_t length,
                             z_stream* stream, InflateOutput* output)
{
    uint64_t fed = 0;
    for (;;) {
        if (stream->avail_in == 0 && fed < length &&
            !FeedStreamFromWindow(h, window, offset + fed, length - fed, stream, &fed))
            return ExtractBadStream;
        int z = inflate(stream, Z_NO_FLUSH);
        if (z == Z_STREAM_END)
            return ExtractOk;
        if (z == Z_MEM_ERROR)
            return ExtractNoMemory;
        if (z != Z_OK && z != Z_BUF_ERROR)
            return ExtractBadStream;
        if (stream->avail_in == 0 && fed < length)
            continue;   // the next piece of input first
        if (stream->avail_out == 0) {
            // Full: more space, or the stream says more than there is room
            // for (which inflate tells by making no more progress).
            if (output->Refill(stream))
                continue;
            if (output->stopped)
                return ExtractStopped;
            if (z == Z_BUF_ERROR)
                return ExtractBadStream;
            continue;
        }
        if (stream->avail_in == 0)
            return ExtractBadStream;   // cut short
    }
}

// Output into one block whose size is all there is.
class FixedOutput : public InflateOutput {
public:
    bool Refill(z_stream*) override { return false; }
};

// --- open and close -------------------------------------------------------------

// Frees what a handle holds, as far as it got: the directory, its index, the
// window, the view and the record itself.  A null handle is ignored.
static void ReleaseHandle(PackageHandle* h)
{
    if (!h)
        return;
    PackageFree(h->hashSlots);
    PackageFree(h->lookup);
    PackageFree(h->entries);
    UnmapFileWindow(&h->window);
    if (h->view.file || h->view.descriptor >= 0)
        CloseFileView(&h->view);
    h->~PackageHandle();
    PackageFree(h);
}

// Inflates the compressed directory into `capacity` bytes at `records` (as
// uncompress does: the stream must end within them) and returns the bytes
// produced through `produced`.  false when it does not decompress.
static bool InflateDirectory(const PackageHandle* h, FileWindow* window, uint8_t* records, uint64_t capacity,
                             uint64_t* produced)
{
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return false;
    // uncompress gives an empty directory one byte to detect a stream that
    // holds more than nothing; so does this.
    Bytef empty = 0;
    stream.next_out = records ? records : &empty;
    stream.avail_out = records ? static_cast<uInt>(capacity) : 1;
    FixedOutput output;
    int code = InflateFileStream(h, window, h->directoryOffset, h->directorySize, &stream, &output);
    *produced = stream.total_out;
    inflateEnd(&stream);
    return code == ExtractOk && (records || *produced == 0);
}

// Finds, verifies and decodes the archive in the file of `h`, filling the
// handle as it goes.  Returns the code of OpenPackage.
static int DecodePackage(PackageHandle* h, PackageProgress progress, void* context)
{
    // Every bound is checked against the size the listing reports, and never
    // beyond what the file really holds.
    uint64_t size = h->view.reportedSize;
    if (size > h->view.size)
        size = h->view.size;
    h->fileSize = static_cast<uint32_t>(size);
    FileWindow* window = &h->window;

    // The header stands at the image end; failing that, the first 4-byte
    // aligned occurrence of the magic value anywhere in the file is taken.
    uint64_t headerAt = FileImageEnd(h, window, size);
    uint8_t header[PackageHeaderSize];
    if (headerAt == 0 || headerAt + PackageHeaderSize > size || !ReadFileBytes(h, window, headerAt, header, 4) ||
        ReadLittle32(header) != PackageMagic) {
        headerAt = SearchMagic(h, window, size);
        if (headerAt == (size & ~static_cast<uint64_t>(3)))
            return PackageNoHeader;
    }

    if (headerAt + PackageHeaderSize > size || !ReadFileBytes(h, window, headerAt, header, PackageHeaderSize))
        return PackageOutOfBounds;
    uint32_t dataSize = ReadLittle32(header + 4);
    uint32_t directorySize = ReadLittle32(header + 8);
    uint32_t entryCount = ReadLittle32(header + 16);
    uint32_t dataChecksum = ReadLittle32(header + 20);
    uint32_t compressedDirectoryChecksum = ReadLittle32(header + 24);
    uint64_t dataAt = headerAt + PackageHeaderSize;
    if (dataAt + dataSize > size || dataAt + dataSize + directorySize > size)
        return PackageOutOfBounds;

    h->headerOffset = headerAt;
    h->dataOffset = dataAt;
    h->directoryOffset = dataAt + dataSize;
    h->dataSize = dataSize;
    h->directorySize = directorySize;

    // One pass over the file, window by window: the data region, then the
    // compressed directory right after it.
    uint64_t done = 0, total = static_cast<uint64_t>(dataSize) + directorySize;
    uint32_t dataSum = 0, directorySum = 0;
    if (!FileAdler32(h, window, h->dataOffset, dataSize, &dataSum, progress, context, &done, total) ||
        !FileAdler32(h, window, h->directoryOffset, directorySize, &directorySum, progress, context, &done, total))
        return PackageCannotMap;
    if (dataSum != dataChecksum || directorySum != compressedDirectoryChecksum)
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
    uint64_t produced = 0;
    if (!InflateDirectory(h, window, reinterpret_cast<uint8_t*>(h->entries), capacity, &produced))
        return PackageBadDirectory;
    // A shorter directory is accepted: the records it does not fill stay zero.
    h->entryCount = entryCount;

    // Records the stream did not fill are all zero: their empty names match no
    // path component, so only the filled ones are indexed.
    uint32_t filled = static_cast<uint32_t>((produced + PackageEntryRecordSize - 1) / PackageEntryRecordSize);
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

int OpenPackageWithProgress(const char* path, PackageHandle** out, PackageProgress progress, void* context)
{
    void* record = PackageAlloc(sizeof(PackageHandle));
    PackageHandle* h = record ? new (record) PackageHandle() : nullptr;
    int code = PackageNoMemory;
    if (h) {
        h->view.descriptor = -1;
        h->windowBytes = WindowBytesOfNewHandle();
        // Forced small windows keep the streams larger than a window on the
        // path that crosses window edges.
        h->oneBlockBytes = h->windowBytes == FileWindowDefaultBytes ? OneBlockMostBytes : h->windowBytes;
        // The file-view codes are the package codes of the same failures.
        code = path ? OpenFileView(path, &h->view) : PackageCannotOpen;
        if (code == FileviewOk)
            code = DecodePackage(h, progress, context);
        else
            h->view = FileView{nullptr, nullptr, -1, 0, 0, 1};
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

int OpenPackage(const char* path, PackageHandle** out)
{
    return OpenPackageWithProgress(path, out, nullptr, nullptr);
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
    // A stream that one window can hold is inflated in one call of the
    // one-block decoder (BlockInflater.h), the fastest way there is.
    if (entry->compressedSize <= handle->oneBlockBytes) {
        WindowLease lease(handle);
        const uint8_t* stream = MapFileWindow(&handle->view, lease.Window(), handle->dataOffset + entry->offset,
                                              entry->compressedSize, handle->windowBytes);
        if (stream) {
            uint32_t content = 0;
            int code = InflateBlock(stream, entry->compressedSize, block, entry->size, &content);
            if (code == BlockNoMemory)
                return ExtractNoMemory;
            if (code != BlockInflated)
                return ExtractBadStream;
            if (content != entry->checksum)
                return ExtractBadChecksum;
            block[entry->size] = '\0';
            return ExtractOk;
        }
    }
    // Larger ones go through the window piece by piece.
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return ExtractNoMemory;
    stream.next_out = block;
    stream.avail_out = entry->size;
    FixedOutput output;
    int code;
    {
        WindowLease lease(handle);
        code = InflateFileStream(handle, lease.Window(), handle->dataOffset + entry->offset, entry->compressedSize,
                                 &stream, &output);
    }
    uLong produced = stream.total_out;
    uLong content = stream.adler;
    inflateEnd(&stream);
    if (code != ExtractOk)
        return code;
    if (produced != entry->size)
        return ExtractBadStream;
    if (content != entry->checksum)
        return ExtractBadChecksum;
    block[entry->size] = '\0';
    return ExtractOk;
}

// Output into the sink's buffers, never more than the entry's size.
class SinkOutput : public InflateOutput {
public:
    SinkOutput(PackageEntrySink* sink, uint32_t size) : sink_(sink), left_(size) {}

    // Hands the filled part of the current buffer to the sink.
    bool Flush(z_stream* stream)
    {
        if (!buffer_)
            return true;
        uint32_t length = given_ - stream->avail_out;
        uint8_t* buffer = buffer_;
        buffer_ = nullptr;
        left_ -= length;
        if (length > 0 && !sink_->Consume(buffer, length)) {
            stopped = true;
            return false;
        }
        return true;
    }

    bool Refill(z_stream* stream) override
    {
        if (!Flush(stream))
            return false;
        if (left_ == 0)
            return false;   // the size is reached: any more is a damaged stream
        uint32_t capacity = 0;
        uint8_t* buffer = sink_->NextBuffer(&capacity);
        if (!buffer || capacity == 0) {
            stopped = true;
            return false;
        }
        Begin(stream, buffer, capacity);
        return true;
    }

    // Hands zlib a buffer of the sink as its output space.
    void Begin(z_stream* stream, uint8_t* buffer, uint32_t capacity)
    {
        if (capacity > left_)
            capacity = left_;
        buffer_ = buffer;
        given_ = capacity;
        stream->next_out = buffer;
        stream->avail_out = capacity;
    }

private:
    PackageEntrySink* sink_;
    uint32_t left_;
    uint8_t* buffer_ = nullptr;
    uint32_t given_ = 0;
};

static bool InDirectory(const PackageHandle* handle, const PackageEntry* entry)
{
    return handle && entry && entry >= handle->entries && entry < handle->entries + handle->entryCount;
}

int StreamPackageRecord(const PackageHandle* handle, const PackageEntry* entry, PackageEntrySink* sink)
{
    if (!InDirectory(handle, entry) || !sink)
        return ExtractNotFound;
    if (!PlausibleStream(handle, entry))
        return ExtractBadStream;
    // An entry that fits the sink's first buffer, with a stream that one
    // window holds, is inflated in one call of the one-block decoder, as
    // ExtractPackageEntry does: most files of a product are such.
    uint8_t* first = nullptr;
    uint32_t firstCapacity = 0;
    if (entry->size > 0) {
        first = sink->NextBuffer(&firstCapacity);
        if (!first || firstCapacity == 0)
            return ExtractStopped;
        if (entry->size <= firstCapacity && entry->compressedSize <= handle->oneBlockBytes) {
            int code = ExtractBadStream;
            uint32_t content = 0;
            {
                WindowLease lease(handle);
                const uint8_t* piece = MapFileWindow(&handle->view, lease.Window(), handle->dataOffset + entry->offset,
                                                     entry->compressedSize, handle->windowBytes);
                if (piece) {
                    int block = InflateBlock(piece, entry->compressedSize, first, entry->size, &content);
                    code = block == BlockInflated ? ExtractOk : block == BlockNoMemory ? ExtractNoMemory : ExtractBadStream;
                }
            }
            if (code != ExtractOk)
                return code;
            if (!sink->Consume(first, entry->size))
                return ExtractStopped;
            return content == entry->checksum ? ExtractOk : ExtractBadChecksum;
        }
    }
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return ExtractNoMemory;
    // zlib starts on the buffer taken above (an empty entry asks for none).
    Bytef none = 0;
    stream.next_out = &none;
    stream.avail_out = 0;
    SinkOutput output(sink, entry->size);
    if (first)
        output.Begin(&stream, first, firstCapacity);
    int code;
    {
        WindowLease lease(handle);
        code = InflateFileStream(handle, lease.Window(), handle->dataOffset + entry->offset, entry->compressedSize,
                                 &stream, &output);
    }
    if (code == ExtractOk && !output.Flush(&stream))
        code = ExtractStopped;
    uLong produced = stream.total_out;
    uLong content = stream.adler;
    inflateEnd(&stream);
    if (code != ExtractOk)
        return code;
    if (produced != entry->size)
        return ExtractBadStream;
    return content == entry->checksum ? ExtractOk : ExtractBadChecksum;
}

// --- reading an entry at any offset --------------------------------------------------

// The bytes one step of the reader inflates (and the size of the part it keeps).
constexpr uint32_t ReaderPieceBytes = 64u << 10;

PackageEntryReader::PackageEntryReader(const PackageHandle* handle, const PackageEntry* entry)
    : handle_(handle), entry_(entry), state_(ExtractOk)
{
    if (!InDirectory(handle, entry)) {
        state_ = ExtractNotFound;
        return;
    }
    size_ = entry->size;
    if (!PlausibleStream(handle, entry))
        state_ = ExtractBadStream;
}

PackageEntryReader::~PackageEntryReader()
{
    if (stream_) {
        inflateEnd(static_cast<z_stream*>(stream_));
        PackageFree(stream_);
    }
    UnmapFileWindow(&window_);
    PackageFree(kept_);
    PackageFree(piece_);
}

// Starts a pass from the first byte of the stream.
int PackageEntryReader::Restart()
{
    if (!piece_) {
        piece_ = static_cast<uint8_t*>(PackageAlloc(ReaderPieceBytes));
        kept_ = static_cast<uint8_t*>(PackageAlloc(ReaderKeptBytes));
        stream_ = PackageAlloc(sizeof(z_stream));
        if (!piece_ || !kept_ || !stream_)
            return ExtractNoMemory;
    } else {
        inflateEnd(static_cast<z_stream*>(stream_));
        memset(stream_, 0, sizeof(z_stream));
    }
    if (inflateInit(static_cast<z_stream*>(stream_)) != Z_OK)
        return ExtractNoMemory;
    consumed_ = 0;
    pieceOffset_ = 0;
    pieceLength_ = 0;
    ++passes_;
    return ExtractOk;
}

// Inflates the piece after the current one; the first pieces fill the kept part.
int PackageEntryReader::Advance()
{
    z_stream* stream = static_cast<z_stream*>(stream_);
    uint64_t next = pieceOffset_ + pieceLength_;
    if (next >= size_)
        return ExtractBadStream;
    uint64_t want = size_ - next < ReaderPieceBytes ? size_ - next : ReaderPieceBytes;
    stream->next_out = piece_;
    stream->avail_out = static_cast<uInt>(want);
    while (stream->avail_out > 0) {
        if (stream->avail_in == 0 && consumed_ < entry_->compressedSize &&
            !FeedStreamFromWindow(handle_, &window_, handle_->dataOffset + entry_->offset + consumed_,
                                  entry_->compressedSize - consumed_, stream, &consumed_))
            return ExtractBadStream;
        int z = inflate(stream, Z_NO_FLUSH);
        if (z == Z_MEM_ERROR)
            return ExtractNoMemory;
        if (z == Z_STREAM_END)
            break;
        if (z != Z_OK && !(z == Z_BUF_ERROR && stream->avail_in == 0 && consumed_ < entry_->compressedSize))
            return ExtractBadStream;
    }
    if (stream->avail_out > 0)
        return ExtractBadStream;   // the stream ended before the size its record gives
    pieceOffset_ = next;
    pieceLength_ = static_cast<uint32_t>(want);
    if (next < ReaderKeptBytes) {
        uint64_t keep = ReaderKeptBytes - next < want ? ReaderKeptBytes - next : want;
        memcpy(kept_ + next, piece_, static_cast<size_t>(keep));
        if (next + keep > keptLength_)
            keptLength_ = static_cast<uint32_t>(next + keep);
    }
    return ExtractOk;
}

int PackageEntryReader::Read(uint64_t offset, void* out, uint32_t length)
{
    if (state_ != ExtractOk)
        return state_;
    if (offset > size_ || length > size_ - offset)
        return ExtractBadStream;
    uint8_t* to = static_cast<uint8_t*>(out);
    while (length > 0) {
        // From the kept part.
        if (offset < keptLength_) {
            uint64_t n = keptLength_ - offset < length ? keptLength_ - offset : length;
            memcpy(to, kept_ + offset, static_cast<size_t>(n));
            to += n;
            offset += n;
            length -= static_cast<uint32_t>(n);
            continue;
        }
        // From the current piece.
        if (stream_ && offset >= pieceOffset_ && offset < pieceOffset_ + pieceLength_) {
            uint64_t n = pieceOffset_ + pieceLength_ - offset < length ? pieceOffset_ + pieceLength_ - offset : length;
            memcpy(to, piece_ + (offset - pieceOffset_), static_cast<size_t>(n));
            to += n;
            offset += n;
            length -= static_cast<uint32_t>(n);
            continue;
        }
        // Behind the piece: from the start again.  Ahead: inflate forward.
        if (!stream_ || offset < pieceOffset_) {
            int code = Restart();
            if (code != ExtractOk)
                return state_ = code;
        }
        int code = Advance();
        if (code != ExtractOk)
            return state_ = code;
    }
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
    if (!InDirectory(handle, entry))
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
