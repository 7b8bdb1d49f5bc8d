// Install log figures: the cost of LogAddEntry's duplicate check as the log
// grows, against walking the list as a plain search would, and the time to
// save and load a large log.
#include "InstallLog.h"

#include "AnsiText.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

std::string PathOf(int i, bool upper)
{
    char path[96];
    std::snprintf(path, sizeof(path), upper ? "C:\\PROGRAM FILES\\ACME\\TOOL\\DATA\\FILE%07d.DAT"
                                            : "C:\\Program Files\\Acme\\Tool\\Data\\file%07d.dat", i);
    return path;
}

// The check a list without an index has to make: walk from the front.
bool WalkFindsDuplicate(const InstallLog& list, int32_t kind, const char* text1)
{
    for (const LogEntry* e = list.first; e; e = e->next)
        if (e->kind == kind && e->text1 && AnsiCompareNoCase(e->text1, text1) == 0)
            return true;
    return false;
}

}  // namespace

int main()
{
    std::printf("LogAddEntry with the duplicate index (File entries, ~45-byte paths)\n");
    std::printf("%10s %14s %14s %16s\n", "entries", "add all (ms)", "per add (ns)", "dup check (ns)");
    for (int n : {1000, 10000, 100000, 200000}) {
        std::vector<std::string> paths, upper;
        for (int i = 0; i < n; ++i) {
            paths.push_back(PathOf(i, false));
            upper.push_back(PathOf(i, true));
        }
        InstallLog list{};
        auto start = Clock::now();
        for (const std::string& p : paths)
            LogAddFile(&list, p.c_str());
        double add = Seconds(start);

        start = Clock::now();
        int refused = 0;
        for (const std::string& p : upper)
            refused += LogAddFile(&list, p.c_str()) == 0;
        double dup = Seconds(start);
        if (refused != n || list.count != static_cast<size_t>(n)) {
            std::printf("wrong result: %d refused of %d\n", refused, n);
            return 1;
        }
        std::printf("%10d %14.2f %14.1f %16.1f\n", n, add * 1e3, add * 1e9 / n, dup * 1e9 / n);
        ReleaseInstallLog(&list);
    }

    std::printf("\nFor comparison, walking the list for each check (1,000 checks at the end)\n");
    std::printf("%10s %16s\n", "entries", "walk check (ns)");
    for (int n : {1000, 10000, 100000}) {
        InstallLog list{};
        for (int i = 0; i < n; ++i)
            LogAddFile(&list, PathOf(i, false).c_str());
        const int checks = 1000;
        auto start = Clock::now();
        int found = 0;
        for (int i = 0; i < checks; ++i)
            found += WalkFindsDuplicate(list, LogKindFile, PathOf(n - 1 - i % n, true).c_str());
        double walk = Seconds(start);
        std::printf("%10d %16.1f%s\n", n, walk * 1e9 / checks, found == checks ? "" : "  (wrong result)");
        ReleaseInstallLog(&list);
    }

    std::printf("\nSaving and loading a log of 100,000 entries (target: load / save at most 1)\n");
    std::string path = (std::filesystem::temp_directory_path() / "vellmark-log-bench.log").string();
    InstallLog list{};
    for (int i = 0; i < 100000; ++i)
        LogAddFile(&list, PathOf(i, false).c_str());
    auto start = Clock::now();
    LogSaveStatus saved = SaveInstallLog(&list, path.c_str());
    double save = Seconds(start);
    auto bytes = std::filesystem::file_size(path);
    start = Clock::now();
    LogLoadStatus loaded = LoadInstallLogStatus(&list, path.c_str());
    double load = Seconds(start);
    std::printf("  file %llu bytes; save %.1f ms (%s); load %.1f ms (%s, %lu entries); load / save %.2f\n",
                static_cast<unsigned long long>(bytes), save * 1e3, saved == LogSaveWritten ? "written" : "FAILED",
                load * 1e3, loaded == LogLoadComplete ? "complete" : "INCOMPLETE",
                static_cast<unsigned long>(list.count), load / save);
    ReleaseInstallLog(&list);
    std::filesystem::remove(path);
    return 0;
}
