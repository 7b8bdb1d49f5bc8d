// Running and timing the commands a benchmark measures: wall time beside
// processor time, the median of several runs, paths quoted for the shell.
#ifndef VELLMARK_BENCH_BENCHRUN_H
#define VELLMARK_BENCH_BENCHRUN_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <errno.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace benchrun {

// A path as one shell word.
inline std::string Quoted(const std::filesystem::path& p)
{
    return "'" + p.string() + "'";
}

// Processor time (user + system) of this process (RUSAGE_SELF), or of its
// children that have ended (RUSAGE_CHILDREN).
inline double CpuSeconds(int who)
{
    struct rusage usage;
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time of a running process that is not our child's child.
inline double ProcessCpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14 || i == 15)   // utime, stime
            ticks += atof(field.c_str());
        if (i == 15)
            break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A process that works for the commands run (install_bench's wineserver,
// which lives across them): its processor time is counted with theirs.
// 0: none.
inline pid_t Helper = 0;

struct Timing {
    double wall = 0;
    double cpu = 0;   // the command's processes and the helper
};

// Runs a command through the shell; its exit status (as the program returned
// it; -1 when it did not exit).
inline int Run(const std::string& command, Timing* timing = nullptr)
{
    fflush(stdout);
    double cpu0 = CpuSeconds(RUSAGE_CHILDREN) + (Helper ? ProcessCpuSeconds(Helper) : 0);
    auto t0 = std::chrono::steady_clock::now();
    int status = system(command.c_str());
    if (timing) {
        timing->wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        timing->cpu = CpuSeconds(RUSAGE_CHILDREN) + (Helper ? ProcessCpuSeconds(Helper) : 0) - cpu0;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a command that must succeed: any other exit status prints
// "BENCHMARK: failed (STATUS): COMMAND" and ends the benchmark.
inline void MustRun(const std::string& command, Timing* timing = nullptr)
{
    int code = Run(command, timing);
    if (code != 0) {
        fprintf(stderr, "%s: failed (%d): %s\n", program_invocation_short_name, code, command.c_str());
        exit(1);
    }
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace benchrun

#endif
