// The script engine: runs the program part of the setup script (Install.ini).
//
// The engine interprets the text directly.  There is no syntax tree and no
// byte code: every statement is scanned again each time it runs, and the only
// way back to an earlier place in the text is to restore a LexerSnapshot taken
// there.  All state is engine-wide and fixed-size; nothing is allocated while
// a script runs.  The engine is portable (no Windows calls): the setup program,
// the `vellmark` tool and the tests all run the same code.
//
// Order of use by a host:
//   InstallBuiltinTable(...)          the program's built-ins (BuiltinTable.h)
//   SetScriptErrorSink(...)           where the error reports go
//   PrepareScript(text)               once per text
//   DeclareScript()                   1: accepted, 0: rejected (reports sent)
//   ScriptFunctionExists("init") / CallScriptFunction("init") ...
#ifndef VELLMARK_SCRIPT_H
#define VELLMARK_SCRIPT_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Values

// The one value type of the language: a 32-bit word holding a signed integer
// or a text.  Arithmetic on it wraps around in 32 bits on every platform.
typedef int32_t ScriptValue;

// A text value is a reference into the engine's string slots: this base plus
// the byte offset into the 8 slots of 512 bytes.  It is never 0, two values of
// one slot compare equal exactly when they point at the same byte, and adding
// to a text moves along it, just as the addresses of the 32-bit program did.
constexpr ScriptValue SCRIPT_TEXT_BASE = 0x40000000;

constexpr int STRING_SLOT_COUNT = 8;     // string constants kept at one time
constexpr int STRING_SLOT_SIZE = 512;    // 511 characters and the terminator
constexpr int SCRIPT_NAME_SIZE = 32;     // every name: 31 characters and the terminator

// ---------------------------------------------------------------------------
// Tokens

// The token kinds, in the order of their codes; TokenNames holds the name that
// "Expected %s" reports print for each.
enum TokenKind : int32_t {
    TOKEN_IDENTIFIER,      // 0
    TOKEN_INT_CONST,
    TOKEN_STRING_CONST,
    TOKEN_PLUS,
    TOKEN_MINUS,
    TOKEN_STAR,            // 5
    TOKEN_SLASH,
    TOKEN_DECREMENT,
    TOKEN_INCREMENT,
    TOKEN_PLUS_ASSIGN,
    TOKEN_MINUS_ASSIGN,    // 10
    TOKEN_STAR_ASSIGN,
    TOKEN_SLASH_ASSIGN,
    TOKEN_EQUAL,
    TOKEN_NOT_EQUAL,
    TOKEN_LESS,            // 15
    TOKEN_LESS_EQUAL,
    TOKEN_GREATER,
    TOKEN_GREATER_EQUAL,
    TOKEN_ASSIGN,
    TOKEN_AND,             // 20
    TOKEN_OR,
    TOKEN_NOT,
    TOKEN_SEMICOLON,
    TOKEN_COLON,
    TOKEN_COMMA,           // 25
    TOKEN_LPAREN,
    TOKEN_RPAREN,
    TOKEN_LBRACE,
    TOKEN_RBRACE,
    TOKEN_RETURN,          // 30
    TOKEN_IF,
    TOKEN_ELSE,
    TOKEN_FOR,
    TOKEN_WHILE,
    TOKEN_CONTINUE,        // 35
    TOKEN_BREAK,
    TOKEN_DEFINE,
    TOKEN_VAR,
    TOKEN_END_OF_FILE,     // 39
    TOKEN_KIND_COUNT
};

extern const char* const TokenNames[TOKEN_KIND_COUNT];

// ---------------------------------------------------------------------------
// Lexer

// Everything the lexer knows, in one record.  A snapshot copies the fields
// marked (*); the token position, the text start and ScriptErrorFlag are not
// part of it.
struct LexerState {
    char* textStart;                          // first character of the prepared text
    const char* textPointer;                  // (*) the next character to read
    int32_t characterCount;                   // (*) characters read; the current one is at count - 1
    char current;                             // (*) the character under examination
    TokenKind tokenKind;                      // (*) kind of the current token
    char identifierText[SCRIPT_NAME_SIZE];    // (*) last identifier or keyword read
    ScriptValue intValue;                     // (*) value of the last "int const"
    int32_t slotIndex;                        // (*) slot of the last "string const"
    int32_t slotPages[STRING_SLOT_COUNT];     // (*) pages holding the eight string slots' texts
    int32_t tokenPosition;                    // offset of the current token, for the reports
};

extern LexerState Lexer;

// A saved lexer state.  Restoring it puts the lexer back exactly where it was,
// the texts of the eight string slots included.  The slot texts are shared
// with the live lexer and copied only when one side rewrites a slot, so a
// snapshot costs about a hundred bytes however much text the slots hold.
// A snapshot holds references until it is destroyed or saved into again; it
// cannot be copied.
struct LexerSnapshot {
    const char* textPointer = nullptr;
    int32_t characterCount = 0;
    char current = 0;
    TokenKind tokenKind = TOKEN_IDENTIFIER;
    char identifierText[SCRIPT_NAME_SIZE] = {};
    ScriptValue intValue = 0;
    int32_t slotIndex = 0;
    int32_t slotPages[STRING_SLOT_COUNT] = {};
#if VM_SCRIPT_COPY_SLOTS
    char slotCopy[STRING_SLOT_COUNT][STRING_SLOT_SIZE];
#endif

    LexerSnapshot() = default;
    LexerSnapshot(const LexerSnapshot&) = delete;
    LexerSnapshot& operator=(const LexerSnapshot&) = delete;
    ~LexerSnapshot();
};

// Set by every error report; cleared by PrepareScript and RewindScript.  While
// it is set every parsing and evaluating operation returns 0 at once.
extern int ScriptErrorFlag;

// Resets the whole engine (tables, slots, flags, values), folds `text` in
// place (capitals outside strings and // comments become small letters) and
// makes its first token current.  `text` must be writable, NUL-terminated and
// stay alive and unchanged for as long as the engine is used on it.
void PrepareScript(char* text);

// Back to the first token of the prepared text; clears ScriptErrorFlag.
void RewindScript();

// Makes the character at the text pointer current and advances.  At the
// terminating NUL it stays: the lexer never reads past the end of the text.
void ReadChar();

// Scans the next token into Lexer.
void NextToken();

// Consumes the current token when it is of `kind`; otherwise reports
// "Unexpected end of file" (at the end of the text) or "Expected <kind>" and
// leaves the token current.  Callers test ScriptErrorFlag.  While the flag is
// already set it does nothing, so a built-in that reads its arguments after an
// error (it does not test the flag) adds no second report.
void ExpectToken(TokenKind kind);

void SaveLexer(LexerSnapshot* snapshot);
void RestoreLexer(const LexerSnapshot* snapshot);

// Snapshots taken and slot pages copied since the program started; the
// benchmark reports them.
extern uint64_t SnapshotsTaken;
extern uint64_t SlotPagesCopied;

#if VM_SCRIPT_FUZZING
// Fuzzing builds only: when non-zero, the number of tokens the lexer may still
// scan; the scan that spends the last one reports "Token budget spent", which
// ends whatever runs.  Scripts may loop forever; the fuzzer must not.
extern int64_t ScriptTokenBudget;
#endif

// ---------------------------------------------------------------------------
// Error reports

// Every report is formatted into at most 1024 bytes and handed to the sink
// with the 0-based character offset it names (from the start of the whole
// text, settings lines and comments included):
//   ReportScriptError:  "Error: %s at %d (%s)"     message, offset, identifier text
//   ReportExpected:     "Expected %s at %d (%s)"   token name or text, offset, identifier text
// ReportExpected first moves the token position back over the white space in
// front of the token, so that it points just behind the previous token.
// Both then set ScriptErrorFlag; neither stops anything by itself.
constexpr size_t SCRIPT_REPORT_SIZE = 1024;

typedef void (*ScriptErrorSink)(const char* text, int position, void* context);

// Installs the sink of all reports; nullptr restores the default, which
// writes each report as one line to stderr.  The Windows programs install a
// sink that shows the text in a message box captioned "Script error".
void SetScriptErrorSink(ScriptErrorSink sink, void* context);

void ReportScriptError(const char* message);
void ReportExpected(TokenKind kind);
void ReportExpected(const char* what);

// ---------------------------------------------------------------------------
// Declarations and symbol tables

constexpr int SCRIPT_CONSTANT_LIMIT = 64;    // the three predefined ones included
constexpr int SCRIPT_FUNCTION_LIMIT = 16;
constexpr int SCRIPT_PARAMETER_LIMIT = 8;
constexpr int SCRIPT_LOCAL_LIMIT = 8;

struct ScriptConstant {
    char name[SCRIPT_NAME_SIZE];
    ScriptValue value;
};

struct ConstantTableRecord {
    ScriptConstant constants[SCRIPT_CONSTANT_LIMIT];
    int32_t count;
};

// Parameters and locals live in the function's record, not in a call: one set
// per function, shared by recursive calls.  Locals keep their values from one
// call to the next; parameters are overwritten by each call.
struct ScriptFunction {
    char name[SCRIPT_NAME_SIZE];
    LexerSnapshot body;                  // the lexer with the body's '{' current
    int32_t parameterCount;
    char parameterNames[SCRIPT_PARAMETER_LIMIT][SCRIPT_NAME_SIZE];
    ScriptValue parameterValues[SCRIPT_PARAMETER_LIMIT];
    int32_t localCount;
    char localNames[SCRIPT_LOCAL_LIMIT][SCRIPT_NAME_SIZE];
    ScriptValue localValues[SCRIPT_LOCAL_LIMIT];
};

struct FunctionTableRecord {
    ScriptFunction functions[SCRIPT_FUNCTION_LIMIT];
    int32_t count;
};

extern ConstantTableRecord ConstantTable;
extern FunctionTableRecord FunctionTable;
extern int CurrentFunction;     // whose parameters and locals variables name
extern int DeclarationPass;     // set while DeclareScript checks the script

// Checks the whole prepared script and fills the tables: 1 accepted, 0 not.
// Every problem found is reported; a 17th function and a 65th constant fail
// without a report of their own.
int DeclareScript();

int AddConstant(const char* name, ScriptValue value);
bool FindConstant(const char* name, ScriptValue* value);
int AddScriptFunction();
int FindScriptFunction(const char* name);        // index or -1; exact names
bool IsVariable(const char* name);
ScriptValue GetVariable(const char* name);
void SetVariable(const char* name, ScriptValue value);
void CheckStatement();

// ---------------------------------------------------------------------------
// Evaluation

enum StatementOutcome { OutcomeNormal = 0, OutcomeReturn = 1, OutcomeContinue = 2, OutcomeBreak = 3 };

extern ScriptValue ReturnValue;   // written by every return statement that runs

// One full expression at the current token; the token after it is then
// current.  0 at once while ScriptErrorFlag is set, and 0 after any error.
ScriptValue EvaluateExpression();
StatementOutcome ExecuteStatement();
void SkipStatement();

// How deeply statements, expressions and calls may nest, and how many lexer
// snapshots (loops and calls keep theirs while their bodies run) may be held
// at one time.  Beyond either the script ends with "Nesting too deep" instead
// of running out of stack.  Every statement, skipped statement, expression,
// prefix operator and script call is one level; a script call costs about
// four (its body, the statement, the expression the call stands in).
//
// The costliest level is a parenthesis: 252 nested ones take about 170 KB of
// stack in the 64-bit Windows build, well inside the 1 MB of a Windows
// thread.  The limits still allow 61 nested script calls, 42 nested for
// loops or 127 nested while loops: far beyond any setup script.  The
// snapshot limit also sizes the pool of string slot pages (ScriptSlots.cpp).
constexpr int SCRIPT_NESTING_LIMIT = 256;
constexpr int SCRIPT_SNAPSHOT_LIMIT = 128;

// ---------------------------------------------------------------------------
// Calls

extern ScriptValue ArgumentList[SCRIPT_PARAMETER_LIMIT];

int ScriptFunctionExists(const char* name);      // ignoring case
ScriptValue CallScriptFunction(const char* name);  // ignoring case; 0 if none
bool IsBuiltin(const char* name);                // exact name
ScriptValue CallBuiltin(const char* name);
bool CheckArgumentCount(const char* name, int count);

// ---------------------------------------------------------------------------
// Texts, for built-ins
//
// A built-in reads a text argument like this:
//     ScriptValue path = EvaluateExpression();
//     ExpectToken(TOKEN_RPAREN);
//     const char* text = ScriptTextOf(path);
//     if (!text) return 0;          // null, an integer, or an error: no text
//
// The text ends with a NUL inside its slot.  It stays valid until the engine
// runs again (the next EvaluateExpression, ExpectToken or NextToken).

// The text a value refers to, or nullptr when the value does not point into
// the string slots (0 included).  When `room` is given it receives the number
// of bytes from the text to the end of its slot (0 for no text).
const char* ScriptTextOf(ScriptValue value, size_t* room = nullptr);

// The same text for rewriting in place (path macros): a writable pointer and
// in *room the number of bytes from it to the end of its slot, the terminator
// included.  Never write past that.  nullptr (and *room 0) for no text.
char* ScriptWritableTextOf(ScriptValue value, size_t* room);

#endif
