// Running another program from the tool: the signing tool that pack and
// verify call, and a publisher's own signing command.
//
// Programs are started with an argument vector, never through a shell, so
// that no argument is read twice; only a publisher's command line goes to the
// system's shell, as the publisher wrote it.
#ifndef VELLMARK_TOOL_CHILD_PROCESS_H
#define VELLMARK_TOOL_CHILD_PROCESS_H

#include <string>
#include <vector>

struct ChildRun {
    std::vector<std::string> arguments;   // [0] is the program: a path, or a name looked up on PATH
    std::string shellLine;                // instead of `arguments`: a command line for the system's
                                          // shell (/bin/sh -c LINE; cmd.exe /d /s /c "LINE" on Windows)
    bool captureOutput = true;            // its stdout and stderr together into ChildResult::output,
                                          // and `input` (or nothing) as its stdin; false: it shares
                                          // the tool's stdin and stderr, its stdout going to our
                                          // stderr (a command that asks for a token's PIN)
    std::string input;                    // with captureOutput: written to its stdin, which is
                                          // then closed
};

struct ChildResult {
    bool started = false;     // false: it could not be started, `error` says why
    bool exited = false;      // it ended by itself, with exitCode; false: a signal ended it
    int exitCode = -1;
    std::string output;       // what it printed (captureOutput only)
    std::string error;        // why it did not start, or how it ended
};

// Runs the program and waits for it to end.  True when it ran and exited with 0.
bool RunChild(const ChildRun& run, ChildResult* result);

// The full path of a program: `name` itself when it holds a folder
// separator and names an executable file, otherwise the first match on PATH.
// False when there is none.
bool FindProgram(const std::string& name, std::string* path);

// `word` quoted for that shell, so that it stays one word whatever it holds:
// in single quotes ('it'\''s'), or in double quotes on Windows.
std::string ShellQuoted(const std::string& word);

// One argument as the Windows C runtime splits a command line: unquoted when
// it holds no blank, tab or quote and is not empty, otherwise in double
// quotes with backslashes doubled before a quote and at the end.
std::string WindowsArgumentQuoted(const std::string& argument);

#endif
