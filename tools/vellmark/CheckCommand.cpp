// vellmark check: prepare and declare an Install.ini exactly as the setup
// program does, and optionally dry-run one of its script functions.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "BuiltinTable.h"
#include "ImageVersion.h"
#include "ToolOptions.h"
#include "Commands.h"
#include "Script.h"
#include "Settings.h"
#include "ToolText.h"

namespace {

const char CheckUsage[] =
    "usage: vellmark check INSTALL.INI [--run FUNCTION [--answer yes|no] [--installed VERSION]]\n";

const char CheckDescription[] =
    "\n"
    "Prepares and declares the setup script exactly as the setup program will.\n"
    "An accepted script: prints the settings the setup program finds and the\n"
    "script functions, exit code 0.  A rejected one: prints every script error as\n"
    "FILE:LINE:COL: error: TEXT (TEXT as the setup program's message box shows it),\n"
    "exit code 1; so is a script too large for the setup program, which refuses\n"
    "it unread.  A file that cannot be read: exit code 2.\n"
    "\n"
    "  --run FUNCTION   then runs FUNCTION with dry-run built-ins: each built-in\n"
    "                   call prints one line name(arg, ...) and does nothing else\n"
    "                   (returning 0), and the last line tells what FUNCTION\n"
    "                   returned.  Exit code 1 when a script error ended the run.\n"
    "  --answer yes|no  what msgboxyesno answers in the dry run (default yes: 1)\n"
    "  --installed VERSION\n"
    "                   runs as if VERSION of this product were installed:\n"
    "                   isappinstalled answers 1 for the product's key and the\n"
    "                   keys above it, so that the update branch runs\n";

enum CheckOption { CheckRun, CheckAnswer, CheckInstalled, CheckOptionCount };
const OptionSpec CheckOptionTable[] = {
    {"run", 0, "FUNCTION"},
    {"answer", 0, "yes|no"},
    {"installed", 0, "VERSION"},
};
static_assert(std::size(CheckOptionTable) == CheckOptionCount, "one row per CheckOption");

const CommandSpec Check = {"check", CheckOptionTable, CheckOptionCount, CheckUsage, CheckDescription};

// The script the engine works on: the file's bytes and a NUL, kept for the
// rest of the run because the engine and SetupScript keep addresses into it.
std::vector<char> ScriptText;

struct ReportContext {
    std::string label;
    int count = 0;
};

ReportContext Reports;

// 1-based line and column of a 0-based offset.  A line ends with LF, so
// CR LF and LF-only files count alike.
void LineAndColumn(int offset, int* line, int* column)
{
    *line = 1;
    int lineStart = 0;
    int end = static_cast<int>(strlen(ScriptText.data()));
    if (offset > end)
        offset = end;
    for (int i = 0; i < offset; ++i) {
        if (ScriptText[i] == '\n') {
            ++*line;
            lineStart = i + 1;
        }
    }
    *column = offset - lineStart + 1;
}

void PrintReport(const char* text, int position, void* context)
{
    auto* reports = static_cast<ReportContext*>(context);
    int line = 0, column = 0;
    LineAndColumn(position, &line, &column);
    fflush(stdout);
    fprintf(stderr, "%s:%d:%d: error: %s\n", reports->label.c_str(), line, column,
            AnsiForTerminal(text).c_str());
    fflush(stderr);
    ++reports->count;
}

void PrintDryRunCall(const char* line, void*)
{
    printf("%s\n", AnsiForTerminal(line).c_str());
}

// The names of HKEY_LOCAL_MACHINE\Software\Company\Product below "Software",
// each when its setting exists: the keys an installed product has.
std::vector<std::string> InstalledKeyNames()
{
    std::vector<std::string> names;
    char value[SettingValueSize];
    if (GetSetting("Company", value, sizeof value))
        names.push_back(value);
    if (GetSetting("Product", value, sizeof value))
        names.push_back(value);
    return names;
}

// --installed: isappinstalled(company, product) finds a key when the names
// it was given (null leaves one out, as the setup does) lead along the
// installed product's key: to it or to a key above it.
bool AnswerAsInstalled(BuiltinIndex index, const ScriptValue* arguments, void*, ScriptValue* result)
{
    if (index != BuiltinIsappinstalled)
        return false;
    std::vector<std::string> asked;
    for (int i = 0; i < 2; ++i) {
        if (arguments[i] == 0)
            continue;
        const char* text = ScriptTextOf(arguments[i]);
        if (!text) {
            *result = 0;   // no text names no product
            return true;
        }
        asked.push_back(text);
    }
    std::vector<std::string> installed = InstalledKeyNames();
    bool found = asked.size() <= installed.size();
    for (size_t i = 0; found && i < asked.size(); ++i)
        found = AnsiCompareNoCase(asked[i].c_str(), installed[i].c_str()) == 0;
    *result = found ? 1 : 0;
    return true;
}

// Prepares and declares the text as the setup program does; reports go to
// stderr.  True when the script is accepted.
bool PrepareAndDeclare(const std::string& label, const std::string& text)
{
    if (text.size() > ScriptTextLimit) {
        fprintf(stderr, "%s: error: %s\n", label.c_str(), ScriptTooLargeText().c_str());
        return false;
    }
    ScriptText.assign(text.begin(), text.end());
    ScriptText.push_back('\0');
    SetupScript = ScriptText.data();
    Reports.label = label;
    Reports.count = 0;
    SetScriptErrorSink(PrintReport, &Reports);
    InstallDryRunBuiltins(nullptr, nullptr);
    PrepareScript(ScriptText.data());
    if (DeclareScript())
        return true;
    if (Reports.count == 0) {
        // The tables are full: the setup program shows only its own "Script error".
        int line = 0, column = 0;
        LineAndColumn(ScriptTokenPosition(), &line, &column);
        const char* why = ScriptFunctionCount() == ScriptFunctionLimit
                              ? "more than 16 script functions"
                              : "more than 61 constants of its own";
        fprintf(stderr, "%s:%d:%d: error: Script error (the script has %s)\n", label.c_str(),
                line, column, why);
    }
    return false;
}

// Reads the file, but no more than one byte past ScriptTextLimit: a longer
// text is refused anyway, and need not be held to find that out.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* why)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *why = strerror(errno);
        return false;
    }
    text->clear();
    char chunk[65536];
    size_t got;
    while (text->size() <= ScriptTextLimit && (got = fread(chunk, 1, sizeof chunk, file)) > 0)
        text->append(chunk, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *why = "read error";
        return false;
    }
    return true;
}

void PrintTextSetting(const char* key)
{
    char value[SettingValueSize];
    if (GetSetting(key, value, sizeof value))
        printf("  %-14s \"%s\"\n", key, AnsiForTerminal(value).c_str());
    else
        printf("  %-14s absent\n", key);
}

void PrintFlagSetting(const char* key, int setupDefault)
{
    int value = 0;
    if (GetSettingInt(key, &value))
        printf("  %-14s %d\n", key, value);
    else
        printf("  %-14s absent (the setup program takes %d)\n", key, setupDefault);
}

void PrintSummary(const std::string& label)
{
    printf("%s: script accepted\n", label.c_str());
    printf("Settings:\n");
    PrintTextSetting("Company");
    PrintTextSetting("Product");
    PrintTextSetting("Name");
    PrintTextSetting("Version");
    PrintFlagSetting("Update", 0);
    PrintFlagSetting("NoLicense", 1);
    PrintFlagSetting("NoUninstall", 1);
    PrintFlagSetting("NoWin95", 0);
    char driver[SettingValueSize];
    if (GetSetting("InstallDriver", driver, sizeof driver))
        printf("  %-14s present (\"%s\"; any value counts)\n", "InstallDriver",
               AnsiForTerminal(driver).c_str());
    else
        printf("  %-14s absent\n", "InstallDriver");

    printf("Functions:\n");
    if (ScriptFunctionCount() == 0)
        printf("  none\n");
    for (int f = 0; f < ScriptFunctionCount(); ++f) {
        int count = ScriptFunctionParameterCount(f);
        std::string signature = std::string(ScriptFunctionName(f)) + "(";
        for (int i = 0; i < count; ++i)
            signature += std::string(i ? ", " : "") + ScriptFunctionParameterName(f, i);
        signature += ")";
        printf("  %-30s %d parameter%s\n", signature.c_str(), count, count == 1 ? "" : "s");
    }
    if (!ScriptFunctionExists("init"))
        printf("No init function: the start checks alone decide whether setup goes on.\n");
    if (!ScriptFunctionExists("install"))
        printf("No install function: the installation counts as successful.\n");
}

}  // namespace

std::string ScriptTooLargeText()
{
    return "larger than " + std::to_string(ScriptTextLimit >> 20) + " MB (" + std::to_string(ScriptTextLimit) +
           " bytes), which the setup program refuses as a script error";
}

bool CheckSetupScriptText(const std::string& label, const std::string& text)
{
    bool accepted = PrepareAndDeclare(label, text);
    SetScriptErrorSink(nullptr, nullptr);
    return accepted;
}

int RunCheckCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Check, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operands.empty())
        return UsageError(Check, "no INSTALL.INI given");
    if (line.operands.size() > 1)
        return UsageError(Check, std::string("one script at a time ('") + line.operands[0] + "' and '" +
                                     line.operands[1] + "')");
    std::string path = line.operands[0];
    ScriptValue answer = 1;
    if (const char* choice = line.Value(CheckAnswer)) {
        if (!strcmp(choice, "no"))
            answer = 0;
        else if (strcmp(choice, "yes") != 0)
            return CommandError(Check.name, std::string("--answer takes yes or no, not '") + choice + "'");
    }
    bool run = line.Given(CheckRun);
    std::string function = run ? line.Value(CheckRun) : "";
    const char* installed = line.Value(CheckInstalled);
    if (installed && !run)
        return UsageError(Check, "--installed goes with --run");
    if (installed && !IsPlainVersion(installed))
        return CommandError(Check.name, std::string("--installed takes a version of numbers and dots, not '") +
                                            installed + "'");

    std::string text, why;
    if (!ReadWholeFile(path, &text, &why))
        return CommandError(Check.name, "cannot read " + path + ": " + why);
    if (!PrepareAndDeclare(path, text))
        return 1;
    if (!run) {
        PrintSummary(path);
        return 0;
    }

    if (!ScriptFunctionExists(function.c_str())) {
        fprintf(stderr, "%s: error: the script has no function '%s'\n", path.c_str(), function.c_str());
        return 1;
    }
    if (installed) {
        std::string key = "HKLM\\Software";
        for (const std::string& name : InstalledKeyNames())
            key += "\\" + name;
        char setting[SettingValueSize];
        int64_t ours = GetSetting("Version", setting, sizeof setting) ? ParseVersionString(setting) : -1;
        int64_t theirs = ParseVersionString(installed);
        const char* compared = ours < 0 ? "" : theirs < ours ? " (older than this setup's)" : theirs == ours
                                                                                  ? " (this setup's own)"
                                                                                  : " (newer than this setup's)";
        printf("as if version %s%s were installed: %s is there\n", installed, compared,
               AnsiForTerminal(key.c_str()).c_str());
    }
    InstallDryRunBuiltins(PrintDryRunCall, nullptr, answer, installed ? AnswerAsInstalled : nullptr);
    ScriptValue result = CallScriptFunction(function.c_str());
    fflush(stderr);
    printf("%s returned %d\n", function.c_str(), static_cast<int>(result));
    fflush(stdout);
    return ScriptErrorFlag ? 1 : 0;
}
