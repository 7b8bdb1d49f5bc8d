// Fuzzes the script engine: every input is a setup script, prepared and
// declared as the setup program does, and when accepted every function it
// defines is run with the dry-run built-ins.  The text lives in a heap block
// of exactly its size and a NUL, so a read past the end is caught.
#include "BuiltinTable.h"
#include "ScriptInternal.h"
#include "Settings.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Silent(const char*, int, void*) {}

// Every dry-run line is built in full (and thrown away), so the formatting of
// texts is fuzzed as well.
void Discard(const char* line, void*)
{
    volatile size_t length = strlen(line);
    (void)length;
}

// Enough for loops of a few thousand passes; scripts that loop forever end here.
constexpr int64_t TokenBudget = 200000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetScriptErrorSink(Silent, nullptr);
    InstallDryRunBuiltins(Discard, nullptr, size & 1);

    std::vector<char> text(data, data + size);
    text.push_back('\0');
    SetupScript = text.data();
    ScriptTokenBudget = TokenBudget;
    PrepareScript(text.data());
    if (DeclareScript()) {
        char name[ScriptNameSize];
        for (int f = 0; f < FunctionTable.count; ++f) {
            memcpy(name, FunctionTable.functions[f].name, sizeof name);
            CallScriptFunction(name);
        }
        // The look-ups of the settings run over the same prepared text.
        char value[SettingValueSize];
        int number = 0;
        GetSetting("Company", value, sizeof value);
        GetSettingInt("NoLicense", &number);
    }
    ScriptTokenBudget = 0;
    SetupScript = nullptr;
    return 0;
}
