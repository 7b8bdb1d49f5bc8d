// What `vellmark verify` finds in a setup executable: its package, checked
// as the setup program checks it, its PE checksum, and its signature, as
// osslsigncode verifies it.  The record holds the findings only; printing
// them is a separate step, so that every printer reads the same record.
#ifndef VELLMARK_TOOL_VERIFY_REPORT_H
#define VELLMARK_TOOL_VERIFY_REPORT_H

#include <cstdint>
#include <string>

// What `osslsigncode verify` said of a file, read from its output.
struct SignatureCheck {
    bool ran = false;             // the tool ran (then the rest is its word)
    bool found = false;           // it found a signature
    bool valid = false;           // it verified it: digest, signature and certificate chain
    bool digestMatches = true;    // false: the file was changed after it was signed
    std::string signer;           // the subject of the signer's certificate ("/CN=...")
    std::string issuer;           // and its issuer
    std::string signingTime;      // as the tool prints it ("Nov 14 22:13:20 2023 GMT"); empty: none
    std::string timestamp;        // the time a timestamp server vouches for; empty: not timestamped
    std::string problem;          // why it is not valid, in the tool's words; empty when valid
};

// Reads the output and exit code of `osslsigncode verify` (versions 2.5 to
// 2.9 word it differently).
SignatureCheck ReadSignatureCheck(const std::string& output, int exitCode);

struct VerifyOptions {
    std::string tool = "osslsigncode";   // the osslsigncode to run
    std::string caFile;                  // -CAfile: the certificates to trust; empty: the system's
};

struct VerifyReport {
    std::string setup;                   // the file as it was named
    bool readable = false;               // false: it could not be read at all (`problem` says why)
    std::string problem;

    // The package.
    int packageCode = -1;                // OpenPackage's code (PackageOpened = 0)
    bool noPackage = false;              // the file carries no package at all (HoldsNoPackage)
    std::string packageProblem;          // why it is not sound, as the setup or the tool words it;
                                         // empty when every checksum matched
    uint32_t files = 0;
    uint32_t folders = 0;
    uint64_t fileBytes = 0;              // the files' sizes added up
    uint64_t packageStart = 0;           // file offsets of its header and of its end
    uint64_t packageEnd = 0;

    // The image.
    bool image = false;                  // the file starts with a Windows executable image
    uint64_t imageEnd = 0;
    uint32_t storedChecksum = 0;         // the CheckSum field (0: not set)
    uint32_t computedChecksum = 0;       // what it should hold

    // The signature.
    int certificateTable = 0;            // CheckCertificateTable's code (PeImage.h)
    uint32_t certificateTableAt = 0;     // what the security directory entry names
    uint32_t certificateTableSize = 0;
    std::string checkProblem;            // why the signature was not checked (no tool); empty: checked
    SignatureCheck check;                // the tool's word, when it ran

    bool PackageSound() const { return packageCode == 0 && packageProblem.empty(); }
    bool Signed() const;                 // a certificate table is named, sound or not
    bool SignatureValid() const;         // sound, checked and verified
    bool SignatureDamaged() const;       // a table that is broken, or a file changed after signing
};

// Reads the setup at `path` and fills *report.  Runs osslsigncode when the
// file names a certificate table.
void BuildVerifyReport(const std::string& path, const VerifyOptions& options, VerifyReport* report);

// The report as the lines `vellmark verify` prints.
std::string VerifyReportText(const VerifyReport& report);

// The report as `vellmark verify --json` prints it: one JSON document (the
// field names are documented in docs/packaging.md).  `requireSignature`
// decides only its "failure" member, as it decides the exit code.
std::string VerifyReportJson(const VerifyReport& report, bool requireSignature);

// What `vellmark verify` ends with: 0 when the package is sound, no
// signature is damaged and, with `requireSignature`, the signature is valid;
// 1 when one of these fails; 2 when the file cannot be read, or a signature
// that must be valid could not be checked.
int VerifyExitCode(const VerifyReport& report, bool requireSignature);

// The one-line reason for a verdict other than 0, for the error line.
std::string VerifyFailureText(const VerifyReport& report, bool requireSignature);

#endif
