// Version values from PE images and from version texts.
#include "ImageVersion.h"

#include <cstring>

#include "Package.h"

namespace {

// The fixed layout of a PE file on disk that the search relies on.
constexpr uint64_t SectionHeaderSize = 40;
constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BD;
constexpr uint64_t FixedFileInfoRead = 16;    // signature, struct version, MS, LS
// What one read takes: section headers by the thousand, raw data in 64 KB
// pieces (plus the 15 bytes a match at a piece's last offset reads on).
constexpr uint64_t HeadersPerRead = 1024;
constexpr uint64_t SearchPiece = 64u << 10;

// Whether [offset, offset + length) lies inside an image of `size` bytes,
// without overflowing.
bool Inside(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// A source that remembers whether a read failed.
struct CheckedSource {
    ImageSource* source;
    bool failed;
    bool Read(uint64_t offset, void* out, uint64_t length)
    {
        if (failed || !source->ReadAt(offset, out, static_cast<uint32_t>(length)))
            failed = true;
        return !failed;
    }
};

// The first VS_FIXEDFILEINFO in one section's raw data, or NoVersion.
int64_t SearchRawData(CheckedSource& in, uint64_t size, uint32_t pointer, uint32_t rawSize)
{
    // The search offsets run from 0 to rawSize - 11: the last one still has
    // the signature inside the raw data.  Data that reaches past the image
    // is not searched at all.
    if (rawSize <= 10 || !Inside(pointer, rawSize, size))
        return NoVersion;
    static_assert(SearchPiece + FixedFileInfoRead <= 0xFFFFFFFFu, "one read");
    uint8_t piece[SearchPiece + FixedFileInfoRead - 1];
    uint64_t last = rawSize - 11;   // the last search offset
    for (uint64_t first = 0; first <= last; first += SearchPiece) {
        uint64_t count = last - first + 1 < SearchPiece ? last - first + 1 : SearchPiece;
        // The piece holds the offsets' 16 bytes where the image has them.
        uint64_t from = pointer + first;
        uint64_t length = count + FixedFileInfoRead - 1;
        if (length > size - from)
            length = size - from;
        if (!in.Read(from, piece, length))
            return NoVersion;
        for (uint64_t at = 0; at < count; ++at) {
            if (ReadLittle32(piece + at) != FixedFileInfoSignature)
                continue;
            // The version words follow the signature; a match too close to
            // the end of the image to hold them is no version.
            if (!Inside(from + at, FixedFileInfoRead, size))
                return NoVersion;
            uint64_t ms = ReadLittle32(piece + at + 8);
            uint64_t ls = ReadLittle32(piece + at + 12);
            return static_cast<int64_t>((ms << 32) | ls);
        }
    }
    return NoVersion;
}

// An image in memory.
class MemorySource : public ImageSource {
public:
    explicit MemorySource(const uint8_t* image) : image_(image) {}
    bool ReadAt(uint64_t offset, void* out, uint32_t length) override
    {
        memcpy(out, image_ + offset, length);
        return true;
    }

private:
    const uint8_t* image_;
};

// An entry of an open package, inflated as far as the reads need.
class EntrySource : public ImageSource {
public:
    EntrySource(const PackageHandle* handle, const PackageEntry* entry) : reader_(handle, entry) {}
    bool ReadAt(uint64_t offset, void* out, uint32_t length) override
    {
        return reader_.Read(offset, out, length) == ExtractOk;
    }
    PackageEntryReader reader_;
};

}  // namespace

int64_t ReadImageVersion(ImageSource* source, uint64_t size, bool* readFailed)
{
    CheckedSource in = {source, false};
    int64_t version = NoVersion;
    uint8_t dos[64];
    uint8_t nt[24];
    // The DOS header ("MZ", e_lfarlc at least 0x40) and the 248-byte NT
    // headers it leads to, as LocatePeHeader checks them.
    if (size >= 64 && in.Read(0, dos, sizeof dos) && ReadLittle16(dos) == 0x5A4D &&
        ReadLittle16(dos + 0x18) >= 0x40) {
        uint64_t pe = ReadLittle32(dos + 0x3C);
        if (pe + 248 <= size && in.Read(pe, nt, sizeof nt) && ReadLittle32(nt) == 0x00004550u) {
            uint64_t sectionCount = ReadLittle16(nt + 6);
            uint64_t table = pe + 24 + ReadLittle16(nt + 20);
            uint8_t headers[HeadersPerRead * SectionHeaderSize];
            for (uint64_t i = 0; i < sectionCount && version == NoVersion && !in.failed; ++i) {
                uint64_t header = table + i * SectionHeaderSize;
                if (!Inside(header, SectionHeaderSize, size))
                    break;
                uint64_t slot = i % HeadersPerRead;
                if (slot == 0) {
                    // The next headers that lie inside the image, at most a batch.
                    uint64_t batch = sectionCount - i < HeadersPerRead ? sectionCount - i : HeadersPerRead;
                    uint64_t inside = (size - header) / SectionHeaderSize;
                    if (batch > inside)
                        batch = inside;
                    if (!in.Read(header, headers, batch * SectionHeaderSize))
                        break;
                }
                const uint8_t* record = headers + slot * SectionHeaderSize;
                // The name is at most 8 bytes and NUL-terminated only when shorter.
                char name[9] = {};
                memcpy(name, record, 8);
                if (strcmp(name, ".rsrc") != 0)
                    continue;
                version = SearchRawData(in, size, ReadLittle32(record + 20), ReadLittle32(record + 16));
            }
        }
    }
    if (readFailed)
        *readFailed = in.failed;
    return in.failed ? NoVersion : version;
}

int64_t GetImageVersion(const uint8_t* image, uint64_t size)
{
    if (!image)
        return NoVersion;
    MemorySource source(image);
    return ReadImageVersion(&source, size, nullptr);
}

int64_t GetPackageEntryVersion(const PackageHandle* handle, const PackageEntry* entry, bool* readFailed)
{
    if (!handle || !entry) {
        if (readFailed)
            *readFailed = true;
        return NoVersion;
    }
    EntrySource source(handle, entry);
    return ReadImageVersion(&source, entry->size, readFailed);
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
