// The subcommands of the `vellmark` tool, one source file each.
#ifndef VELLMARK_TOOL_COMMANDS_H
#define VELLMARK_TOOL_COMMANDS_H

#include <string>

// Each returns the process exit code.  argv[0] is the subcommand's name.
int RunPackCommand(int argc, char** argv);
int RunListCommand(int argc, char** argv);
int RunExtractCommand(int argc, char** argv);
int RunCheckCommand(int argc, char** argv);
int RunLogCommand(int argc, char** argv);
int RunTryCommand(int argc, char** argv);
int RunVerifyCommand(int argc, char** argv);
int RunManifestCommand(int argc, char** argv);

// Prepares and declares a setup script exactly as the setup program does.
// Every script error report is printed to stderr as "LABEL:LINE:COL: error: TEXT".
// Returns true when the script is accepted.  `pack` uses it before packing.
bool CheckSetupScriptText(const std::string& label, const std::string& text);

// Why a script longer than ScriptTextLimit is refused, for one-line errors.
std::string ScriptTooLargeText();

#endif
