// Unattended runs (/S) show no message box.  What a box would have said goes
// to the transcript instead, the file named by /LOG=, together with the
// answer taken for it, the start-up's decisions and the outcome: one line
// each, plain text.  Without a transcript file the lines go nowhere.
#ifndef VELLMARK_TRANSCRIPT_H
#define VELLMARK_TRANSCRIPT_H

#include <windows.h>

// Creates the transcript file at `path` (replacing one that is there); it
// stays open, shared for reading, until CloseTranscript.  1 on success.
int OpenTranscript(const char* path);
void CloseTranscript();

// Writes one line, formatted as printf does, followed by CR LF.  Line
// breaks inside it are written as "\n" (a carriage return as "\r"), so that
// every event stays on one line.  A line is cut at 4095 characters.
void TranscriptLine(const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A message box nobody sees (what ShowMessage, MessageBox.h, does in an
// unattended run): writes `message "CAPTION": TEXT -> ANSWER` and returns
// the answer of the box's default button (the first one unless the style
// names another), as MessageBoxA returns it (IDOK, IDYES, ...).
int AnswerUnattended(const char* text, const char* caption, UINT style);

#endif
