// vellmark log: print an install log as the uninstaller reads it.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "InstallLog.h"
#include "PackageMessages.h"
#include "Windows1252.h"
#include "ToolText.h"

namespace {

const char Usage[] =
    "usage: vellmark log [--json] FILE\n"
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

// The readable form of a string: quoted, with the bytes that would garble a
// line shown as \xNN.  Backslashes stay as they are, so paths read naturally.
std::string Quoted(const char* text)
{
    if (!text)
        return "-";
    return "\"" + EscapedForTerminal(text, "\"") + "\"";
}

// A JSON string from Windows-1252 bytes.  The five bytes that code page leaves
// undefined become the control characters of the same number, as Windows maps
// them, so that no byte is lost.
std::string Json(const char* text)
{
    if (!text)
        return "null";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || Windows1252Undefined(c)) {
            snprintf(escape, sizeof(escape), "\\u%04X", c);
            out += escape;
        } else {
            out += Windows1252ToUtf8(std::string(1, static_cast<char>(c)));
        }
    }
    return out + "\"";
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
               static_cast<int>(e->kind), name ? Json(name).c_str() : "null", Json(e->text1).c_str(),
               Json(e->text2).c_str(), Json(e->text3).c_str());
        separator = ",\n";
    }
    printf("%s],\n  \"complete\": %s\n}\n", list.count ? "\n  " : "", complete ? "true" : "false");
}

}  // namespace

int RunLogCommand(int argc, char** argv)
{
    bool json = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(Usage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--json")) {
            json = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0' && strcmp(argv[i], "--") != 0) {
            fprintf(stderr, "vellmark log: unknown option '%s'\n\n%s", argv[i], Usage);
            return 2;
        } else if (!strcmp(argv[i], "--") && i + 1 < argc && !path) {
            path = argv[++i];
        } else if (!path && strcmp(argv[i], "--") != 0) {
            path = argv[i];
        } else {
            fprintf(stderr, "vellmark log: one FILE only\n\n%s", Usage);
            return 2;
        }
    }
    if (!path) {
        fprintf(stderr, "vellmark log: no FILE given\n\n%s", Usage);
        return 2;
    }

    LogLoadStatus status = LoadInstallLogStatus(&TheInstallLog, path);
    int exitCode = 0;
    switch (status) {
    case LogLoadNoFile:
        fprintf(stderr, "vellmark: %s: %s\n", path, CannotOpenReason(path).c_str());
        return 2;
    case LogLoadNotALog:
        fprintf(stderr, "vellmark: %s: not an install log (it does not begin with \"log1\")\n", path);
        return 2;
    case LogLoadTruncated:
        fprintf(stderr, "vellmark: %s: the file ends inside a record; entries before it: %lu\n", path,
                static_cast<unsigned long>(TheInstallLog.count));
        exitCode = 1;
        break;
    case LogLoadOutOfMemory:
        fprintf(stderr, "vellmark: %s: out of memory after %lu entries\n", path,
                static_cast<unsigned long>(TheInstallLog.count));
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
