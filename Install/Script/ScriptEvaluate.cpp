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
    case TOKEN_ASSIGN:
    case TOKEN_PLUS_ASSIGN:
    case TOKEN_MINUS_ASSIGN:
    case TOKEN_STAR_ASSIGN:
    case TOKEN_SLASH_ASSIGN:
    case TOKEN_INCREMENT:
    case TOKEN_DECREMENT:
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
    while (Lexer.tokenKind != stop && Lexer.tokenKind != TOKEN_END_OF_FILE)
        NextToken();
}

// Passes over tokens up to the ')' that is not matched by a '(' passed over.
void SkipToClosingParenthesis()
{
    int open = 0;
    while (Lexer.tokenKind != TOKEN_END_OF_FILE) {
        if (Lexer.tokenKind == TOKEN_LPAREN)
            ++open;
        else if (Lexer.tokenKind == TOKEN_RPAREN && open-- == 0)
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
    while (Lexer.tokenKind == TOKEN_OR) {
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
    while (Lexer.tokenKind == TOKEN_AND) {
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
    if (op != TOKEN_EQUAL && op != TOKEN_NOT_EQUAL)
        return left;
    NextToken();
    ScriptValue right = EvaluateRelational();
    if (ScriptErrorFlag)
        return 0;
    return Truth(op == TOKEN_EQUAL ? left == right : left != right);
}

// rel_expr -> add_expr [('<' | '<=' | '>' | '>=') add_expr]    (signed, one comparison)
ScriptValue EvaluateRelational()
{
    ScriptValue left = EvaluateAdditive();
    if (ScriptErrorFlag)
        return 0;
    TokenKind op = Lexer.tokenKind;
    if (op != TOKEN_LESS && op != TOKEN_LESS_EQUAL && op != TOKEN_GREATER && op != TOKEN_GREATER_EQUAL)
        return left;
    NextToken();
    ScriptValue right = EvaluateAdditive();
    if (ScriptErrorFlag)
        return 0;
    switch (op) {
    case TOKEN_LESS: return Truth(left < right);
    case TOKEN_LESS_EQUAL: return Truth(left <= right);
    case TOKEN_GREATER: return Truth(left > right);
    default: return Truth(left >= right);
    }
}

// add_expr -> mul_expr {('+' | '-') mul_expr}
ScriptValue EvaluateAdditive()
{
    ScriptValue left = EvaluateMultiplicative();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TOKEN_PLUS || Lexer.tokenKind == TOKEN_MINUS) {
        TokenKind op = Lexer.tokenKind;
        NextToken();
        ScriptValue right = EvaluateMultiplicative();
        if (ScriptErrorFlag)
            return 0;
        left = op == TOKEN_PLUS ? WrapAdd(left, right) : WrapSubtract(left, right);
    }
    return left;
}

// mul_expr -> unary_expr {('*' | '/') unary_expr}
ScriptValue EvaluateMultiplicative()
{
    ScriptValue left = EvaluateUnary();
    if (ScriptErrorFlag)
        return 0;
    while (Lexer.tokenKind == TOKEN_STAR || Lexer.tokenKind == TOKEN_SLASH) {
        TokenKind op = Lexer.tokenKind;
        NextToken();
        ScriptValue right = EvaluateUnary();
        if (ScriptErrorFlag)
            return 0;
        left = op == TOKEN_STAR ? WrapMultiply(left, right) : Divide(left, right);
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
    if (op != TOKEN_NOT && op != TOKEN_MINUS)
        return EvaluatePrimary();
    if (!EnterLevel(0))
        return 0;
    NextToken();
    ScriptValue value = EvaluateUnary();
    LeaveLevel(0);
    if (ScriptErrorFlag)
        return 0;
    return op == TOKEN_NOT ? Truth(value == 0) : WrapNegate(value);
}

// primary -> variable ['++' | '--'] | constant | call | INT_CONST | STRING_CONST
//          | '(' expr ')' | <empty>
ScriptValue EvaluatePrimary()
{
    if (ScriptErrorFlag)
        return 0;
    switch (Lexer.tokenKind) {
    case TOKEN_IDENTIFIER: {
        char name[SCRIPT_NAME_SIZE];
        CopyName(name, Lexer.identifierText);
        if (IsVariable(name)) {
            ScriptValue value = GetVariable(name);
            NextToken();
            if (Lexer.tokenKind == TOKEN_INCREMENT) {
                NextToken();
                SetVariable(name, WrapAdd(value, 1));
            } else if (Lexer.tokenKind == TOKEN_DECREMENT) {
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
    case TOKEN_INT_CONST: {
        ScriptValue value = Lexer.intValue;
        NextToken();
        return value;
    }
    case TOKEN_STRING_CONST: {
        ScriptValue value = SCRIPT_TEXT_BASE + Lexer.slotIndex * STRING_SLOT_SIZE;
        NextToken();
        return value;
    }
    case TOKEN_LPAREN: {
        NextToken();
        ScriptValue value = EvaluateExpression();
        if (ScriptErrorFlag)
            return 0;
        ExpectToken(TOKEN_RPAREN);
        return ScriptErrorFlag ? 0 : value;
    }
    case TOKEN_SEMICOLON:
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
    char name[SCRIPT_NAME_SIZE];
    CopyName(name, Lexer.identifierText);
    NextToken();
    ExpectToken(TOKEN_LPAREN);
    if (ScriptErrorFlag)
        return 0;

    if (DeclarationPass) {
        // Only checked: the arguments are read and counted, nothing is called.
        int count = 0;
        if (Lexer.tokenKind != TOKEN_RPAREN) {
            for (;;) {
                EvaluateExpression();
                if (ScriptErrorFlag)
                    return 0;
                ++count;
                if (Lexer.tokenKind == TOKEN_END_OF_FILE) {
                    ReportScriptError("Unexpected end of file");
                    return 0;
                }
                if (Lexer.tokenKind == TOKEN_RPAREN)
                    break;
                if (Lexer.tokenKind != TOKEN_COMMA) {
                    ReportExpected(", or )");
                    return 0;
                }
                NextToken();
            }
        }
        ExpectToken(TOKEN_RPAREN);
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
    ScriptValue values[SCRIPT_PARAMETER_LIMIT] = {};
    for (int i = 0; i < count; ++i) {
        values[i] = EvaluateExpression();
        ExpectToken(i + 1 < count ? TOKEN_COMMA : TOKEN_RPAREN);
        if (ScriptErrorFlag)
            return 0;
    }
    if (count == 0) {
        ExpectToken(TOKEN_RPAREN);
        if (ScriptErrorFlag)
            return 0;
    }
    memcpy(ArgumentList, values, sizeof(ScriptValue) * static_cast<size_t>(count));
    return CallScriptFunction(name);
}

// for_stat -> 'for' '(' expr ';' expr ';' expr ')' stat
StatementOutcome ExecuteFor()
{
    NextToken();
    ExpectToken(TOKEN_LPAREN);
    EvaluateExpression();    // the initialisation, once
    ExpectToken(TOKEN_SEMICOLON);

    LexerSnapshot condition, step, body;
    SaveLexer(&condition);
    SkipTo(TOKEN_SEMICOLON);
    ExpectToken(TOKEN_SEMICOLON);
    SaveLexer(&step);
    SkipToClosingParenthesis();
    ExpectToken(TOKEN_RPAREN);
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
    ExpectToken(TOKEN_LPAREN);
    LexerSnapshot condition;
    SaveLexer(&condition);

    while (!ScriptErrorFlag) {
        RestoreLexer(&condition);
        ScriptValue holds = EvaluateExpression();
        ExpectToken(TOKEN_RPAREN);
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
            ExpectToken(TOKEN_RPAREN);
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
    ExpectToken(TOKEN_LPAREN);
    ScriptValue holds = EvaluateExpression();
    ExpectToken(TOKEN_RPAREN);
    StatementOutcome outcome = OutcomeNormal;
    if (holds)
        outcome = ExecuteStatement();
    else
        SkipStatement();
    if (Lexer.tokenKind == TOKEN_ELSE) {
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
    case TOKEN_LBRACE:
        // block -> '{' {stat} '}'
        NextToken();
        while (Lexer.tokenKind != TOKEN_RBRACE) {
            StatementOutcome outcome = ExecuteStatement();
            if (outcome != OutcomeNormal || ScriptErrorFlag)
                return outcome;
        }
        NextToken();
        return OutcomeNormal;
    case TOKEN_RETURN:
        // return_stat -> 'return' expr ';'
        NextToken();
        ReturnValue = EvaluateExpression();
        ExpectToken(TOKEN_SEMICOLON);
        return OutcomeReturn;
    case TOKEN_IF:
        return ExecuteIf();
    case TOKEN_FOR:
        return ExecuteFor();
    case TOKEN_WHILE:
        return ExecuteWhile();
    case TOKEN_CONTINUE:
        // continue_stat -> 'continue' ';'
        NextToken();
        ExpectToken(TOKEN_SEMICOLON);
        return OutcomeContinue;
    case TOKEN_BREAK:
        // break_stat -> 'break' ';'
        NextToken();
        ExpectToken(TOKEN_SEMICOLON);
        return OutcomeBreak;
    case TOKEN_VAR:
        // var_stat -> 'var' ... ';'      (declared already; the locals keep their values)
        NextToken();
        SkipTo(TOKEN_SEMICOLON);
        ExpectToken(TOKEN_SEMICOLON);
        return OutcomeNormal;
    case TOKEN_SEMICOLON:
        // empty_stat -> ';'
        NextToken();
        return OutcomeNormal;
    default:
        // expr_stat -> expr ';'
        EvaluateExpression();
        ExpectToken(TOKEN_SEMICOLON);
        return OutcomeNormal;
    }
}

void SkipStatementAt()
{
    switch (Lexer.tokenKind) {
    case TOKEN_LBRACE:
        NextToken();
        while (Lexer.tokenKind != TOKEN_RBRACE && Lexer.tokenKind != TOKEN_END_OF_FILE &&
               !ScriptErrorFlag)
            SkipStatement();
        ExpectToken(TOKEN_RBRACE);
        return;
    case TOKEN_IF:
        NextToken();
        ExpectToken(TOKEN_LPAREN);
        SkipToClosingParenthesis();
        ExpectToken(TOKEN_RPAREN);
        SkipStatement();
        if (Lexer.tokenKind == TOKEN_ELSE) {
            NextToken();
            SkipStatement();
        }
        return;
    case TOKEN_FOR:
        NextToken();
        ExpectToken(TOKEN_LPAREN);
        SkipTo(TOKEN_SEMICOLON);
        ExpectToken(TOKEN_SEMICOLON);
        SkipTo(TOKEN_SEMICOLON);
        ExpectToken(TOKEN_SEMICOLON);
        SkipToClosingParenthesis();
        ExpectToken(TOKEN_RPAREN);
        SkipStatement();
        return;
    case TOKEN_WHILE:
        NextToken();
        ExpectToken(TOKEN_LPAREN);
        SkipToClosingParenthesis();
        ExpectToken(TOKEN_RPAREN);
        SkipStatement();
        return;
    case TOKEN_SEMICOLON:
        NextToken();
        return;
    case TOKEN_RETURN:
    case TOKEN_CONTINUE:
    case TOKEN_BREAK:
    case TOKEN_VAR:
        NextToken();
        SkipTo(TOKEN_SEMICOLON);
        ExpectToken(TOKEN_SEMICOLON);
        return;
    default:
        SkipTo(TOKEN_SEMICOLON);
        ExpectToken(TOKEN_SEMICOLON);
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
    if (NestingLevel >= SCRIPT_NESTING_LIMIT || HeldSnapshots + snapshots > SCRIPT_SNAPSHOT_LIMIT) {
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
        bool startsWithName = Lexer.tokenKind == TOKEN_IDENTIFIER;
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
    } else if (op == TOKEN_ASSIGN || op == TOKEN_PLUS_ASSIGN || op == TOKEN_MINUS_ASSIGN ||
               op == TOKEN_STAR_ASSIGN || op == TOKEN_SLASH_ASSIGN) {
        char name[SCRIPT_NAME_SIZE];
        CopyName(name, Lexer.identifierText);
        NextToken();
        ScriptValue right = EvaluateExpression();
        // The variable is read after the right side has run.
        switch (op) {
        case TOKEN_ASSIGN:
            SetVariable(name, right);
            result = right;
            break;
        case TOKEN_PLUS_ASSIGN:
            SetVariable(name, WrapAdd(GetVariable(name), right));
            result = WrapAdd(left, right);
            break;
        case TOKEN_MINUS_ASSIGN:
            SetVariable(name, WrapSubtract(GetVariable(name), right));
            result = WrapSubtract(left, right);
            break;
        case TOKEN_STAR_ASSIGN:
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
    int snapshots = Lexer.tokenKind == TOKEN_FOR ? 3 : Lexer.tokenKind == TOKEN_WHILE ? 1 : 0;
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
