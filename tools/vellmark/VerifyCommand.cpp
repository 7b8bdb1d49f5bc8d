// vellmark verify: is a setup executable sound, and who signed it?
#include <cstdio>
#include <iterator>
#include <string>

#include "Commands.h"
#include "Signing.h"
#include "ToolOptions.h"
#include "VerifyReport.h"

namespace {

const char VerifyUsage[] = "usage: vellmark verify SETUP.exe [--require-signature] [--ca-file FILE] [--sign-tool PROGRAM] [--json]\n";

const char VerifyDescription[] =
    "\n"
    "Checks SETUP.exe as the setup program and Windows will: opens its package\n"
    "exactly as the setup does and extracts every file, checking each checksum;\n"
    "checks its PE checksum; and reports its Authenticode signature: none, or\n"
    "who signed it and whether osslsigncode verifies it (the digest of the file\n"
    "and the certificate chain), with its signing time and timestamp.\n"
    "\n"
    "options:\n"
    "  --require-signature     fail unless the signature is valid\n"
    "  --ca-file FILE          trust the certificates in FILE (PEM) instead of the\n"
    "                          system's: a test certificate, a company's own CA\n"
    "  --sign-tool PROGRAM     the osslsigncode to run (default: the one on PATH)\n"
    "  --json                  print one JSON document instead (its fields are\n"
    "                          described in docs/packaging.md); the exit code\n"
    "                          and the error line on stderr stay the same\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit code 0 when the package is sound, no signature is damaged and, with\n"
    "--require-signature, the signature is valid; 1 when one of these fails (the\n"
    "reason follows on stderr); 2 when SETUP.exe cannot be read or, with\n"
    "--require-signature, its signature cannot be checked.  A signature that a\n"
    "changed byte or a cut-off table has damaged always fails; one that is whole\n"
    "but not trusted here fails only with --require-signature.\n";

enum VerifyOption {
    VerifyRequireSignature,
    VerifyCaFile,
    VerifySignTool,
    VerifyJson,
    VerifyOptionCount
};
const OptionSpec VerifyOptionTable[] = {
    {"require-signature", 0, nullptr},
    {"ca-file", 0, "FILE"},
    {"sign-tool", 0, "PROGRAM"},
    {"json", 0, nullptr},
};
static_assert(std::size(VerifyOptionTable) == VerifyOptionCount, "one row per VerifyOption");

const CommandSpec Verify = {"verify", VerifyOptionTable, VerifyOptionCount, VerifyUsage, VerifyDescription};

}  // namespace

int RunVerifyCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Verify, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operands.size() != 1)
        return UsageError(Verify, line.operands.empty() ? "no SETUP.exe given" : "one SETUP.exe only");
    VerifyOptions options;
    options.tool = DefaultSignTool;
    if (const char* tool = line.Value(VerifySignTool))
        options.tool = tool;
    if (const char* file = line.Value(VerifyCaFile))
        options.caFile = file;
    bool requireSignature = line.Given(VerifyRequireSignature);

    VerifyReport report;
    BuildVerifyReport(line.operands[0], options, &report);
    if (line.Given(VerifyJson))
        fputs(VerifyReportJson(report, requireSignature).c_str(), stdout);
    else
        fputs(VerifyReportText(report).c_str(), stdout);
    int code = VerifyExitCode(report, requireSignature);
    if (code != 0)
        CommandError(Verify.name, VerifyFailureText(report, requireSignature));
    if (fflush(stdout) != 0)
        return CommandFailed;
    return code;
}
