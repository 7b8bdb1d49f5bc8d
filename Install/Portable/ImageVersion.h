// Reading and parsing version values.  Portable: no Windows calls, so the
// tests and the tool run the same code as the setup program.
//
// A version value is a signed 64-bit number: the high 32 bits are a file's
// dwFileVersionMS, the low 32 bits its dwFileVersionLS, so the four 16-bit
// parts of 1.2.3.4 read 1, 2, 3, 4 from the highest.  NoVersion (all bits set)
// stands for "no version".  Versions are always compared as signed numbers, so
// a first part of 32768 or more gives a negative value, below NoVersion.
#ifndef VELLMARK_IMAGEVERSION_H
#define VELLMARK_IMAGEVERSION_H

#include <cstdint>

constexpr int64_t NoVersion = -1;

// The file version of a PE image as stored on disk (`size` bytes at `image`):
// the first VS_FIXEDFILEINFO signature (BD 04 EF FE) in the raw data of a
// ".rsrc" section, sections in table order.  NoVersion when the image is
// not a PE image (fewer than 64 bytes, no "MZ", old relocation offset below
// 0x40, no 248-byte "PE" header inside it), has no ".rsrc" section, or no
// signature.  Every byte read lies inside [image, image + size); a header,
// section table or match that would reach outside counts as no version.
int64_t GetImageVersion(const uint8_t* image, uint64_t size);

// Where the version reader reads an image of a known size from.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Copies `length` bytes at `offset` (inside the image) into `out`;
    // false when they cannot be read.
    virtual bool ReadAt(uint64_t offset, void* out, uint32_t length) = 0;
};

// GetImageVersion of an image of `size` bytes read through `source`, which
// is asked only for what the rule looks at: the DOS and PE headers, the
// section table and the raw data of the ".rsrc" sections, in 64 KB pieces;
// so memory does not depend on the image's size, wherever its resources
// lie.  A read that fails gives NoVersion and sets *readFailed (may be null).
int64_t ReadImageVersion(ImageSource* source, uint64_t size, bool* readFailed);

// The version of a package entry, read without inflating it whole
// (PackageEntryReader: the headers and, in most images, the resources that
// follow them take one pass over the stream).  A stream that fails to
// inflate as far as the rule reads sets *readFailed (may be null).
struct PackageHandle;
struct PackageEntry;
int64_t GetPackageEntryVersion(const PackageHandle* handle, const PackageEntry* entry, bool* readFailed);

// Reads "a.b.c.d": up to four fields separated by '.', each taken digit by
// digit as field * 10 + (character - '0') whatever the character is, the low
// 16 bits of each used; missing fields are 0, text after the fourth field is
// ignored.  So "2.0" equals "2.0.0.0" and "1.10" is above "1.9".  A null text
// reads as the empty text: 0.
int64_t ParseVersionString(const char* text);

// Whether `text` is a plain version: one to four numbers of at most 65535,
// separated by single dots, and nothing else ("2", "1.10.3", not "v1",
// "1..2", "1.2-beta").  ParseVersionString reads more than that; a publisher
// who writes more probably meant something else.
bool IsPlainVersion(const char* text);

// A version value from its four parts (each cut to 16 bits).
constexpr int64_t MakeVersion(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return static_cast<int64_t>((static_cast<uint64_t>(a & 0xFFFF) << 48) |
                                (static_cast<uint64_t>(b & 0xFFFF) << 32) |
                                (static_cast<uint64_t>(c & 0xFFFF) << 16) |
                                static_cast<uint64_t>(d & 0xFFFF));
}

#endif
