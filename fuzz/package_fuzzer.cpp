// libFuzzer target: arbitrary bytes as a setup executable.  Opens them as the
// setup program does, then looks up and extracts every entry and a few paths
// taken from the input itself.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "Package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string path = "/dev/shm/vellmark-package-fuzz-" + std::to_string(getpid());
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    PackageHandle* h = nullptr;
    if (OpenPackage(path.c_str(), &h) != PackageOpened)
        return 0;
    // Every entry by its own name at the top level, and the name with a folder prefix.
    uint32_t limit = h->entryCount < 64 ? h->entryCount : 64;
    for (uint32_t i = 0; i < limit; ++i) {
        char name[PackageNameSize + 1];
        memcpy(name, h->entries[i].name, PackageNameSize);
        name[PackageNameSize] = 0;
        uint8_t* block = nullptr;
        uint32_t length = 0;
        if (ExtractPackageEntry(h, name, &block, &length) == ExtractOk) {
            if (block[length] != 0)
                __builtin_trap();
            FreePackageBlock(block);
        }
        std::string nested = std::string(name) + "\\" + name;
        FindPackageEntry(h, nested.c_str());
        PackageEntrySize(h, name);
    }
    // A path from the tail of the input.
    std::string tail(reinterpret_cast<const char*>(data) + (size > 40 ? size - 40 : 0), size > 40 ? 40 : size);
    FindPackageEntry(h, tail.c_str());
    ClosePackage(h);
    return 0;
}
