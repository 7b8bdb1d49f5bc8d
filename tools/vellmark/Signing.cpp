#include "Signing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "ChildProcess.h"
#include "FileView.h"
#include "PeImage.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

bool ReadSourceDateEpoch(int64_t* seconds, std::string* error)
{
    *seconds = -1;
    const char* text = getenv(SourceDateEpochVariable);
    if (!text)
        return true;
    // As reproducible builds define it: a decimal count of seconds, nothing else.
    size_t length = strlen(text);
    bool digits = length > 0 && length <= 12;
    for (size_t i = 0; digits && i < length; ++i)
        digits = text[i] >= '0' && text[i] <= '9';
    if (!digits) {
        *error = std::string(SourceDateEpochVariable) + " is not a count of seconds since 1970: '" + text + "'";
        return false;
    }
    *seconds = strtoll(text, nullptr, 10);
    return true;
}

std::vector<std::string> SignToolArguments(const SigningRequest& request, const std::string& tool,
                                           const std::string& passwordFile, const std::string& in,
                                           const std::string& out)
{
    std::vector<std::string> arguments = {tool, "sign", "-pkcs12", request.pfx};
    if (!passwordFile.empty())
        arguments.insert(arguments.end(), {"-readpass", passwordFile});
    arguments.insert(arguments.end(), {"-h", "sha256"});
    if (!request.description.empty())
        arguments.insert(arguments.end(), {"-n", request.description});
    if (!request.url.empty())
        arguments.insert(arguments.end(), {"-i", request.url});
    if (!request.timestampUrl.empty())
        arguments.insert(arguments.end(), {"-ts", request.timestampUrl});
    if (request.signingTime >= 0)
        arguments.insert(arguments.end(), {"-time", std::to_string(request.signingTime)});
    arguments.insert(arguments.end(), {"-in", in, "-out", out});
    return arguments;
}

std::string ExpandSignCommand(const std::string& command, const std::string& path)
{
    std::string quoted = ShellQuoted(path);
    std::string line;
    bool named = false;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command.compare(i, 2, "{}") == 0) {
            line += quoted;
            named = true;
            ++i;
        } else {
            line += command[i];
        }
    }
    return named ? line : line + " " + quoted;
}

namespace {

bool Readable(const std::string& path)
{
    std::ifstream probe(fs::u8path(path), std::ios::binary);
    return static_cast<bool>(probe);
}

// The line of a signing tool's output that says why it failed: the first
// one that is more than its verdict or an OpenSSL error stack line.
std::string FailureReason(const std::string& output)
{
    size_t at = 0;
    while (at < output.size()) {
        size_t end = output.find('\n', at);
        std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? output.size() : end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line == "Failed" || line == "Succeeded" || line.find(":error:") != std::string::npos)
            continue;
        return line;
    }
    return std::string();
}

// A name beside `file` that nothing holds yet.
fs::path UnusedSibling(const fs::path& file, const char* suffix)
{
    std::error_code ec;
    fs::path candidate = file;
    candidate += suffix;
    for (int attempt = 1; fs::exists(fs::symlink_status(candidate, ec)); ++attempt) {
        candidate = file;
        candidate += std::string(suffix) + "-" + std::to_string(attempt);
    }
    return candidate;
}

}  // namespace

Signer::~Signer()
{
    if (!workFolder.empty()) {
        std::error_code ec;
        fs::remove_all(workFolder, ec);
    }
}

bool Signer::Prepare(std::string* error)
{
    if (request.command.empty()) {
        if (!FindProgram(request.tool, &toolPath)) {
            *error = request.tool == DefaultSignTool
                         ? std::string(DefaultSignTool) +
                               " not found on PATH (install it, or name the signing tool with --sign-tool)"
                         : request.tool + ": no such program";
            return false;
        }
        if (!Readable(request.pfx)) {
            *error = request.pfx + ": cannot be read (" + strerror(errno) + ")";
            return false;
        }
        if (!request.passwordFile.empty()) {
            if (!Readable(request.passwordFile)) {
                *error = request.passwordFile + ": cannot be read (" + strerror(errno) + ")";
                return false;
            }
            passwordArgument = request.passwordFile;
        }
    }

    // The work folder: this user's alone.
    std::error_code ec;
    fs::path temp = fs::temp_directory_path(ec);
    if (ec)
        temp = fs::current_path();
    for (int attempt = 0; attempt < 100 && workFolder.empty(); ++attempt) {
        fs::path candidate = temp / ("vellmark-sign-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        if (fs::create_directory(candidate, ec)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, ec);
            workFolder = candidate;
        }
    }
    if (workFolder.empty()) {
        *error = temp.u8string() + ": no private folder can be made there for signing";
        return false;
    }

    const char* password = getenv(SignPasswordVariable);
    if (request.command.empty() && passwordArgument.empty() && password) {
#ifdef _WIN32
        // No standard input osslsigncode can name here: a file in the private folder.
        fs::path file = workFolder / "password";
        FILE* out = _wfopen(file.c_str(), L"wb");
        bool written = out && fwrite(password, 1, strlen(password), out) == strlen(password);
        if (out && fclose(out) != 0)
            written = false;
        if (!written) {
            *error = file.u8string() + ": cannot be written";
            return false;
        }
        passwordArgument = file.u8string();
#else
        passwordArgument = "/dev/stdin";
        passwordInput = password;
#endif
    }
    return true;
}

bool Signer::SignInPlace(const fs::path& file, const std::string& shown, std::string* error)
{
    ChildResult result;
    if (!request.command.empty()) {
        ChildRun run;
        run.shellLine = ExpandSignCommand(request.command, file.u8string());
        run.captureOutput = false;
        if (!RunChild(run, &result)) {
            *error = "the signing command failed on " + shown + " (" + result.error + ")";
            return false;
        }
    } else {
        fs::path out = UnusedSibling(file, ".signed");
        ChildRun run;
        run.arguments = SignToolArguments(request, toolPath, passwordArgument, file.u8string(), out.u8string());
        run.input = passwordInput;
        bool signedOk = RunChild(run, &result);
        std::error_code ec;
        if (signedOk)
            fs::rename(out, file, ec);
        if (!signedOk || ec) {
            fs::remove(out, ec);
            std::string reason = result.started ? FailureReason(result.output) : std::string();
            if (reason.empty())
                reason = result.error.empty() ? std::string("it wrote nothing") : result.error;
            *error = "signing " + shown + " failed: " + request.tool + ": " + reason;
            return false;
        }
    }

    // What the signer left must be an image that names a certificate table
    // at its end; its checksum is then written, which the signature leaves out.
    FileView view;
    if (OpenFileView(file.u8string().c_str(), &view) != FileviewOk) {
        *error = shown + ": cannot be read after signing";
        return false;
    }
    // The tool maps the whole file: it runs as a 64-bit program.
    FileWindow whole = {};
    const uint8_t* bytes = MapFileWindow(&view, &whole, 0, view.size, 0);
    PeImageLayout layout;
    bool image = bytes && ReadPeImageLayout(bytes, view.size, &layout);
    int table = image ? CheckCertificateTable(bytes, view.size, layout, layout.imageEnd) : -1;
    UnmapFileWindow(&whole);
    CloseFileView(&view);
    if (!image) {
        *error = shown + ": no longer a Windows executable image after signing";
        return false;
    }
    if (table != CertificateTableSound) {
        *error = shown + ": carries no signature after signing (its security directory names no certificate "
                         "table at its end)";
        return false;
    }
    return WritePeChecksum(file, shown, error);
}

bool WritePeChecksum(const fs::path& file, const std::string& shown, std::string* error)
{
    FileView view;
    if (OpenFileView(file.u8string().c_str(), &view) != FileviewOk) {
        *error = shown + ": cannot be read";
        return false;
    }
    FileWindow whole = {};
    const uint8_t* bytes = MapFileWindow(&view, &whole, 0, view.size, 0);
    PeImageLayout layout;
    bool image = bytes && ReadPeImageLayout(bytes, view.size, &layout);
    uint32_t checksum = image ? ComputePeChecksum(bytes, view.size, layout.checksumAt) : 0;
    UnmapFileWindow(&whole);
    CloseFileView(&view);
    if (!image) {
        *error = shown + ": not a Windows executable image";
        return false;
    }
    if (checksum == layout.checksum)
        return true;
    uint8_t field[4];
    for (int i = 0; i < 4; ++i)
        field[i] = static_cast<uint8_t>(checksum >> (8 * i));
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(layout.checksumAt));
    out.write(reinterpret_cast<const char*>(field), 4);
    out.close();
    if (!out) {
        *error = shown + ": cannot be written (" + strerror(errno) + ")";
        return false;
    }
    return true;
}
