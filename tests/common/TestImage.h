// Test fixtures: minimal PE images and package archives built in memory.
#ifndef VELLMARK_TEST_IMAGE_H
#define VELLMARK_TEST_IMAGE_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "LittleEndian.h"
#include "Package.h"
#include "PackageWriter.h"

namespace testimage {

// The base's little-endian accessors on a byte vector (the index must lie inside).
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { WriteLittle16(&b.at(at + 1) - 1, v); }
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { WriteLittle32(&b.at(at + 3) - 3, v); }
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return ReadLittle32(&b.at(at + 3) - 3); }

struct Section {
    std::string name;
    uint32_t rawPointer;
    uint32_t rawSize;
};

// A 32-bit PE image: DOS header, NT headers with a 224-byte optional header
// (16 data directories, all empty), the given section table, and zero bytes
// up to the end of the furthest section.  The headers hold what a signing
// tool reads (alignments, the size of the headers and of the image), so
// that osslsigncode signs such an image like one a linker wrote.
inline std::vector<uint8_t> MakePeImage(const std::vector<Section>& sections)
{
    const uint32_t pe = 0x80, optionalSize = 224, optional = pe + 24;
    uint32_t tableAt = optional + optionalSize;
    uint32_t end = tableAt + 40 * static_cast<uint32_t>(sections.size());
    uint32_t headers = (end + 0x1FF) & ~0x1FFu;
    for (const Section& s : sections) {
        if (s.rawPointer + s.rawSize > end)
            end = s.rawPointer + s.rawSize;
        if (s.rawPointer < headers)
            headers = s.rawPointer;
    }
    std::vector<uint8_t> b(end, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put16(b, 0x18, 0x40);
    Put32(b, 0x3C, pe);
    Put32(b, pe, 0x00004550);
    Put16(b, pe + 4, 0x014C);
    Put16(b, pe + 6, static_cast<uint16_t>(sections.size()));
    Put16(b, pe + 20, optionalSize);
    Put16(b, pe + 22, 0x0102);                  // executable, 32-bit machine
    Put16(b, optional, 0x010B);
    Put32(b, optional + 28, 0x00400000);        // ImageBase
    Put32(b, optional + 32, 0x1000);            // SectionAlignment
    Put32(b, optional + 36, 0x200);             // FileAlignment
    Put16(b, optional + 40, 4);                 // operating system 4.0
    Put16(b, optional + 48, 4);                 // subsystem 4.0
    Put32(b, optional + 56, 0x1000 * static_cast<uint32_t>(sections.size() + 1));   // SizeOfImage
    Put32(b, optional + 60, headers);           // SizeOfHeaders
    Put16(b, optional + 68, 2);                 // the Windows GUI subsystem
    Put32(b, optional + 92, 16);                // NumberOfRvaAndSizes
    for (size_t i = 0; i < sections.size(); ++i) {
        size_t at = tableAt + 40 * i;
        memcpy(&b[at], sections[i].name.data(), sections[i].name.size() < 8 ? sections[i].name.size() : 8);
        Put32(b, at + 8, sections[i].rawSize);                             // VirtualSize
        Put32(b, at + 12, 0x1000 * static_cast<uint32_t>(i + 1));         // VirtualAddress
        Put32(b, at + 16, sections[i].rawSize);
        Put32(b, at + 20, sections[i].rawPointer);
        Put32(b, at + 36, 0x40000040);                                     // initialised data, readable
    }
    return b;
}

// The usual stub: two sections, the last one ending the image at 0x600.
inline std::vector<uint8_t> MakeStub()
{
    return MakePeImage({{".text", 0x200, 0x200}, {".data", 0x400, 0x200}});
}

inline PackItem Root()
{
    PackItem r;
    r.name = ".";
    r.parent = -1;
    r.directory = true;
    return r;
}
inline PackItem Folder(const std::string& name, int32_t parent)
{
    PackItem f;
    f.name = name;
    f.parent = parent;
    f.directory = true;
    return f;
}
inline PackItem File(const std::string& name, int32_t parent, const std::string& content)
{
    PackItem f;
    f.name = name;
    f.parent = parent;
    f.content = content;
    return f;
}

// stub + archive of `items`, as `vellmark pack` lays it out.
inline std::vector<uint8_t> MakePackage(const std::vector<PackItem>& items, std::vector<uint8_t> stub = MakeStub(),
                                        int level = 6)
{
    MemorySink sink;
    sink.bytes = stub;
    PackOptions options;
    options.level = level;
    options.threads = 2;
    std::string error;
    if (!WritePackageArchive(items, stub.size(), sink, options, &error)) {
        fprintf(stderr, "MakePackage: %s\n", error.c_str());
        return {};
    }
    return sink.bytes;
}

// Decodes the directory of the package whose header stands at `headerAt`,
// lets `change` edit its records, and writes it back compressed again with
// the header fields that describe it rewritten: its compressed size, the
// checksum of the records and the checksum of the compressed bytes.  The
// result is a package the reader opens, with records a writer would never
// produce.  The data region is not touched, so its checksum (the header's
// +20) stays as the package had it.  false when the directory cannot be
// decoded or encoded.
template <typename Change>
bool RewriteDirectory(std::vector<uint8_t>& file, size_t headerAt, Change change)
{
    const uint32_t dataSize = Get32(file, headerAt + 4);
    const uint32_t directorySize = Get32(file, headerAt + 8);
    const uint32_t count = Get32(file, headerAt + 16);
    const size_t directoryAt = headerAt + PackageHeaderSize + dataSize;
    std::vector<PackageEntry> entries(count);
    uLongf length = static_cast<uLongf>(count * sizeof(PackageEntry));
    if (uncompress(reinterpret_cast<Bytef*>(entries.data()), &length, &file.at(directoryAt), directorySize) != Z_OK)
        return false;
    change(entries);
    uLongf bound = compressBound(static_cast<uLong>(length));
    std::vector<uint8_t> packed(bound);
    if (compress2(packed.data(), &bound, reinterpret_cast<const Bytef*>(entries.data()), length, 6) != Z_OK)
        return false;
    packed.resize(bound);
    file.resize(directoryAt);
    file.insert(file.end(), packed.begin(), packed.end());
    while (file.size() % 4)
        file.push_back(0);
    Put32(file, headerAt + 8, static_cast<uint32_t>(packed.size()));
    Put32(file, headerAt + 12, adler32(1, reinterpret_cast<const Bytef*>(entries.data()), static_cast<uInt>(length)));
    Put32(file, headerAt + 24, adler32(1, packed.data(), static_cast<uInt>(packed.size())));
    return true;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

}  // namespace testimage

#endif
