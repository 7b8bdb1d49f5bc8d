// The transcript of an unattended run, and the answers of the message boxes it stands in for.
#include "Transcript.h"

#include <cstdarg>
#include <cstdio>

#include "Handles.h"

namespace {

KernelHandle TranscriptFile;

constexpr size_t TranscriptLineSize = 4096;

// The buttons of each box type (MB_OK ... MB_RETRYCANCEL), in their order
// on the box, with the results MessageBoxA gives for them.
struct BoxButton {
    int result;
    const char* name;
};
struct BoxButtons {
    BoxButton buttons[3];
};
const BoxButtons ButtonsOfType[] = {
    {{{IDOK, "OK"}}},                                              // MB_OK
    {{{IDOK, "OK"}, {IDCANCEL, "Cancel"}}},                        // MB_OKCANCEL
    {{{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}}},  // MB_ABORTRETRYIGNORE
    {{{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}}},        // MB_YESNOCANCEL
    {{{IDYES, "Yes"}, {IDNO, "No"}}},                              // MB_YESNO
    {{{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}}},                  // MB_RETRYCANCEL
};

}  // namespace

int OpenTranscript(const char* path)
{
    CloseTranscript();
    TranscriptFile = KernelHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return TranscriptFile.IsOpen() ? 1 : 0;
}

void CloseTranscript()
{
    TranscriptFile.Close();
}

void TranscriptLine(const char* format, ...)
{
    if (!TranscriptFile.IsOpen())
        return;
    char text[TranscriptLineSize];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);

    // Each line break becomes two characters; CR LF ends the line.
    char line[2 * TranscriptLineSize + 2];
    size_t length = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r' && p[1] == '\n')
            continue;
        if (*p == '\n' || *p == '\r') {
            line[length++] = '\\';
            line[length++] = *p == '\n' ? 'n' : 'r';
        } else {
            line[length++] = *p;
        }
    }
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(TranscriptFile.Get(), line, static_cast<DWORD>(length), &written, nullptr);
}

int AnswerUnattended(const char* text, const char* caption, UINT style)
{
    UINT type = style & MB_TYPEMASK;
    const BoxButtons& set = ButtonsOfType[type < sizeof ButtonsOfType / sizeof ButtonsOfType[0] ? type : 0];
    UINT index = (style & MB_DEFMASK) >> 8;   // MB_DEFBUTTON1 ... MB_DEFBUTTON3
    if (index > 2 || set.buttons[index].name == nullptr)
        index = 0;
    const BoxButton& answer = set.buttons[index];
    TranscriptLine("message \"%s\": %s -> %s", caption ? caption : "", text ? text : "", answer.name);
    return answer.result;
}
