#include "VerifyReport.h"

#include <cstdio>
#include <vector>

#include "ChildProcess.h"
#include "FileView.h"
#include "JsonWriter.h"
#include "ListingPath.h"
#include "Package.h"
#include "PackageMessages.h"
#include "PeImage.h"

namespace {

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The text after `label` when the trimmed line starts with it.
bool After(const std::string& line, const char* label, std::string* rest)
{
    std::string trimmed = Trimmed(line);
    size_t length = std::char_traits<char>::length(label);
    if (trimmed.compare(0, length, label) != 0)
        return false;
    *rest = Trimmed(trimmed.substr(length));
    return true;
}

std::string Hex32(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%08X", value);
    return text;
}

// Why a certificate table is not sound, in a publisher's words.
std::string CertificateTableText(int code)
{
    switch (code) {
    case CertificateTableOverlaps:
        return "its security directory names bytes of the setup itself as the certificate table "
               "(a signature cut off, as when a signed setup program is packed as it was)";
    case CertificateTableOutside:
        return "its security directory names a certificate table beyond the end of the file "
               "(a signature cut off)";
    case CertificateTableNotAtEnd:
        return "bytes were appended after the certificate table (the file was changed after signing)";
    default:
        return "its certificate table is malformed";
    }
}

// Extracts every file entry into one buffer, as the setup does when it
// copies them: each content's Adler-32 must match its record.
void CheckEntries(const PackageHandle* h, VerifyReport* report)
{
    uint32_t largest = 0;
    for (uint32_t i = 1; i < h->entryCount; ++i)
        if (!(h->entries[i].attributes & PackageAttributeDirectory) && h->entries[i].size > largest)
            largest = h->entries[i].size;
    std::vector<uint8_t> buffer;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (e.attributes & PackageAttributeDirectory) {
            ++report->folders;
            continue;
        }
        if (buffer.empty())
            buffer.resize(static_cast<size_t>(largest) + 1);
        int code = ExtractPackageRecordInto(h, &e, buffer.data(), buffer.size());
        if (code != ExtractOk) {
            std::string path;
            if (BuildListingPath(h->entries, h->entryCount, i, &path) != ListingPathOk)
                path = "entry " + std::to_string(i);
            report->packageProblem = ExtractFailureText(code, path);
            return;
        }
        ++report->files;
        report->fileBytes += e.size;
    }
}

}  // namespace

SignatureCheck ReadSignatureCheck(const std::string& output, int exitCode)
{
    SignatureCheck check;
    check.ran = true;
    check.found = true;
    bool verified = false, failedLine = false, inSigner = false;
    std::string error;
    size_t at = 0;
    while (at < output.size()) {
        size_t end = output.find('\n', at);
        std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? output.size() : end + 1;
        std::string rest;
        std::string trimmed = Trimmed(line);
        if (trimmed == "No signature found")
            check.found = false;
        else if (After(line, "Calculated message digest", &rest) && rest.find("MISMATCH") != std::string::npos)
            check.digestMatches = false;
        else if (trimmed == "Signer's certificate:")
            inSigner = true;
        else if (inSigner && check.signer.empty() && After(line, "Subject:", &rest))
            check.signer = rest;
        else if (inSigner && check.issuer.empty() && After(line, "Issuer :", &rest)) {
            check.issuer = rest;
            inSigner = false;
        } else if (check.signingTime.empty() && After(line, "Signing time:", &rest))
            check.signingTime = rest;
        else if (After(line, "Timestamp time:", &rest) || After(line, "The signature is timestamped:", &rest))
            check.timestamp = rest;
        else if (After(line, "Signature verification:", &rest)) {
            verified = rest == "ok";
            failedLine = failedLine || rest != "ok";
        } else if (error.empty() && After(line, "Error:", &rest))
            error = rest;
        else if (error.empty() && trimmed.find("Verify error:") != std::string::npos)
            error = Trimmed(trimmed.substr(trimmed.find("Verify error:") + 13));
    }
    check.valid = check.found && check.digestMatches && verified && !failedLine && exitCode == 0;
    if (!check.found)
        check.problem = "no signature found";
    else if (!check.digestMatches)
        check.problem = "the file was changed after it was signed (its digest differs from the signed one)";
    else if (!check.valid)
        check.problem = error.empty() ? "osslsigncode verify failed" : error;
    return check;
}

bool VerifyReport::Signed() const
{
    return certificateTable != CertificateTableNone;
}

bool VerifyReport::SignatureValid() const
{
    return certificateTable == CertificateTableSound && check.ran && check.valid;
}

bool VerifyReport::SignatureDamaged() const
{
    if (certificateTable != CertificateTableNone && certificateTable != CertificateTableSound)
        return true;
    return certificateTable == CertificateTableSound && check.ran && (!check.found || !check.digestMatches);
}

void BuildVerifyReport(const std::string& path, const VerifyOptions& options, VerifyReport* out)
{
    VerifyReport report;
    report.setup = path;

    FileView view;
    if (OpenFileView(path.c_str(), &view) != FileviewOk) {
        report.problem = CannotOpenReason(path.c_str());
        *out = report;
        return;
    }
    report.readable = true;
    // The tool maps the whole file: it runs as a 64-bit program.
    FileWindow whole = {};
    const uint8_t* bytes = MapFileWindow(&view, &whole, 0, view.size, 0);
    PeImageLayout layout;
    report.image = bytes && ReadPeImageLayout(bytes, view.size, &layout);
    if (report.image) {
        report.imageEnd = layout.imageEnd;
        report.storedChecksum = layout.checksum;
        report.computedChecksum = ComputePeChecksum(bytes, view.size, layout.checksumAt);
        report.certificateTableAt = layout.certificateTableAt;
        report.certificateTableSize = layout.certificateTableSize;
    }

    // The package, as the setup opens it, then every entry.
    PackageHandle* h = nullptr;
    report.packageCode = OpenPackage(path.c_str(), &h);
    if (report.packageCode == PackageOpened) {
        report.packageStart = h->headerOffset;
        report.packageEnd = h->directoryOffset + h->directorySize;
        CheckEntries(h, &report);
        ClosePackage(h);
    } else {
        report.noPackage = HoldsNoPackage(path.c_str(), report.packageCode);
        report.packageProblem = OpenFailureText(path.c_str(), report.packageCode) + " (code " +
                                std::to_string(report.packageCode) + ")";
        if (report.noPackage)
            report.packageProblem = "the file holds no Vellmark package (the setup program would stop with \"" +
                                    OpenFailureText(path.c_str(), report.packageCode) + "\", code " +
                                    std::to_string(report.packageCode) + ")";
    }

    // The signature must follow everything the package holds: only then
    // does it cover it.
    if (report.image) {
        uint64_t contentEnd = report.packageEnd > layout.imageEnd ? report.packageEnd : layout.imageEnd;
        report.certificateTable = CheckCertificateTable(bytes, view.size, layout, contentEnd);
    }
    UnmapFileWindow(&whole);
    CloseFileView(&view);

    if (report.certificateTable == CertificateTableSound) {
        std::string tool;
        if (!FindProgram(options.tool, &tool)) {
            report.checkProblem = options.tool + " not found" +
                                  (options.tool.find('/') == std::string::npos ? " on PATH" : "");
        } else {
            ChildRun run;
            run.arguments = {tool, "verify", "-in", path};
            if (!options.caFile.empty())
                run.arguments.insert(run.arguments.end(), {"-CAfile", options.caFile});
            ChildResult result;
            RunChild(run, &result);
            if (!result.started)
                report.checkProblem = options.tool + ": " + result.error;
            else
                report.check = ReadSignatureCheck(result.output, result.exited ? result.exitCode : -1);
        }
    }
    *out = report;
}

std::string VerifyReportText(const VerifyReport& r)
{
    if (!r.readable)
        return std::string();
    std::string text = "package: ";
    if (r.PackageSound())
        text += "sound, " + std::to_string(r.files) + " files and " + std::to_string(r.folders) + " folders (" +
                std::to_string(r.fileBytes) + " bytes), every checksum matches\n";
    else
        text += (r.noPackage ? "none: " : "damaged: ") + r.packageProblem + "\n";

    text += "PE checksum: ";
    if (!r.image)
        text += "none (not a Windows executable image)\n";
    else if (r.storedChecksum == 0)
        text += "not set (it would be " + Hex32(r.computedChecksum) + ")\n";
    else if (r.storedChecksum == r.computedChecksum)
        text += Hex32(r.storedChecksum) + ", correct\n";
    else
        text += Hex32(r.storedChecksum) + ", wrong (the file's is " + Hex32(r.computedChecksum) + ")\n";

    text += "signature: ";
    if (!r.Signed()) {
        text += "none\n";
        return text;
    }
    if (r.certificateTable != CertificateTableSound) {
        text += "broken: " + CertificateTableText(r.certificateTable) + "\n";
        return text;
    }
    if (!r.checkProblem.empty()) {
        text += "present, not checked: " + r.checkProblem + "\n";
        return text;
    }
    const SignatureCheck& c = r.check;
    if (!c.signer.empty())
        text += "signed by " + c.signer + ", ";
    text += (c.valid ? std::string("valid") : "not valid: " + c.problem) + "\n";
    if (!c.issuer.empty())
        text += "  issuer: " + c.issuer + "\n";
    if (!c.signingTime.empty())
        text += "  signing time: " + c.signingTime + "\n";
    if (c.found && c.digestMatches)
        text += "  timestamp: " + (c.timestamp.empty() ? std::string("none") : c.timestamp) + "\n";
    return text;
}

namespace {

void TextOrNull(JsonWriter* json, const char* key, const std::string& text)
{
    json->Key(key);
    if (text.empty())
        json->Null();
    else
        json->Utf8(text);
}

const char* ChecksumState(const VerifyReport& r)
{
    if (!r.image)
        return "none";
    if (r.storedChecksum == 0)
        return "unset";
    return r.storedChecksum == r.computedChecksum ? "correct" : "wrong";
}

const char* SignatureState(const VerifyReport& r)
{
    if (!r.Signed())
        return "none";
    if (r.certificateTable != CertificateTableSound)
        return "broken";
    if (!r.checkProblem.empty())
        return "unchecked";
    return r.check.valid ? "valid" : "invalid";
}

}  // namespace

std::string VerifyReportJson(const VerifyReport& r, bool requireSignature)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("setup").Utf8(r.setup);
    json.Key("readable").Bool(r.readable);
    TextOrNull(&json, "problem", r.problem);
    TextOrNull(&json, "failure", VerifyFailureText(r, requireSignature));
    if (r.readable) {
        json.Key("package").BeginObject();
        json.Key("present").Bool(!r.noPackage);
        json.Key("sound").Bool(r.PackageSound());
        json.Key("code").Number(r.packageCode);
        TextOrNull(&json, "problem", r.packageProblem);
        json.Key("files").Number(r.files);
        json.Key("folders").Number(r.folders);
        json.Key("fileBytes").Number(static_cast<int64_t>(r.fileBytes));
        json.Key("start").Number(static_cast<int64_t>(r.packageStart));
        json.Key("end").Number(static_cast<int64_t>(r.packageEnd));
        json.EndObject();

        json.Key("peChecksum").BeginObject();
        json.Key("state").Utf8(ChecksumState(r));
        json.Key("stored").Number(r.storedChecksum);
        json.Key("computed").Number(r.computedChecksum);
        json.EndObject();

        const SignatureCheck& c = r.check;
        bool checked = r.certificateTable == CertificateTableSound && r.checkProblem.empty();
        json.Key("signature").BeginObject();
        json.Key("state").Utf8(SignatureState(r));
        std::string problem = r.certificateTable != CertificateTableSound && r.Signed()
                                  ? CertificateTableText(r.certificateTable)
                                  : !r.checkProblem.empty() ? r.checkProblem : checked ? c.problem : "";
        TextOrNull(&json, "problem", problem);
        TextOrNull(&json, "signer", checked ? c.signer : "");
        TextOrNull(&json, "issuer", checked ? c.issuer : "");
        TextOrNull(&json, "signingTime", checked ? c.signingTime : "");
        TextOrNull(&json, "timestamp", checked ? c.timestamp : "");
        json.EndObject();
    } else {
        json.Key("package").Null().Key("peChecksum").Null().Key("signature").Null();
    }
    json.EndObject();
    return json.Text();
}

int VerifyExitCode(const VerifyReport& r, bool requireSignature)
{
    if (!r.readable)
        return 2;
    bool unchecked = r.certificateTable == CertificateTableSound && !r.checkProblem.empty();
    if (!r.PackageSound() || r.SignatureDamaged())
        return 1;
    if (requireSignature && unchecked)
        return 2;
    if (requireSignature && !r.SignatureValid())
        return 1;
    return 0;
}

std::string VerifyFailureText(const VerifyReport& r, bool requireSignature)
{
    if (!r.readable)
        return r.setup + ": " + r.problem;
    if (r.noPackage)
        return r.setup + " holds no Vellmark package";
    if (!r.PackageSound())
        return r.setup + ": the package is damaged";
    if (r.SignatureDamaged())
        return r.setup + ": the signature is damaged";
    if (requireSignature && !r.Signed())
        return r.setup + ": not signed (--require-signature)";
    if (requireSignature && !r.checkProblem.empty())
        return r.setup + ": the signature cannot be checked: " + r.checkProblem;
    if (requireSignature && !r.SignatureValid())
        return r.setup + ": the signature is not valid (--require-signature)";
    return std::string();
}
