// The one-block inflate of the setup, zlib against libdeflate, under wine:
// every file entry of a package inflated into one buffer by each, the
// outputs compared byte for byte (and with the entry's Adler-32), the best
// of several rounds timed (install_bench runs it on its package).
//
// usage: inflate_bench PACKAGE.exe [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BlockInflater.h"
#include "Package.h"

namespace {

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: inflate_bench PACKAGE.exe [ROUNDS]\n");
        return 2;
    }
    int rounds = argc > 2 ? atoi(argv[2]) : 3;
    PackageHandle* h = nullptr;
    if (OpenPackage(argv[1], &h) != PackageOpened) {
        fprintf(stderr, "inflate_bench: cannot open %s\n", argv[1]);
        return 1;
    }
    // The data region in memory, so that both inflate the same bytes.
    FILE* in = fopen(argv[1], "rb");
    std::vector<uint8_t> data(h->dataSize);
    if (!in || _fseeki64(in, static_cast<long long>(h->dataOffset), SEEK_SET) != 0 ||
        fread(data.data(), 1, data.size(), in) != data.size()) {
        fprintf(stderr, "inflate_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    fclose(in);
    uint64_t largest = 0, total = 0, files = 0;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (e.attributes & PackageAttributeDirectory)
            continue;
        largest = e.size > largest ? e.size : largest;
        total += e.size;
        ++files;
    }
    std::vector<uint8_t> first(largest + 1), second(largest + 1);
    double best[2] = {1e9, 1e9};
    const char* names[2] = {"zlib", "libdeflate"};
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            int which = (r + k) % 2;
            double t0 = Now();
            for (uint32_t i = 1; i < h->entryCount; ++i) {
                const PackageEntry& e = h->entries[i];
                if (e.attributes & PackageAttributeDirectory)
                    continue;
                uint8_t* out = which == 0 ? first.data() : second.data();
                int code = which == 0 ? InflateBlockWithZlib(data.data() + e.offset, e.compressedSize, out, e.size)
                                      : InflateBlockWithLibdeflate(data.data() + e.offset, e.compressedSize, out, e.size);
                if (code != BlockInflated || PackageAdler32(out, e.size) != e.checksum) {
                    fprintf(stderr, "inflate_bench: %s fails on entry %u\n", names[which], i);
                    return 1;
                }
                if (which == 1 && r == 0) {
                    InflateBlockWithZlib(data.data() + e.offset, e.compressedSize, first.data(), e.size);
                    if (memcmp(first.data(), second.data(), e.size) != 0) {
                        fprintf(stderr, "inflate_bench: the outputs of entry %u differ\n", i);
                        return 1;
                    }
                }
            }
            double seconds = Now() - t0;
            if (!(which == 1 && r == 0) && seconds < best[which])
                best[which] = seconds;
        }
    }
    if (best[1] > 1e8)
        best[1] = best[0];
    printf("inflate of %llu entries, %.1f MB (best of %d, one thread, outputs identical):\n",
           static_cast<unsigned long long>(files), total / 1e6, rounds);
    for (int k = 0; k < 2; ++k)
        printf("  %-11s %6.3f s  %7.1f MB/s\n", names[k], best[k], total / 1e6 / best[k]);
    printf("  libdeflate takes %.2fx the time of zlib\n", best[1] / best[0]);
    ClosePackage(h);
    return 0;
}
