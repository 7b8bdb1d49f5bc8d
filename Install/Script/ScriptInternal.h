// Engine internals shared by the Script sources; not for built-ins or hosts.
#ifndef VELLMARK_SCRIPT_INTERNAL_H
#define VELLMARK_SCRIPT_INTERNAL_H

#include "Script.h"

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
