// The writing half of the package format: used by `vellmark pack` and by the
// tests, which also build damaged archives from it.
#ifndef VELLMARK_PACKAGEWRITER_H
#define VELLMARK_PACKAGEWRITER_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "StreamCompressor.h"

// One directory record to be written.  Items are written in the order given;
// item 0 must be the root (name ".", parent -1) and every item must stand
// after its parent.
struct PackItem {
    std::string name;                 // one path component, 8-bit ANSI (Windows-1252)
    int32_t parent = 0;               // index of the parent item; -1 for the root
    bool directory = false;
    std::filesystem::path source;     // a file's content comes from here when set...
    std::string content;              // ...otherwise from here
};

struct PackOptions {
    int level = CompressionLevelDefault;   // 0 (stored) to 12 (smallest); see StreamCompressor.h
    unsigned threads = 0;             // compressing threads; 0: one per core
    // Called from the writing thread after each file: bytes read so far, total bytes.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// Where the archive goes.  `Patch` rewrites bytes already written (the header,
// whose sizes and checksums are known only at the end).
struct ArchiveSink {
    virtual ~ArchiveSink() = default;
    virtual bool Write(const void* bytes, size_t length) = 0;
    virtual bool Patch(uint64_t offset, const void* bytes, size_t length) = 0;
};

struct FileSink : ArchiveSink {
    explicit FileSink(FILE* file) : file(file) {}
    bool Write(const void* bytes, size_t length) override;
    bool Patch(uint64_t offset, const void* bytes, size_t length) override;
    FILE* file;
};

struct MemorySink : ArchiveSink {
    bool Write(const void* bytes, size_t length) override;
    bool Patch(uint64_t offset, const void* bytes, size_t length) override;
    std::vector<uint8_t> bytes;
};

// Writes header, data region, compressed directory and the zero padding that
// makes prefixLength + archive a multiple of 4.  `prefixLength` is the number
// of bytes already in the sink (the executable image); the header is written
// at that offset.  Returns false with a one-line reason in *error.
bool WritePackageArchive(const std::vector<PackItem>& items, uint64_t prefixLength, ArchiveSink& sink,
                         const PackOptions& options, std::string* error);

#endif
