// The setup's command line: /S, /LOG= and /D=.
#include "CommandLine.h"

#include <cstring>

#include "AnsiText.h"
#include "PathText.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Whether `text` begins with `prefix`, ignoring ASCII case.
bool StartsWithNoCase(const char* text, const char* prefix)
{
    size_t n = strlen(prefix);
    return strlen(text) >= n && AnsiCompareNoCase(text, n, prefix, n) == 0;
}

// Copies `length` bytes and a terminator into `destination`, cutting what
// does not fit (only for texts that are reported, never used as paths).
void CopyCut(char (&destination)[CommandLinePathSize], const char* text, size_t length)
{
    if (length >= sizeof destination)
        length = sizeof destination - 1;
    memcpy(destination, text, length);
    destination[length] = '\0';
}

// One word from `*position`: up to the next blank outside quotes, the quotes
// removed.  Its text goes to `word`; `*fits` is false when it did not fit
// (the word is then cut).  `*position` moves past the word.
void ReadWord(const char** position, char (&word)[CommandLinePathSize], bool* fits)
{
    const char* p = *position;
    size_t length = 0;
    bool quoted = false;
    *fits = true;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (length + 1 < sizeof word)
            word[length++] = *p;
        else
            *fits = false;
    }
    word[length] = '\0';
    *position = p;
}

// /D=FOLDER: the rest of the line from `value` on, without the blanks at its
// end.  The folder is used as it is typed into the Destination folder page,
// but for the backslashes at its end, which would double the one the log's
// path adds; a drive's root keeps its own.
CommandLineStatus TakeFolder(const char* value, SetupCommandLine* result)
{
    size_t length = strlen(value);
    while (length > 0 && IsBlank(value[length - 1]))
        --length;
    CopyCut(result->refused, value, length);
    if (length == 0 || length >= CommandLinePathSize || memchr(value, '"', length) || memchr(value, '/', length))
        return CommandLineBadFolder;
    char folder[CommandLinePathSize];
    memcpy(folder, value, length);
    folder[length] = '\0';
    if (!IsFullPath(folder))
        return CommandLineBadFolder;
    if (folder[0] == '\\' && (length < 3 || folder[2] == '\\'))
        return CommandLineBadFolder;   // "\\" alone, or "\\\": no server
    while (length > 3 && folder[length - 1] == '\\')
        folder[--length] = '\0';
    if (length > DestinationLengthLimit)
        return CommandLineBadFolder;
    memcpy(result->installDir, folder, length + 1);
    result->refused[0] = '\0';
    return CommandLineOk;
}

}  // namespace

void ParseSetupCommandLine(const char* line, SetupCommandLine* result)
{
    memset(result, 0, sizeof *result);
    CommandLineStatus status = CommandLineOk;
    char refused[CommandLinePathSize] = "";
    bool transcriptGiven = false;

    const char* p = line ? line : "";
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            break;

        // /D= takes the rest of the line, quotes and all.
        if (StartsWithNoCase(p, "/D=")) {
            CommandLineStatus folder = TakeFolder(p + 3, result);
            if (folder != CommandLineOk && status == CommandLineOk) {
                status = folder;
                memcpy(refused, result->refused, sizeof refused);
            }
            break;
        }

        const char* start = p;
        char word[CommandLinePathSize];
        bool fits = true;
        ReadWord(&p, word, &fits);
        CommandLineStatus fault = CommandLineOk;
        if (AnsiCompareNoCase(word, "/S") == 0) {
            result->unattended = true;
        } else if (StartsWithNoCase(word, "/LOG=")) {
            if (!fits || word[5] == '\0' || transcriptGiven)
                fault = CommandLineBadTranscript;
            else
                memcpy(result->transcriptPath, word + 5, strlen(word + 5) + 1);
            transcriptGiven = true;
        } else if (StartsWithNoCase(word, "/D=") && *start == '"') {
            // The whole switch in quotes, as .NET, Python and wine pass an
            // argument with a blank: the folder without them.  It is still
            // the last word of the line.
            while (IsBlank(*p))
                ++p;
            CommandLineStatus folder = *p || !fits ? CommandLineBadFolder : TakeFolder(word + 3, result);
            if (folder != CommandLineOk && status == CommandLineOk) {
                status = folder;
                CopyCut(refused, start, strlen(start));
            }
            break;
        } else {
            fault = CommandLineUnknownSwitch;
        }
        if (fault != CommandLineOk && status == CommandLineOk) {
            status = fault;
            CopyCut(refused, start, static_cast<size_t>(p - start));
        }
    }

    // Without /S the command line means nothing, as it always has.
    if (!result->unattended) {
        memset(result, 0, sizeof *result);
        return;
    }
    result->status = status;
    memcpy(result->refused, refused, sizeof refused);
}

const char* CommandLineMessage(CommandLineStatus status)
{
    switch (status) {
    case CommandLineOk:
        break;
    case CommandLineUnknownSwitch:
        return "unknown switch (Setup.exe /S [/LOG=FILE] [/D=FOLDER])";
    case CommandLineBadFolder:
        static_assert(DestinationLengthLimit == 260, "the limit the message names");
        return "/D= needs a full folder path with backslashes (C:\\Folder or \\\\server\\share\\Folder) "
               "of at most 260 characters, last on the line, without quotes inside it";
    case CommandLineBadTranscript:
        return "/LOG= needs one file name";
    }
    return nullptr;
}

bool TakeUnattendedSwitch(const char* line, const char** rest)
{
    if (!line || !StartsWithNoCase(line, "/S") || (line[2] != '\0' && !IsBlank(line[2])))
        return false;
    const char* p = line + 2;
    while (IsBlank(*p))
        ++p;
    *rest = p;
    return true;
}
