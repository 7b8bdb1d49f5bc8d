// Version values from PE images and from version texts.
#include "ImageVersion.h"

#include <cstring>

#include "Package.h"

namespace {

// The fixed layout of a PE file on disk that the search relies on.
constexpr uint64_t SectionHeaderSize = 40;
constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BD;
constexpr uint64_t FixedFileInfoRead = 16;    // signature, struct version, MS, LS

// Whether [offset, offset + length) lies inside an image of `size` bytes,
// without overflowing.
bool Inside(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// The first VS_FIXEDFILEINFO in one section's raw data, or NoVersion.
int64_t SearchRawData(const uint8_t* image, uint64_t size, uint32_t pointer, uint32_t rawSize)
{
    // The search offsets run from 0 to rawSize - 11: the last one still has
    // the signature inside the raw data.  Data that reaches past the image
    // is not searched at all.
    if (rawSize <= 10 || !Inside(pointer, rawSize, size))
        return NoVersion;
    const uint8_t* data = image + pointer;
    for (uint64_t at = 0; at + 11 <= rawSize; ++at) {
        if (ReadLittle32(data + at) != FixedFileInfoSignature)
            continue;
        // The version words follow the signature; a match too close to the
        // end of the image to hold them is no version.
        if (!Inside(pointer + at, FixedFileInfoRead, size))
            return NoVersion;
        uint64_t ms = ReadLittle32(data + at + 8);
        uint64_t ls = ReadLittle32(data + at + 12);
        return static_cast<int64_t>((ms << 32) | ls);
    }
    return NoVersion;
}

}  // namespace

int64_t GetImageVersion(const uint8_t* image, uint64_t size)
{
    uint64_t pe = LocatePeHeader(image, size);
    if (pe == 0)
        return NoVersion;

    uint64_t sectionCount = ReadLittle16(image + pe + 6);
    uint64_t table = pe + 24 + ReadLittle16(image + pe + 20);
    for (uint64_t i = 0; i < sectionCount; ++i) {
        uint64_t header = table + i * SectionHeaderSize;
        if (!Inside(header, SectionHeaderSize, size))
            return NoVersion;
        // The name is at most 8 bytes and NUL-terminated only when shorter.
        char name[9] = {};
        memcpy(name, image + header, 8);
        if (strcmp(name, ".rsrc") != 0)
            continue;
        int64_t version = SearchRawData(image, size, ReadLittle32(image + header + 20), ReadLittle32(image + header + 16));
        if (version != NoVersion)
            return version;
    }
    return NoVersion;
}

int64_t ParseVersionString(const char* text)
{
    uint32_t fields[4] = {};
    if (text) {
        for (int f = 0; f < 4 && *text; ++f) {
            uint32_t value = 0;
            while (*text && *text != '.') {
                // Any character counts: the version text is the product's own
                // and junk in it gives junk, never a failure.
                value = value * 10 + static_cast<uint32_t>(static_cast<unsigned char>(*text) - 48);
                ++text;
            }
            fields[f] = value;
            if (*text == '.')
                ++text;
        }
    }
    return MakeVersion(fields[0], fields[1], fields[2], fields[3]);
}

bool IsPlainVersion(const char* text)
{
    if (!text)
        return false;
    int fields = 0;
    const char* p = text;
    for (;;) {
        uint32_t number = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            number = number * 10 + static_cast<uint32_t>(*p - '0');
            if (++digits > 5 || number > 0xFFFF)
                return false;
            ++p;
        }
        if (digits == 0 || ++fields > 4)
            return false;
        if (*p == '\0')
            return true;
        if (*p != '.')
            return false;
        ++p;
    }
}
