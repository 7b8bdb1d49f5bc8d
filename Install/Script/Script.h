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
constexpr ScriptValue ScriptTextBase = 0x40000000;

constexpr int StringSlotCount = 8;     // string constants kept at one time
constexpr int StringSlotSize = 512;    // 511 characters and the terminator
constexpr int ScriptNameSize = 32;     // every name: 31 characters and the terminator

// ---------------------------------------------------------------------------
// Preparing a script

// Set by every error report; cleared by PrepareScript and RewindScript.  While
// it is set every parsing and evaluating operation returns 0 at once.
extern int ScriptErrorFlag;

// The largest script text, in bytes, that a host hands to the engine; the
// setup program refuses a larger Install.ini as a rejected script, and the
// tool refuses to check or pack one.  Character offsets (the lexer's count,
// token positions) are signed 32-bit numbers, and its stop at the
// terminating NUL relies on the count never wrapping: 16 MB keeps far below
// that and far above any real setup script.
constexpr uint32_t ScriptTextLimit = 16u << 20;

// Resets the whole engine (tables, slots, flags, values), folds `text` in
// place (capitals outside strings and // comments become small letters) and
// makes its first token current.  `text` must be writable, NUL-terminated and
// stay alive and unchanged for as long as the engine is used on it.
void PrepareScript(char* text);

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
constexpr size_t ScriptReportSize = 1024;

typedef void (*ScriptErrorSink)(const char* text, int position, void* context);

// Installs the sink of all reports; nullptr restores the default, which
// writes each report as one line to stderr.  The Windows programs install a
// sink that shows the text in a message box captioned "Script error".
void SetScriptErrorSink(ScriptErrorSink sink, void* context);

// ---------------------------------------------------------------------------
// Declarations

constexpr int ScriptConstantLimit = 64;    // the three predefined ones included
constexpr int ScriptFunctionLimit = 16;
constexpr int ScriptParameterLimit = 8;
constexpr int ScriptLocalLimit = 8;

// Checks the whole prepared script and fills the tables: 1 accepted, 0 not.
// Every problem found is reported; a 17th function and a 65th constant fail
// without a report of their own.  It must follow PrepareScript.
int DeclareScript();

// ---------------------------------------------------------------------------
// Evaluation

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
constexpr int ScriptNestingLimit = 256;
constexpr int ScriptSnapshotLimit = 128;

// ---------------------------------------------------------------------------
// Calls

int ScriptFunctionExists(const char* name);      // ignoring case
ScriptValue CallScriptFunction(const char* name);  // ignoring case; 0 if none
bool IsBuiltin(const char* name);                // exact name

// What DeclareScript found, for hosts that describe a script: the functions
// in the order of their definitions (index 0 to count - 1).
int ScriptFunctionCount();
const char* ScriptFunctionName(int index);
int ScriptFunctionParameterCount(int index);
const char* ScriptFunctionParameterName(int index, int parameter);

// The offset of the current token in the text: where a declaration that was
// refused without a report of its own (full tables) stopped.
int ScriptTokenPosition();
// ---------------------------------------------------------------------------
// Texts, for built-ins
//
// A built-in reads a text argument like this:
//     ScriptValue path = 0;
//     ReadBuiltinArguments(BuiltinFileinuse, &path);
//     const char* text = ScriptTextOf(path);
//     if (!text) return 0;          // null, an integer, or an error: no text
//
// The text ends with a NUL inside its slot.  It stays valid until the engine
// runs again (the next argument read or script call).

// The text a value refers to, or nullptr when the value does not point into
// the string slots (0 included).  When `room` is given it receives the number
// of bytes from the text to the end of its slot (0 for no text).
const char* ScriptTextOf(ScriptValue value, size_t* room = nullptr);

// The same text for rewriting in place (path macros): a writable pointer and
// in *room the number of bytes from it to the end of its slot, the terminator
// included.  Never write past that.  nullptr (and *room 0) for no text.
char* ScriptWritableTextOf(ScriptValue value, size_t* room);

#endif
