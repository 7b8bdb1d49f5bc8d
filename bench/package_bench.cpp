// Opening (verifying) a package with a 256 MB data region, against zlib's own
// adler32 over the same bytes, measured in the same run; look-up cost in a
// small and a large directory; and opening a directory of names crafted to
// collide in the look-up hash, against one of ordinary names of the same size.
//
// usage: package_bench [MEGABYTES] [ROUNDS] [NAMES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>
#include <zlib.h>

#include "CollidingNames.h"
#include "Package.h"
#include "PackageWriter.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

int main(int argc, char** argv)
{
    size_t megabytes = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 256;
    int rounds = argc > 2 ? atoi(argv[2]) : 5;

    // Incompressible content at level 0 makes a data region of about the
    // requested size (stored blocks add 5 bytes in 64 KB).
    std::string content(megabytes << 20, '\0');
    uint64_t x = 88172645463325252ull;
    for (size_t i = 0; i < content.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        memcpy(&content[i], &x, std::min<size_t>(8, content.size() - i));
    }
    std::vector<uint8_t> stub(0x600, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[0x18] = 0x40;
    stub[0x3C] = 0x80;
    stub[0x80] = 'P';
    stub[0x81] = 'E';
    stub[0x86] = 1;                 // one section
    stub[0x80 + 20] = 224;          // optional header size
    size_t section = 0x80 + 24 + 224;
    stub[section + 17] = 0x04;      // SizeOfRawData 0x400
    stub[section + 21] = 0x02;      // PointerToRawData 0x200

    std::vector<PackItem> items(3);
    items[0].name = ".";
    items[0].parent = -1;
    items[0].directory = true;
    items[1].name = "Install.ini";
    items[1].content = "// Company=Bench\r\n";
    items[2].name = "payload.bin";
    items[2].content = std::move(content);

    fs::path path = fs::temp_directory_path() / "vellmark-package-bench.exe";
    {
        FILE* out = fopen(path.string().c_str(), "wb");
        FileSink sink(out);
        sink.Write(stub.data(), stub.size());
        PackOptions options;
        options.level = 0;
        std::string error;
        if (!WritePackageArchive(items, stub.size(), sink, options, &error)) {
            fprintf(stderr, "package_bench: %s\n", error.c_str());
            return 1;
        }
        fclose(out);
    }
    std::vector<uint8_t> file(fs::file_size(path));
    {
        FILE* in = fopen(path.string().c_str(), "rb");
        if (fread(file.data(), 1, file.size(), in) != file.size())
            return 1;
        fclose(in);
    }
    uint32_t dataSize = ReadLittle32(&file[0x600 + 4]);
    printf("package: %.1f MB file, %.1f MB data region\n", file.size() / 1048576.0, dataSize / 1048576.0);

    double bestOpen = 1e9, bestAdler = 1e9;
    unsigned long sink = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        uLong sum = adler32(0L, Z_NULL, 0);
        sum = adler32(sum, &file[0x600 + 28], dataSize);
        auto t1 = Clock::now();
        sink += sum;
        bestAdler = std::min(bestAdler, Seconds(t1 - t0));

        PackageHandle* h = nullptr;
        auto t2 = Clock::now();
        int code = OpenPackage(path.string().c_str(), &h);
        auto t3 = Clock::now();
        if (code != PackageOpened) {
            fprintf(stderr, "package_bench: open failed with %d\n", code);
            return 1;
        }
        ClosePackage(h);
        bestOpen = std::min(bestOpen, Seconds(t3 - t2));
    }
    printf("zlib adler32 over the data region: %8.1f ms  (%.2f GB/s)\n", bestAdler * 1e3,
           dataSize / bestAdler / 1e9);
    printf("OpenPackage (map, verify, decode):  %8.1f ms\n", bestOpen * 1e3);
    printf("ratio open / adler32: %.3f  (target <= 1.10; best of %d rounds)\n", bestOpen / bestAdler, rounds);
    fs::remove(path);

    // Lookup cost against directory size: the same deepest-path lookup in a
    // package of about 100 entries and in one of about 100,000.
    double perLookup[2] = {0, 0};
    const int folders[2] = {1, 1000};
    for (int k = 0; k < 2; ++k) {
        std::vector<PackItem> tree(1);
        tree[0] = items[0];
        for (int d = 0; d < folders[k]; ++d) {
            PackItem folder;
            folder.name = "folder" + std::to_string(d);
            folder.parent = 0;
            folder.directory = true;
            tree.push_back(folder);
            int32_t parent = static_cast<int32_t>(tree.size() - 1);
            for (int f = 0; f < 99; ++f) {
                PackItem file;
                file.name = "file" + std::to_string(f) + ".txt";
                file.parent = parent;
                tree.push_back(file);
            }
        }
        fs::path treePath = fs::temp_directory_path() / "vellmark-lookup-bench.exe";
        FILE* out = fopen(treePath.string().c_str(), "wb");
        FileSink treeSink(out);
        treeSink.Write(stub.data(), stub.size());
        PackOptions options;
        options.level = 1;
        std::string error;
        WritePackageArchive(tree, stub.size(), treeSink, options, &error);
        fclose(out);
        PackageHandle* h = nullptr;
        if (OpenPackage(treePath.string().c_str(), &h) != PackageOpened)
            return 1;
        std::string wanted = "FOLDER" + std::to_string(folders[k] - 1) + "\\FILE98.TXT";
        const int lookups = 200000;
        auto t0 = Clock::now();
        for (int i = 0; i < lookups; ++i)
            sink += FindPackageEntry(h, wanted.c_str()) != nullptr;
        perLookup[k] = Seconds(Clock::now() - t0) / lookups;
        printf("FindPackageEntry in %6u entries: %6.1f ns per lookup\n", h->entryCount, perLookup[k] * 1e9);
        ClosePackage(h);
        fs::remove(treePath);
    }
    printf("lookup cost ratio, 100,001 entries / 101 entries: %.2f\n", perLookup[1] / perLookup[0]);

    // A hostile directory: NAMES top-level names that all share one slot of
    // the look-up hash, against a control of as many ordinary names of the
    // same length.  Both are opened (and every name looked up) the same way.
    size_t names = argc > 3 ? static_cast<size_t>(atoi(argv[3])) : 200000;
    int bits = 1;
    while ((size_t{1} << bits) < 2 * (names + 1))   // the reader's table: a power of two, at least 2n slots
        ++bits;
    auto crafted = Clock::now();
    std::vector<std::string> collidingNames = testimage::MakeCollidingNames(names, 0, bits);
    double craftSeconds = Seconds(Clock::now() - crafted);
    std::vector<std::string> ordinaryNames;
    for (size_t i = 0; i < names; ++i) {
        char name[16];
        snprintf(name, sizeof name, "f%07zu", i);
        ordinaryNames.push_back(name);
    }
    const char* kinds[2] = {"ordinary", "colliding"};
    double openSeconds[2] = {0, 0}, findSeconds[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::string>& list = k == 0 ? ordinaryNames : collidingNames;
        std::vector<PackItem> flat(1);
        flat[0] = items[0];
        for (const std::string& name : list) {
            PackItem file;
            file.name = name;
            file.parent = 0;
            flat.push_back(file);
        }
        fs::path flatPath = fs::temp_directory_path() / "vellmark-collision-bench.exe";
        FILE* out = fopen(flatPath.string().c_str(), "wb");
        FileSink flatSink(out);
        flatSink.Write(stub.data(), stub.size());
        PackOptions options;
        options.level = 9;
        std::string error;
        if (!WritePackageArchive(flat, stub.size(), flatSink, options, &error)) {
            fprintf(stderr, "package_bench: %s\n", error.c_str());
            return 1;
        }
        fclose(out);
        double best = 1e9, bestFind = 1e9;
        bool hashed = false;
        for (int r = 0; r < 3; ++r) {
            PackageHandle* h = nullptr;
            auto t0 = Clock::now();
            if (OpenPackage(flatPath.string().c_str(), &h) != PackageOpened) {
                fprintf(stderr, "package_bench: the %s package does not open\n", kinds[k]);
                return 1;
            }
            best = std::min(best, Seconds(Clock::now() - t0));
            hashed = h->hashSlots != nullptr;
            auto t1 = Clock::now();
            for (const std::string& name : list)
                sink += FindPackageEntry(h, name.c_str()) != nullptr;
            bestFind = std::min(bestFind, Seconds(Clock::now() - t1));
            ClosePackage(h);
        }
        openSeconds[k] = best;
        findSeconds[k] = bestFind;
        printf("%zu %s names (%.0f KB package): open %8.1f ms, every name looked up %7.1f ms, %s\n", names,
               kinds[k], fs::file_size(flatPath) / 1024.0, best * 1e3, bestFind * 1e3,
               hashed ? "hash index" : "sorted index (the hash gave up)");
        fs::remove(flatPath);
    }
    printf("(crafting %zu names that share the low %d hash bits took %.1f s)\n", names, bits, craftSeconds);
    printf("ratio open colliding / ordinary: %.2f  (target <= 3; best of 3 rounds)\n", openSeconds[1] / openSeconds[0]);
    printf("ratio look-ups colliding / ordinary: %.2f\n", findSeconds[1] / findSeconds[0]);
    return sink == 42 ? 2 : 0;
}
