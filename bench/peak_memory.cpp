// Runs a command line to its end and prints the peak working set of its
// process, as Windows counts it (PROCESS_MEMORY_COUNTERS.PeakWorkingSetSize),
// with its exit code:   peak-working-set BYTES exit CODE
// install_bench runs it under wine around Setup.exe /S.
//
// usage: peak_memory PROGRAM [ARGUMENTS...]   (the rest of the line, as written)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

int main()
{
    // The command line after our own program's name, as it was given.
    const char* line = GetCommandLineA();
    if (*line == '"') {
        line = strchr(line + 1, '"');
        line = line ? line + 1 : "";
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    if (!*line) {
        fprintf(stderr, "usage: peak_memory PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    static char command[32768];
    snprintf(command, sizeof command, "%s", line);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "peak_memory: cannot start %s (error %lu)\n", command, GetLastError());
        return 1;
    }
    // Read while it runs (the counters of an ended process may be gone) and
    // once more at its end; the peak only grows.
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    SIZE_T peak = 0;
    BOOL read = FALSE;
    for (;;) {
        DWORD waited = WaitForSingleObject(process.hProcess, 20);
        PROCESS_MEMORY_COUNTERS now = {};
        now.cb = sizeof now;
        if (GetProcessMemoryInfo(process.hProcess, &now, sizeof now)) {
            read = TRUE;
            if (now.PeakWorkingSetSize > peak)
                peak = now.PeakWorkingSetSize;
        }
        if (waited != WAIT_TIMEOUT)
            break;
    }
    counters.PeakWorkingSetSize = peak;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!read) {
        fprintf(stderr, "peak_memory: no memory counters (error %lu)\n", GetLastError());
        return 1;
    }
    printf("peak-working-set %llu exit %lu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize), code);
    return 0;
}
