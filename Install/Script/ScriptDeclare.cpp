// The declaration pass and the symbol tables: constants, script functions,
// their parameters and locals.  All name comparisons here are exact; the
// lexer only ever delivers small letters, so names are in effect
// case-insensitive in the script.
#include "ScriptInternal.h"

#include <cstring>
#include <initializer_list>

ConstantTableRecord ConstantTable;
FunctionTableRecord FunctionTable;
int CurrentFunction;
int DeclarationPass;
int LoopDepth;

void CopyName(char* destination, const char* source)
{
    size_t length = 0;
    while (length < ScriptNameSize - 1 && source[length])
        ++length;
    memcpy(destination, source, length);
    destination[length] = '\0';
}

namespace {

void ClearFunction(ScriptFunction* function)
{
    memset(function->name, 0, sizeof function->name);
    ForgetSnapshot(&function->body);
    function->body.textPointer = nullptr;
    function->body.characterCount = 0;
    function->body.current = 0;
    function->body.tokenKind = TokenIdentifier;
    memset(function->body.identifierText, 0, sizeof function->body.identifierText);
    function->body.intValue = 0;
    function->body.slotIndex = 0;
    function->parameterCount = 0;
    memset(function->parameterNames, 0, sizeof function->parameterNames);
    memset(function->parameterValues, 0, sizeof function->parameterValues);
    function->localCount = 0;
    memset(function->localNames, 0, sizeof function->localNames);
    memset(function->localValues, 0, sizeof function->localValues);
}

ScriptFunction* Current()
{
    if (CurrentFunction < 0 || CurrentFunction >= ScriptFunctionLimit)
        return nullptr;
    return &FunctionTable.functions[CurrentFunction];
}

// Where a variable of the current function lives: locals first, then
// parameters.  nullptr when the name is neither.
ScriptValue* FindVariable(const char* name)
{
    ScriptFunction* function = Current();
    if (!function)
        return nullptr;
    for (int i = 0; i < function->localCount; ++i)
        if (strcmp(function->localNames[i], name) == 0)
            return &function->localValues[i];
    for (int i = 0; i < function->parameterCount; ++i)
        if (strcmp(function->parameterNames[i], name) == 0)
            return &function->parameterValues[i];
    return nullptr;
}

bool IsParameterOrLocal(const ScriptFunction& function, const char* name)
{
    for (int i = 0; i < function.parameterCount; ++i)
        if (strcmp(function.parameterNames[i], name) == 0)
            return true;
    for (int i = 0; i < function.localCount; ++i)
        if (strcmp(function.localNames[i], name) == 0)
            return true;
    return false;
}

// constant_def -> 'define' NAME INT_CONST
int DeclareConstant()
{
    ExpectToken(TokenDefine);
    if (Lexer.tokenKind != TokenIdentifier) {
        ReportExpected("identifier");
        return 0;
    }
    char name[ScriptNameSize];
    CopyName(name, Lexer.identifierText);
    NextToken();
    if (Lexer.tokenKind != TokenIntConst) {
        ReportExpected("int const");
        return 0;
    }
    ScriptValue value = Lexer.intValue;
    NextToken();
    if (!AddConstant(name, value) || ScriptErrorFlag)
        return 0;
    return 1;
}

// var_decl -> 'var' {NAME | ','} ';'     (only at the top level of a body)
int DeclareLocals(ScriptFunction* function)
{
    ExpectToken(TokenVar);
    while (Lexer.tokenKind != TokenSemicolon) {
        if (Lexer.tokenKind == TokenIdentifier) {
            if (function->localCount == ScriptLocalLimit) {
                ReportScriptError("Too much locals");
            } else if (IsParameterOrLocal(*function, Lexer.identifierText)) {
                ReportScriptError("Variable already defined");
                return 0;
            } else {
                CopyName(function->localNames[function->localCount], Lexer.identifierText);
                function->localValues[function->localCount] = 0;
                ++function->localCount;
            }
            NextToken();
        } else if (Lexer.tokenKind == TokenComma) {
            NextToken();
        } else if (Lexer.tokenKind == TokenEndOfFile) {
            ReportScriptError("Unexpected end of file");
            return 0;
        } else {
            ReportExpected(", or ;");
            return 0;
        }
    }
    NextToken();    // the ';'
    return 1;
}

// function_def -> NAME '(' [NAME {',' NAME}] ')' '{' body '}'
int DeclareFunction()
{
    if (!AddScriptFunction() || ScriptErrorFlag)
        return 0;
    ScriptFunction* function = &FunctionTable.functions[FunctionTable.count - 1];
    NextToken();
    ExpectToken(TokenLparen);

    if (Lexer.tokenKind != TokenRparen) {
        for (;;) {
            if (Lexer.tokenKind != TokenIdentifier) {
                ReportExpected("identifier");
                return 0;
            }
            bool full = function->parameterCount == ScriptParameterLimit;
            if (full)
                ReportScriptError("Too much params");    // rejected at the next flag test
            for (int i = 0; i < function->parameterCount; ++i) {
                if (strcmp(function->parameterNames[i], Lexer.identifierText) == 0) {
                    ReportScriptError("Param already defined");
                    return 0;
                }
            }
            if (!full)
                CopyName(function->parameterNames[function->parameterCount++], Lexer.identifierText);
            NextToken();
            if (Lexer.tokenKind == TokenRparen)
                break;
            if (Lexer.tokenKind == TokenEndOfFile) {
                ReportScriptError("Unexpected end of file");
                return 0;
            }
            if (Lexer.tokenKind != TokenComma) {
                ReportExpected(") or ,");
                return 0;
            }
            NextToken();
        }
    }
    ExpectToken(TokenRparen);
    SaveLexer(&function->body);
    ExpectToken(TokenLbrace);

    // The body is only brace-matched here, and its locals recorded; the
    // statements are checked once every name is known.
    int depth = 0;
    while (Lexer.tokenKind != TokenEndOfFile) {
        if (Lexer.tokenKind == TokenVar) {
            if (depth > 0) {
                ReportScriptError("Can't declare nested vars.");
                return 0;
            }
            if (!DeclareLocals(function))
                return 0;
        } else if (Lexer.tokenKind == TokenLbrace) {
            ++depth;
            NextToken();
        } else if (Lexer.tokenKind == TokenRbrace) {
            if (depth == 0)
                break;
            --depth;
            NextToken();
        } else {
            NextToken();
        }
    }
    ExpectToken(TokenRbrace);
    return 1;
}

// No parameter or local may carry the name of a script function.
int CheckVariableNames()
{
    for (int f = 0; f < FunctionTable.count; ++f) {
        const ScriptFunction& function = FunctionTable.functions[f];
        for (int i = 0; i < function.parameterCount + function.localCount; ++i) {
            const char* name = i < function.parameterCount
                                   ? function.parameterNames[i]
                                   : function.localNames[i - function.parameterCount];
            if (FindScriptFunction(name) >= 0) {
                ReportScriptError(name);
                ReportScriptError("Function with that name already defined");
                return 0;
            }
        }
    }
    return 1;
}

// keyword '(' expr ')': the head of an if or a while, the keyword current.
// False once an error has been reported.
bool CheckKeywordCondition()
{
    NextToken();
    ExpectToken(TokenLparen);
    if (ScriptErrorFlag)
        return false;
    EvaluateExpression();
    if (ScriptErrorFlag)
        return false;
    ExpectToken(TokenRparen);
    return !ScriptErrorFlag;
}

void CheckStatementAt()
{
    switch (Lexer.tokenKind) {
    case TokenSemicolon:
        // empty_stat -> ';'
        NextToken();
        return;
    case TokenLbrace:
        // block -> '{' {stat} '}'
        NextToken();
        while (Lexer.tokenKind != TokenRbrace) {
            CheckStatement();
            if (ScriptErrorFlag)
                return;
        }
        NextToken();
        return;
    case TokenReturn:
        // return_stat -> 'return' expr ';'
        NextToken();
        EvaluateExpression();
        if (ScriptErrorFlag)
            return;
        ExpectToken(TokenSemicolon);
        return;
    case TokenIf:
        // if_stat -> 'if' '(' expr ')' stat {'else' stat}
        if (!CheckKeywordCondition())
            return;
        CheckStatement();
        while (!ScriptErrorFlag && Lexer.tokenKind == TokenElse) {
            NextToken();
            CheckStatement();
        }
        return;
    case TokenFor:
        // for_stat -> 'for' '(' expr ';' expr ';' expr ')' stat
        NextToken();
        ExpectToken(TokenLparen);
        for (TokenKind closing : {TokenSemicolon, TokenSemicolon, TokenRparen}) {
            if (ScriptErrorFlag)
                return;
            EvaluateExpression();
            if (ScriptErrorFlag)
                return;
            ExpectToken(closing);
        }
        if (ScriptErrorFlag)
            return;
        ++LoopDepth;
        CheckStatement();
        --LoopDepth;
        return;
    case TokenWhile:
        // while_stat -> 'while' '(' expr ')' stat
        if (!CheckKeywordCondition())
            return;
        ++LoopDepth;
        CheckStatement();
        --LoopDepth;
        return;
    case TokenContinue:
    case TokenBreak:
        // continue_stat -> 'continue' ';'    break_stat -> 'break' ';'    (inside loops)
        if (LoopDepth == 0) {
            ReportScriptError(Lexer.tokenKind == TokenContinue ? "Can't continue without loop."
                                                                : "Can't break without loop.");
            return;
        }
        NextToken();
        ExpectToken(TokenSemicolon);
        return;
    case TokenVar:
        // var_stat -> 'var' ... ';'      (the names were recorded with the function)
        NextToken();
        while (Lexer.tokenKind != TokenSemicolon && Lexer.tokenKind != TokenEndOfFile)
            NextToken();
        ExpectToken(TokenSemicolon);
        return;
    default:
        // expr_stat -> expr ';'
        EvaluateExpression();
        if (ScriptErrorFlag)
            return;
        ExpectToken(TokenSemicolon);
        return;
    }
}

}  // namespace

void ResetSymbolTables()
{
    for (ScriptFunction& function : FunctionTable.functions)
        ClearFunction(&function);
    FunctionTable.count = 0;
    memset(&ConstantTable, 0, sizeof ConstantTable);
    AddConstant("null", 0);
    AddConstant("true", 1);
    AddConstant("false", 0);
    DeclarationPass = 0;
    CurrentFunction = 0;
    LoopDepth = 0;
}

int AddConstant(const char* name, ScriptValue value)
{
    ScriptValue existing;
    if (FindConstant(name, &existing)) {
        ReportScriptError("Constant already defined");
        return 0;
    }
    if (ConstantTable.count == ScriptConstantLimit)
        return 0;
    ScriptConstant& constant = ConstantTable.constants[ConstantTable.count++];
    CopyName(constant.name, name);
    constant.value = value;
    return 1;
}

bool FindConstant(const char* name, ScriptValue* value)
{
    for (int i = 0; i < ConstantTable.count; ++i) {
        if (strcmp(ConstantTable.constants[i].name, name) == 0) {
            if (value)
                *value = ConstantTable.constants[i].value;
            return true;
        }
    }
    return false;
}

int AddScriptFunction()
{
    if (FunctionTable.count == ScriptFunctionLimit)
        return 0;
    if (FindScriptFunction(Lexer.identifierText) >= 0) {
        ReportScriptError("Function already defined");
        return 0;
    }
    ScriptFunction* function = &FunctionTable.functions[FunctionTable.count++];
    ClearFunction(function);
    CopyName(function->name, Lexer.identifierText);
    return 1;
}

int FindScriptFunction(const char* name)
{
    for (int i = 0; i < FunctionTable.count; ++i)
        if (strcmp(FunctionTable.functions[i].name, name) == 0)
            return i;
    return -1;
}

bool IsVariable(const char* name)
{
    return FindVariable(name) != nullptr;
}

ScriptValue GetVariable(const char* name)
{
    ScriptValue* variable = FindVariable(name);
    return variable ? *variable : 0;
}

void SetVariable(const char* name, ScriptValue value)
{
    if (DeclarationPass)
        return;
    ScriptValue* variable = FindVariable(name);
    if (variable)
        *variable = value;
}

void CheckStatement()
{
    if (ScriptErrorFlag || !EnterLevel(0))
        return;
    CheckStatementAt();
    LeaveLevel(0);
}

int DeclareScript()
{
    DeclarationPass = 1;

    // Every lexical error of the whole text comes first.
    RewindScript();
    while (!ScriptErrorFlag && Lexer.tokenKind != TokenEndOfFile)
        NextToken();
    if (ScriptErrorFlag)
        return 0;

    // script -> {constant_def | function_def} EOF
    RewindScript();
    while (Lexer.tokenKind != TokenEndOfFile) {
        if (Lexer.tokenKind == TokenDefine) {
            if (!DeclareConstant())
                return 0;
        } else if (Lexer.tokenKind == TokenIdentifier) {
            if (!DeclareFunction())
                return 0;
        } else {
            ReportExpected("define or function definition");
            ReportExpected(Lexer.tokenKind);
            return 0;
        }
        if (ScriptErrorFlag)
            return 0;
    }

    if (!CheckVariableNames())
        return 0;

    // Each body is one block statement, checked as the evaluator would run it.
    RewindScript();
    for (int f = 0; f < FunctionTable.count; ++f) {
        CurrentFunction = f;
        RestoreLexer(&FunctionTable.functions[f].body);
        LoopDepth = 0;
        CheckStatement();
        if (ScriptErrorFlag)
            return 0;
    }

    DeclarationPass = 0;
    return 1;
}
