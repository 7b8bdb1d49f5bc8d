// Dry-run built-ins: they read their arguments exactly as the real ones do
// and describe the call instead of acting on it.
#include "BuiltinTable.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

DryRunOutput Output;
void* OutputContext;
ScriptValue YesNoAnswer = 1;
DryRunAnswer Answer;

// Appends to a line buffer, never past its end.
struct Line {
    char text[2048];
    size_t length = 0;

    void Append(const char* piece)
    {
        while (*piece && length + 1 < sizeof text)
            text[length++] = *piece++;
        text[length] = '\0';
    }
};

void AppendNumber(Line* line, ScriptValue value)
{
    char number[16];
    snprintf(number, sizeof number, "%d", static_cast<int>(value));
    line->Append(number);
}

// The text between double quotes, with C escapes where it would not read well.
void AppendQuoted(Line* line, const char* text, size_t room)
{
    line->Append("\"");
    for (size_t i = 0; i < room && text[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char piece[8];
        switch (c) {
        case '\n': line->Append("\\n"); continue;
        case '\r': line->Append("\\r"); continue;
        case '\t': line->Append("\\t"); continue;
        case '\\': line->Append("\\\\"); continue;
        case '"': line->Append("\\\""); continue;
        default: break;
        }
        if (c < 32 || c == 127)
            snprintf(piece, sizeof piece, "\\x%02x", c);
        else
            snprintf(piece, sizeof piece, "%c", c);
        line->Append(piece);
    }
    line->Append("\"");
}

// What a built-in that reports success with 1 gives in a dry run: the call
// is taken to succeed, so that the script goes on as it would on a machine
// where the change can be made.  runprogram gives 0, a program that started
// and ended well; every other built-in gives 0.
ScriptValue DryRunSuccess(int index)
{
    switch (index) {
    case BuiltinRegsetstring:
    case BuiltinRegsetdword:
    case BuiltinFileassoc:
    case BuiltinAddpath:
    case BuiltinShortcutdesk:
        return 1;
    default:
        return 0;
    }
}

ScriptValue DryRunCall(int index)
{
    const BuiltinSignature& signature = BuiltinSignatures[index];
    ScriptValue arguments[ScriptParameterLimit] = {};
    ReadBuiltinArguments(static_cast<BuiltinIndex>(index), arguments);

    if (Output) {
        Line line;
        line.Append(signature.name);
        line.Append("(");
        for (int i = 0; i < signature.parameterCount; ++i) {
            if (i > 0)
                line.Append(", ");
            size_t room = 0;
            const char* text = signature.parameterKinds[i] == 't'
                                   ? ScriptTextOf(arguments[i], &room)
                                   : nullptr;
            if (text)
                AppendQuoted(&line, text, room);
            else
                AppendNumber(&line, arguments[i]);
        }
        line.Append(")");
        Output(line.text, OutputContext);
    }
    ScriptValue answered = 0;
    if (Answer && Answer(static_cast<BuiltinIndex>(index), arguments, OutputContext, &answered))
        return answered;
    return index == BuiltinMsgboxyesno ? YesNoAnswer : DryRunSuccess(index);
}

template <int Index>
ScriptValue DryRunHandler()
{
    return DryRunCall(Index);
}

template <int... Index>
void MakeDryRunTable(BuiltinRow (&table)[BuiltinCount + 1], std::integer_sequence<int, Index...>)
{
    static const BuiltinHandler handlers[BuiltinCount] = {&DryRunHandler<Index>...};
    MakeBuiltinTable(handlers, table);
}

BuiltinRow DryRunTable[BuiltinCount + 1];

}  // namespace

void InstallDryRunBuiltins(DryRunOutput output, void* context, ScriptValue yesNoAnswer, DryRunAnswer answer)
{
    Output = output;
    OutputContext = context;
    YesNoAnswer = yesNoAnswer;
    Answer = answer;
    if (!DryRunTable[0].name)
        MakeDryRunTable(DryRunTable, std::make_integer_sequence<int, BuiltinCount>());
    InstallBuiltinTable(DryRunTable);
}
