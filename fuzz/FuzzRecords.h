// The compact directory records the tool's fuzzers read, one after another:
//   parent   2 bytes, little-endian, signed (so -1, loops and far indices occur)
//   flags    1 byte, bit 0 marks a folder (only in the form with flags; without
//            them every attribute stays 0)
//   length   1 byte; the name is that many bytes (at most 255 of the 259 a name
//            holds), cut short at the end of the input
//   name     the bytes
#ifndef VELLMARK_FUZZ_RECORDS_H
#define VELLMARK_FUZZ_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "LittleEndian.h"
#include "Package.h"

// Decodes the records in data[at, size) into at most 4096 entries.
inline std::vector<PackageEntry> DecodeFuzzRecords(const uint8_t* data, size_t size, size_t at, bool withFlags)
{
    const size_t head = withFlags ? 4 : 3;
    std::vector<PackageEntry> dir;
    while (at + head <= size && dir.size() < 4096) {
        PackageEntry e;
        memset(&e, 0, sizeof e);
        e.parent = static_cast<int16_t>(ReadLittle16(data + at));
        if (withFlags)
            e.attributes = (data[at + 2] & 1) ? PackageAttributeDirectory : PackageAttributeFile;
        size_t length = data[at + head - 1];
        at += head;
        if (length > size - at)
            length = size - at;
        memcpy(e.name, data + at, length);
        at += length;
        dir.push_back(e);
    }
    return dir;
}

#endif
