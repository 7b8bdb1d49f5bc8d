// The arguments pack gives osslsigncode, the publisher's command with its
// file named, and SOURCE_DATE_EPOCH as the signing time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Signing.h"

using Arguments = std::vector<std::string>;

TEST(Signing, TheSignToolsArguments)
{
    SigningRequest plain;
    plain.pfx = "cert.pfx";
    SigningRequest full = plain;
    full.description = "Acme Tool Setup";
    full.url = "https://acme.example/tool";
    full.timestampUrl = "http://timestamp.example/";
    full.signingTime = 1700000000;
    SigningRequest epochZero = plain;
    epochZero.signingTime = 0;

    struct Case {
        const char* what;
        const SigningRequest& request;
        const char* passwordFile;
        Arguments arguments;
    };
    const Case cases[] = {
        {"no password", plain, "",
         {"/usr/bin/osslsigncode", "sign", "-pkcs12", "cert.pfx", "-h", "sha256", "-in", "a.exe", "-out", "a.exe.signed"}},
        {"a password file", plain, "pass.txt",
         {"/usr/bin/osslsigncode", "sign", "-pkcs12", "cert.pfx", "-readpass", "pass.txt", "-h", "sha256", "-in", "a.exe",
          "-out", "a.exe.signed"}},
        {"everything", full, "/dev/stdin",
         {"/usr/bin/osslsigncode", "sign", "-pkcs12", "cert.pfx", "-readpass", "/dev/stdin", "-h", "sha256", "-n",
          "Acme Tool Setup", "-i", "https://acme.example/tool", "-ts", "http://timestamp.example/", "-time",
          "1700000000", "-in", "a.exe", "-out", "a.exe.signed"}},
        {"the epoch itself is a time", epochZero, "",
         {"/usr/bin/osslsigncode", "sign", "-pkcs12", "cert.pfx", "-h", "sha256", "-time", "0", "-in", "a.exe", "-out",
          "a.exe.signed"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SignToolArguments(c.request, "/usr/bin/osslsigncode", c.passwordFile, "a.exe", "a.exe.signed"),
                  c.arguments)
            << c.what;
}

TEST(Signing, SourceDateEpoch)
{
    struct Case {
        const char* value;     // nullptr: not set
        bool accepted;
        int64_t seconds;
    };
    const Case cases[] = {
        {nullptr, true, -1},   {"1700000000", true, 1700000000}, {"0", true, 0},
        {"", false, -1},       {"17e8", false, -1},               {"-5", false, -1},
        {" 1700000000", false, -1}, {"1700000000\n", false, -1},  {"9999999999999", false, -1},
    };
    for (const Case& c : cases) {
        if (c.value)
            setenv(SourceDateEpochVariable, c.value, 1);
        else
            unsetenv(SourceDateEpochVariable);
        int64_t seconds = 42;
        std::string error;
        EXPECT_EQ(ReadSourceDateEpoch(&seconds, &error), c.accepted) << (c.value ? c.value : "(unset)");
        if (c.accepted)
            EXPECT_EQ(seconds, c.seconds) << c.value;
        else
            EXPECT_NE(error.find("SOURCE_DATE_EPOCH is not a count of seconds"), std::string::npos) << c.value;
    }
    unsetenv(SourceDateEpochVariable);
}

// Whatever the path holds, the shell sees it as one word, where the
// command names it and nowhere else.
TEST(Signing, TheCommandGetsThePathAsOneWord)
{
    const std::string paths[] = {
        "/tmp/plain/Setup.exe", "/tmp/with blanks/Setup.exe", "/tmp/it's/Setup.exe", "/tmp/$HOME `date`/a;b|c&.exe",
        "/tmp/\"quoted\"\\/x.exe", "/tmp/{}/Setup.exe",
    };
    for (const std::string& path : paths) {
        ChildRun run;
        run.shellLine = ExpandSignCommand("printf '[%s]' {} after", path);
        ChildResult result;
        ASSERT_TRUE(RunChild(run, &result)) << path << ": " << result.error;
        EXPECT_EQ(result.output, "[" + path + "][after]") << run.shellLine;
    }
    ChildRun appended;
    appended.shellLine = ExpandSignCommand("printf '<%s>'", "/tmp/no placeholder.exe");
    ChildResult result;
    ASSERT_TRUE(RunChild(appended, &result));
    EXPECT_EQ(result.output, "</tmp/no placeholder.exe>") << "a command without {} gets the path last";
}
