// Windows test support for the built-ins: the settings text, and scripts run
// through the engine with the setup's BuiltinTable (the files, registry and
// folders of WindowsTestSupport.h besides).
#ifndef VELLMARK_TESTS_FUNCTIONS_SUPPORT_H
#define VELLMARK_TESTS_FUNCTIONS_SUPPORT_H

#include <string>

#include "Script.h"
#include "ScriptSession.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Settings.h"
#include "WindowsTestSupport.h"

namespace fntest {

// A text as a script writes it between double quotes: backslashes doubled.
inline std::string ScriptText(const std::string& text)
{
    std::string written;
    for (char c : text) {
        written += c;
        if (c == '\\')
            written += c;
    }
    return written;
}

inline void InstallSetupFor(ScriptRecord*, ScriptValue)
{
    InstallSetupBuiltins();
}

// One setup script: its text is the SetupScript the settings are read from
// and the script the engine runs, with the setup program's built-ins.  It is
// declared at once; `accepted` tells the outcome.
class SetupScriptRun : public ScriptSession {
public:
    explicit SetupScriptRun(const std::string& text) : ScriptSession(text, 1, InstallSetupFor)
    {
        accepted = Declare();
    }
};

// A script whose function f() returns `expression` after running `statements`.
inline std::string ScriptReturning(const std::string& expression, const std::string& settings = "",
                                   const std::string& statements = "")
{
    return settings + "f()\r\n{\r\n" + statements + "\r\nreturn " + expression + ";\r\n}\r\n";
}

// A script whose install() runs `body` after the settings.
inline std::string InstallScript(const std::string& settings, const std::string& body)
{
    return settings + "install()\r\n{\r\n" + body + "\r\n}\r\n";
}

// Runs `function` of the setup script `text`, which must be accepted and run
// without an error report; its result.  `context` names the case in a failure.
inline ScriptValue RunWithoutReports(const std::string& text, const char* function, const std::string& context)
{
    SetupScriptRun run(text);
    EXPECT_TRUE(run.accepted) << context;
    ScriptValue result = run.Call(function);
    EXPECT_TRUE(run.record.reports.empty()) << context << ": " << Joined(run.record.reports);
    return result;
}

}  // namespace fntest

#endif
