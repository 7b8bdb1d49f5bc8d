// The one way both programs show a message box: MessageBoxA, or, while
// UnattendedMode is set, the answer of the box's default button written to
// the transcript (AnswerUnattended, Transcript.h).
#ifndef VELLMARK_MESSAGEBOX_H
#define VELLMARK_MESSAGEBOX_H

#include <windows.h>

// Returns what MessageBoxA returns (IDOK, IDYES, ...), or the unattended
// answer.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT style);

#ifdef VM_TEST_HOOKS
// Test builds only: the function ShowMessage shows a box with (MessageBoxA
// unless a test replaces it).  Unattended answers never reach it.
typedef int(WINAPI* MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
extern MessageBoxFunction MessageBoxHook;
#endif

#endif
