// vellmark check: prepare and declare an Install.ini exactly as the setup
// program does, and optionally dry-run one of its script functions.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "BuiltinTable.h"
#include "ImageVersion.h"
#include "JsonWriter.h"
#include "Package.h"
#include "PackageMessages.h"
#include "ToolOptions.h"
#include "Commands.h"
#include "Script.h"
#include "Settings.h"
#include "ToolText.h"

namespace {

const char CheckUsage[] =
    "usage: vellmark check INSTALL.INI [--json] [--package SETUP.exe]\n"
    "                                 [--run FUNCTION [--answer yes|no] [--installed VERSION]]\n";

const char CheckDescription[] =
    "\n"
    "Prepares and declares the setup script exactly as the setup program will.\n"
    "An accepted script: prints the settings the setup program finds and the\n"
    "script functions, exit code 0.  A rejected one: prints every script error as\n"
    "FILE:LINE:COL: error: TEXT (TEXT as the setup program's message box shows it),\n"
    "exit code 1; so is a script too large for the setup program, which refuses\n"
    "it unread.  A file that cannot be read: exit code 2.\n"
    "\n"
    "Where the setup program would quietly do something other than the text\n"
    "seems to say, check prints FILE:LINE:COL: warning: TEXT, and the exit code\n"
    "stays as it is: a UTF-8 byte-order mark, a text setting that runs on past\n"
    "an LF-only line end, a settings line that is never read (blanks around '=',\n"
    "a key that occurs earlier in the text), a number setting that reads as 0,\n"
    "a Version that is not numbers and dots.\n"
    "\n"
    "  --json           print one JSON document on stdout instead: the settings,\n"
    "                   functions, diagnostics (with file, line, column and\n"
    "                   severity) and the dry run (docs/packaging.md names the\n"
    "                   fields); nothing on stderr but usage and read errors\n"
    "  --run FUNCTION   then runs FUNCTION with dry-run built-ins: each built-in\n"
    "                   call prints one line name(arg, ...) and does nothing else\n"
    "                   (returning 0), and the last line tells what FUNCTION\n"
    "                   returned.  Exit code 1 when a script error ended the run.\n"
    "  --answer yes|no  what msgboxyesno answers in the dry run (default yes: 1)\n"
    "  --installed VERSION\n"
    "                   runs as if VERSION of this product were installed:\n"
    "                   isappinstalled answers 1 for the product's key and the\n"
    "                   keys above it, so that the update branch runs\n"
    "  --package SETUP.exe\n"
    "                   warns of each copy, copyshared, version and\n"
    "                   installdriver call in the dry run whose entry is not in\n"
    "                   the package of SETUP.exe; without --run, of those in a\n"
    "                   silent dry run of init and then install (the branches a\n"
    "                   dry run takes: every test answers 0, msgboxyesno yes)\n";

enum CheckOption { CheckRun, CheckAnswer, CheckInstalled, CheckPackage, CheckJson, CheckOptionCount };
const OptionSpec CheckOptionTable[] = {
    {"run", 0, "FUNCTION"},
    {"answer", 0, "yes|no"},
    {"installed", 0, "VERSION"},
    {"package", 0, "SETUP.exe"},
    {"json", 0, nullptr},
};
static_assert(std::size(CheckOptionTable) == CheckOptionCount, "one row per CheckOption");

const CommandSpec Check = {"check", CheckOptionTable, CheckOptionCount, CheckUsage, CheckDescription};

// The script the engine works on: the file's bytes and a NUL, kept for the
// rest of the run because the engine and SetupScript keep addresses into it.
std::vector<char> ScriptText;

// One error or warning, its text in the script's own code page (ANSI).
struct Diagnostic {
    int line = 0;       // 0: the whole file (no place in it)
    int column = 0;
    bool warning = false;
    std::string text;
};

struct ReportContext {
    std::string label;
    int count = 0;              // errors reported by the engine
    bool json = false;          // collect only; print nothing
    std::vector<Diagnostic> diagnostics;
    std::vector<std::string> calls;   // the dry run's lines, for --json
    const PackageHandle* package = nullptr;   // --package
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

void Report(ReportContext* reports, Diagnostic diagnostic)
{
    if (!reports->json) {
        fflush(stdout);
        std::string place = reports->label;
        if (diagnostic.line > 0)
            place += ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column);
        fprintf(stderr, "%s: %s: %s\n", place.c_str(), diagnostic.warning ? "warning" : "error",
                AnsiForTerminal(diagnostic.text).c_str());
        fflush(stderr);
    }
    reports->diagnostics.push_back(std::move(diagnostic));
}

// Where ReportAt collects reports to be sorted first; null: report at once.
std::vector<Diagnostic>* Pending = nullptr;

void ReportAt(int offset, bool warning, const std::string& text)
{
    Diagnostic d;
    LineAndColumn(offset, &d.line, &d.column);
    d.warning = warning;
    d.text = text;
    if (Pending)
        Pending->push_back(std::move(d));
    else
        Report(&Reports, std::move(d));
}

void ReportWholeFile(const std::string& text)
{
    Diagnostic d;
    d.text = text;
    Report(&Reports, std::move(d));
}

void PrintReport(const char* text, int position, void* context)
{
    auto* reports = static_cast<ReportContext*>(context);
    Diagnostic d;
    LineAndColumn(position, &d.line, &d.column);
    d.text = text;
    // The engine may stop at one fault from two places (the lexer and the
    // pass that called it): the publisher reads it once.
    if (!reports->diagnostics.empty()) {
        const Diagnostic& last = reports->diagnostics.back();
        if (!last.warning && last.line == d.line && last.column == d.column && last.text == d.text)
            return;
    }
    Report(reports, std::move(d));
    ++reports->count;
}

void PrintDryRunCall(const char* line, void* context)
{
    auto* reports = static_cast<ReportContext*>(context);
    if (reports->json)
        reports->calls.push_back(line);
    else
        printf("%s\n", AnsiForTerminal(line).c_str());
}

// ---------------------------------------------------------------------------
// The settings, as the setup program reads them (Settings.h).

enum SettingKind { SettingText, SettingNumber, SettingPresence };

struct SettingRow {
    const char* key;
    SettingKind kind;
    int setupDefault;   // what the setup program takes for an absent number
};

// Every setting the setup program and its uninstaller registration read, in
// the order check prints them.
const SettingRow SettingRows[] = {
    {"Company", SettingText, 0},      {"Product", SettingText, 0},     {"Name", SettingText, 0},
    {"Version", SettingText, 0},      {"ProductURL", SettingText, 0},  {"ProductEmail", SettingText, 0},
    {"CompanyURL", SettingText, 0},   {"CompanyEmail", SettingText, 0}, {"DisplayIcon", SettingText, 0},
    {"LogPath", SettingText, 0},      {"Update", SettingNumber, 0},    {"NoLicense", SettingNumber, 1},
    {"NoUninstall", SettingNumber, 1}, {"NoWin95", SettingNumber, 0},  {"InstallDriver", SettingPresence, 0},
};

// A text shown inside a warning: control bytes as C escapes, long ones cut.
std::string Shown(const std::string& text, size_t limit = 48)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else
            out += static_cast<char>(c);
    }
    return "\"" + out + "\"";
}

// A line that looks like a setting for `key`: blanks, "//", blanks, the key,
// blanks, '='.  *keyAt is the key's offset, *equalsAt the '='.
bool SettingsLineFor(const char* text, int lineStart, const char* key, int* keyAt, int* equalsAt)
{
    const char* p = text + lineStart;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (p[0] != '/' || p[1] != '/')
        return false;
    p += 2;
    while (*p == ' ' || *p == '\t')
        ++p;
    size_t length = strlen(key);
    if (strncmp(p, key, length) != 0)
        return false;
    const char* q = p + length;
    while (*q == ' ' || *q == '\t')
        ++q;
    if (*q != '=')
        return false;
    *keyAt = static_cast<int>(p - text);
    *equalsAt = static_cast<int>(q - text);
    return true;
}

// What stands right after a number setting's '=' when it is no digit.
std::string NotADigit(char c)
{
    if (c == ' ' || c == '\t')
        return "a blank";
    if (c == '\r' || c == '\n' || c == '\0')
        return "the end of the line";
    return "'" + std::string(1, c) + "'";
}

// Warns where a setting is not what its line seems to say.
void WarnAboutSetting(const SettingRow& row)
{
    const char* text = SetupScript;
    const char* key = row.key;
    size_t keyLength = strlen(key);
    const char* found = strstr(text, key);
    int first = found ? static_cast<int>(found - text) : -1;

    // A text value runs to the next CR, or the end of the file.
    if (found && row.kind != SettingNumber && found[keyLength] == '=') {
        const char* value = found + keyLength + 1;
        size_t length = strcspn(value, "\r");
        std::string read(value, length < SettingValueSize - 1 ? length : SettingValueSize - 1);
        size_t lineEnd = read.find('\n');
        if (lineEnd != std::string::npos) {
            ReportAt(first, true,
                     std::string(key) + " runs on past the end of its line: the line ends in LF without CR, and the "
                     "setup program reads a value up to the next CR" + (value[length] ? "" : " (here: the end of the "
                     "file)") + ", so " + key + " is " + Shown(read) + " (" + std::to_string(read.size()) +
                     " characters" + (length > read.size() ? ", cut at 255" : "") +
                     "); save Install.ini with CRLF line ends");
        } else if (row.kind == SettingText && !read.empty() && (read[0] == ' ' || read[0] == '\t')) {
            ReportAt(first + static_cast<int>(keyLength) + 1, true,
                     std::string(key) + " begins with a blank, which the setup program keeps: " + key + " is " +
                         Shown(read));
        } else if (!strcmp(key, "Version") && !IsPlainVersion(read.c_str())) {
            ReportAt(first + static_cast<int>(keyLength) + 1, true,
                     "Version " + Shown(read) + " is not numbers and dots: the setup program compares versions "
                     "as up to four numbers, counting every other character as if it were a digit (it reads "
                     "this one as " + [&] {
                         int64_t v = ParseVersionString(read.c_str());
                         return std::to_string((v >> 48) & 0xFFFF) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
                                std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
                     }() + ")");
        }
    }

    // Each line that looks like this setting.
    int lineStart = 0;
    while (text[lineStart]) {
        int keyAt = 0, equalsAt = 0;
        if (SettingsLineFor(text, lineStart, key, &keyAt, &equalsAt)) {
            char after = text[equalsAt + 1];
            bool blankBefore = equalsAt != keyAt + static_cast<int>(keyLength);
            if (keyAt != first) {
                int line = 0, column = 0;
                LineAndColumn(first, &line, &column);
                std::string what;
                if (row.kind == SettingNumber)
                    what = "and reads the number after the next '=' from there";
                else if (text[first + keyLength] != '=')
                    what = "which no '=' follows, so " + std::string(key) + " is absent";
                else
                    what = "and reads the value there";
                ReportAt(keyAt, true,
                         std::string("this ") + key + " line is never read: the setup program takes the first \"" +
                             key + "\" in the file, at line " + std::to_string(line) + " column " +
                             std::to_string(column) + ", " + what);
            } else if (blankBefore && row.kind != SettingNumber) {
                ReportAt(keyAt, true,
                         std::string("no ") + key + " setting: the setup program finds a setting only with '=' "
                         "right after its name, so " + key + " is absent; write it without blanks around '='");
            } else if (row.kind == SettingNumber && !(after >= '0' && after <= '9')) {
                ReportAt(equalsAt + 1, true,
                         std::string(key) + " reads as 0: the setup program reads the decimal digits right after "
                         "'=', and " + NotADigit(after) + " stands there");
            }
        }
        const char* next = strchr(text + lineStart, '\n');
        if (!next)
            break;
        lineStart = static_cast<int>(next - text) + 1;
    }
}

// The warnings about the settings, in the order of their places in the file.
void WarnAboutSettings()
{
    std::vector<Diagnostic> warnings;
    Pending = &warnings;
    for (const SettingRow& row : SettingRows)
        WarnAboutSetting(row);
    Pending = nullptr;
    std::stable_sort(warnings.begin(), warnings.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    for (Diagnostic& d : warnings)
        Report(&Reports, std::move(d));
}

// --package: the built-ins whose first argument is a package entry.
bool NamesPackageEntry(BuiltinIndex index)
{
    return index == BuiltinCopy || index == BuiltinCopyshared || index == BuiltinVersion ||
           index == BuiltinInstalldriver;
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
bool AnswerAsInstalled(BuiltinIndex index, const ScriptValue* arguments, ScriptValue* result)
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

bool PlayingInstalled = false;   // --installed

// The dry run's answers: --installed's, and --package's look at each entry
// a built-in names (the call's line has been printed already).
bool AnswerDryRun(BuiltinIndex index, const ScriptValue* arguments, void* context, ScriptValue* result)
{
    auto* reports = static_cast<ReportContext*>(context);
    if (reports->package && index == BuiltinCopyfolder) {
        const char* entry = ScriptTextOf(arguments[0]);
        const PackageEntry* found = entry ? FindPackageEntry(reports->package, entry) : nullptr;
        if (entry && (!found || !(found->attributes & PackageAttributeDirectory)))
            ReportAt(ScriptTokenPosition(), true,
                     std::string("copyfolder: the package has no folder ") + Shown(entry, 200) +
                         (found ? " (that is a file)" : "") +
                         ", so the setup program's copyfolder fails and sets the copy error");
    }
    if (reports->package && NamesPackageEntry(index)) {
        const char* entry = ScriptTextOf(arguments[0]);
        const PackageEntry* found = entry ? FindPackageEntry(reports->package, entry) : nullptr;
        if (entry && (!found || (found->attributes & PackageAttributeDirectory) || found == reports->package->entries))
            ReportAt(ScriptTokenPosition(), true,
                     std::string(BuiltinSignatures[index].name) + ": the package has no file " + Shown(entry, 200) +
                         (found ? " (that is a folder)" : "") + ", so the setup program's " +
                         BuiltinSignatures[index].name +
                         (index == BuiltinVersion ? " returns -2" : " fails and sets the copy error"));
    }
    return PlayingInstalled && AnswerAsInstalled(index, arguments, result);
}

// Prepares and declares the text as the setup program does; reports go to
// stderr.  True when the script is accepted.
bool PrepareAndDeclare(const std::string& label, const std::string& text)
{
    Reports.label = label;
    Reports.count = 0;
    if (text.size() > ScriptTextLimit) {
        ReportWholeFile(ScriptTooLargeText());
        return false;
    }
    ScriptText.assign(text.begin(), text.end());
    ScriptText.push_back('\0');
    SetupScript = ScriptText.data();
    SetScriptErrorSink(PrintReport, &Reports);
    InstallDryRunBuiltins(nullptr, nullptr);
    PrepareScript(ScriptText.data());
    if (DeclareScript())
        return true;
    if (Reports.count == 0) {
        // The tables are full: the setup program shows only its own "Script error".
        const char* why = ScriptFunctionCount() == ScriptFunctionLimit
                              ? "more than 16 script functions"
                              : "more than 61 constants of its own";
        ReportAt(ScriptTokenPosition(), false, std::string("Script error (the script has ") + why + ")");
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

void PrintSetting(const SettingRow& row)
{
    char value[SettingValueSize];
    int number = 0;
    switch (row.kind) {
    case SettingText:
        if (GetSetting(row.key, value, sizeof value))
            printf("  %-14s \"%s\"\n", row.key, EscapedForTerminal(value, "").c_str());
        else
            printf("  %-14s absent\n", row.key);
        break;
    case SettingNumber:
        if (GetSettingInt(row.key, &number))
            printf("  %-14s %d\n", row.key, number);
        else
            printf("  %-14s absent (the setup program takes %d)\n", row.key, row.setupDefault);
        break;
    case SettingPresence:
        if (GetSetting(row.key, value, sizeof value))
            printf("  %-14s present (\"%s\"; any value counts)\n", row.key, EscapedForTerminal(value, "").c_str());
        else
            printf("  %-14s absent\n", row.key);
        break;
    }
}

std::string FunctionSignature(int f)
{
    int count = ScriptFunctionParameterCount(f);
    std::string signature = std::string(ScriptFunctionName(f)) + "(";
    for (int i = 0; i < count; ++i)
        signature += std::string(i ? ", " : "") + ScriptFunctionParameterName(f, i);
    return signature + ")";
}

void PrintSummary(const std::string& label)
{
    printf("%s: script accepted\n", label.c_str());
    printf("Settings:\n");
    for (const SettingRow& row : SettingRows)
        PrintSetting(row);

    printf("Functions:\n");
    if (ScriptFunctionCount() == 0)
        printf("  none\n");
    for (int f = 0; f < ScriptFunctionCount(); ++f) {
        int count = ScriptFunctionParameterCount(f);
        printf("  %-30s %d parameter%s\n", FunctionSignature(f).c_str(), count, count == 1 ? "" : "s");
    }
    if (!ScriptFunctionExists("init"))
        printf("No init function: the start checks alone decide whether setup goes on.\n");
    if (!ScriptFunctionExists("install"))
        printf("No install function: the installation counts as successful.\n");
}

// What the dry run did, for --json.
struct RunOutcome {
    bool ran = false;
    std::string function;
    bool found = false;
    ScriptValue result = 0;
    bool scriptError = false;
};

void AddJsonSettings(JsonWriter* json)
{
    json->Key("settings").BeginArray();
    for (const SettingRow& row : SettingRows) {
        char value[SettingValueSize];
        int number = 0;
        json->BeginObject();
        json->Key("name").Utf8(row.key);
        json->Key("kind").Utf8(row.kind == SettingText ? "text" : row.kind == SettingNumber ? "number" : "presence");
        bool present = row.kind == SettingNumber ? GetSettingInt(row.key, &number) != 0
                                                 : GetSetting(row.key, value, sizeof value) != 0;
        json->Key("present").Bool(present);
        json->Key("value");
        if (!present)
            json->Null();
        else if (row.kind == SettingNumber)
            json->Number(number);
        else
            json->Ansi(value);
        json->Key("setupDefault");
        if (row.kind == SettingNumber)
            json->Number(row.setupDefault);
        else
            json->Null();
        json->EndObject();
    }
    json->EndArray();
}

void PrintJson(const std::string& label, bool accepted, const RunOutcome& run)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("file").Utf8(label);
    json.Key("accepted").Bool(accepted);
    if (accepted) {
        AddJsonSettings(&json);
        json.Key("functions").BeginArray();
        for (int f = 0; f < ScriptFunctionCount(); ++f) {
            json.BeginObject();
            json.Key("name").Ansi(ScriptFunctionName(f));
            json.Key("parameters").BeginArray();
            for (int i = 0; i < ScriptFunctionParameterCount(f); ++i)
                json.Ansi(ScriptFunctionParameterName(f, i));
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
    } else {
        json.Key("settings").Null().Key("functions").Null();
    }
    json.Key("diagnostics").BeginArray();
    for (const Diagnostic& d : Reports.diagnostics) {
        json.BeginObject();
        json.Key("file").Utf8(label);
        json.Key("line");
        if (d.line > 0)
            json.Number(d.line);
        else
            json.Null();
        json.Key("column");
        if (d.line > 0)
            json.Number(d.column);
        else
            json.Null();
        json.Key("severity").Utf8(d.warning ? "warning" : "error");
        json.Key("message").Ansi(d.text);
        json.EndObject();
    }
    json.EndArray();
    json.Key("run");
    if (!run.ran) {
        json.Null();
    } else {
        json.BeginObject();
        json.Key("function").Ansi(run.function);
        json.Key("found").Bool(run.found);
        json.Key("calls").BeginArray();
        for (const std::string& call : Reports.calls)
            json.Ansi(call);
        json.EndArray();
        json.Key("returned");
        if (run.found)
            json.Number(run.result);
        else
            json.Null();
        json.Key("scriptError").Bool(run.scriptError);
        json.EndObject();
    }
    json.EndObject();
    fputs(json.Text().c_str(), stdout);
}

}  // namespace

std::string ScriptTooLargeText()
{
    return "larger than " + std::to_string(ScriptTextLimit >> 20) + " MB (" + std::to_string(ScriptTextLimit) +
           " bytes), which the setup program refuses as a script error";
}

bool CheckSetupScriptText(const std::string& label, const std::string& text)
{
    Reports = ReportContext();
    bool accepted = PrepareAndDeclare(label, text);
    SetScriptErrorSink(nullptr, nullptr);
    return accepted;
}

namespace {

void IgnoreReport(const char*, int, void*) {}

// --package without --run: a silent dry run of what the setup program runs,
// init and then install, for the entries their built-ins name.  A script
// error there only ends the pass (--run shows it).
void CheckEntriesOfSetupRun()
{
    SetScriptErrorSink(IgnoreReport, nullptr);
    InstallDryRunBuiltins(nullptr, &Reports, 1, AnswerDryRun);
    for (const char* function : {"init", "install"})
        if (ScriptFunctionExists(function))
            CallScriptFunction(function);
    SetScriptErrorSink(PrintReport, &Reports);
}

// The check itself, once the options are read and the file is.
int RunCheck(const std::string& path, const std::string& text, bool run, const std::string& function,
             const char* installed, ScriptValue answer)
{
    RunOutcome outcome;
    Reports.label = path;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Diagnostic bom;
        bom.line = 1;
        bom.column = 1;
        bom.warning = true;
        bom.text = "the file begins with a UTF-8 byte-order mark (EF BB BF), which the setup program reads as "
                   "script text and refuses (\"Illegal char at 0\"); save Install.ini as ANSI (Windows-1252) text "
                   "without it";
        Report(&Reports, std::move(bom));
    }
    bool accepted = PrepareAndDeclare(path, text);
    if (accepted)
        WarnAboutSettings();
    if (accepted && !run && Reports.package)
        CheckEntriesOfSetupRun();
    if (!accepted || !run) {
        if (Reports.json)
            PrintJson(path, accepted, outcome);
        else if (accepted)
            PrintSummary(path);
        return accepted ? 0 : 1;
    }

    outcome.ran = true;
    outcome.function = function;
    if (!ScriptFunctionExists(function.c_str())) {
        ReportWholeFile("the script has no function '" + function + "'");
        if (Reports.json)
            PrintJson(path, accepted, outcome);
        return 1;
    }
    outcome.found = true;
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
        if (!Reports.json)
            printf("as if version %s%s were installed: %s is there\n", installed, compared,
                   AnsiForTerminal(key.c_str()).c_str());
    }
    PlayingInstalled = installed != nullptr;
    InstallDryRunBuiltins(PrintDryRunCall, &Reports, answer, AnswerDryRun);
    ScriptValue result = CallScriptFunction(function.c_str());
    outcome.result = result;
    outcome.scriptError = ScriptErrorFlag != 0;
    fflush(stderr);
    if (Reports.json)
        PrintJson(path, accepted, outcome);
    else
        printf("%s returned %d\n", function.c_str(), static_cast<int>(result));
    fflush(stdout);
    return ScriptErrorFlag ? 1 : 0;
}

}  // namespace

int RunCheckCommand(int argc, char** argv)
{
    Reports = ReportContext();
    PlayingInstalled = false;
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

    const char* packagePath = line.Value(CheckPackage);
    Reports.json = line.Given(CheckJson);

    std::string text, why;
    if (!ReadWholeFile(path, &text, &why))
        return CommandError(Check.name, "cannot read " + path + ": " + why);
    PackageHandle* package = nullptr;
    if (packagePath && OpenPackageForTool(Check.name, packagePath, &package) != PackageOpened)
        return CommandFailed;
    Reports.package = package;
    int result = RunCheck(path, text, run, function, installed, answer);
    ClosePackage(package);
    return result;
}
