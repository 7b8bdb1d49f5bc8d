// Preparation of the script text, the lexer and the two error reports.
#include "ScriptInternal.h"

#include <cstdio>
#include <cstring>
#include <iterator>

const char* const TokenNames[TokenKindCount] = {
    "identifier", "int const", "string const",
    "+", "-", "*", "/", "--", "++", "+=", "-=", "*=", "/=",
    "==", "!=", "<", "<=", ">", ">=", "=",
    "&&", "||", "!",
    ";", ":", ",", "(", ")", "{", "}",
    "return", "if", "else", "for", "while", "continue", "break", "define", "var",
    "end of file",
};
static_assert(std::size(TokenNames) == TokenKindCount,
              "one name per token kind");
static_assert(TokenOr == 21 && TokenReturn == 30 && TokenEndOfFile == 39,
              "token codes are fixed");

namespace {

// Keywords, searched in this order by exact comparison.
struct Keyword {
    const char* text;
    TokenKind kind;
};
const Keyword Keywords[] = {
    {"return", TokenReturn}, {"if", TokenIf},         {"else", TokenElse},
    {"for", TokenFor},       {"while", TokenWhile},   {"continue", TokenContinue},
    {"break", TokenBreak},   {"define", TokenDefine}, {"var", TokenVar},
};

// What the lexer reads before any text was prepared: the end at once.
char EmptyText[1];

void WriteReportToStderr(const char* text, int, void*)
{
    fprintf(stderr, "%s\n", text);
}

ScriptErrorSink ErrorSink = WriteReportToStderr;
void* ErrorSinkContext = nullptr;

inline bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
inline bool IsSmallLetter(char c)
{
    return c >= 'a' && c <= 'z';
}
inline bool IsNameCharacter(char c)
{
    return IsSmallLetter(c) || IsDigit(c) || c == '_';
}

// Folds the text in place: capitals outside strings and // comments become
// small letters.  Every double quote toggles "in string", also one after a
// backslash; block comments are not recognised here.
void FoldScriptText(char* text)
{
    bool inString = false;
    for (char* p = text; *p; ++p) {
        if (!inString && p[0] == '/' && p[1] == '/') {
            while (*p && *p != '\n')
                ++p;
            if (!*p)
                break;
            continue;
        }
        if (*p == '"')
            inString = !inString;
        else if (!inString && *p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p + 32);
    }
}

// number -> digit {digit} | '0' ('x'|'X') {hexdigit}
void ScanNumber()
{
    uint32_t base = 10;
    if (Lexer.current == '0' && (*Lexer.textPointer == 'x' || *Lexer.textPointer == 'X')) {
        ReadChar();
        ReadChar();
        base = 16;
    }
    uint32_t value = 0;
    for (;;) {
        char c = Lexer.current;
        uint32_t digit;
        if (IsDigit(c))
            digit = static_cast<uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            break;
        value = value * base + digit;
        ReadChar();
    }
    Lexer.intValue = static_cast<ScriptValue>(value);
    Lexer.tokenKind = TokenIntConst;
}

// identifier -> (letter | '_') {letter | digit | '_'}, at most 31 characters
void ScanIdentifier()
{
    char text[ScriptNameSize];
    int length = 0;
    bool tooLong = false;
    while (IsNameCharacter(Lexer.current)) {
        if (length < ScriptNameSize - 1)
            text[length++] = Lexer.current;
        else
            tooLong = true;
        ReadChar();
    }
    text[length] = '\0';
    memcpy(Lexer.identifierText, text, static_cast<size_t>(length) + 1);
    Lexer.tokenKind = TokenIdentifier;
    if (tooLong) {
        ReportScriptError("Identifier too long");
        return;
    }
    for (const Keyword& keyword : Keywords) {
        if (strcmp(text, keyword.text) == 0) {
            Lexer.tokenKind = keyword.kind;
            return;
        }
    }
}

// string -> '"' {character | escape} '"', into the next string slot
void ScanString()
{
    ReadChar();    // the opening quote
    Lexer.slotIndex = (Lexer.slotIndex + 1) % StringSlotCount;
    char* slot = WritableSlot(Lexer.slotIndex);
    int length = 0;
    while (Lexer.current != '"' && length < StringSlotSize - 1) {
        char c = Lexer.current;
        if (c == '\r' || c == '\n' || c == '\0')
            break;
        if (c != '\\') {
            slot[length++] = c;
            ReadChar();
            continue;
        }
        ReadChar();
        switch (Lexer.current) {
        case '\\': c = '\\'; break;
        case 'b': c = 8; break;
        case 'f': c = 12; break;
        case 'n': c = 10; break;
        case 'r': c = 13; break;
        case 't': c = 9; break;
        case '\r':
        case '\n':
            // Continued on the next line: the line-end character and the one
            // after it (the LF of a CR LF pair) are dropped.
            ReadChar();
            ReadChar();
            continue;
        default:
            // Any other escape, \0 and \" included, ends the text as its users
            // see it; reading still goes on to the closing quote.
            c = '\0';
            break;
        }
        slot[length++] = c;
        ReadChar();
    }
    slot[length] = '\0';
    Lexer.tokenKind = TokenStringConst;
    if (Lexer.current == '"')
        ReadChar();
    else
        ReportScriptError("String too long");
}

// After "//": skips to the line end and consumes that one character.
void SkipLineComment()
{
    while (Lexer.current != '\r' && Lexer.current != '\n' && Lexer.current != '\0')
        ReadChar();
    if (Lexer.current != '\0')
        ReadChar();
}

// After "/*": skips past the first "*/".  False when the text ends first.
bool SkipBlockComment()
{
    while (Lexer.current != '\0') {
        if (Lexer.current == '*') {
            ReadChar();
            if (Lexer.current == '/') {
                ReadChar();
                return true;
            }
            continue;
        }
        ReadChar();
    }
    return false;
}

// A token of one character, or of two when `second` follows.
void TwoCharacterToken(char second, TokenKind both, TokenKind single)
{
    ReadChar();
    if (Lexer.current == second) {
        ReadChar();
        Lexer.tokenKind = both;
    } else {
        Lexer.tokenKind = single;
    }
}

void OneCharacterToken(TokenKind kind)
{
    ReadChar();
    Lexer.tokenKind = kind;
}

void Report(const char* format, const char* what)
{
    char text[ScriptReportSize];
    snprintf(text, sizeof text, format, what, static_cast<int>(Lexer.tokenPosition),
             Lexer.identifierText);
    ErrorSink(text, static_cast<int>(Lexer.tokenPosition), ErrorSinkContext);
    ScriptErrorFlag = 1;
}

}  // namespace

LexerState Lexer = {EmptyText, EmptyText, 0, 0, TokenIdentifier, {}, 0, 0, {}, 0};
int ScriptErrorFlag;

void SetScriptErrorSink(ScriptErrorSink sink, void* context)
{
    ErrorSink = sink ? sink : WriteReportToStderr;
    ErrorSinkContext = sink ? context : nullptr;
}

void PrepareScript(char* text)
{
    ResetSymbolTables();
    ResetEvaluation();
    ResetStringSlots();
    Lexer.textStart = text ? text : EmptyText;
    Lexer.textPointer = Lexer.textStart;
    Lexer.characterCount = 0;
    Lexer.current = '\0';
    Lexer.tokenKind = TokenIdentifier;
    memset(Lexer.identifierText, 0, sizeof Lexer.identifierText);
    Lexer.intValue = 0;
    Lexer.slotIndex = 0;
    Lexer.tokenPosition = 0;
    ScriptErrorFlag = 0;
    FoldScriptText(Lexer.textStart);
    ReadChar();
    NextToken();
}

void RewindScript()
{
    Lexer.textPointer = Lexer.textStart;
    Lexer.characterCount = 0;
    ScriptErrorFlag = 0;
    ReadChar();
    NextToken();
}

void ReadChar()
{
    // Once the terminating NUL is current it stays current.
    if (Lexer.characterCount > 0 && Lexer.current == '\0')
        return;
    Lexer.current = *Lexer.textPointer++;
    ++Lexer.characterCount;
}

#if VM_SCRIPT_FUZZING
int64_t ScriptTokenBudget;
#endif

void NextToken()
{
#if VM_SCRIPT_FUZZING
    if (ScriptTokenBudget > 0 && --ScriptTokenBudget == 0)
        ReportScriptError("Token budget spent");
#endif
    for (;;) {
        while (IsWhiteSpace(Lexer.current))
            ReadChar();
        Lexer.tokenPosition = Lexer.characterCount > 0 ? Lexer.characterCount - 1 : 0;
        char c = Lexer.current;
        if (c == '\0') {
            Lexer.tokenKind = TokenEndOfFile;
            return;
        }
        if (IsDigit(c)) {
            ScanNumber();
            return;
        }
        if (IsSmallLetter(c) || c == '_') {
            ScanIdentifier();
            return;
        }
        switch (c) {
        case '(': OneCharacterToken(TokenLparen); return;
        case ')': OneCharacterToken(TokenRparen); return;
        case '{': OneCharacterToken(TokenLbrace); return;
        case '}': OneCharacterToken(TokenRbrace); return;
        case ',': OneCharacterToken(TokenComma); return;
        case ';': OneCharacterToken(TokenSemicolon); return;
        case ':': OneCharacterToken(TokenColon); return;
        case '+':
            ReadChar();
            if (Lexer.current == '=') {
                ReadChar();
                Lexer.tokenKind = TokenPlusAssign;
            } else if (Lexer.current == '+') {
                ReadChar();
                Lexer.tokenKind = TokenIncrement;
            } else {
                Lexer.tokenKind = TokenPlus;
            }
            return;
        case '-':
            ReadChar();
            if (Lexer.current == '=') {
                ReadChar();
                Lexer.tokenKind = TokenMinusAssign;
            } else if (Lexer.current == '-') {
                ReadChar();
                Lexer.tokenKind = TokenDecrement;
            } else {
                Lexer.tokenKind = TokenMinus;
            }
            return;
        case '*': TwoCharacterToken('=', TokenStarAssign, TokenStar); return;
        case '!': TwoCharacterToken('=', TokenNotEqual, TokenNot); return;
        case '<': TwoCharacterToken('=', TokenLessEqual, TokenLess); return;
        case '>': TwoCharacterToken('=', TokenGreaterEqual, TokenGreater); return;
        case '=': TwoCharacterToken('=', TokenEqual, TokenAssign); return;
        case '&':
        case '|':
            ReadChar();
            if (Lexer.current == c) {
                ReadChar();
                Lexer.tokenKind = c == '&' ? TokenAnd : TokenOr;
                return;
            }
            // A lone one is consumed and reported; scanning goes on.
            ReportScriptError("Illegal char");
            continue;
        case '"':
            ScanString();
            return;
        case '/':
            ReadChar();
            if (Lexer.current == '=') {
                ReadChar();
                Lexer.tokenKind = TokenSlashAssign;
                return;
            }
            if (Lexer.current == '*') {
                ReadChar();
                if (!SkipBlockComment()) {
                    ReportScriptError("Comment not closed");
                    return;
                }
                continue;
            }
            if (Lexer.current == '/') {
                ReadChar();
                SkipLineComment();
                continue;
            }
            Lexer.tokenKind = TokenSlash;
            return;
        default:
            // Consumed and reported; the token kind stays as it was.
            ReadChar();
            ReportScriptError("Illegal char");
            return;
        }
    }
}

void ExpectToken(TokenKind kind)
{
    // After an error whatever runs is ending; the token it expected would only
    // be reported again, misleadingly, as missing.
    if (ScriptErrorFlag)
        return;
    if (Lexer.tokenKind == kind)
        NextToken();
    else if (Lexer.tokenKind == TokenEndOfFile)
        ReportScriptError("Unexpected end of file");
    else
        ReportExpected(kind);
}

void ReportScriptError(const char* message)
{
    Report("Error: %s at %d (%s)", message);
}

void ReportExpected(TokenKind kind)
{
    ReportExpected(kind >= 0 && kind < TokenKindCount ? TokenNames[kind] : "?");
}

void ReportExpected(const char* what)
{
    // Back over the white space in front of the token, for good: the offset
    // then points just behind the previous token.
    while (Lexer.tokenPosition > 0 && IsWhiteSpace(Lexer.textStart[Lexer.tokenPosition - 1]))
        --Lexer.tokenPosition;
    Report("Expected %s at %d (%s)", what);
}
