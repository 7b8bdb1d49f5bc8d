// Engine internals: the lexer's state and snapshots, the symbol tables and the
// steps of evaluation.  The Script sources share them, and so do the engine's
// own white-box tests, benchmark and fuzzer; built-ins and hosts use Script.h.
#ifndef VELLMARK_SCRIPT_INTERNAL_H
#define VELLMARK_SCRIPT_INTERNAL_H

#include "Script.h"

// ---------------------------------------------------------------------------
// Tokens, reports and evaluation steps

// The token kinds, in the order of their codes; TokenNames holds the name that
// "Expected %s" reports print for each.
enum TokenKind : int32_t {
    TokenIdentifier,      // 0
    TokenIntConst,
    TokenStringConst,
    TokenPlus,
    TokenMinus,
    TokenStar,            // 5
    TokenSlash,
    TokenDecrement,
    TokenIncrement,
    TokenPlusAssign,
    TokenMinusAssign,    // 10
    TokenStarAssign,
    TokenSlashAssign,
    TokenEqual,
    TokenNotEqual,
    TokenLess,            // 15
    TokenLessEqual,
    TokenGreater,
    TokenGreaterEqual,
    TokenAssign,
    TokenAnd,             // 20
    TokenOr,
    TokenNot,
    TokenSemicolon,
    TokenColon,
    TokenComma,           // 25
    TokenLparen,
    TokenRparen,
    TokenLbrace,
    TokenRbrace,
    TokenReturn,          // 30
    TokenIf,
    TokenElse,
    TokenFor,
    TokenWhile,
    TokenContinue,        // 35
    TokenBreak,
    TokenDefine,
    TokenVar,
    TokenEndOfFile,     // 39
    TokenKindCount
};

extern const char* const TokenNames[TokenKindCount];

// Consumes the current token when it is of `kind`; otherwise reports
// "Unexpected end of file" (at the end of the text) or "Expected <kind>" and
// leaves the token current.  Callers test ScriptErrorFlag.  While the flag is
// already set it does nothing, so a built-in that reads its arguments after an
// error (it does not test the flag) adds no second report.
void ExpectToken(TokenKind kind);

// The reports (their format: Script.h).
void ReportScriptError(const char* message);
void ReportExpected(TokenKind kind);
void ReportExpected(const char* what);


// One full expression at the current token; the token after it is then
// current.  0 at once while ScriptErrorFlag is set, and 0 after any error.
ScriptValue EvaluateExpression();

// Reads the `count` arguments of a call whose '(' has been consumed: each
// with EvaluateExpression, ',' between two, ')' after the last (only the ')'
// when `count` is 0).  `values` has room for `count`.  Returns 1 when every
// argument and the ')' were read; 0 at the first error, with the values not
// read left as they were.  Script calls and built-ins both read through it.
int ReadCallArguments(int count, ScriptValue* values);

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
    char identifierText[ScriptNameSize];    // (*) last identifier or keyword read
    ScriptValue intValue;                     // (*) value of the last "int const"
    int32_t slotIndex;                        // (*) slot of the last "string const"
    int32_t slotPages[StringSlotCount];     // (*) pages holding the eight string slots' texts
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
    TokenKind tokenKind = TokenIdentifier;
    char identifierText[ScriptNameSize] = {};
    ScriptValue intValue = 0;
    int32_t slotIndex = 0;
    int32_t slotPages[StringSlotCount] = {};
#if VM_SCRIPT_COPY_SLOTS
    char slotCopy[StringSlotCount][StringSlotSize];
#endif

    LexerSnapshot() = default;
    LexerSnapshot(const LexerSnapshot&) = delete;
    LexerSnapshot& operator=(const LexerSnapshot&) = delete;
    ~LexerSnapshot();
};

// Back to the first token of the prepared text; clears ScriptErrorFlag.
void RewindScript();

// Makes the character at the text pointer current and advances.  At the
// terminating NUL it stays: the lexer never reads past the end of the text.
void ReadChar();

// Scans the next token into Lexer.
void NextToken();

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
// Declarations and symbol tables

struct ScriptConstant {
    char name[ScriptNameSize];
    ScriptValue value;
};

struct ConstantTableRecord {
    ScriptConstant constants[ScriptConstantLimit];
    int32_t count;
};

// Parameters and locals live in the function's record, not in a call: one set
// per function, shared by recursive calls.  Locals keep their values from one
// call to the next; parameters are overwritten by each call.
struct ScriptFunction {
    char name[ScriptNameSize];
    LexerSnapshot body;                  // the lexer with the body's '{' current
    int32_t parameterCount;
    char parameterNames[ScriptParameterLimit][ScriptNameSize];
    ScriptValue parameterValues[ScriptParameterLimit];
    int32_t localCount;
    char localNames[ScriptLocalLimit][ScriptNameSize];
    ScriptValue localValues[ScriptLocalLimit];
};

struct FunctionTableRecord {
    ScriptFunction functions[ScriptFunctionLimit];
    int32_t count;
};

extern ConstantTableRecord ConstantTable;
extern FunctionTableRecord FunctionTable;
extern int CurrentFunction;     // whose parameters and locals variables name
extern int DeclarationPass;     // set while DeclareScript checks the script

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

StatementOutcome ExecuteStatement();
void SkipStatement();

// ---------------------------------------------------------------------------
// Calls

extern ScriptValue ArgumentList[ScriptParameterLimit];

ScriptValue CallBuiltin(const char* name);
bool CheckArgumentCount(const char* name, int count);


// The string slots (ScriptSlots.cpp).  The lexer writes string constants
// through WritableSlot; everyone else reads through SlotText.
const char* SlotText(int slot);
char* WritableSlot(int slot);
void ResetStringSlots();
// Drops a snapshot's pages without releasing them (the pool is being reset).
void ForgetSnapshot(LexerSnapshot* snapshot);

// Back to the state of a fresh program, for PrepareScript.
void ResetSymbolTables();     // empty tables, the predefined constants, DeclarationPass clear
void ResetEvaluation();       // ReturnValue, ArgumentList, CurrentFunction, levels

// Every recursive step of the engine (statements, skips, expressions, unary
// operators, calls) passes through EnterLevel, so nesting is capped in this one
// place.  `snapshots` is how many lexer snapshots the level keeps while the
// levels inside it run.  On refusal the report is made and false returned; the
// caller then returns at once without calling LeaveLevel.
bool EnterLevel(int snapshots);
void LeaveLevel(int snapshots);
void ResetLevels();

// Kept by the declaration pass while it checks a body.
extern int LoopDepth;

// Copies a name into a 32-byte name field, cutting it at 31 characters.
void CopyName(char* destination, const char* source);

// 32-bit arithmetic that wraps around instead of overflowing.
inline ScriptValue WrapAdd(ScriptValue a, ScriptValue b)
{
    return static_cast<ScriptValue>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline ScriptValue WrapSubtract(ScriptValue a, ScriptValue b)
{
    return static_cast<ScriptValue>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline ScriptValue WrapMultiply(ScriptValue a, ScriptValue b)
{
    return static_cast<ScriptValue>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline ScriptValue WrapNegate(ScriptValue a)
{
    return static_cast<ScriptValue>(0u - static_cast<uint32_t>(a));
}
// Truncates toward zero.  The one quotient that does not fit, the smallest
// value divided by -1, wraps to the smallest value itself, as the negation does.
// The divisor must not be 0.
inline ScriptValue WrapDivide(ScriptValue a, ScriptValue b)
{
    if (b == -1)
        return WrapNegate(a);
    return a / b;
}

#endif
