#include "ToolOptions.h"

#include <cstdio>
#include <cstring>

namespace {

// What an argument that begins with '-' names: an option of the table, the
// help, or nothing the command knows.
struct Named {
    const OptionSpec* option = nullptr;
    bool help = false;
    std::string shown;               // the option as typed, without any "=VALUE"
    const char* attached = nullptr;  // "--name=VALUE" or "-xVALUE": where VALUE starts
};

// --name or --name=VALUE
Named LongOption(const CommandSpec& command, const char* argument)
{
    Named named;
    const char* name = argument + 2;
    const char* equals = strchr(name, '=');
    size_t length = equals ? static_cast<size_t>(equals - name) : strlen(name);
    named.shown.assign(argument, length + 2);
    named.attached = equals ? equals + 1 : nullptr;
    if (length == 4 && strncmp(name, "help", 4) == 0) {
        named.help = true;
        return named;
    }
    for (size_t k = 0; k < command.optionCount; ++k) {
        const char* candidate = command.options[k].name;
        if (strlen(candidate) == length && strncmp(candidate, name, length) == 0)
            named.option = &command.options[k];
    }
    return named;
}

// -x or -xVALUE.  A switch's letter stands alone: "-hx" is no option, and
// neither is an unknown letter, shown with all that follows it.
Named ShortOption(const CommandSpec& command, const char* argument)
{
    Named named;
    char letter = argument[1];
    named.attached = argument[2] ? argument + 2 : nullptr;
    named.shown.assign(argument, 2);
    if (letter == 'h')
        named.help = true;
    for (size_t k = 0; k < command.optionCount; ++k)
        if (command.options[k].letter == letter)
            named.option = &command.options[k];
    bool isSwitch = named.help || (named.option && !named.option->value);
    if (!named.option && !named.help) {
        named.shown = argument;
    } else if (isSwitch && named.attached) {
        named = Named();
        named.shown = argument;
    }
    return named;
}

}  // namespace

int ParseOptions(const CommandSpec& command, int argc, char** argv, CommandOptions* line, std::string* fault)
{
    CommandOptions parsed;
    parsed.values.assign(command.optionCount, nullptr);
    std::string firstFault;
    bool help = false;
    bool optionsEnded = false;
    auto faultAt = [&](const std::string& why) {
        if (firstFault.empty())
            firstFault = why;
    };
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            parsed.operands.push_back(argument);
            continue;
        }
        if (strcmp(argument, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        Named named = argument[1] == '-' ? LongOption(command, argument) : ShortOption(command, argument);
        if (named.help) {
            if (named.attached)
                faultAt(named.shown + " takes no value");
            else
                help = true;
            continue;
        }
        if (!named.option) {
            faultAt("unknown option '" + named.shown + "'");
            continue;
        }
        size_t index = static_cast<size_t>(named.option - command.options);
        if (!named.option->value) {
            if (named.attached)
                faultAt(named.shown + " takes no value");
            else
                parsed.values[index] = "";
            continue;
        }
        if (named.attached) {
            parsed.values[index] = named.attached;
        } else if (i + 1 < argc) {
            parsed.values[index] = argv[++i];
        } else {
            faultAt(std::string("no ") + named.option->value + " given after " + named.shown);
        }
    }
    if (help)
        return OptionsHelp;
    if (!firstFault.empty()) {
        if (fault)
            *fault = firstFault;
        return OptionsFault;
    }
    if (line)
        *line = std::move(parsed);
    return OptionsParsed;
}

bool ReadOptions(const CommandSpec& command, int argc, char** argv, CommandOptions* line, int* exitCode)
{
    std::string fault;
    switch (ParseOptions(command, argc, argv, line, &fault)) {
    case OptionsParsed:
        return true;
    case OptionsHelp:
        printf("%s%s", command.usage, command.description);
        *exitCode = fflush(stdout) == 0 ? 0 : CommandFailed;
        return false;
    default:
        *exitCode = UsageError(command, fault);
        return false;
    }
}

int CommandError(const char* command, const std::string& message)
{
    fflush(stdout);
    fprintf(stderr, "vellmark %s: %s\n", command, message.c_str());
    fflush(stderr);
    return CommandFailed;
}

int UsageError(const CommandSpec& command, const std::string& message)
{
    return CommandError(command.name, message + " (see 'vellmark " + command.name + " --help')");
}
