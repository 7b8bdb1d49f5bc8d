// How verify reads osslsigncode's word, and the verdict it draws from a
// report.  The outputs are what osslsigncode 2.5 (Debian 12) and 2.9
// (backports) printed for setups packed and signed by the tool.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "PeImage.h"
#include "VerifyReport.h"

namespace {

std::string Fixture(const std::string& name)
{
    std::ifstream in(std::string(VM_SOURCE_DIR) + "/tests/tools/vellmark/fixtures/osslsigncode/" + name,
                     std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(VerifyReport, ReadsWhatOsslsigncodeSays)
{
    struct Case {
        const char* output;
        int exitCode;
        bool found, valid, digestMatches;
        const char* signer;
        const char* signingTime;
        const char* timestamp;
        const char* problem;
    };
    const char* testSigner = "/CN=Vellmark Test Signing";
    const char* changed = "the file was changed after it was signed (its digest differs from the signed one)";
    const Case cases[] = {
        {"verify-valid-2.9.txt", 0, true, true, true, testSigner, "Dec 10 12:37:54 2026 GMT", "", ""},
        {"verify-valid-2.5.txt", 0, true, true, true, testSigner, "Dec 10 12:37:54 2026 GMT", "", ""},
        {"verify-untrusted-2.9.txt", 1, true, false, true, testSigner, "Dec 10 12:37:54 2026 GMT", "",
         "self-signed certificate"},
        {"verify-untrusted-2.5.txt", 1, true, false, true, testSigner, "Dec 10 12:37:54 2026 GMT", "",
         "self-signed certificate"},
        {"verify-tampered-2.9.txt", 1, true, false, false, "", "", "", changed},
        {"verify-tampered-2.5.txt", 1, true, false, false, "", "", "", changed},
        {"verify-unsigned-2.9.txt", 1, false, false, true, "", "", "", "no signature found"},
        {"verify-unsigned-2.5.txt", 1, false, false, true, "", "", "", "no signature found"},
        {"verify-timestamped-2.9.txt", 0, true, true, true, testSigner, "Nov 14 22:13:20 2023 GMT",
         "Nov 14 22:15:00 2023 GMT", ""},
        {"verify-timestamped-2.5.txt", 0, true, true, true, testSigner, "Nov 14 22:13:20 2023 GMT",
         "Nov 14 22:15:00 2023 GMT", ""},
        // Its own verdict decides: "ok" lines do not outweigh a failing exit.
        {"verify-valid-2.9.txt", 1, true, false, true, testSigner, "Dec 10 12:37:54 2026 GMT", "",
         "osslsigncode verify failed"},
    };
    for (const Case& c : cases) {
        SignatureCheck check = ReadSignatureCheck(Fixture(c.output), c.exitCode);
        EXPECT_TRUE(check.ran) << c.output;
        EXPECT_EQ(check.found, c.found) << c.output;
        EXPECT_EQ(check.valid, c.valid) << c.output;
        EXPECT_EQ(check.digestMatches, c.digestMatches) << c.output;
        EXPECT_EQ(check.signer, c.signer) << c.output;
        EXPECT_EQ(check.signingTime, c.signingTime) << c.output;
        EXPECT_EQ(check.timestamp, c.timestamp) << c.output;
        EXPECT_EQ(check.problem, c.problem) << c.output;
    }
    EXPECT_EQ(ReadSignatureCheck(Fixture("verify-valid-2.9.txt"), 0).issuer, "/CN=Vellmark Test Signing");
}

TEST(VerifyReport, TheVerdict)
{
    // A sound, signed, valid setup, and what spoils it.
    VerifyReport good;
    good.setup = "setup.exe";
    good.readable = true;
    good.packageCode = 0;
    good.image = true;
    good.certificateTable = CertificateTableSound;
    good.check = ReadSignatureCheck(Fixture("verify-valid-2.9.txt"), 0);
    VerifyReport unsignedSetup = good;
    unsignedSetup.certificateTable = CertificateTableNone;
    unsignedSetup.check = SignatureCheck();
    VerifyReport damaged = good;
    damaged.packageCode = 7;
    damaged.packageProblem = "File corrupted, possible download error. (code 7)";
    VerifyReport badEntry = good;
    badEntry.packageProblem = "the content of \"Bin\\hello.txt\" does not match its checksum";
    VerifyReport untrusted = good;
    untrusted.check = ReadSignatureCheck(Fixture("verify-untrusted-2.9.txt"), 1);
    VerifyReport changed = good;
    changed.check = ReadSignatureCheck(Fixture("verify-tampered-2.9.txt"), 1);
    VerifyReport dangling = unsignedSetup;
    dangling.certificateTable = CertificateTableOverlaps;
    VerifyReport unchecked = good;
    unchecked.check = SignatureCheck();
    unchecked.checkProblem = "osslsigncode not found on PATH";
    VerifyReport unreadable;
    unreadable.setup = "setup.exe";
    unreadable.problem = "No such file or directory";

    struct Case {
        const char* what;
        const VerifyReport& report;
        int plain, required;     // exit codes without and with --require-signature
        const char* requiredText;
    };
    const Case cases[] = {
        {"sound and validly signed", good, 0, 0, ""},
        {"sound, unsigned", unsignedSetup, 0, 1, "setup.exe: not signed (--require-signature)"},
        {"a damaged package", damaged, 1, 1, "setup.exe: the package is damaged"},
        {"an entry that fails its checksum", badEntry, 1, 1, "setup.exe: the package is damaged"},
        {"whole, but not trusted here", untrusted, 0, 1, "setup.exe: the signature is not valid (--require-signature)"},
        {"changed after signing", changed, 1, 1, "setup.exe: the signature is damaged"},
        {"an entry left dangling", dangling, 1, 1, "setup.exe: the signature is damaged"},
        {"no tool to check it", unchecked, 0, 2,
         "setup.exe: the signature cannot be checked: osslsigncode not found on PATH"},
        {"no file", unreadable, 2, 2, "setup.exe: No such file or directory"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VerifyExitCode(c.report, false), c.plain) << c.what;
        EXPECT_EQ(VerifyExitCode(c.report, true), c.required) << c.what;
        EXPECT_EQ(VerifyFailureText(c.report, true), c.requiredText) << c.what;
    }
}

TEST(VerifyReport, TheLinesItPrints)
{
    VerifyReport r;
    r.setup = "setup.exe";
    r.readable = true;
    r.packageCode = 0;
    r.files = 5;
    r.folders = 2;
    r.fileBytes = 1350;
    r.image = true;
    r.storedChecksum = r.computedChecksum = 0x6E12B;
    r.certificateTable = CertificateTableSound;
    r.check = ReadSignatureCheck(Fixture("verify-timestamped-2.9.txt"), 0);
    EXPECT_EQ(VerifyReportText(r),
              "package: sound, 5 files and 2 folders (1350 bytes), every checksum matches\n"
              "PE checksum: 0006E12B, correct\n"
              "signature: signed by /CN=Vellmark Test Signing, valid\n"
              "  issuer: /CN=Vellmark Test Signing\n"
              "  signing time: Nov 14 22:13:20 2023 GMT\n"
              "  timestamp: Nov 14 22:15:00 2023 GMT\n");
    r.storedChecksum = 0;
    r.certificateTable = CertificateTableOutside;
    EXPECT_EQ(VerifyReportText(r),
              "package: sound, 5 files and 2 folders (1350 bytes), every checksum matches\n"
              "PE checksum: not set (it would be 0006E12B)\n"
              "signature: broken: its security directory names a certificate table beyond the end of the file "
              "(a signature cut off)\n");
}
