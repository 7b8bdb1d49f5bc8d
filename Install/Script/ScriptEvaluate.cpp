// Expressions and statements, evaluated straight from the text.
//
// Loops run their condition, step and body again by restoring the snapshots
// taken at their first tokens; code that is not to run is passed over token
// by token (SkipStatement).  The same expression code serves the declaration
// pass, where DeclarationPass keeps it from writing variables and calling
// built-ins, and the built-ins, which read their arguments with it.
#include "ScriptInternal.h"

#include <cstring>

ScriptValue ReturnValue;

namespace {

int NestingLevel;
int HeldSnapshots;

ScriptValue Truth(bool condition)
{
    return condition ? 1 : 0;
}

bool IsAssignmentOperator(TokenKind kind)
{
    switch (kind) {
    case TokenAssign:
    case TokenPlusAssign:
    case TokenMinusAssign:
    case TokenStarAssign:
    case TokenSlashAssign:
    case TokenIncrement:
    case TokenDecrement:
        return true;
    default:
        return false;
    }
}

// A zero divisor is reported, except while the declaration pass checks a
// body: there every variable reads 0, so "a / b" would meet one in any script.
ScriptValue Divide(ScriptValue dividend, ScriptValue divisor)
{
    if (divisor != 0)
        return WrapDivide(dividend, divisor);
    if (!DeclarationPass)
        ReportScriptError("Divide by zero");
    return 0;
}

// Passes over tokens up to `stop` (or the end of the text), without consuming it.
void SkipTo(TokenKind stop)
{
    while (Lexer.tokenKind != stop && Lexer.tokenKind != TokenEndOfFile)
        NextToken();
}

// Passes over tokens up to the ')' that is not matched by a '(' passed over.
void SkipToClosingParenthesis()
{
    int open = 0;
    while (Lexer.tokenKind != TokenEndOfFile) {
        if (Lexer.tokenKind == TokenLparen)
            ++open;
        else if (Lexer.tokenKind == TokenRparen && open-- == 0)
            return;
        NextToken();
    }
}

ScriptValue EvaluateOr();
ScriptValue EvaluateAnd();
ScriptValue EvaluateEquality();
ScriptValue EvaluateRelational();
ScriptValue EvaluateAdditive();
ScriptValue EvaluateMultiplicative();
ScriptValue EvaluateUnary();
ScriptValue EvaluatePrimary();
ScriptValue EvaluateCall();

// or_expr -> and_expr {'||' and_expr}        (both sides always evaluated)
ScriptValue EvaluateOr()
{
    ScriptValue left = EvaluateAnd();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TokenOr) {
        NextToken();
        ScriptValue right = EvaluateAnd();
        if (ScriptErrorFlag)
            return 0;
        left = Truth(left != 0 || right != 0);
    }
    return left;
}

// and_expr -> eq_expr {'&&' eq_expr}         (both sides always evaluated)
ScriptValue EvaluateAnd()
{
    ScriptValue left = EvaluateEquality();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TokenAnd) {
        NextToken();
        ScriptValue right = EvaluateEquality();
        if (ScriptErrorFlag)
            return 0;
        left = Truth(left != 0 && right != 0);
    }
    return left;
}

// eq_expr -> rel_expr [('==' | '!=') rel_expr]      (one comparison, not a chain)
ScriptValue EvaluateEquality()
{
    ScriptValue left = EvaluateRelational();
    if (ScriptErrorFlag)
        return 0;
    TokenKind op = Lexer.tokenKind;
    if (op != TokenEqual && op != TokenNotEqual)
        return left;
    NextToken();
    ScriptValue right = EvaluateRelational();
    if (ScriptErrorFlag)
        return 0;
    return Truth(op == TokenEqual ? left == right : left != right);
}

// rel_expr -> add_expr [('<' | '<=' | '>' | '>=') add_expr]    (signed, one comparison)
ScriptValue EvaluateRelational()
{
    ScriptValue left = EvaluateAdditive();
    if (ScriptErrorFlag)
        return 0;
    TokenKind op = Lexer.tokenKind;
    if (op != TokenLess && op != TokenLessEqual && op != TokenGreater && op != TokenGreaterEqual)
        return left;
    NextToken();
    ScriptValue right = EvaluateAdditive();
    if (ScriptErrorFlag)
        return 0;
    switch (op) {
    case TokenLess: return Truth(left < right);
    case TokenLessEqual: return Truth(left <= right);
    case TokenGreater: return Truth(left > right);
    default: return Truth(left >= right);
    }
}

// add_expr -> mul_expr {('+' | '-') mul_expr}
ScriptValue EvaluateAdditive()
{
    ScriptValue left = EvaluateMultiplicative();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TokenPlus || Lexer.tokenKind == TokenMinus) {
        TokenKind op = Lexer.tokenKind;
        NextToken();
        ScriptValue right = EvaluateMultiplicative();
        if (ScriptErrorFlag)
            return 0;
        left = op == TokenPlus ? WrapAdd(left, right) : WrapSubtract(left, right);
    }
    return left;
}

// mul_expr -> unary_expr {('*' | '/') unary_expr}
ScriptValue EvaluateMultiplicative()
{
    ScriptValue left = EvaluateUnary();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TokenStar || Lexer.tokenKind == TokenSlash) {
        TokenKind op = Lexer.tokenKind;
        NextToken();
        ScriptValue right = EvaluateUnary();
        if (ScriptErrorFlag)
            return 0;
        left = op == TokenStar ? WrapMultiply(left, right) : Divide(left, right);
        if (ScriptErrorFlag)
            return 0;
    }
    return left;
}

// unary_expr -> '!' unary_expr | '-' unary_expr | primary
ScriptValue EvaluateUnary()
{
    if (ScriptErrorFlag)
        return 0;
    TokenKind op = Lexer.tokenKind;
    if (op != TokenNot && op != TokenMinus)
        return EvaluatePrimary();
    if (!EnterLevel(0))
        return 0;
    NextToken();
    ScriptValue value = EvaluateUnary();
    LeaveLevel(0);
    if (ScriptErrorFlag)
        return 0;
    return op == TokenNot ? Truth(value == 0) : WrapNegate(value);
}

// primary -> variable ['++' | '--'] | constant | call | INT_CONST | STRING_CONST
//          | '(' expr ')' | <empty>
ScriptValue EvaluatePrimary()
{
    if (ScriptErrorFlag)
        return 0;
    switch (Lexer.tokenKind) {
    case TokenIdentifier: {
        char name[ScriptNameSize];
        CopyName(name, Lexer.identifierText);
        if (IsVariable(name)) {
            ScriptValue value = GetVariable(name);
            NextToken();
            if (Lexer.tokenKind == TokenIncrement) {
                NextToken();
                SetVariable(name, WrapAdd(value, 1));
            } else if (Lexer.tokenKind == TokenDecrement) {
                NextToken();
                SetVariable(name, WrapSubtract(value, 1));
            }
            return value;
        }
        ScriptValue constant;
        if (FindConstant(name, &constant)) {
            NextToken();
            return constant;
        }
        if (FindScriptFunction(name) >= 0 || IsBuiltin(name))
            return EvaluateCall();
        ReportScriptError("Unknown identifier");
        ReportExpected(Lexer.tokenKind);
        return 0;
    }
    case TokenIntConst: {
        ScriptValue value = Lexer.intValue;
        NextToken();
        return value;
    }
    case TokenStringConst: {
        ScriptValue value = ScriptTextBase + Lexer.slotIndex * StringSlotSize;
        NextToken();
        return value;
    }
    case TokenLparen: {
        NextToken();
        ScriptValue value = EvaluateExpression();
        if (ScriptErrorFlag)
            return 0;
        ExpectToken(TokenRparen);
        return ScriptErrorFlag ? 0 : value;
    }
    case TokenSemicolon:
        // An empty expression before ';' is true: for (;;), return;
        return 1;
    default:
        // ... and before anything else 0, with nothing consumed.
        return 0;
    }
}

// call -> NAME '(' [expr {',' expr}] ')'
ScriptValue EvaluateCall()
{
    char name[ScriptNameSize];
    CopyName(name, Lexer.identifierText);
    NextToken();
    ExpectToken(TokenLparen);
    if (ScriptErrorFlag)
        return 0;

    if (DeclarationPass) {
        // Only checked: the arguments are read and counted, nothing is called.
        int count = 0;
        if (Lexer.tokenKind != TokenRparen) {
            for (;;) {
                EvaluateExpression();
                if (ScriptErrorFlag)
                    return 0;
                ++count;
                if (Lexer.tokenKind == TokenEndOfFile) {
                    ReportScriptError("Unexpected end of file");
                    return 0;
                }
                if (Lexer.tokenKind == TokenRparen)
                    break;
                if (Lexer.tokenKind != TokenComma) {
                    ReportExpected(", or )");
                    return 0;
                }
                NextToken();
            }
        }
        ExpectToken(TokenRparen);
        if (ScriptErrorFlag)
            return 0;
        if (!CheckArgumentCount(name, count)) {
            ReportScriptError("Incompatible number of parameters");
            return 0;
        }
        return 1;
    }

    // A built-in comes before a script function of the same name.
    if (IsBuiltin(name))
        return CallBuiltin(name);

    int index = FindScriptFunction(name);
    if (index < 0)
        return 0;
    int count = FunctionTable.functions[index].parameterCount;
    // All values are known before any goes to the ArgumentList, so that a
    // call inside an argument does not disturb the outer call's values.
    ScriptValue values[ScriptParameterLimit] = {};
    if (!ReadCallArguments(count, values))
        return 0;
    memcpy(ArgumentList, values, sizeof(ScriptValue) * static_cast<size_t>(count));
    return CallScriptFunction(name);
}

// for_stat -> 'for' '(' expr ';' expr ';' expr ')' stat
StatementOutcome ExecuteFor()
{
    NextToken();
    ExpectToken(TokenLparen);
    EvaluateExpression();    // the initialisation, once
    ExpectToken(TokenSemicolon);

    LexerSnapshot condition, step, body;
    SaveLexer(&condition);
    SkipTo(TokenSemicolon);
    ExpectToken(TokenSemicolon);
    SaveLexer(&step);
    SkipToClosingParenthesis();
    ExpectToken(TokenRparen);
    SaveLexer(&body);

    while (!ScriptErrorFlag) {
        RestoreLexer(&condition);
        ScriptValue holds = EvaluateExpression();
        RestoreLexer(&body);
        if (!holds) {
            SkipStatement();
            break;
        }
        StatementOutcome outcome = ExecuteStatement();
        if (outcome == OutcomeReturn)
            return OutcomeReturn;
        if (outcome == OutcomeBreak) {
            RestoreLexer(&body);
            SkipStatement();
            return OutcomeNormal;
        }
        RestoreLexer(&step);
        EvaluateExpression();
    }
    return OutcomeNormal;
}

// while_stat -> 'while' '(' expr ')' stat
StatementOutcome ExecuteWhile()
{
    NextToken();
    ExpectToken(TokenLparen);
    LexerSnapshot condition;
    SaveLexer(&condition);

    while (!ScriptErrorFlag) {
        RestoreLexer(&condition);
        ScriptValue holds = EvaluateExpression();
        ExpectToken(TokenRparen);
        if (!holds) {
            SkipStatement();
            break;
        }
        StatementOutcome outcome = ExecuteStatement();
        if (outcome == OutcomeReturn)
            return OutcomeReturn;
        if (outcome == OutcomeBreak) {
            RestoreLexer(&condition);
            SkipToClosingParenthesis();
            ExpectToken(TokenRparen);
            SkipStatement();
            return OutcomeNormal;
        }
    }
    return OutcomeNormal;
}

// if_stat -> 'if' '(' expr ')' stat ['else' stat]
StatementOutcome ExecuteIf()
{
    NextToken();
    ExpectToken(TokenLparen);
    ScriptValue holds = EvaluateExpression();
    ExpectToken(TokenRparen);
    StatementOutcome outcome = OutcomeNormal;
    if (holds)
        outcome = ExecuteStatement();
    else
        SkipStatement();
    if (Lexer.tokenKind == TokenElse) {
        NextToken();
        if (!holds)
            return ExecuteStatement();
        SkipStatement();
    }
    return outcome;
}

StatementOutcome ExecuteStatementAt()
{
    switch (Lexer.tokenKind) {
    case TokenLbrace:
        // block -> '{' {stat} '}'
        NextToken();
        while (Lexer.tokenKind != TokenRbrace) {
            StatementOutcome outcome = ExecuteStatement();
            if (outcome != OutcomeNormal || ScriptErrorFlag)
                return outcome;
        }
        NextToken();
        return OutcomeNormal;
    case TokenReturn:
        // return_stat -> 'return' expr ';'
        NextToken();
        ReturnValue = EvaluateExpression();
        ExpectToken(TokenSemicolon);
        return OutcomeReturn;
    case TokenIf:
        return ExecuteIf();
    case TokenFor:
        return ExecuteFor();
    case TokenWhile:
        return ExecuteWhile();
    case TokenContinue:
        // continue_stat -> 'continue' ';'
        NextToken();
        ExpectToken(TokenSemicolon);
        return OutcomeContinue;
    case TokenBreak:
        // break_stat -> 'break' ';'
        NextToken();
        ExpectToken(TokenSemicolon);
        return OutcomeBreak;
    case TokenVar:
        // var_stat -> 'var' ... ';'      (declared already; the locals keep their values)
        NextToken();
        SkipTo(TokenSemicolon);
        ExpectToken(TokenSemicolon);
        return OutcomeNormal;
    case TokenSemicolon:
        // empty_stat -> ';'
        NextToken();
        return OutcomeNormal;
    default:
        // expr_stat -> expr ';'
        EvaluateExpression();
        ExpectToken(TokenSemicolon);
        return OutcomeNormal;
    }
}

void SkipStatementAt()
{
    switch (Lexer.tokenKind) {
    case TokenLbrace:
        NextToken();
        while (Lexer.tokenKind != TokenRbrace && Lexer.tokenKind != TokenEndOfFile &&
               !ScriptErrorFlag)
            SkipStatement();
        ExpectToken(TokenRbrace);
        return;
    case TokenIf:
        NextToken();
        ExpectToken(TokenLparen);
        SkipToClosingParenthesis();
        ExpectToken(TokenRparen);
        SkipStatement();
        if (Lexer.tokenKind == TokenElse) {
            NextToken();
            SkipStatement();
        }
        return;
    case TokenFor:
        NextToken();
        ExpectToken(TokenLparen);
        SkipTo(TokenSemicolon);
        ExpectToken(TokenSemicolon);
        SkipTo(TokenSemicolon);
        ExpectToken(TokenSemicolon);
        SkipToClosingParenthesis();
        ExpectToken(TokenRparen);
        SkipStatement();
        return;
    case TokenWhile:
        NextToken();
        ExpectToken(TokenLparen);
        SkipToClosingParenthesis();
        ExpectToken(TokenRparen);
        SkipStatement();
        return;
    case TokenSemicolon:
        NextToken();
        return;
    case TokenReturn:
    case TokenContinue:
    case TokenBreak:
    case TokenVar:
        NextToken();
        SkipTo(TokenSemicolon);
        ExpectToken(TokenSemicolon);
        return;
    default:
        SkipTo(TokenSemicolon);
        ExpectToken(TokenSemicolon);
        return;
    }
}

}  // namespace

void ResetEvaluation()
{
    ReturnValue = 0;
    memset(ArgumentList, 0, sizeof ArgumentList);
    ResetLevels();
}

void ResetLevels()
{
    NestingLevel = 0;
    HeldSnapshots = 0;
}

bool EnterLevel(int snapshots)
{
    if (NestingLevel >= ScriptNestingLimit || HeldSnapshots + snapshots > ScriptSnapshotLimit) {
        ReportScriptError("Nesting too deep");
        return false;
    }
    ++NestingLevel;
    HeldSnapshots += snapshots;
    return true;
}

void LeaveLevel(int snapshots)
{
    --NestingLevel;
    HeldSnapshots -= snapshots;
}

// expr -> NAME ('=' | '+=' | '-=' | '*=' | '/=') expr | or_expr
ScriptValue EvaluateExpression()
{
    if (ScriptErrorFlag || !EnterLevel(0))
        return 0;

    // One token of look-ahead decides whether the expression may assign.
    bool assignable = false;
    {
        LexerSnapshot start;
        SaveLexer(&start);
        bool startsWithName = Lexer.tokenKind == TokenIdentifier;
        NextToken();
        if (IsAssignmentOperator(Lexer.tokenKind))
            assignable = startsWithName && IsVariable(Lexer.identifierText);
        RestoreLexer(&start);
    }

    ScriptValue left = EvaluateOr();
    ScriptValue result = left;
    TokenKind op = Lexer.tokenKind;
    if (IsAssignmentOperator(op) && !assignable) {
        ReportExpected("l-expr variable");
        result = 0;
    } else if (ScriptErrorFlag) {
        result = 0;
    } else if (op == TokenAssign || op == TokenPlusAssign || op == TokenMinusAssign ||
               op == TokenStarAssign || op == TokenSlashAssign) {
        char name[ScriptNameSize];
        CopyName(name, Lexer.identifierText);
        NextToken();
        ScriptValue right = EvaluateExpression();
        // The variable is read after the right side has run.
        switch (op) {
        case TokenAssign:
            SetVariable(name, right);
            result = right;
            break;
        case TokenPlusAssign:
            SetVariable(name, WrapAdd(GetVariable(name), right));
            result = WrapAdd(left, right);
            break;
        case TokenMinusAssign:
            SetVariable(name, WrapSubtract(GetVariable(name), right));
            result = WrapSubtract(left, right);
            break;
        case TokenStarAssign:
            SetVariable(name, WrapMultiply(right, GetVariable(name)));
            result = WrapMultiply(left, right);
            break;
        default:
            if (right != 0) {
                SetVariable(name, WrapDivide(GetVariable(name), right));
                result = WrapDivide(left, right);
            } else {
                if (!DeclarationPass)
                    ReportScriptError("Divide by zero");
                SetVariable(name, 0);
                result = 0;
            }
            break;
        }
        if (ScriptErrorFlag)
            result = 0;
    }
    LeaveLevel(0);
    return result;
}

StatementOutcome ExecuteStatement()
{
    if (ScriptErrorFlag)
        return OutcomeNormal;
    // A loop keeps its snapshots while its body runs.
    int snapshots = Lexer.tokenKind == TokenFor ? 3 : Lexer.tokenKind == TokenWhile ? 1 : 0;
    if (!EnterLevel(snapshots))
        return OutcomeNormal;
    StatementOutcome outcome = ExecuteStatementAt();
    LeaveLevel(snapshots);
    return outcome;
}

void SkipStatement()
{
    if (ScriptErrorFlag || !EnterLevel(0))
        return;
    SkipStatementAt();
    LeaveLevel(0);
}
