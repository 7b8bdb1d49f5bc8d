// One script run through the engine in a test: its text in a buffer of its
// own (the prepared script and the SetupScript the settings are read from),
// the error reports and built-in calls collected instead of shown.  The
// script tests run it with the dry-run built-ins, the functions tests with
// the setup program's.
#ifndef VELLMARK_TESTS_SCRIPT_SESSION_H
#define VELLMARK_TESTS_SCRIPT_SESSION_H

#include "BuiltinTable.h"
#include "Script.h"
#include "Settings.h"

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

// Puts a program's built-ins in place for a session.
typedef void (*BuiltinInstaller)(ScriptRecord* record, ScriptValue yesNoAnswer);

inline void InstallDryRunFor(ScriptRecord* record, ScriptValue yesNoAnswer)
{
    InstallDryRunBuiltins(CollectCall, record, yesNoAnswer);
}

class ScriptSession {
public:
    explicit ScriptSession(const std::string& text, ScriptValue yesNoAnswer = 1,
                           BuiltinInstaller installBuiltins = InstallDryRunFor)
        : buffer(text.begin(), text.end())
    {
        buffer.push_back('\0');
        SetScriptErrorSink(CollectReport, &record);
        installBuiltins(&record, yesNoAnswer);
        PrepareScript(buffer.data());
        SetupScript = buffer.data();
    }
    ~ScriptSession()
    {
        SetScriptErrorSink(nullptr, nullptr);
        InstallBuiltinTable(nullptr);
        SetupScript = nullptr;
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

    // Runs `function` of a script declared before; 0 when it was rejected.
    ScriptValue Call(const char* function) { return accepted ? CallScriptFunction(function) : 0; }

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
