#include "PeImage.h"

#include <cstring>

#include "LittleEndian.h"
#include "Package.h"

// Offsets in the optional header, by its two forms: where the count of data
// directories stands and where the directories begin.
constexpr uint16_t OptionalMagicPe32 = 0x010B;
constexpr uint16_t OptionalMagicPe32Plus = 0x020B;
constexpr uint32_t DirectoryCountPe32 = 92, DirectoriesPe32 = 96;
constexpr uint32_t DirectoryCountPe32Plus = 108, DirectoriesPe32Plus = 112;

bool ReadPeImageLayout(const uint8_t* image, uint64_t size, PeImageLayout* out)
{
    PeImageLayout layout;
    layout.imageEnd = LocateImageEnd(image, size);
    if (layout.imageEnd == 0)
        return false;
    uint64_t pe = LocatePeHeader(image, size);
    uint64_t optional = pe + 24;
    uint16_t optionalSize = ReadLittle16(image + pe + 20);
    if (optional + 2 > size)
        return false;
    uint16_t magic = ReadLittle16(image + optional);
    if (magic != OptionalMagicPe32 && magic != OptionalMagicPe32Plus)
        return false;
    layout.pe32Plus = magic == OptionalMagicPe32Plus;
    layout.machine = ReadLittle16(image + pe + 4);
    if (optionalSize < PeChecksumOffset + 4 || optional + optionalSize > size)
        return false;
    layout.checksumAt = optional + PeChecksumOffset;
    layout.checksum = ReadLittle32(image + layout.checksumAt);

    uint32_t countAt = layout.pe32Plus ? DirectoryCountPe32Plus : DirectoryCountPe32;
    uint32_t directories = layout.pe32Plus ? DirectoriesPe32Plus : DirectoriesPe32;
    uint64_t entry = static_cast<uint64_t>(directories) + PeSecurityDirectoryIndex * PeDataDirectorySize;
    // The entry exists when the header counts it and has room for it.
    if (optionalSize >= countAt + 4 && ReadLittle32(image + optional + countAt) > PeSecurityDirectoryIndex &&
        optionalSize >= entry + PeDataDirectorySize) {
        layout.securityEntryAt = optional + entry;
        layout.certificateTableAt = ReadLittle32(image + layout.securityEntryAt);
        layout.certificateTableSize = ReadLittle32(image + layout.securityEntryAt + 4);
    }
    if (out)
        *out = layout;
    return true;
}

void ClearSigningFields(uint8_t* image, const PeImageLayout& layout)
{
    memset(image + layout.checksumAt, 0, 4);
    if (layout.securityEntryAt != 0)
        memset(image + layout.securityEntryAt, 0, PeDataDirectorySize);
}

static uint64_t Fold(uint64_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

void PeChecksum::AddWords(const uint8_t* p, size_t length)
{
    // Blocks of at most 2^20 bytes add less than 2^36 to a sum folded to 16
    // bits before each: it never nears the top of 64 bits.
    const size_t block = size_t(1) << 20;
    uint64_t s = sum;
    size_t i = 0;
    while (length - i >= 2) {
        size_t stop = length - i > block ? i + block : length & ~size_t(1);
        for (; i < stop; i += 2)
            s += static_cast<uint64_t>(p[i]) | (static_cast<uint64_t>(p[i + 1]) << 8);
        s = Fold(s);
    }
    if (i < length)
        pendingLow = p[i];
    sum = s;
}

void PeChecksum::Add(const void* data, size_t length)
{
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        // Up to the CheckSum field, the field itself as zeros, or the rest.
        bool inField = position >= checksumAt && position - checksumAt < 4;
        size_t take = length;
        if (inField && checksumAt + 4 - position < take)
            take = static_cast<size_t>(checksumAt + 4 - position);
        else if (!inField && position < checksumAt && checksumAt - position < take)
            take = static_cast<size_t>(checksumAt - position);
        const uint8_t* q = inField ? zeros : p;
        size_t n = take;
        if (pendingLow >= 0) {
            sum += static_cast<uint64_t>(pendingLow) | (static_cast<uint64_t>(q[0]) << 8);
            pendingLow = -1;
            ++q;
            --n;
        }
        AddWords(q, n);
        position += take;
        p += take;
        length -= take;
    }
}

uint32_t PeChecksum::Value() const
{
    uint64_t s = sum;
    if (pendingLow >= 0)
        s += static_cast<uint64_t>(pendingLow);
    return static_cast<uint32_t>(Fold(s) + static_cast<uint32_t>(position));
}

uint32_t ComputePeChecksum(const uint8_t* file, uint64_t size, uint64_t checksumAt)
{
    PeChecksum checksum(checksumAt);
    const uint64_t chunk = uint64_t(1) << 30;
    for (uint64_t at = 0; at < size; at += chunk)
        checksum.Add(file + at, static_cast<size_t>(size - at < chunk ? size - at : chunk));
    return checksum.Value();
}

int CheckCertificateTable(const uint8_t* file, uint64_t size, const PeImageLayout& layout, uint64_t contentEnd)
{
    uint64_t at = layout.certificateTableAt;
    uint64_t tableSize = layout.certificateTableSize;
    if (layout.securityEntryAt == 0 || (at == 0 && tableSize == 0))
        return CertificateTableNone;
    if (at < contentEnd)
        return CertificateTableOverlaps;
    if (at + tableSize > size)
        return CertificateTableOutside;
    if (at % PeCertificateAlignment != 0 || tableSize < PeCertificateHeaderSize)
        return CertificateTableMalformed;
    if (at + tableSize != size)
        return CertificateTableNotAtEnd;
    // WIN_CERTIFICATE records: dwLength (header included), wRevision,
    // wCertificateType; each starts 8-byte aligned.
    uint64_t record = at;
    while (record < size) {
        if (size - record < PeCertificateHeaderSize)
            return CertificateTableMalformed;
        uint32_t length = ReadLittle32(file + record);
        uint16_t revision = ReadLittle16(file + record + 4);
        if (length <= PeCertificateHeaderSize || length > size - record || revision != PeCertificateRevision2)
            return CertificateTableMalformed;
        uint64_t next = record + length;
        next = (next + PeCertificateAlignment - 1) / PeCertificateAlignment * PeCertificateAlignment;
        if (next > size)
            return CertificateTableMalformed;
        record = next;
    }
    return CertificateTableSound;
}
