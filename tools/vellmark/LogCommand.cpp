// vellmark log: print an install log as the uninstaller reads it.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "ToolOptions.h"
#include "Commands.h"
#include "InstallLog.h"
#include "JsonWriter.h"
#include "PackageMessages.h"
#include "ToolText.h"

namespace {

const char LogUsage[] = "usage: vellmark log [--json] FILE\n";

const char LogDescription[] =
    "\n"
    "Prints the entries of an install log (a \"log1\" file) in their order, one a\n"
    "line: the kind's name, then text1, text2 and text3.  A string is shown in\n"
    "double quotes (control bytes and '\"' as \\xNN); an absent string is shown as -.\n"
    "\n"
    "  --json   print {\"entries\": [...], \"complete\": true|false} instead; each\n"
    "           entry is {\"kind\", \"name\", \"text1\", \"text2\", \"text3\"}, an absent\n"
    "           string is null, and strings are converted from Windows-1252 to UTF-8\n"
    "\n"
    "Exit status: 0 when the whole log was read; 1 when it is damaged at its end\n"
    "(the entries before the damage are printed); 2 when FILE cannot be read or is\n"
    "not an install log, or for a usage error.\n";

enum LogOption { LogJson, LogOptionCount };
const OptionSpec LogOptionTable[] = {
    {"json", 0, nullptr},
};
static_assert(std::size(LogOptionTable) == LogOptionCount, "one row per LogOption");

const CommandSpec Log = {"log", LogOptionTable, LogOptionCount, LogUsage, LogDescription};

// The readable form of a string: quoted, with the bytes that would garble a
// line shown as \xNN.  Backslashes stay as they are, so paths read naturally.
std::string Quoted(const char* text)
{
    if (!text)
        return "-";
    return "\"" + EscapedForTerminal(text, "\"") + "\"";
}

std::string KindLabel(int32_t kind)
{
    const char* name = LogKindName(kind);
    return name ? name : "Unknown(" + std::to_string(kind) + ")";
}

void PrintReadable(const InstallLog& list)
{
    for (const LogEntry* e = FindLogEntry(&list, nullptr, LogKindAny); e; e = FindLogEntry(&list, e, LogKindAny)) {
        printf("%-10s %s %s %s\n", KindLabel(e->kind).c_str(), Quoted(e->text1).c_str(),
               Quoted(e->text2).c_str(), Quoted(e->text3).c_str());
    }
}

void PrintJson(const InstallLog& list, bool complete)
{
    printf("{\n  \"entries\": [");
    const char* separator = "\n";
    for (const LogEntry* e = FindLogEntry(&list, nullptr, LogKindAny); e; e = FindLogEntry(&list, e, LogKindAny)) {
        const char* name = LogKindName(e->kind);
        printf("%s    {\"kind\": %d, \"name\": %s, \"text1\": %s, \"text2\": %s, \"text3\": %s}", separator,
               static_cast<int>(e->kind), JsonAnsiString(name).c_str(), JsonAnsiString(e->text1).c_str(),
               JsonAnsiString(e->text2).c_str(), JsonAnsiString(e->text3).c_str());
        separator = ",\n";
    }
    printf("%s],\n  \"complete\": %s\n}\n", list.count ? "\n  " : "", complete ? "true" : "false");
}

}  // namespace

int RunLogCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Log, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operands.empty())
        return UsageError(Log, "no FILE given");
    if (line.operands.size() > 1)
        return UsageError(Log, "one FILE only");
    bool json = line.Given(LogJson);
    const char* path = line.operands[0];

    LogLoadStatus status = LoadInstallLogStatus(&TheInstallLog, path);
    switch (status) {
    case LogLoadNoFile:
        return CommandError(Log.name, std::string(path) + ": " + CannotOpenReason(path));
    case LogLoadNotALog:
        return CommandError(Log.name, std::string(path) + ": not an install log (it does not begin with \"log1\")");
    case LogLoadTruncated:
        CommandError(Log.name, std::string(path) + ": the file ends inside a record; entries before it: " +
                                   std::to_string(TheInstallLog.count));
        exitCode = 1;
        break;
    case LogLoadOutOfMemory:
        CommandError(Log.name, std::string(path) + ": out of memory after " + std::to_string(TheInstallLog.count) +
                                   " entries");
        exitCode = 1;
        break;
    case LogLoadComplete:
        break;
    }
    if (json)
        PrintJson(TheInstallLog, exitCode == 0);
    else
        PrintReadable(TheInstallLog);
    SaveInstallLog(&TheInstallLog, nullptr);
    return exitCode;
}
