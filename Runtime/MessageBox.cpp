#include "MessageBox.h"

#include "SetupState.h"
#include "Transcript.h"

#ifdef VM_TEST_HOOKS
MessageBoxFunction MessageBoxHook = MessageBoxA;
#endif

int ShowMessage(HWND owner, const char* text, const char* caption, UINT style)
{
    if (UnattendedMode)
        return AnswerUnattended(text, caption, style);
#ifdef VM_TEST_HOOKS
    return MessageBoxHook(owner, text, caption, style);
#else
    return MessageBoxA(owner, text, caption, style);
#endif
}
