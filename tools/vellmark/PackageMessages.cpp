#include "PackageMessages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolOptions.h"

std::string CannotOpenReason(const char* path)
{
    FILE* probe = fopen(path, "rb");
    if (!probe)
        return strerror(errno);
    fclose(probe);
    return "cannot be opened as a file";
}

std::string OpenFailureText(const char* path, int code)
{
    switch (code) {
    case PackageNoMemory:
        return "Not enough memory.";
    case PackageOutOfBounds:
    case PackageBadChecksum:
        return "File corrupted, possible download error.";
    case PackageCannotOpen:
        return CannotOpenReason(path);
    default:
        return "Internal Error 1";
    }
}

std::string ExtractFailureText(int code, const std::string& entry)
{
    switch (code) {
    case ExtractNotFound:
        return "no entry \"" + entry + "\" in the package";
    case ExtractNoMemory:
        return "not enough memory to extract \"" + entry + "\"";
    case ExtractBadStream:
        return "the data of \"" + entry + "\" does not decompress to its recorded size";
    case ExtractBadChecksum:
        return "the content of \"" + entry + "\" does not match its checksum";
    default:
        return "\"" + entry + "\" cannot be extracted";
    }
}

bool HoldsNoPackage(const char* path, int code)
{
    if (code == PackageNoHeader)
        return true;
    // An empty file cannot be mapped, and holds nothing at all.
    FILE* probe = code == PackageCannotMap ? fopen(path, "rb") : nullptr;
    if (!probe)
        return false;
    bool empty = fgetc(probe) == EOF && !ferror(probe);
    fclose(probe);
    return empty;
}

std::string OpenFailureLine(const char* path, int code)
{
    std::string setupSays = OpenFailureText(path, code) + " (code " + std::to_string(code) + ")";
    if (HoldsNoPackage(path, code))
        return std::string(path) + " holds no Vellmark package (the setup program would stop with \"" +
               OpenFailureText(path, code) + "\", code " + std::to_string(code) + ")";
    return std::string(path) + ": " + setupSays;
}

int OpenPackageForTool(const char* command, const char* path, PackageHandle** handle)
{
    int code = OpenPackage(path, handle);
    if (code != PackageOpened)
        CommandError(command, OpenFailureLine(path, code));
    return code;
}
