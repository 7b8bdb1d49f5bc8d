// How `vellmark pack` signs the two programs a setup puts on a machine: the
// uninstaller before it goes into the package (every vuninst.exe a setup
// writes is then signed) and the finished setup.
//
// Either osslsigncode signs with a PKCS#12 file (SHA-256, Authenticode), or
// the publisher's own command signs each file in place: a hardware token, a
// signing service.  The password of a PKCS#12 file never stands on a command
// line, where other users of the machine could read it: osslsigncode reads
// it from the file the publisher names, or from its standard input, which
// the tool feeds from the environment.
#ifndef VELLMARK_TOOL_SIGNING_H
#define VELLMARK_TOOL_SIGNING_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The environment's names: the password of the PKCS#12 file, and the fixed
// time of a reproducible build (seconds since 1970, UTC), which becomes the
// signature's signing time.
constexpr char SignPasswordVariable[] = "VELLMARK_SIGN_PASSWORD";
constexpr char SourceDateEpochVariable[] = "SOURCE_DATE_EPOCH";

// The signing tool pack and verify call unless told another.
constexpr char DefaultSignTool[] = "osslsigncode";

// What the command line asks for.
struct SigningRequest {
    std::string pfx;              // --sign PFX; empty: not osslsigncode
    std::string passwordFile;     // --sign-password-file FILE
    std::string timestampUrl;     // --sign-timestamp URL (an RFC 3161 server)
    std::string description;      // --sign-description TEXT (the name Windows shows for the program)
    std::string url;              // --sign-url URL (where the description leads)
    std::string tool = DefaultSignTool;   // --sign-tool PROGRAM
    std::string command;          // --sign-command CMD: run for each file, {} its path; empty: none
    int64_t signingTime = -1;     // SOURCE_DATE_EPOCH; -1 when it is not set

    bool Requested() const { return !pfx.empty() || !command.empty(); }
};

// SOURCE_DATE_EPOCH: *seconds is -1 when it is not set.  False with a
// one-line reason when it is set to anything but a count of seconds.
bool ReadSourceDateEpoch(int64_t* seconds, std::string* error);

// Where osslsigncode reads the password from: `passwordFile` names a file
// (the publisher's, or the tool's standard input), empty for none.
// Returns the arguments of `osslsigncode sign` that sign `in` into `out`
// (which must not exist: osslsigncode never writes over a file).
std::vector<std::string> SignToolArguments(const SigningRequest& request, const std::string& tool,
                                           const std::string& passwordFile, const std::string& in,
                                           const std::string& out);

// The publisher's command with every {} replaced by `path`, quoted for the
// shell; a command without {} gets the quoted path appended.
std::string ExpandSignCommand(const std::string& command, const std::string& path);

// Signs files for one run of pack.  Prepare checks everything that can be
// checked before a byte is packed; each signed file is then checked to carry
// a certificate table and gets its PE checksum written.
class Signer {
public:
    explicit Signer(const SigningRequest& request) : request(request) {}
    ~Signer();
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;

    // Finds the signing tool, checks that the files it will read can be
    // read and makes a private work folder.  False with a one-line reason.
    bool Prepare(std::string* error);

    // A private folder (this user's only) for copies to sign; removed with
    // the Signer.
    const std::filesystem::path& WorkFolder() const { return workFolder; }

    // Signs the executable at `file` in place.  `shown` names it in
    // messages ("Uninstall.exe", "the setup").  On false the file may be
    // anything: the caller throws it away.
    bool SignInPlace(const std::filesystem::path& file, const std::string& shown, std::string* error);

private:
    const SigningRequest& request;
    std::string toolPath;                   // the signing tool found
    std::string passwordArgument;           // what -readpass names; empty: none
    std::string passwordInput;              // fed to the tool's standard input
    std::filesystem::path workFolder;
};

// Writes the PE checksum of the executable at `file` into its CheckSum
// field.  False with a one-line reason when it is no image or cannot be
// read or written.
bool WritePeChecksum(const std::filesystem::path& file, const std::string& shown, std::string* error);

#endif
