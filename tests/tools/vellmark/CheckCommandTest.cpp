// vellmark check: the summary of an accepted script, the error lines of a
// rejected one, and the dry run of a function.
#include "Commands.h"
#include "Script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

ToolRun RunCheck(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "check");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = RunCheckCommand(static_cast<int>(argv.size()), argv.data());
    fflush(stdout);
    fflush(stderr);
    ToolRun run{code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
    return run;
}

class CheckCommand : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("vellmark-check-" + std::to_string(counter++) + "-" + name);
        FILE* file = fopen(path.string().c_str(), "wb");
        EXPECT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
        written.push_back(path);
        return path.string();
    }
    void TearDown() override
    {
        for (const auto& path : written)
            std::filesystem::remove(path);
    }
    std::vector<std::filesystem::path> written;
    static int counter;
};
int CheckCommand::counter = 0;

const char AcceptedScript[] =
    "// Company=Acme\r\n"
    "// Product=Widget\r\n"
    "// Version=2.1\r\n"
    "// NoUninstall=0\r\n"
    "// InstallDriver=0\r\n"
    "define steps 3\r\n"
    "Init() { return 1; }\r\n"
    "install(Path, Mode) { var done; if (msgboxyesno(\"Install now?\")) { "
    "copy(\"App.exe\", \"<InstallDir>\\\\App.exe\"); setprogsteps(steps); return 1; } return 0; }\r\n";

TEST_F(CheckCommand, AcceptedScriptPrintsSettingsAndFunctions)
{
    std::string path = Write("Install.ini", AcceptedScript);
    ToolRun run = RunCheck({path});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              path + ": script accepted\n"
              "Settings:\n"
              "  Company        \"Acme\"\n"
              "  Product        \"Widget\"\n"
              "  Name           absent\n"
              "  Version        \"2.1\"\n"
              "  ProductURL     absent\n"
              "  ProductEmail   absent\n"
              "  CompanyURL     absent\n"
              "  CompanyEmail   absent\n"
              "  DisplayIcon    absent\n"
              "  LogPath        absent\n"
              "  Update         absent (the setup program takes 0)\n"
              "  NoLicense      absent (the setup program takes 1)\n"
              "  NoUninstall    0\n"
              "  NoWin95        absent (the setup program takes 0)\n"
              "  InstallDriver  present (\"0\"; any value counts)\n"
              "Functions:\n"
              "  init()                         0 parameters\n"
              "  install(path, mode)            2 parameters\n");
}

TEST_F(CheckCommand, RejectedScriptGivesOneLinePerReport)
{
    // The missing ';' is reported just behind "1", on line 4, with either line end.
    struct Case {
        const char* text;
        const char* lines;
    } cases[] = {
        {"// Company=Acme\r\ninstall() {\r\n  var x;\r\n  x = 1\r\n  return x;\r\n}\r\n",
         ":4:8: error: Expected ; at 47 (return)\n"},
        {"// Company=Acme\ninstall() {\n  var x;\n  x = 1\n  return x;\n}\n",
         ":4:8: error: Expected ; at 44 (return)\n"},
        {"init() { nope(); }", ":1:14: error: Error: Unknown identifier at 13 (nope)\n"
                               ":1:14: error: Expected identifier at 13 (nope)\n"},
        {"init() {\r\n\r\n", ":3:1: error: Error: Unexpected end of file at 12 (init)\n"},
        // An illegal first token reaches the sink twice from the engine: one line.
        {"// Company=Acme\r\n@init() { return 1; }\r\n", ":2:1: error: Error: Illegal char at 17 ()\n"},
    };
    for (const Case& c : cases) {
        std::string path = Write("Install.ini", c.text);
        ToolRun run = RunCheck({path});
        EXPECT_EQ(run.exitCode, 1) << c.text;
        EXPECT_EQ(run.out, "") << c.text;
        std::string expected;
        for (const char* line = c.lines; *line;) {
            const char* end = strchr(line, '\n');
            expected += path + std::string(line, end + 1);
            line = end + 1;
        }
        EXPECT_EQ(run.err, expected) << c.text;
    }
}

TEST_F(CheckCommand, FullTablesAreNamedAlthoughTheEngineSaysNothing)
{
    std::string script;
    for (int i = 0; i < 17; ++i)
        script += "f" + std::to_string(i) + "() { }\n";
    std::string path = Write("Install.ini", script);
    ToolRun run = RunCheck({path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, path + ":17:1: error: Script error (the script has more than 16 script functions)\n");
}

TEST_F(CheckCommand, DryRunPrintsEachBuiltinCallAndTheResult)
{
    std::string path = Write("Install.ini", AcceptedScript);
    ToolRun yes = RunCheck({path, "--run", "install"});
    EXPECT_EQ(yes.exitCode, 0);
    EXPECT_EQ(yes.err, "");
    EXPECT_EQ(yes.out,
              "msgboxyesno(\"Install now?\")\n"
              "copy(\"App.exe\", \"<InstallDir>\\\\App.exe\")\n"
              "setprogsteps(3)\n"
              "install returned 1\n");

    ToolRun no = RunCheck({path, "--answer", "no", "--run", "INSTALL"});
    EXPECT_EQ(no.exitCode, 0);
    EXPECT_EQ(no.out, "msgboxyesno(\"Install now?\")\nINSTALL returned 0\n");
}

// --installed plays the update branch through: isappinstalled finds the
// product's key and the keys above it, and nothing else.
TEST_F(CheckCommand, DryRunAsIfTheProductWereInstalled)
{
    const std::string script =
        "// Company=Acme\r\n// Product=Tool\r\n// Version=2.0\r\n"
        "init() {\r\n"
        "  if (isappinstalled(\"acme\", \"TOOL\")) setupdate(1);\r\n"
        "  if (isappinstalled(\"Acme\", null)) msgboxok(\"company\");\r\n"
        "  if (isappinstalled(null, null)) msgboxok(\"software\");\r\n"
        "  if (isappinstalled(\"Other\", \"Tool\")) msgboxok(\"other\");\r\n"
        "  if (isappinstalled(\"Acme\", \"Tool 2\")) msgboxok(\"tool 2\");\r\n"
        "  if (isappinstalled(7, \"Tool\")) msgboxok(\"a number\");\r\n"
        "  return 1;\r\n}\r\n";
    std::string path = Write("Install.ini", script);
    ToolRun run = RunCheck({path, "--run", "init", "--installed", "1.5"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "as if version 1.5 (older than this setup's) were installed: HKLM\\Software\\Acme\\Tool is there\n"
              "isappinstalled(\"acme\", \"TOOL\")\n"
              "setupdate(1)\n"
              "isappinstalled(\"Acme\", 0)\n"
              "msgboxok(\"company\")\n"
              "isappinstalled(0, 0)\n"
              "msgboxok(\"software\")\n"
              "isappinstalled(\"Other\", \"Tool\")\n"
              "isappinstalled(\"Acme\", \"Tool 2\")\n"
              "isappinstalled(7, \"Tool\")\n"
              "init returned 1\n");
    // Without it nothing is installed: the update branch is never taken.
    ToolRun fresh = RunCheck({path, "--run", "init"});
    EXPECT_EQ(fresh.out.find("setupdate"), std::string::npos);
    EXPECT_NE(RunCheck({path, "--run", "init", "--installed", "2.0"}).out.find("(this setup's own)"),
              std::string::npos);

    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } refused[] = {
        {{path, "--run", "init", "--installed", "v2"}, "--installed takes a version of numbers and dots, not 'v2'"},
        {{path, "--installed", "2"}, "--installed goes with --run"},
    };
    for (const auto& r : refused) {
        ToolRun bad = RunCheck(r.arguments);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_NE(bad.err.find(r.error), std::string::npos) << bad.err;
    }
}

TEST_F(CheckCommand, DryRunEndsAsTheEngineEndsIt)
{
    std::string path = Write("Install.ini",
                             "install() { var z; msgboxok(\"before\");\n z = 1 / z; msgboxok(\"after\"); }");
    ToolRun run = RunCheck({path, "--run", "install"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "msgboxok(\"before\")\ninstall returned 0\n");
    EXPECT_EQ(run.err, path + ":2:11: error: Error: Divide by zero at 49 (z)\n");

    ToolRun missing = RunCheck({path, "--run", "uninstall"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, path + ": error: the script has no function 'uninstall'\n");
}

// Where the setup would read a setting other than its line seems to say:
// one warning line each, at the place it concerns, and the exit code of an
// accepted script.  The script of each case follows a correct block, so
// that only the fault itself is warned of.
TEST_F(CheckCommand, WarnsWhereTheSetupReadsSettingsOtherwise)
{
    struct Case {
        const char* text;
        const char* warnings;   // the lines after the file's name
        const char* shown;      // a line the summary must hold ("" for none)
    } cases[] = {
        {"// Company=Acme\r\n// Product=Tool\r\n", "", "  Product        \"Tool\"\n"},
        {"// Company = Acme\r\n",
         ":1:4: warning: no Company setting: the setup program finds a setting only with '=' right after its "
         "name, so Company is absent; write it without blanks around '='\n",
         "  Company        absent\n"},
        {"// ProductURL=https://acme.example\r\n// Product=Tool\r\n",
         ":2:4: warning: this Product line is never read: the setup program takes the first \"Product\" in the "
         "file, at line 1 column 4, which no '=' follows, so Product is absent\n",
         "  Product        absent\n"},
        {"// Name=Update Manager\r\n// Update=1\r\n",
         ":2:4: warning: this Update line is never read: the setup program takes the first \"Update\" in the "
         "file, at line 1 column 9, and reads the number after the next '=' from there\n",
         "  Update         1\n"},
        {"// NoLicense= 1\r\n",
         ":1:14: warning: NoLicense reads as 0: the setup program reads the decimal digits right after '=', and a "
         "blank stands there\n",
         "  NoLicense      0\n"},
        {"// NoUninstall=yes\r\n",
         ":1:16: warning: NoUninstall reads as 0: the setup program reads the decimal digits right after '=', and "
         "'y' stands there\n",
         "  NoUninstall    0\n"},
        {"// Name= Acme Tool\r\n",
         ":1:9: warning: Name begins with a blank, which the setup program keeps: Name is \" Acme Tool\"\n",
         "  Name           \" Acme Tool\"\n"},
        {"// Version=2.0-beta\r\n",
         ":1:12: warning: Version \"2.0-beta\" is not numbers and dots: the setup program compares versions as up "
         "to four numbers, counting every other character as if it were a digit (it reads this one as "
         "2.26029.0.0)\n",
         ""},
        {"// Version=1.10.0.65535\r\n", "", "  Version        \"1.10.0.65535\"\n"},
        // LF line ends: every text value runs on to the next CR, here a later one.
        {"// Company=Acme\n// Product=Tool\r\n",
         ":1:4: warning: Company runs on past the end of its line: the line ends in LF without CR, and the setup "
         "program reads a value up to the next CR, so Company is \"Acme\\n// Product=Tool\" (20 characters); save "
         "Install.ini with CRLF line ends\n",
         "  Company        \"Acme\\x0A// Product=Tool\"\n"},
        {"// LogPath=%WINDIR%\n",
         ":1:4: warning: LogPath runs on past the end of its line: the line ends in LF without CR, and the setup "
         "program reads a value up to the next CR (here: the end of the file), so LogPath is \"%WINDIR%\\n\" (9 "
         "characters); save Install.ini with CRLF line ends\n",
         "  LogPath        \"%WINDIR%\\x0A\"\n"},
        // Number settings read digits only: an LF line end changes nothing.
        {"// NoLicense=0\n// NoUninstall=0\n", "", "  NoUninstall    0\n"},
    };
    for (const Case& c : cases) {
        std::string path = Write("Install.ini", c.text);
        ToolRun run = RunCheck({path});
        EXPECT_EQ(run.exitCode, 0) << c.text;
        std::string expected;
        for (const char* line = c.warnings; *line;) {
            const char* end = strchr(line, '\n');
            expected += path + std::string(line, end + 1);
            line = end + 1;
        }
        EXPECT_EQ(run.err, expected) << c.text;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << c.text << "\n" << run.out;
    }
}

TEST_F(CheckCommand, AByteOrderMarkIsNamedBeforeTheEnginesError)
{
    std::string path = Write("Install.ini", "\xEF\xBB\xBF// Company=Acme\r\ninit() { return 1; }\r\n");
    ToolRun run = RunCheck({path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind(path + ":1:1: warning: the file begins with a UTF-8 byte-order mark (EF BB BF)", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find("\n" + path + ":1:1: error: Error: Illegal char at 0 ()\n"), std::string::npos) << run.err;
}

TEST_F(CheckCommand, EverySettingTheSetupReadsIsShown)
{
    std::string path = Write("Install.ini",
                             "// Company=Acme\r\n// CompanyURL=https://acme.example\r\n"
                             "// CompanyEmail=info@acme.example\r\n"
                             "// Product=Tool\r\n// ProductURL=https://acme.example/tool\r\n"
                             "// ProductEmail=support@acme.example\r\n// DisplayIcon=%APPDIR%\\tool.exe\r\n"
                             "// LogPath=%WINDIR%\r\n");
    ToolRun run = RunCheck({path});
    EXPECT_EQ(run.err, "");
    for (const char* line : {"  CompanyURL     \"https://acme.example\"\n", "  CompanyEmail   \"info@acme.example\"\n",
                             "  ProductURL     \"https://acme.example/tool\"\n",
                             "  ProductEmail   \"support@acme.example\"\n", "  DisplayIcon    \"%APPDIR%\\tool.exe\"\n",
                             "  LogPath        \"%WINDIR%\"\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
}

TEST_F(CheckCommand, UsageAndUnreadableFiles)
{
    EXPECT_EQ(RunCheck({"--help"}).exitCode, 0);
    EXPECT_EQ(RunCheck({}).exitCode, 2);
    std::string path = Write("Install.ini", "");
    EXPECT_EQ(RunCheck({path, "--answer", "maybe"}).exitCode, 2);
    EXPECT_EQ(RunCheck({path, "--bogus"}).exitCode, 2);
    EXPECT_EQ(RunCheck({path, "--package", path}).exitCode, 2);   // no package in an Install.ini

    std::string missing = (std::filesystem::temp_directory_path() / "vellmark-no-such-file.ini").string();
    ToolRun run = RunCheck({missing});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("vellmark check: cannot read " + missing + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(CheckCommand, PackUsesTheSameCheck)
{
    testing::internal::CaptureStderr();
    EXPECT_TRUE(CheckSetupScriptText("Install.ini", AcceptedScript));
    EXPECT_FALSE(CheckSetupScriptText("Install.ini", "install() { return 1 }"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Install.ini:1:21: error: Expected ; at 20 (return)\n");
}

}  // namespace
