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

#include <cstddef>
#include <cstdint>

#include "FileView.h"

constexpr uint32_t PACKAGE_MAGIC = 0x7C5D3E1Fu;
constexpr uint32_t PACKAGE_HEADER_SIZE = 28;     // seven 32-bit fields
constexpr uint32_t PACKAGE_ENTRY_SIZE = 284;     // name[260] + six 32-bit fields
constexpr uint32_t PACKAGE_NAME_SIZE = 260;      // MAX_PATH: 259 characters and the terminator
constexpr uint32_t PACKAGE_ATTRIBUTE_DIRECTORY = 0x10;   // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t PACKAGE_ATTRIBUTE_FILE = 0x20;        // FILE_ATTRIBUTE_ARCHIVE, given to every file
constexpr uint32_t PACKAGE_ENTRY_NOT_FOUND = 0xFFFFFFFFu;

struct PackageHeader {
    uint32_t magic;                          // PACKAGE_MAGIC
    uint32_t dataSize;                       // length of the data region
    uint32_t directorySize;                  // length of the compressed directory
    uint32_t directoryChecksum;              // Adler-32 of the decompressed directory (not verified)
    uint32_t entryCount;                     // number of PackageEntry records
    uint32_t dataChecksum;                   // Adler-32 of the data region
    uint32_t compressedDirectoryChecksum;    // Adler-32 of the compressed directory bytes
};
static_assert(sizeof(PackageHeader) == PACKAGE_HEADER_SIZE, "header layout");

struct PackageEntry {
    char name[PACKAGE_NAME_SIZE];   // one path component, 8-bit ANSI, NUL-terminated, zero-filled
    uint32_t size;                  // uncompressed size
    uint32_t compressedSize;        // length of the entry's zlib stream
    uint32_t offset;                // stream position from the start of the data region
    uint32_t checksum;              // Adler-32 of the content
    uint32_t attributes;            // 0x10 directory, 0x20 file, 0 the root
    int32_t parent;                 // index of the parent directory; -1 for the root
};
static_assert(sizeof(PackageEntry) == PACKAGE_ENTRY_SIZE, "entry layout");

// The open, verified archive.  Fields in the order the reader fills them.
struct PackageHandle {
    FileView view;                  // the file, its mapping and the read-only view
    uint32_t fileSize;              // the size every bound is checked against
    const uint8_t* header;          // the PackageHeader inside the view
    const uint8_t* data;            // header + 28
    const uint8_t* directory;       // data + data size: the compressed directory
    PackageEntry* entries;          // the decoded directory, owned by the handle
    uint32_t entryCount;
    uint32_t dataSize;
    uint32_t* lookup;               // entry indices ordered by (parent, folded name, index)
    uint32_t lookupCount;           // records the directory stream filled; the rest are zero
    uint32_t* hashSlots;            // (parent, folded name) -> first lookup position + 1; 0 free
    uint32_t hashMask;              // hash slots - 1 (a power of two)
};

// Codes of OpenPackage (there is no code 4):
enum {
    PACKAGE_OPENED = 0,             // opened and verified; *handle is set
    PACKAGE_NO_MEMORY = 1,          // no memory for the handle record, the directory or its index
    PACKAGE_CANNOT_OPEN = 2,        // the file cannot be opened
    PACKAGE_CANNOT_MAP = 3,         // the file mapping or its view cannot be created
    PACKAGE_NO_HEADER = 5,          // no PackageHeader found
    PACKAGE_OUT_OF_BOUNDS = 6,      // header, data region or compressed directory lies outside the file
    PACKAGE_BAD_CHECKSUM = 7,       // an Adler-32 check failed
    PACKAGE_BAD_DIRECTORY = 8       // the directory does not decompress
};

// Codes of ExtractPackageEntry:
enum {
    EXTRACT_OK = 0,                 // extracted; the outputs that were given are set
    EXTRACT_NOT_FOUND = 1,          // no entry with this path
    EXTRACT_NO_MEMORY = 2,          // the block cannot be allocated, or inflating ran out of memory
    EXTRACT_BAD_STREAM = 3,         // the stream does not decompress to exactly size bytes
                                    // (or lies outside the data region)
    EXTRACT_BAD_CHECKSUM = 4        // the content's Adler-32 differs from the entry's checksum
};

// Opens the file at `path`, finds and verifies the archive and decodes its
// directory.  Returns a code above; on PACKAGE_OPENED *handle is set, otherwise
// *handle is null and everything opened on the way is released.
int OpenPackage(const char* path, PackageHandle** handle);

// Releases the directory, unmaps the view, closes the mapping and the file and
// frees the handle record.  A null handle is ignored.
void ClosePackage(PackageHandle* handle);

// The entry for a backslash-separated path, or null.  "" and "." give the root.
// Names compare without regard to ASCII case; the first match in directory
// order wins, searching a directory's children from the directory's own index.
const PackageEntry* FindPackageEntry(const PackageHandle* handle, const char* path);

// Inflates the entry at `path` into a new block of size + 1 bytes whose last
// byte is NUL, so text entries can be used as strings.  `data` and `size` may
// be null; they are written only on EXTRACT_OK.  The block belongs to the
// caller, who releases it with FreePackageBlock.
int ExtractPackageEntry(const PackageHandle* handle, const char* path, uint8_t** data, uint32_t* size);

// The size field of the entry at `path`, or PACKAGE_ENTRY_NOT_FOUND.
uint32_t PackageEntrySize(const PackageHandle* handle, const char* path);

// Releases a block returned by ExtractPackageEntry (GlobalFree on Windows).
void FreePackageBlock(void* block);

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

// Reads a little-endian 32-bit word (the format's byte order on every host).
inline uint32_t ReadLittle32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t ReadLittle16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

#ifdef VM_TEST_HOOKS
// Test builds only: the number of package allocations that succeed before the
// next one fails; negative means none fails.
extern int PackageAllocationsBeforeFailure;
#endif

#endif
