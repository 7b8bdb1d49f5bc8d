// vellmark manifest: the winget manifest of a setup executable, from the
// settings of its own Install.ini and the file itself.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitCodes.h"
#include "FileView.h"
#include "Package.h"
#include "PackageMessages.h"
#include "PeImage.h"
#include "Settings.h"
#include "Sha256.h"
#include "ToolOptions.h"
#include "Windows1252.h"

namespace {

const char ManifestUsage[] =
    "usage: vellmark manifest SETUP.exe --url URL [--publisher-url URL] [--license TEXT]\n"
    "                         [--description TEXT] [--identifier ID] [-o DIR]\n";

const char ManifestDescription[] =
    "\n"
    "Writes the three files of a winget manifest (schema 1.6.0) for SETUP.exe into\n"
    "DIR (default: the current folder): ID.yaml (version), ID.installer.yaml and\n"
    "ID.locale.en-US.yaml (default locale), ID being the package identifier.\n"
    "Publisher, name, version and the entry in the list of installed programs\n"
    "(ProductCode, AppsAndFeaturesEntries) come from the settings of the package's\n"
    "Install.ini, read as the setup program reads them; the architecture from the\n"
    "setup program's image; InstallerSha256 from the file.  The switches are the\n"
    "setup's own: /S, /D=<INSTALLPATH>, /LOG=<LOGPATH>.\n"
    "\n"
    "  --url URL            where users download SETUP.exe (http or https; required)\n"
    "  --publisher-url URL  the publisher's web site (default: the CompanyURL setting)\n"
    "  --license TEXT       the licence's name, such as MIT (default: Proprietary)\n"
    "  --description TEXT   the short description (default: the Name setting, else\n"
    "                       the Product)\n"
    "  --identifier ID      the package identifier (default: Company.Product with\n"
    "                       the characters winget refuses left out)\n"
    "  -o, --output DIR     the folder to write to (made, with the folders above it,\n"
    "                       when missing)\n"
    "\n"
    "Exit code 0 when the three files are written; 1 when the package lacks what a\n"
    "manifest needs (Company, Product, Version) or an option's value breaks the\n"
    "manifest's rules; 2 when SETUP.exe cannot be read or holds no package, or a\n"
    "file cannot be written, or for a usage error.\n";

enum ManifestOption {
    ManifestUrl,
    ManifestPublisherUrl,
    ManifestLicense,
    ManifestDescriptionText,
    ManifestIdentifier,
    ManifestOutput,
    ManifestOptionCount
};
const OptionSpec ManifestOptionTable[] = {
    {"url", 0, "URL"},         {"publisher-url", 0, "URL"}, {"license", 0, "TEXT"},
    {"description", 0, "TEXT"}, {"identifier", 0, "ID"},     {"output", 'o', "DIR"},
};
static_assert(std::size(ManifestOptionTable) == ManifestOptionCount, "one row per ManifestOption");

const CommandSpec Manifest = {"manifest", ManifestOptionTable, ManifestOptionCount, ManifestUsage,
                              ManifestDescription};

const char ManifestVersion[] = "1.6.0";
const char DefaultLocale[] = "en-US";

// The number of characters (code points) of UTF-8 text.
size_t CharacterCount(const std::string& utf8)
{
    size_t count = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++count;
    return count;
}

// The first `limit` characters of UTF-8 text.
std::string FirstCharacters(const std::string& utf8, size_t limit)
{
    size_t count = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && count++ == limit)
            return utf8.substr(0, i);
    }
    return utf8;
}

// The characters the schema refuses in a part of a package identifier:
// blanks, control characters, the dot that separates the parts, \ / : * ? " < > |.
bool RefusedInIdentifier(unsigned char c)
{
    return c <= 0x20 || c == 0x7F || strchr(".\\/:*?\"<>|", c) != nullptr;
}

// A part of an identifier from a name: the refused characters left out,
// cut to the schema's 32 characters.
std::string IdentifierPart(const std::string& utf8)
{
    std::string part;
    for (unsigned char c : utf8)
        if (!RefusedInIdentifier(c))
            part += static_cast<char>(c);
    return FirstCharacters(part, 32);
}

// The schema's pattern for PackageIdentifier: 2 to 8 parts of 1 to 32
// characters separated by dots, none refused.
bool IsPackageIdentifier(const std::string& id)
{
    if (id.size() > 128)
        return false;
    size_t parts = 0, start = 0;
    while (true) {
        size_t dot = id.find('.', start);
        std::string part = id.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        size_t length = CharacterCount(part);
        if (length < 1 || length > 32)
            return false;
        for (unsigned char c : part)
            if (RefusedInIdentifier(c))
                return false;
        ++parts;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return parts >= 2 && parts <= 8;
}

// The schema's Url pattern: http or https (either case), "://", something.
bool IsManifestUrl(const std::string& url)
{
    size_t colon = url.find("://");
    if (colon == std::string::npos || colon + 3 >= url.size() || url.size() > 2048)
        return false;
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (scheme != "http" && scheme != "https")
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return true;
}

// A YAML double-quoted scalar: safe for any text (quotes, colons, '#',
// leading blanks, non-ASCII), control characters escaped.
std::string Yaml(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The machine the setup program's image is built for: "x86", "x64" or "".
std::string ImageArchitecture(const uint8_t* file, uint64_t size)
{
    PeImageLayout layout;
    if (!ReadPeImageLayout(file, size, &layout))
        return std::string();
    if (layout.machine == PeMachineI386 && !layout.pe32Plus)
        return "x86";
    if (layout.machine == PeMachineAmd64 && layout.pe32Plus)
        return "x64";
    return std::string();
}

std::string UpperHexSha256(const uint8_t* bytes, uint64_t size)
{
    Sha256 sha;
    sha.Update(bytes, static_cast<size_t>(size));
    uint8_t digest[Sha256Size];
    sha.Finish(digest);
    std::string text;
    char hex[4];
    for (uint8_t b : digest) {
        snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
    }
    return text;
}

// A setting as UTF-8, as the setup program reads it; false when absent.
bool Setting(const char* key, std::string* value)
{
    char text[SettingValueSize];
    if (!GetSetting(key, text, sizeof text))
        return false;
    *value = Windows1252ToUtf8(text);
    return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* why)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        *why = strerror(errno);
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = (fclose(file) == 0) && ok;
    if (!ok)
        *why = "write error";
    return ok;
}

std::string Header(const char* schema)
{
    return std::string("# Made by vellmark manifest from the setup's own Install.ini.\n"
                       "# yaml-language-server: $schema=https://aka.ms/winget-manifest.") +
           schema + "." + ManifestVersion + ".schema.json\n\n";
}

struct ReturnCodeRow {
    int code;
    const char* response;
};

// The setup's exit codes (ExitCodes.h) that winget has a response for; 0 is
// success already.  3010 is listed too, so that the reboot is explicit.
const ReturnCodeRow ReturnCodes[] = {
    {ExitInstallInProgress, "installInProgress"}, {ExitSameVersion, "alreadyInstalled"},
    {ExitInitDeclined, "cancelledByUser"},        {ExitRestartNeeded, "rebootRequiredToFinish"},
    {ExitUsage, "invalidParameter"},              {ExitWrongWindows, "systemNotSupported"},
    {ExitNoMemory, "insufficientMemory"},
};

// A manifest the package or an option cannot make: the error line, exit code 1.
int Refuse(const std::string& message)
{
    CommandError("manifest", message);
    return 1;
}

}  // namespace

int RunManifestCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Manifest, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operands.size() != 1)
        return UsageError(Manifest, line.operands.empty() ? "no SETUP.exe given" : "one SETUP.exe only");
    const char* setup = line.operands[0];
    if (!line.Given(ManifestUrl))
        return UsageError(Manifest, "no --url given: winget needs the address users download the setup from");
    std::string url = line.Value(ManifestUrl);
    if (!IsManifestUrl(url))
        return Refuse("--url '" + url + "' is no http or https address");
    std::string publisherUrl;
    if (line.Given(ManifestPublisherUrl)) {
        publisherUrl = line.Value(ManifestPublisherUrl);
        if (!IsManifestUrl(publisherUrl))
            return Refuse("--publisher-url '" + publisherUrl + "' is no http or https address");
    }
    std::string directory = line.Given(ManifestOutput) ? line.Value(ManifestOutput) : ".";

    // The package and its script, read as the setup program reads them.
    PackageHandle* h = nullptr;
    if (OpenPackageForTool(Manifest.name, setup, &h) != PackageOpened)
        return CommandFailed;
    uint8_t* script = nullptr;
    uint32_t scriptSize = 0;
    int code = ExtractPackageEntry(h, PackageScriptName, &script, &scriptSize);
    bool hasUninstaller = FindPackageEntry(h, PackageUninstallerName) != nullptr;
    ClosePackage(h);
    if (code != ExtractOk)
        return CommandError(Manifest.name, std::string(setup) + ": " + ExtractFailureText(code, PackageScriptName));
    std::string text(reinterpret_cast<const char*>(script), scriptSize);
    FreePackageBlock(script);
    if (!CheckSetupScriptText(std::string(setup) + ":" + PackageScriptName, text))
        return Refuse(std::string(setup) + ": the setup program rejects its Install.ini");

    std::string company, product, version, name, companyUrl, productUrl;
    std::vector<std::string> missing;
    if (!Setting("Company", &company) || company.empty())
        missing.push_back("Company");
    if (!Setting("Product", &product) || product.empty())
        missing.push_back("Product");
    if (!Setting("Version", &version) || version.empty())
        missing.push_back("Version");
    if (!missing.empty()) {
        std::string list;
        for (size_t i = 0; i < missing.size(); ++i)
            list += (i ? ", " : "") + missing[i];
        return CommandError(Manifest.name, std::string(setup) + ": its Install.ini has no " + list +
                                               " setting (as the setup program reads it; see vellmark check), "
                                               "which a winget manifest needs"),
               1;
    }
    if (!Setting("Name", &name))
        name = product;
    Setting("CompanyURL", &companyUrl);
    Setting("ProductURL", &productUrl);
    if (publisherUrl.empty() && IsManifestUrl(companyUrl))
        publisherUrl = companyUrl;
    if (!IsManifestUrl(productUrl))
        productUrl.clear();

    // The schema's rules for the fields taken from the settings.
    for (unsigned char c : version)
        if (c < 0x20 || strchr("\\/:*?\"<>|", c))
            return Refuse("Version \"" + version +
                                                   "\" holds a character a winget PackageVersion refuses");
    if (CharacterCount(version) > 128)
        return Refuse("Version is longer than the 128 characters of a PackageVersion");
    std::string identifier = line.Given(ManifestIdentifier)
                                 ? line.Value(ManifestIdentifier)
                                 : IdentifierPart(company) + "." + IdentifierPart(product);
    if (!IsPackageIdentifier(identifier))
        return CommandError(Manifest.name, "'" + identifier + "' is no winget package identifier " +
                                               "(2 to 8 parts of 1 to 32 characters separated by dots, without "
                                               "blanks or \\ / : * ? \" < > |); give one with --identifier"),
               1;
    std::string license = line.Given(ManifestLicense) ? line.Value(ManifestLicense) : "Proprietary";
    std::string description = line.Given(ManifestDescriptionText) ? line.Value(ManifestDescriptionText) : name;
    struct Limit {
        const char* field;
        const std::string* value;
        size_t low, high;
    } limits[] = {{"Publisher (Company)", &company, 2, 256}, {"PackageName (Product)", &product, 2, 256},
                  {"License", &license, 3, 512},             {"ShortDescription", &description, 3, 256}};
    for (const Limit& l : limits) {
        size_t length = CharacterCount(*l.value);
        if (length < l.low || length > l.high)
            return Refuse(std::string(l.field) + " \"" + *l.value + "\" must have " +
                                                   std::to_string(l.low) + " to " + std::to_string(l.high) +
                                                   " characters in a winget manifest");
    }

    // The tool maps the whole file, as verify does: it runs as a 64-bit program.
    FileView view;
    if (OpenFileView(setup, &view) != FileviewOk)
        return CommandError(Manifest.name, std::string(setup) + ": " + CannotOpenReason(setup));
    FileWindow whole = {};
    const uint8_t* file = MapFileWindow(&view, &whole, 0, view.size, 0);
    std::string architecture = file ? ImageArchitecture(file, view.size) : std::string();
    std::string sha256 = file ? UpperHexSha256(file, view.size) : std::string();
    UnmapFileWindow(&whole);
    CloseFileView(&view);
    if (!file)
        return CommandError(Manifest.name, std::string(setup) + ": " + CannotOpenReason(setup));
    if (architecture.empty())
        return Refuse(std::string(setup) + ": its setup program is built for neither x86 "
                                                                "nor x64");

    // The entry in the list of installed programs (Registration.cpp): only
    // with NoUninstall=0 and the uninstaller in the package; its key is
    // named after the Product.
    int noUninstall = 1;
    GetSettingInt("NoUninstall", &noUninstall);
    bool registers = noUninstall == 0 && hasUninstaller;
    if (!registers)
        fprintf(stderr,
                "vellmark manifest: note: %s registers no entry in the list of installed programs (%s), so the "
                "manifest has no ProductCode and winget cannot tell that the product is installed\n",
                setup, noUninstall != 0 ? "NoUninstall is not 0" : "the package has no Uninstall.exe");

    std::string common = "PackageIdentifier: " + Yaml(identifier) + "\nPackageVersion: " + Yaml(version) + "\n";
    std::string tail = std::string("ManifestVersion: ") + ManifestVersion + "\n";

    std::string versionFile = Header("version") + common + "DefaultLocale: " + DefaultLocale +
                              "\nManifestType: version\n" + tail;

    std::string installer = Header("installer") + common;
    installer += "InstallerType: exe\nScope: machine\nInstallModes:\n- interactive\n- silent\n- silentWithProgress\n";
    installer += "InstallerSwitches:\n  Silent: \"/S\"\n  SilentWithProgress: \"/S\"\n"
                 "  InstallLocation: \"/D=<INSTALLPATH>\"\n  Log: \"/LOG=<LOGPATH>\"\n";
    installer += "ExpectedReturnCodes:\n";
    for (const ReturnCodeRow& row : ReturnCodes)
        installer += "- InstallerReturnCode: " + std::to_string(row.code) + "\n  ReturnResponse: " + row.response +
                     "\n";
    installer += "UpgradeBehavior: install\nElevationRequirement: elevatesSelf\n";
    if (registers) {
        installer += "ProductCode: " + Yaml(product) + "\n";
        installer += "AppsAndFeaturesEntries:\n- DisplayName: " + Yaml(name) + "\n  Publisher: " + Yaml(company) +
                     "\n  DisplayVersion: " + Yaml(version) + "\n  ProductCode: " + Yaml(product) + "\n";
    }
    installer += "Installers:\n- Architecture: " + architecture + "\n  InstallerUrl: " + Yaml(url) +
                 "\n  InstallerSha256: " + sha256 + "\n";
    installer += "ManifestType: installer\n" + tail;

    std::string locale = Header("defaultLocale") + common + "PackageLocale: " + DefaultLocale + "\n";
    locale += "Publisher: " + Yaml(company) + "\n";
    if (!publisherUrl.empty())
        locale += "PublisherUrl: " + Yaml(publisherUrl) + "\n";
    locale += "PackageName: " + Yaml(product) + "\n";
    if (!productUrl.empty())
        locale += "PackageUrl: " + Yaml(productUrl) + "\n";
    locale += "License: " + Yaml(license) + "\nShortDescription: " + Yaml(description) + "\n";
    locale += "ManifestType: defaultLocale\n" + tail;

    std::error_code made;
    std::filesystem::create_directories(directory, made);
    if (made)
        return CommandError(Manifest.name, "cannot make " + directory + ": " + made.message());
    struct Output {
        std::string name;
        const std::string* text;
    } outputs[] = {{identifier + ".yaml", &versionFile},
                   {identifier + ".installer.yaml", &installer},
                   {identifier + ".locale." + DefaultLocale + ".yaml", &locale}};
    for (const Output& o : outputs) {
        std::string path = directory + "/" + o.name;
        std::string why;
        if (!WriteTextFile(path, *o.text, &why))
            return CommandError(Manifest.name, "cannot write " + path + ": " + why);
        printf("%s\n", path.c_str());
    }
    return fflush(stdout) == 0 ? 0 : CommandFailed;
}
