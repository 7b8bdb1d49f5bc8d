// How every vellmark command reads its command line, and how it words an error.
//
// A command describes its options as a table of OptionSpec rows; one parser
// reads every command's arguments the same way:
//   --name VALUE, --name=VALUE   a long option that takes a value
//   -x VALUE, -xVALUE            its short letter
//   --name, -x                   a switch (no value; --name=VALUE is a fault)
//   --help, -h                   every command's own: it prints its help to
//                                stdout and exits with 0
//   --                           ends the options: what follows is operands
//   -, and anything else         an operand
// Options and operands may come in any order.  A value is taken as it
// stands, even when it begins with '-'.  An option given twice counts with
// its last value.
//
// Every error line of a command is "vellmark COMMAND: MESSAGE", one line on
// stderr, and a refused or failed command exits with 2.  CommandError is the
// one place that prints such a line.
#ifndef VELLMARK_TOOL_OPTIONS_H
#define VELLMARK_TOOL_OPTIONS_H

#include <cstddef>
#include <string>
#include <vector>

// The exit code of a refused or failed command, a usage error included.
constexpr int CommandFailed = 2;

// One option a command accepts.
struct OptionSpec {
    const char* name;     // the long name without its dashes: "output" is --output
    char letter;          // the short name: 'o' is -o; 0 when it has none
    const char* value;    // what its value is called in messages ("FILE"); nullptr for a switch
};

// A command as its command line and messages know it.
struct CommandSpec {
    const char* name;            // "pack": its messages begin "vellmark pack: "
    const OptionSpec* options;   // its table; --help and -h need no row
    size_t optionCount;
    const char* usage;           // the "usage: vellmark ..." lines
    const char* description;     // what --help prints after them ("" for nothing)
};

// A parsed command line.  `values` has one element per row of the command's
// table, in the table's order, so a command indexes it with an enum kept in
// the same order.
struct CommandOptions {
    std::vector<const char*> values;    // the last value given; "" for a switch given;
                                        // nullptr for an option not given
    std::vector<const char*> operands;  // the other arguments, in their order

    const char* Value(size_t option) const { return values[option]; }
    bool Given(size_t option) const { return values[option] != nullptr; }
};

// Result codes of ParseOptions.
enum OptionsStatus {
    OptionsParsed = 0,   // *line holds the options and operands
    OptionsHelp = 1,     // --help or -h stands among the options (not as a value, not
                             // after --), whatever else is wrong; *line is untouched
    OptionsFault = 2,    // *fault holds the first fault in one line, without the
                             // command's prefix: "unknown option '--x'", "no FILE given
                             // after -o", "--force takes no value"; *line is untouched
};

// Reads argv[1] .. argv[argc - 1] (argv[0] is the command's name) against
// the command's table.  `line` and `fault` may be null.
int ParseOptions(const CommandSpec& command, int argc, char** argv, CommandOptions* line, std::string* fault);

// The start of every command: parses its command line, and returns true when
// the command goes on with *line.  Otherwise it has printed the command's help
// to stdout (*exitCode 0) or the fault as a usage error (*exitCode
// CommandFailed), and the command returns *exitCode.
bool ReadOptions(const CommandSpec& command, int argc, char** argv, CommandOptions* line, int* exitCode);

// Prints "vellmark COMMAND: MESSAGE" on stderr, standard output flushed
// first so that the line stands where it happened.  Returns CommandFailed.
int CommandError(const char* command, const std::string& message);

// A command line the command cannot run: CommandError with the way to its
// help appended, "MESSAGE (see 'vellmark COMMAND --help')".
int UsageError(const CommandSpec& command, const std::string& message);

#endif
