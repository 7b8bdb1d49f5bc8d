// Packing and unpacking a product of realistic size, against the tools a
// publisher would otherwise use, measured in the same run:
//   - `vellmark pack` against makensis (zlib compressor, `File /r` of the same
//     tree) on several trees, each level asked for: the generated 2,000-file,
//     ~265 MB product (half text-like, half with a random half: `mix`), real
//     text (this project's own sources and docs, then the C and C++ headers
//     of /usr/include: `text`), Windows programs and libraries (wine's PE
//     builds: `windows-binaries`) and Linux programs (/usr/bin:
//     `linux-binaries`); the real trees are copies of the first files in
//     name order up to --tree-megabytes;
//   - `vellmark extract -d` of the package against the floor of the work it
//     must do (inflate every stream, Adler-32 every content, write the same
//     bytes, one thread) and against `unzip -o` of a zip of the same files.
//
// Each figure is the best of several rounds (the machine is shared), and the
// processor time of each tool is printed beside its wall time: on two idle
// cores our wall time is about half of our processor time, makensis's equal
// to its own.
//
// usage: pack_bench [--levels 6,9,...] [--trees mix,text,...] [--tree-megabytes MB] [--rounds N]
//                   [--megabytes MB] [--no-makensis] [--no-extract] [--keep]
//   --levels  the pack levels to measure (default: the tool's default level)
//   --trees   the trees to pack (default: all four); the extraction is
//             measured on `mix` alone, and only when it is among them
//   --rounds  rounds of each measurement, best taken (default 5; makensis 2)
//   --no-makensis  leaves makensis out (for measuring the other figures)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "BenchRun.h"
#include "Package.h"
#include "ProductTree.h"
#include "StreamCompressor.h"
#include "TestImage.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using benchrun::CpuSeconds;
using benchrun::MustRun;
using benchrun::Quoted;
using benchrun::Timing;

namespace {

// A script that installs nothing beside the copied files.
bool WriteEmptyScript(const fs::path& root)
{
    FILE* ini = fopen((root / "Install.ini").string().c_str(), "wb");
    if (!ini)
        return false;
    fputs("// Company=Vellmark Bench\r\n// Product=Bench\r\n// Version=1.0\r\ninit() { return 1; }\r\n"
          "install() { return 1; }\r\n", ini);
    return fclose(ini) == 0;
}

// The generated product (ProductTree.h) with a script that installs nothing:
// what is measured here is packing and unpacking.
bool MakeTree(const fs::path& root, size_t megabytes, uint64_t* total)
{
    benchtree::ProductTree tree;
    if (!benchtree::MakeProductTree(root, "", megabytes, &tree))
        return false;
    *total = tree.bytes;
    return WriteEmptyScript(root);
}

double MB(uint64_t bytes)
{
    return bytes / 1e6;
}

// Copies the regular files under each source (in name order, links not
// followed) into `root` until `limit` bytes; a source that is a list file
// ("@FILE") names files one per line, relative to this source tree.
// The names the package takes: the path below the source, under a folder
// named after the source's position.
bool CopyTree(const fs::path& root, const std::vector<std::string>& sources, uint64_t limit, uint64_t* total,
              size_t* files)
{
    *total = 0;
    *files = 0;
    std::set<std::string> taken;
    for (size_t k = 0; k < sources.size() && *total < limit; ++k) {
        std::vector<fs::path> found;
        fs::path base = sources[k];
        if (!sources[k].empty() && sources[k][0] == '@') {
            fs::path list = sources[k].substr(1);
            base = VM_SOURCE_DIR;
            FILE* in = fopen(list.string().c_str(), "r");
            char line[4096];
            while (in && fgets(line, sizeof line, in)) {
                std::string name(line);
                while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
                    name.pop_back();
                if (!name.empty())
                    found.push_back(base / name);
            }
            if (in)
                fclose(in);
        } else {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
                 it != fs::recursive_directory_iterator(); it.increment(ec)) {
                if (ec)
                    break;
                if (it->is_regular_file(ec) && !it->is_symlink(ec))
                    found.push_back(it->path());
            }
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& from : found) {
            std::error_code ec;
            if (!fs::is_regular_file(fs::symlink_status(from, ec)))
                continue;
            // Names that Windows cannot keep apart (xt_connmark.h beside
            // xt_CONNMARK.h): the first one stays.
            std::string folded = fs::relative(from, base).string();
            for (char& c : folded)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            if (!taken.insert(std::to_string(k) + "/" + folded).second)
                continue;
            uint64_t size = fs::file_size(from, ec);
            if (ec || size == 0 || *total + size > limit)
                continue;
            fs::path to = root / ("source" + std::to_string(k)) / fs::relative(from, base);
            fs::create_directories(to.parent_path());
            if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec))
                continue;
            *total += size;
            ++*files;
        }
    }
    return *files > 0 && WriteEmptyScript(root);
}

// The least work an extraction does: every record extracted by the package
// reader itself (its inflate, with the Adler-32 that inflate computes,
// checked against the entry), into one buffer kept for all of them, and the
// same bytes written to the same files, on one thread.
double ExtractionFloor(const fs::path& setup, const fs::path& into, double* cpu)
{
    PackageHandle* h = nullptr;
    if (OpenPackage(setup.string().c_str(), &h) != PackageOpened) {
        fprintf(stderr, "pack_bench: cannot open %s\n", setup.string().c_str());
        exit(1);
    }
    // The paths, the folders and the buffer are made before the clock starts.
    std::vector<std::string> paths(h->entryCount);
    uint64_t largest = 0;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        paths[i] = (e.parent == 0 ? into.string() : paths[e.parent]) + "/" + e.name;
        if (e.attributes & PackageAttributeDirectory)
            fs::create_directories(paths[i]);
        else
            largest = std::max<uint64_t>(largest, e.size);
    }
    std::vector<uint8_t> buffer(largest + 1);
    double cpuBefore = CpuSeconds(RUSAGE_SELF);
    auto t0 = Clock::now();
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (e.attributes & PackageAttributeDirectory)
            continue;
        if (ExtractPackageRecordInto(h, &e, buffer.data(), buffer.size()) != ExtractOk) {
            fprintf(stderr, "pack_bench: entry %u does not inflate\n", i);
            exit(1);
        }
        FILE* out = fopen(paths[i].c_str(), "wb");
        if (!out || fwrite(buffer.data(), 1, e.size, out) != e.size || fclose(out) != 0) {
            fprintf(stderr, "pack_bench: cannot write %s\n", paths[i].c_str());
            exit(1);
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    *cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    ClosePackage(h);
    return seconds;
}

int Usage()
{
    fprintf(stderr, "usage: pack_bench [--levels 6,9,...] [--trees mix,text,windows-binaries,linux-binaries]\n"
                    "                  [--tree-megabytes MB] [--rounds N] [--megabytes MB] [--no-makensis]\n"
                    "                  [--no-extract] [--keep]\n");
    return 2;
}

// A comma-separated list.
std::vector<std::string> Words(const char* text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char* p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
            if (*p == '\0')
                return words;
        } else {
            word += *p;
        }
    }
}

// One level on one tree.
struct PackFigure {
    int level;
    double seconds, cpu;
    uint64_t size;
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> levels;
    std::vector<std::string> trees = {"mix", "text", "windows-binaries", "linux-binaries"};
    int rounds = 5;
    size_t megabytes = 265;
    uint64_t treeMegabytes = 80;
    bool keep = false;
    bool makensis = true;
    bool extract = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--levels" && i + 1 < argc) {
            for (const std::string& w : Words(argv[++i])) {
                char* end = nullptr;
                levels.push_back(static_cast<int>(strtol(w.c_str(), &end, 10)));
                if (*end != '\0')
                    return Usage();
            }
        } else if (a == "--trees" && i + 1 < argc) {
            trees = Words(argv[++i]);
        } else if (a == "--tree-megabytes" && i + 1 < argc) {
            treeMegabytes = static_cast<uint64_t>(atoi(argv[++i]));
        } else if (a == "--rounds" && i + 1 < argc) {
            rounds = atoi(argv[++i]);
        } else if (a == "--megabytes" && i + 1 < argc) {
            megabytes = static_cast<size_t>(atoi(argv[++i]));
        } else if (a == "--no-makensis") {
            makensis = false;
        } else if (a == "--no-extract") {
            extract = false;
        } else if (a == "--keep") {
            keep = true;
        } else {
            return Usage();
        }
    }
    if (levels.empty())
        levels.push_back(CompressionLevelDefault);

    fs::path work = fs::temp_directory_path() / ("vellmark-pack-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    fs::path stub = work / "stub.exe";
    testimage::WriteBytes(stub.string().c_str(), testimage::MakeStub());
    fs::path ours = work / "setup.exe";
    fs::path defaultPackage, mixTree;
    // The project's own tracked files, as the list git keeps of them.
    fs::path ownFiles = work / "own-files.txt";
    bool haveOwn = system(("git -C " + Quoted(VM_SOURCE_DIR) + " ls-files >" + Quoted(ownFiles) + " 2>/dev/null").c_str()) == 0;
    std::vector<std::string> ownSource = {"@" + ownFiles.string()};
    if (!haveOwn)
        ownSource = {std::string(VM_SOURCE_DIR) + "/docs"};

    struct TreeResult {
        std::string name;
        uint64_t nsisSize;
        double nsisSeconds;
        std::vector<PackFigure> figures;
    };
    std::vector<TreeResult> results;
    for (const std::string& name : trees) {
        fs::path tree = work / ("tree-" + name);
        uint64_t total = 0;
        size_t files = 0;
        auto t0 = Clock::now();
        bool made = false;
        if (name == "mix") {
            made = MakeTree(tree, megabytes, &total);
            files = 2000;
            mixTree = tree;
        } else if (name == "text") {
            std::vector<std::string> sources = ownSource;
            sources.push_back("/usr/include");
            made = CopyTree(tree, sources, treeMegabytes << 20, &total, &files);
        } else if (name == "windows-binaries") {
            made = CopyTree(tree, {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/x86_64-linux-gnu/wine/i386-windows"},
                            treeMegabytes << 20, &total, &files);
        } else if (name == "linux-binaries") {
            made = CopyTree(tree, {"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, treeMegabytes << 20, &total, &files);
        } else {
            fprintf(stderr, "pack_bench: no tree %s\n", name.c_str());
            return Usage();
        }
        if (!made) {
            fprintf(stderr, "pack_bench: cannot make the tree %s under %s\n", name.c_str(), work.string().c_str());
            return 1;
        }
        printf("== tree %s: %zu files, %.1f MB (made in %.1f s)\n", name.c_str(), files, MB(total),
               std::chrono::duration<double>(Clock::now() - t0).count());

        // makensis: the zlib compressor (zlib's level 9, each file a stream of its own).
        fs::path nsi = work / "bench.nsi";
        fs::path nsisOut = work / "nsis-setup.exe";
        FILE* script = fopen(nsi.string().c_str(), "wb");
        fprintf(script,
                "Name \"Bench\"\nOutFile \"%s\"\nSetCompressor zlib\nRequestExecutionLevel user\n"
                "InstallDir \"$TEMP\\Bench\"\nSection\n  SetOutPath \"$INSTDIR\"\n  File /r \"%s/*\"\nSectionEnd\n",
                nsisOut.string().c_str(), tree.string().c_str());
        fclose(script);
        double nsisSeconds = 1e9, nsisCpu = 1e9;
        for (int r = 0; makensis && r < std::max(1, std::min(rounds, 2)); ++r) {
            fs::remove(nsisOut);
            Timing t;
            MustRun("makensis -V1 " + Quoted(nsi) + " >" + Quoted(work / "makensis.log") + " 2>&1", &t);
            nsisSeconds = std::min(nsisSeconds, t.wall);
            nsisCpu = std::min(nsisCpu, t.cpu);
        }
        uint64_t nsisSize = makensis ? fs::file_size(nsisOut) : 1;
        if (makensis)
            printf("makensis (zlib):          %6.2f s (cpu %6.2f s)  %8.2f MB\n", nsisSeconds, nsisCpu, MB(nsisSize));
        TreeResult result = {name, nsisSize, nsisSeconds, {}};

        for (int level : levels) {
            double seconds = 1e9, cpuBest = 1e9;
            for (int r = 0; r < std::max(1, rounds); ++r) {
                fs::remove(ours);
                Timing t;
                MustRun(std::string(VM_VELLMARK) + " pack " + Quoted(tree) + " -o " + Quoted(ours) + " --stub " +
                            Quoted(stub) + " --level " + std::to_string(level) + " --no-uninstaller >/dev/null",
                        &t);
                seconds = std::min(seconds, t.wall);
                cpuBest = std::min(cpuBest, t.cpu);
            }
            uint64_t size = fs::file_size(ours);
            result.figures.push_back({level, seconds, cpuBest, size});
            printf("vellmark pack --level %-2d  %6.2f s (cpu %6.2f s)  %8.2f MB", level, seconds, cpuBest, MB(size));
            if (makensis)
                printf("   %.2fx faster than makensis, size %+.2f%%", nsisSeconds / seconds,
                       100.0 * (double(size) - double(nsisSize)) / nsisSize);
            printf("%s\n", level == CompressionLevelDefault ? "   (the default)" : "");
            if (name == "mix" && (level == CompressionLevelDefault || defaultPackage.empty())) {
                defaultPackage = work / ("setup-" + std::to_string(level) + ".exe");
                fs::rename(ours, defaultPackage);
            }
        }
        results.push_back(result);
        if (name != "mix")
            fs::remove_all(tree);
    }
    printf("target: pack at least 5x faster than makensis, no larger, on every tree (%s with %u threads)\n",
           CompressorName(), std::max(1u, std::thread::hardware_concurrency()));
    if (makensis && results.size() > 1) {
        printf("per level over all trees: the largest size against makensis, the least speed-up\n");
        for (size_t l = 0; l < levels.size(); ++l) {
            double worstSize = -1e9, worstSpeed = 1e9;
            for (const TreeResult& r : results) {
                const PackFigure& f = r.figures[l];
                worstSize = std::max(worstSize, 100.0 * (double(f.size) - double(r.nsisSize)) / r.nsisSize);
                worstSpeed = std::min(worstSpeed, r.nsisSeconds / f.seconds);
            }
            printf("  --level %-2d  size at most %+.2f%%, at least %.2fx faster  %s%s\n", levels[l], worstSize,
                   worstSpeed, worstSize <= 0 && worstSpeed >= 5 ? "meets the target" : "misses the target",
                   levels[l] == CompressionLevelDefault ? "   (the default)" : "");
        }
    }
    if (!extract || mixTree.empty()) {
        if (!keep)
            fs::remove_all(work);
        return 0;
    }
    fs::path tree = mixTree;

    // Unpacking: the floor, our extract, and unzip of a zip of the same files
    // at the same level (zip's most is 9).
    int zipLevel = std::min(9, levels.size() == 1 ? levels[0] : CompressionLevelDefault);
    fs::path zip = work / "tree.zip";
    MustRun("cd " + Quoted(tree) + " && zip -q -r -" + std::to_string(zipLevel) + " " + Quoted(zip) + " .");
    // Each run starts on a settled file system: the previous run's files are
    // removed and everything written so far is on disk.  The three take turns
    // in a rotating order, so none always follows the same one.
    double best[3] = {1e9, 1e9, 1e9};   // floor, ours, unzip
    double bestCpu[3] = {1e9, 1e9, 1e9};
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 3; ++k) {
            int which = (r + k) % 3;
            fs::path into = work / "out";
            fs::remove_all(into);
            sync();
            Timing t;
            if (which == 0)
                t.wall = ExtractionFloor(defaultPackage, into, &t.cpu);
            else if (which == 1)
                MustRun(std::string(VM_VELLMARK) + " extract " + Quoted(defaultPackage) + " -d " + Quoted(into) +
                            " >/dev/null",
                        &t);
            else
                MustRun("unzip -o -q " + Quoted(zip) + " -d " + Quoted(into), &t);
            best[which] = std::min(best[which], t.wall);
            bestCpu[which] = std::min(bestCpu[which], t.cpu);
            if (r == 0 && which == 1 && system(("diff -r -q " + Quoted(tree) + " " + Quoted(into)).c_str()) != 0) {
                fprintf(stderr, "pack_bench: the extracted tree differs from the packed one\n");
                return 1;
            }
        }
    }
    fs::remove_all(work / "out");
    double floorBest = best[0], oursBest = best[1], unzipBest = best[2];
    printf("extraction floor (inflate + Adler-32 + write, one thread): %6.2f s (cpu %5.2f s)\n", floorBest, bestCpu[0]);
    printf("vellmark extract -d (verifies the package first):          %6.2f s (cpu %5.2f s)   %.2fx the floor "
           "(target <= 1.15)\n", oursBest, bestCpu[1], oursBest / floorBest);
    printf("unzip -o of the same files (zip -%d, %.2f MB):              %6.2f s (cpu %5.2f s)   ours %.2fx faster "
           "(target > 1)\n", zipLevel, MB(fs::file_size(zip)), unzipBest, bestCpu[2], unzipBest / oursBest);
    printf("(best of %d rounds each)\n", rounds);
    if (!keep)
        fs::remove_all(work);
    else
        printf("work folder kept: %s\n", work.string().c_str());
    return 0;
}
