// Script engine benchmark: loop-heavy scripts, run straight from their text.
// Prints iterations per second, and what the lexer snapshots cost: how many
// each iteration takes, how many slot pages had to be copied, and the time of
// one save-and-restore pair against a plain copy of the 4096 bytes of slots.
#include "BuiltinTable.h"
#include "ScriptInternal.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Workload {
    const char* name;
    const char* script;    // runs "run"
    long iterations;
};

const Workload Workloads[] = {
    {"arithmetic for loop",
     "run() { var i, a, b, c;\r\n"
     "  for (i = 0; i < 1000000; i++) { a = a + i; b = b * 3 + 1; c += a - b; }\r\n"
     "  return c; }\r\n",
     1000000},
    {"while loop with if/else",
     "run() { var i, odd, even;\r\n"
     "  while (i < 1000000) { if (i - i / 2 * 2) odd++; else even++; i++; }\r\n"
     "  return odd - even; }\r\n",
     1000000},
    {"script function call per pass",
     "add(a, b) { return a + b; }\r\n"
     "run() { var i, n; for (i = 0; i < 200000; i++) n = add(n, i); return n; }\r\n",
     200000},
    {"string constants per pass",
     "run() { var i, n, s, t;\r\n"
     "  for (i = 0; i < 200000; i++) { s = \"<InstallDir>\\\\bin\\\\app.exe\"; t = \"Vellmark\"; "
     "n += s != t; }\r\n"
     "  return n; }\r\n",
     200000},
    {"built-in call per pass",
     "run() { var i; for (i = 0; i < 200000; i++) msgboxok(\"step\"); return i; }\r\n", 200000},
};

void Silent(const char*, int, void*) {}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void RunWorkload(const Workload& workload)
{
    std::vector<char> text(workload.script, workload.script + strlen(workload.script) + 1);
    PrepareScript(text.data());
    if (!DeclareScript()) {
        printf("%-32s rejected\n", workload.name);
        return;
    }
    uint64_t snapshotsBefore = SnapshotsTaken;
    uint64_t pagesBefore = SlotPagesCopied;
    Clock::time_point start = Clock::now();
    ScriptValue result = CallScriptFunction("run");
    double seconds = Seconds(Clock::now() - start);
    double snapshots = static_cast<double>(SnapshotsTaken - snapshotsBefore) / workload.iterations;
    double pages = static_cast<double>(SlotPagesCopied - pagesBefore) / workload.iterations;
    printf("%-32s %10.0f iterations/s  %7.1f ns/iteration  %5.1f snapshots/iteration  "
           "%4.1f page copies/iteration  (result %d%s)\n",
           workload.name, workload.iterations / seconds, seconds * 1e9 / workload.iterations,
           snapshots, pages, static_cast<int>(result), ScriptErrorFlag ? ", script error" : "");
}

void MeasureSnapshots()
{
    static char text[] = "run() { return \"a text in a slot\"; }";
    PrepareScript(text);
    const int rounds = 2000000;

    Clock::time_point start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        LexerSnapshot snapshot;
        SaveLexer(&snapshot);
        RestoreLexer(&snapshot);
    }
    double pair = Seconds(Clock::now() - start) * 1e9 / rounds;

    // What the plain representation copies for every snapshot: all the slots,
    // once to save and once to restore.
    static char slots[StringSlotCount * StringSlotSize];
    static char copy[StringSlotCount * StringSlotSize];
    start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        memcpy(copy, slots, sizeof slots);
        __asm__ __volatile__("" : : "r"(copy) : "memory");
        memcpy(slots, copy, sizeof slots);
        __asm__ __volatile__("" : : "r"(slots) : "memory");
    }
    double plain = Seconds(Clock::now() - start) * 1e9 / rounds;

    printf("\nsnapshot save+restore: %.1f ns (%zu bytes per snapshot)%s\n", pair, sizeof(LexerSnapshot),
#if VM_SCRIPT_COPY_SLOTS
           "  [built with VM_SCRIPT_COPY_SLOTS: every snapshot copies all slots]"
#else
           "  [slot pages shared, copied on write]"
#endif
    );
    printf("copying the 4096 bytes of slots there and back: %.1f ns\n", plain);
}

}  // namespace

int main()
{
    SetScriptErrorSink(Silent, nullptr);
    InstallDryRunBuiltins(nullptr, nullptr);
    printf("Script engine, interpreted from the text (3 runs each)\n\n");
    for (const Workload& workload : Workloads)
        for (int i = 0; i < 3; ++i)
            RunWorkload(workload);
    MeasureSnapshots();
    return 0;
}
