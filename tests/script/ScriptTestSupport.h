// Running scripts in the tests: reports and dry-run built-in calls are
// collected instead of shown.
#ifndef VELLMARK_TESTS_SCRIPT_SUPPORT_H
#define VELLMARK_TESTS_SCRIPT_SUPPORT_H

#include "BuiltinTable.h"
#include "Script.h"

#include <ostream>
#include <string>
#include <vector>

struct ScriptRecord {
    std::vector<std::string> reports;   // the texts, in order
    std::vector<int> positions;         // the offsets the sink was given
    std::vector<std::string> calls;     // dry-run lines, in order
};

inline void CollectReport(const char* text, int position, void* context)
{
    auto* record = static_cast<ScriptRecord*>(context);
    record->reports.emplace_back(text);
    record->positions.push_back(position);
}

inline void CollectCall(const char* line, void* context)
{
    static_cast<ScriptRecord*>(context)->calls.emplace_back(line);
}

// One script, prepared in its own buffer, with the dry-run built-ins.
class ScriptSession {
public:
    explicit ScriptSession(const std::string& text, ScriptValue yesNoAnswer = 1)
        : buffer(text.begin(), text.end())
    {
        buffer.push_back('\0');
        SetScriptErrorSink(CollectReport, &record);
        InstallDryRunBuiltins(CollectCall, &record, yesNoAnswer);
        PrepareScript(buffer.data());
    }
    ~ScriptSession()
    {
        SetScriptErrorSink(nullptr, nullptr);
        InstallBuiltinTable(nullptr);
    }
    ScriptSession(const ScriptSession&) = delete;
    ScriptSession& operator=(const ScriptSession&) = delete;

    bool Declare() { return DeclareScript() == 1; }

    // Declares and runs `function`; the script must be accepted.
    ScriptValue Run(const char* function)
    {
        accepted = Declare();
        return accepted ? CallScriptFunction(function) : 0;
    }

    std::vector<char> buffer;
    ScriptRecord record;
    bool accepted = false;
};

inline std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

#endif
