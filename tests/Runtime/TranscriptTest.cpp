// The transcript of an unattended run: the message boxes nobody sees,
// answered with their default button.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Transcript.h"
#include "WindowsTestSupport.h"

namespace {

TEST(Transcript, TheDefaultButtonOfEveryBoxAnswers)
{
    fntest::TempFolder folder;
    const std::string transcript = folder.path + "\\t.txt";
    ASSERT_EQ(OpenTranscript(transcript.c_str()), 1);
    struct Case {
        UINT style;
        int answer;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONERROR, IDOK},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_YESNO | MB_DEFBUTTON3, IDYES},   // no third button: the first
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnswerUnattended("text", "caption", c.style), c.answer) << c.style;
    CloseTranscript();
    EXPECT_EQ(fntest::ReadFileBytes(transcript), "message \"caption\": text -> OK\r\n"
                                                 "message \"caption\": text -> Yes\r\n"
                                                 "message \"caption\": text -> No\r\n"
                                                 "message \"caption\": text -> Cancel\r\n"
                                                 "message \"caption\": text -> Cancel\r\n"
                                                 "message \"caption\": text -> Abort\r\n"
                                                 "message \"caption\": text -> Retry\r\n"
                                                 "message \"caption\": text -> Yes\r\n");
    // Without a transcript the lines go nowhere, and the answer is the same.
    EXPECT_EQ(AnswerUnattended("text", "caption", MB_YESNO), IDYES);
}

}  // namespace
