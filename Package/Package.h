// The package archive: the payload appended to the setup executable.
//
// Layout of the file (all integers little-endian):
//   the executable image up to its image end (the end of its last section),
//   a 28-byte PackageHeader,
//   the data region (the zlib stream of every file entry),
//   the zlib-compressed PackageDirectory (entry count records of 284 bytes),
//   0 to 3 zero bytes that make the file length a multiple of 4.
// The directory is a tree: entry 0 is the root "."; every entry names its
// parent directory by index and stands after it.
#ifndef VELLMARK_PACKAGE_H
#define VELLMARK_PACKAGE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "AnsiText.h"
#include "FileView.h"
#include "LittleEndian.h"

constexpr uint32_t PackageMagic = 0x7C5D3E1Fu;
constexpr uint32_t PackageHeaderSize = 28;     // seven 32-bit fields
constexpr uint32_t PackageEntryRecordSize = 284;     // name[260] + six 32-bit fields
constexpr uint32_t PackageNameSize = 260;      // MAX_PATH: 259 characters and the terminator
constexpr uint32_t PackageAttributeDirectory = 0x10;   // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t PackageAttributeFile = 0x20;        // FILE_ATTRIBUTE_ARCHIVE, given to every file
constexpr uint32_t PackageEntryNotFound = 0xFFFFFFFFu;

// The top-level entries the setup program looks for by name: the setup
// script, the licence the wizard shows, and the uninstaller it registers.
constexpr char PackageScriptName[] = "Install.ini";
constexpr char PackageLicenseName[] = "License.txt";
constexpr char PackageUninstallerName[] = "Uninstall.exe";

struct PackageHeader {
    uint32_t magic;                          // PackageMagic
    uint32_t dataSize;                       // length of the data region
    uint32_t directorySize;                  // length of the compressed directory
    uint32_t directoryChecksum;              // Adler-32 of the decompressed directory (not verified)
    uint32_t entryCount;                     // number of PackageEntry records
    uint32_t dataChecksum;                   // Adler-32 of the data region
    uint32_t compressedDirectoryChecksum;    // Adler-32 of the compressed directory bytes
};
static_assert(sizeof(PackageHeader) == PackageHeaderSize, "header layout");

struct PackageEntry {
    char name[PackageNameSize];   // one path component, 8-bit ANSI, NUL-terminated, zero-filled
    uint32_t size;                  // uncompressed size
    uint32_t compressedSize;        // length of the entry's zlib stream
    uint32_t offset;                // stream position from the start of the data region
    uint32_t checksum;              // Adler-32 of the content
    uint32_t attributes;            // 0x10 directory, 0x20 file, 0 the root
    int32_t parent;                 // index of the parent directory; -1 for the root
};
static_assert(sizeof(PackageEntry) == PackageEntryRecordSize, "entry layout");

// The length of an entry's name: up to its terminator, or the whole field
// when a damaged directory left the terminator out.
inline size_t PackageNameLength(const PackageEntry& entry)
{
    const void* end = memchr(entry.name, 0, PackageNameSize);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - entry.name) : PackageNameSize;
}

// The order of the reader's lookup array over entry indices: by parent, then
// by name as AnsiCompareNoCase compares names, then by index.  Entries of one
// folder whose names compare equal stand together, the first one first.
struct PackageLookupOrder {
    const PackageEntry* entries;
    bool operator()(uint32_t a, uint32_t b) const
    {
        const PackageEntry& ea = entries[a];
        const PackageEntry& eb = entries[b];
        if (ea.parent != eb.parent)
            return ea.parent < eb.parent;
        int byName = AnsiCompareNoCase(ea.name, PackageNameLength(ea), eb.name, PackageNameLength(eb));
        if (byName != 0)
            return byName < 0;
        return a < b;
    }
};

// The open, verified archive.  Fields in the order the reader fills them.
// The file is never mapped whole: the reader sees it through windows of
// `windowBytes` (FileView.h), so a package may be as large as its 32-bit
// offsets allow, in a 32-bit process too.
struct PackageHandle {
    FileView view;                  // the open file and its mapping
    uint32_t fileSize;              // the size every bound is checked against
    uint64_t windowBytes;           // what a window maps past the first byte asked for
    uint64_t oneBlockBytes;         // streams up to this size are mapped whole and inflated in one call
    uint64_t headerOffset;          // file offset of the PackageHeader
    uint64_t dataOffset;            // headerOffset + 28: the data region
    uint64_t directoryOffset;       // dataOffset + data size: the compressed directory
    PackageEntry* entries;          // the decoded directory, owned by the handle
    uint32_t entryCount;
    uint32_t dataSize;
    uint32_t directorySize;
    uint32_t* lookup;               // entry indices ordered by (parent, folded name, index)
    uint32_t lookupCount;           // records the directory stream filled; the rest are zero
    uint32_t* hashSlots;            // (parent, folded name) -> first lookup position + 1; 0 free;
                                    // null when the names collide: lookups search `lookup`
    uint32_t hashMask;              // hash slots - 1 (a power of two)
    FileWindow window;              // the handle's own window, kept between extractions;
    std::atomic<bool> windowTaken;  // taken by one extraction at a time (others map their own)
};

// Reports the progress of the verification: `done` of `total` bytes read.
// Called after each window, from the thread that opens the package.
typedef void (*PackageProgress)(void* context, uint64_t done, uint64_t total);

// Codes of OpenPackage (there is no code 4):
enum {
    PackageOpened = 0,             // opened and verified; *handle is set
    PackageNoMemory = 1,          // no memory for the handle record, the directory or its index
    PackageCannotOpen = 2,        // the file cannot be opened
    PackageCannotMap = 3,         // the file mapping or its view cannot be created
    PackageNoHeader = 5,          // no PackageHeader found
    PackageOutOfBounds = 6,      // header, data region or compressed directory lies outside the file
    PackageBadChecksum = 7,       // an Adler-32 check failed
    PackageBadDirectory = 8       // the directory does not decompress, or its entry count needs
                                    // more records than its compressed size can inflate to
};

// Codes of ExtractPackageEntry:
enum {
    ExtractOk = 0,                 // extracted; the outputs that were given are set
    ExtractNotFound = 1,          // no entry with this path
    ExtractNoMemory = 2,          // the block cannot be allocated, or inflating ran out of memory
    ExtractBadStream = 3,         // the stream does not decompress to exactly size bytes
                                    // (or lies outside the data region, or its size is more
                                    // than its compressed size can inflate to)
    ExtractBadChecksum = 4,       // the content's Adler-32 differs from the entry's checksum
    ExtractStopped = 5            // (StreamPackageRecord only) the sink asked to stop
};

// Opens the file at `path`, finds and verifies the archive and decodes its
// directory.  Returns a code above; on PackageOpened *handle is set, otherwise
// *handle is null and everything opened on the way is released.
int OpenPackage(const char* path, PackageHandle** handle);

// OpenPackage, calling `progress` (when not null) as the verification reads
// the data region and the directory, so that a long check can be shown.
int OpenPackageWithProgress(const char* path, PackageHandle** handle, PackageProgress progress, void* context);

// Releases the directory, unmaps the view, closes the mapping and the file and
// frees the handle record.  A null handle is ignored.
void ClosePackage(PackageHandle* handle);

// The entry for a backslash-separated path, or null.  "" and "." give the root.
// Names compare without regard to ASCII case; the first match in directory
// order wins, searching a directory's children from the directory's own index.
const PackageEntry* FindPackageEntry(const PackageHandle* handle, const char* path);

// Inflates the entry at `path` into a new block of size + 1 bytes whose last
// byte is NUL, so text entries can be used as strings.  `data` and `size` may
// be null; they are written only on ExtractOk.  The block belongs to the
// caller, who releases it with FreePackageBlock.
int ExtractPackageEntry(const PackageHandle* handle, const char* path, uint8_t** data, uint32_t* size);

// Inflates a record of the handle's decoded directory (a pointer into
// handle->entries, as FindPackageEntry returns it) into the caller's `buffer`
// of `capacity` bytes, which must hold the entry's size + 1 (ExtractNoMemory
// otherwise): for callers that extract many entries and keep one buffer for
// all of them.  Codes as for ExtractPackageEntry; a record that is not in the
// directory gives ExtractNotFound.  Several threads may extract from one open
// handle at once.  The content is followed
// by a NUL; the buffer is written only as far as the size + 1 bytes.
int ExtractPackageRecordInto(const PackageHandle* handle, const PackageEntry* entry, uint8_t* buffer,
                             uint64_t capacity);

// Receives an entry's content as StreamPackageRecord inflates it, in the
// buffers it gives, so that an entry of any size passes through a few
// buffers of the sink's choosing.
class PackageEntrySink {
public:
    virtual ~PackageEntrySink() = default;
    // Space for the next bytes: a buffer of *capacity bytes (at least 1).
    // null stops the extraction (ExtractStopped).
    virtual uint8_t* NextBuffer(uint32_t* capacity) = 0;
    // The buffer last given holds `length` new bytes of content (1 to its
    // capacity); the sink owns it again.  false stops the extraction
    // (ExtractStopped).
    virtual bool Consume(uint8_t* buffer, uint32_t length) = 0;
};

// Inflates a record of the handle's directory (as ExtractPackageRecordInto
// takes it) chunk by chunk into the sink's buffers, and checks the content's
// Adler-32 when the stream has ended.  Memory does not depend on the entry's
// size: the reader holds zlib's state and one window of the file.  Codes as
// for ExtractPackageEntry, and ExtractStopped.  The sink may have received
// every byte and still get ExtractBadStream or ExtractBadChecksum: what it
// received counts only on ExtractOk.  Several threads may stream from one
// open handle at once.
int StreamPackageRecord(const PackageHandle* handle, const PackageEntry* entry, PackageEntrySink* sink);

// Reads the content of one entry at any offset without inflating it whole:
// the stream is inflated forward as far as a read needs and kept there, the
// first ReaderKeptBytes of the content are kept, and a read behind the
// position (beyond the kept part) inflates again from the start.  Reads
// check no Adler-32 (the part read is not the whole content); a damaged
// stream fails them.  Memory: zlib's state and two 64 KB buffers.
class PackageEntryReader {
public:
    static constexpr uint32_t ReaderKeptBytes = 64u << 10;

    PackageEntryReader(const PackageHandle* handle, const PackageEntry* entry);
    ~PackageEntryReader();
    PackageEntryReader(const PackageEntryReader&) = delete;
    PackageEntryReader& operator=(const PackageEntryReader&) = delete;

    // Copies `length` bytes at `offset` of the content into `out`.  ExtractOk;
    // ExtractBadStream when they lie past the entry's size or the stream
    // fails before them; ExtractNoMemory; ExtractNotFound for a record that
    // is not in the directory.
    int Read(uint64_t offset, void* out, uint32_t length);
    // The entry's size, as its record says.
    uint32_t Size() const { return size_; }
    // Times the stream was inflated from its start (for the tests and the benchmarks).
    uint32_t Passes() const { return passes_; }

private:
    int Restart();
    int Advance();   // inflates the next piece into `piece_`

    const PackageHandle* handle_;
    const PackageEntry* entry_;
    uint32_t size_ = 0;
    int state_;                     // ExtractOk, or the code that every read gives
    void* stream_ = nullptr;        // zlib's z_stream, while a pass runs
    FileWindow window_ = {};
    uint64_t consumed_ = 0;         // compressed bytes handed to zlib in this pass
    uint8_t* kept_ = nullptr;       // the first ReaderKeptBytes of the content
    uint32_t keptLength_ = 0;
    uint8_t* piece_ = nullptr;      // the last piece inflated
    uint64_t pieceOffset_ = 0;      // its content offset
    uint32_t pieceLength_ = 0;
    uint32_t passes_ = 0;
};

// Releases a block returned by ExtractPackageEntry (GlobalFree on Windows).
void FreePackageBlock(void* block);

// Owns a block returned by ExtractPackageEntry and releases it when it goes.
struct PackageBlock {
    uint8_t* data = nullptr;
    uint32_t size = 0;

    PackageBlock() = default;
    ~PackageBlock() { FreePackageBlock(data); }
    PackageBlock(const PackageBlock&) = delete;
    PackageBlock& operator=(const PackageBlock&) = delete;
};

// The size field of the entry at `path`, or PackageEntryNotFound.
uint32_t PackageEntrySize(const PackageHandle* handle, const char* path);


// The file offset just past the last section of a PE image (PointerToRawData +
// SizeOfRawData of the last section header), or 0 when `image` is not a
// well-formed executable image.  Every read is checked against `size`.
uint64_t LocateImageEnd(const uint8_t* image, uint64_t size);

// Adler-32 of `length` bytes, continuing from `start` (1 for no data), over
// regions larger than one zlib call takes.
uint32_t PackageAdler32(const void* bytes, uint64_t length, uint32_t start = 1);

// The file offset of the PE header ("PE\0\0" and the 248 bytes of 32-bit NT
// headers), or 0 when `image` does not start with a well-formed DOS header
// ("MZ", e_lfarlc at least 0x40) leading to one.  Every read is checked
// against `size`.
uint64_t LocatePeHeader(const uint8_t* image, uint64_t size);

#ifdef VM_TEST_HOOKS
// Test builds only: the number of package allocations that succeed before the
// next one fails; negative means none fails.
extern int PackageAllocationsBeforeFailure;
// Test builds only: the window size of packages opened from now on (bytes
// past the first one asked for); 0 takes the environment variable
// VELLMARK_TEST_PACKAGE_WINDOW when it is set, otherwise the default.  Tiny
// windows make every entry and the directory cross window edges.
extern uint64_t PackageWindowBytes;
#endif

#endif
