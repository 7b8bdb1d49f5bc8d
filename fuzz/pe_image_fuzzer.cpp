// The signing fields of arbitrary executable images, as `vellmark verify`
// and `pack` read them from a file they are given: every offset the layout
// names lies inside the bytes, a certificate table called sound lies after
// the content and ends the file, clearing the fields leaves an image that
// names no table, and the checksum does not depend on how the bytes are cut.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PeImageLayout layout;
    if (!ReadPeImageLayout(data, size, &layout))
        return 0;
    if (layout.checksumAt + 4 > size || (layout.securityEntryAt != 0 && layout.securityEntryAt + 8 > size))
        abort();

    for (uint64_t contentEnd : {layout.imageEnd, static_cast<uint64_t>(size / 2)}) {
        int table = CheckCertificateTable(data, size, layout, contentEnd);
        if (table == CertificateTableSound &&
            (layout.certificateTableAt < contentEnd ||
             static_cast<uint64_t>(layout.certificateTableAt) + layout.certificateTableSize != size ||
             layout.certificateTableAt % PeCertificateAlignment != 0))
            abort();
    }

    uint32_t whole = ComputePeChecksum(data, size, layout.checksumAt);
    size_t cut = size ? data[size - 1] * size / 256 : 0;
    PeChecksum pieces(layout.checksumAt);
    pieces.Add(data, cut);
    pieces.Add(data + cut, size - cut);
    if (pieces.Value() != whole)
        abort();

    std::vector<uint8_t> cleared(data, data + size);
    ClearSigningFields(cleared.data(), layout);
    PeImageLayout after;
    if (!ReadPeImageLayout(cleared.data(), cleared.size(), &after) || after.checksum != 0 ||
        CheckCertificateTable(cleared.data(), cleared.size(), after, after.imageEnd) != CertificateTableNone)
        abort();
    // The checksum field never counts.
    std::vector<uint8_t> field(data, data + size);
    for (uint64_t i = layout.checksumAt; i < layout.checksumAt + 4; ++i)
        field[i] ^= 0xA5;
    if (ComputePeChecksum(field.data(), field.size(), layout.checksumAt) != whole)
        abort();
    return 0;
}
