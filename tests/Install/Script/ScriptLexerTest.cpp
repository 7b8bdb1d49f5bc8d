// The preparation pass, the lexer, ExpectToken, the reports and snapshots.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string DescribeToken()
{
    switch (Lexer.tokenKind) {
    case TokenIdentifier:
        return std::string("id:") + Lexer.identifierText;
    case TokenIntConst:
        return "int:" + std::to_string(Lexer.intValue);
    case TokenStringConst:
        return std::string("str:") +
               ScriptTextOf(ScriptTextBase + Lexer.slotIndex * StringSlotSize);
    default:
        return TokenNames[Lexer.tokenKind];
    }
}

struct Scan {
    std::string tokens;
    std::string reports;
};

// Every token of `text` up to the end, as the declaration pass's first scan sees them.
Scan ScanAll(const std::string& text)
{
    ScriptSession session(text);
    Scan scan;
    for (int i = 0; i < 200; ++i) {
        scan.tokens += DescribeToken();
        if (Lexer.tokenKind == TokenEndOfFile)
            break;
        scan.tokens += " ";
        NextToken();
    }
    scan.reports = Joined(session.record.reports);
    return scan;
}

struct LexerCase {
    const char* text;
    const char* tokens;
    const char* reports;
};

const LexerCase LexerCases[] = {
    {"", "end of file", ""},
    {" \t\r\n ", "end of file", ""},
    // Names fold to small letters outside strings and comments.
    {"MsgBoxOK msgboxok _Under_1", "id:msgboxok id:msgboxok id:_under_1 end of file", ""},
    {"\"MiXed Case\" X", "str:MiXed Case id:x end of file", ""},
    {"RETURN If else FOR while Continue break define VAR",
     "return if else for while continue break define var end of file", ""},
    // Numbers: decimal, 0x hexadecimal, no octal, no sign, wrapping.
    {"0x1F 0X10 007 12abc 0x", "int:31 int:16 int:7 int:12 id:abc int:0 end of file", ""},
    {"0xfF 0xg", "int:255 int:0 id:g end of file", ""},
    {"4294967297 2147483648", "int:1 int:-2147483648 end of file", ""},
    // Every operator and punctuation mark.
    {"+ ++ += - -- -= * *= / /= == = != ! < <= > >= && || ; : , ( ) { }",
     "+ ++ += - -- -= * *= / /= == = != ! < <= > >= && || ; : , ( ) { } end of file", ""},
    {"a+++b", "id:a ++ + id:b end of file", ""},
    // Comments.
    {"a // Comment Keeps \"Case\"\r\nb", "id:a id:b end of file", ""},
    {"a /* block\r\n comment */ b /**/ c /***/ d", "id:a id:b id:c id:d end of file", ""},
    {"a // last line without a line end", "id:a end of file", ""},
    {"a /* never closed", "id:a id:a end of file", "Error: Comment not closed at 2 (a)\n"},
    {"a /*/ b", "id:a id:a end of file", "Error: Comment not closed at 2 (a)\n"},
    // Illegal characters.
    {"a & b", "id:a id:b end of file", "Error: Illegal char at 2 (a)\n"},
    {"a | b", "id:a id:b end of file", "Error: Illegal char at 2 (a)\n"},
    {"a % b", "id:a id:a id:b end of file", "Error: Illegal char at 2 (a)\n"},
    {"x \xe9 y", "id:x id:x id:y end of file", "Error: Illegal char at 2 (x)\n"},
    // Identifiers hold 31 characters.
    {"abcdefghijklmnopqrstuvwxyz01234", "id:abcdefghijklmnopqrstuvwxyz01234 end of file", ""},
    {"abcdefghijklmnopqrstuvwxyz012345 x", "id:abcdefghijklmnopqrstuvwxyz01234 id:x end of file",
     "Error: Identifier too long at 0 (abcdefghijklmnopqrstuvwxyz01234)\n"},
    // Strings.
    {"\"a\\tb\\\\c\\nd\"", "str:a\tb\\c\nd end of file", ""},
    {"\"\\b\\f\\r\"", "str:\b\f\r end of file", ""},
    {"\"before\\\"after\" x", "str:before id:x end of file", ""},
    {"\"stop\\0here\" x", "str:stop id:x end of file", ""},
    {"\"ab\\\r\ncd\"", "str:abcd end of file", ""},
    {"\"ab\\\ncd\"", "str:abd end of file", ""},
    {"\"open\r\nx", "str:open id:x end of file", "Error: String too long at 0 ()\n"},
    {"\"open", "str:open end of file", "Error: String too long at 0 ()\n"},
    {"\"ends in a backslash\\", "str:ends in a backslash end of file",
     "Error: String too long at 0 ()\n"},
};

TEST(Lexer, ScansTheTokensOfEachText)
{
    for (const LexerCase& c : LexerCases) {
        Scan scan = ScanAll(c.text);
        EXPECT_EQ(scan.tokens, c.tokens) << "text: " << c.text;
        EXPECT_EQ(scan.reports, c.reports) << "text: " << c.text;
    }
}

TEST(Lexer, FoldsCodeButNotStringsOrLineComments)
{
    ScriptSession session("// Company=Acme \"X\"\r\nMain() { MsgBoxOK(\"Hello World\"); } /* Block X */");
    EXPECT_STREQ(session.buffer.data(),
                 "// Company=Acme \"X\"\r\nmain() { msgboxok(\"Hello World\"); } /* block x */");
}

TEST(Lexer, QuoteCountingGoesOutOfStepAfterAnEscapedQuote)
{
    // The folding walk toggles on every quote, also an escaped one, so the
    // text after the string stays unfolded and its capital is an illegal char.
    Scan scan = ScanAll("\"a\\\"b\" X");
    EXPECT_EQ(scan.tokens, "str:a str:a end of file");
    EXPECT_EQ(scan.reports, "Error: Illegal char at 7 ()\n");
}

TEST(Lexer, StringSlotHoldsFiveHundredElevenCharacters)
{
    std::string fits = "\"" + std::string(511, 'x') + "\"";
    Scan ok = ScanAll(fits);
    EXPECT_EQ(ok.tokens, "str:" + std::string(511, 'x') + " end of file");
    EXPECT_EQ(ok.reports, "");

    Scan tooLong = ScanAll("\"" + std::string(512, 'y') + "\"");
    EXPECT_EQ(tooLong.tokens.substr(0, 515), "str:" + std::string(511, 'y'));
    EXPECT_NE(tooLong.reports.find("Error: String too long at 0 ()"), std::string::npos);
}

TEST(Lexer, NinthStringReusesTheFirstSlot)
{
    ScriptSession session("\"s1\" \"s2\" \"s3\" \"s4\" \"s5\" \"s6\" \"s7\" \"s8\" \"s9\"");
    ScriptValue first = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
    EXPECT_STREQ(ScriptTextOf(first), "s1");
    for (int i = 0; i < 8; ++i)
        NextToken();
    EXPECT_EQ(ScriptTextBase + Lexer.slotIndex * StringSlotSize, first);
    EXPECT_STREQ(ScriptTextOf(first), "s9");
}

TEST(Lexer, ShorterStringLeavesTheRestOfItsSlot)
{
    ScriptSession session("\"longer text\" \"2\" \"3\" \"4\" \"5\" \"6\" \"7\" \"8\" \"ab\"");
    ScriptValue first = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
    for (int i = 0; i < 8; ++i)
        NextToken();
    EXPECT_STREQ(ScriptTextOf(first), "ab");
    EXPECT_STREQ(ScriptTextOf(first + 3), "ger text");
}

TEST(Lexer, EndOfFileStaysCurrentAndNothingIsReadPastTheText)
{
    // A text that is exactly as long as its buffer: every further scan stays
    // on the terminating NUL.
    ScriptSession session("x");
    NextToken();
    EXPECT_EQ(Lexer.tokenKind, TokenEndOfFile);
    const char* end = Lexer.textPointer;
    for (int i = 0; i < 3; ++i) {
        NextToken();
        ReadChar();
    }
    EXPECT_EQ(Lexer.tokenKind, TokenEndOfFile);
    EXPECT_EQ(Lexer.textPointer, end);
    EXPECT_EQ(Lexer.tokenPosition, 1);
}

TEST(Lexer, ExpectTokenReportsAndKeepsTheToken)
{
    struct Case {
        const char* text;
        int skip;    // tokens passed before the expectation
        TokenKind expected;
        const char* report;
        TokenKind after;
    } cases[] = {
        {"( x", 0, TokenLparen, "", TokenIdentifier},
        {"x", 0, TokenLparen, "Expected ( at 0 (x)\n", TokenIdentifier},
        // The offset moves back over the white space before the token.
        {"y \r\n\t 5", 1, TokenSemicolon, "Expected ; at 1 (y)\n", TokenIntConst},
        // ... but not over a comment.
        {"y /**/ 5", 1, TokenSemicolon, "Expected ; at 6 (y)\n", TokenIntConst},
        {"  ", 0, TokenSemicolon, "Error: Unexpected end of file at 2 ()\n", TokenEndOfFile},
    };
    for (const Case& c : cases) {
        ScriptSession session(c.text);
        for (int i = 0; i < c.skip; ++i)
            NextToken();
        ExpectToken(c.expected);
        EXPECT_EQ(Joined(session.record.reports), c.report) << c.text;
        EXPECT_EQ(Lexer.tokenKind, c.after) << c.text;
        EXPECT_EQ(ScriptErrorFlag, c.report[0] ? 1 : 0) << c.text;
    }
}

TEST(Lexer, ReportsCarryTheirOffsetAndAreCutToTheirBuffer)
{
    ScriptSession session("ab cd");
    NextToken();
    ReportScriptError("Something");
    ASSERT_EQ(session.record.positions.size(), 1u);
    EXPECT_EQ(session.record.positions[0], 3);
    EXPECT_EQ(session.record.reports[0], "Error: Something at 3 (cd)");

    std::string huge(5000, 'm');
    ReportScriptError(huge.c_str());
    EXPECT_EQ(session.record.reports[1].size(), ScriptReportSize - 1);
}

TEST(Lexer, RestoringASnapshotBringsBackPositionAndSlotTexts)
{
    ScriptSession session(
        "\"one\" \"two\" \"three\" \"four\" \"five\" \"six\" \"seven\" \"eight\" \"nine\" \"ten\" end");
    ScriptValue one = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
    NextToken();
    ScriptValue two = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
    LexerSnapshot snapshot;
    SaveLexer(&snapshot);
    for (int i = 0; i < 9; ++i)
        NextToken();
    ASSERT_EQ(Lexer.tokenKind, TokenIdentifier);
    EXPECT_STREQ(ScriptTextOf(one), "nine");
    EXPECT_STREQ(ScriptTextOf(two), "ten");

    RestoreLexer(&snapshot);
    EXPECT_EQ(Lexer.tokenKind, TokenStringConst);
    EXPECT_STREQ(ScriptTextOf(one), "one");
    EXPECT_STREQ(ScriptTextOf(two), "two");
    NextToken();
    EXPECT_STREQ(ScriptTextOf(ScriptTextBase + Lexer.slotIndex * StringSlotSize), "three");

    // A text rewritten in place after the save is put back as well.
    RestoreLexer(&snapshot);
    size_t room = 0;
    char* writable = ScriptWritableTextOf(two, &room);
    ASSERT_NE(writable, nullptr);
    EXPECT_EQ(room, static_cast<size_t>(StringSlotSize));
    strcpy(writable, "rewritten");
    LexerSnapshot rewritten;
    SaveLexer(&rewritten);
    RestoreLexer(&snapshot);
    EXPECT_STREQ(ScriptTextOf(two), "two");
    RestoreLexer(&rewritten);
    EXPECT_STREQ(ScriptTextOf(two), "rewritten");
}

TEST(Lexer, OnlyWordsInsideTheSlotsAreTexts)
{
    ScriptSession session("\"abc\"");
    ScriptValue text = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
    size_t room = 99;
    EXPECT_EQ(ScriptTextOf(0, &room), nullptr);
    EXPECT_EQ(room, 0u);
    EXPECT_EQ(ScriptTextOf(1), nullptr);
    EXPECT_EQ(ScriptTextOf(ScriptTextBase - 1), nullptr);
    EXPECT_EQ(ScriptTextOf(ScriptTextBase + StringSlotCount * StringSlotSize), nullptr);
    EXPECT_EQ(ScriptWritableTextOf(-5, &room), nullptr);
    EXPECT_STREQ(ScriptTextOf(text + 1, &room), "bc");
    EXPECT_EQ(room, static_cast<size_t>(StringSlotSize - 1));
    EXPECT_NE(ScriptTextOf(ScriptTextBase + StringSlotCount * StringSlotSize - 1), nullptr);
}

}  // namespace
