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

// The message the setup program shows for an open code; code 2 gets the
// system's own reason.
static std::string OpenFailureText(const char* path, int code)
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

int OpenPackageForTool(const char* command, const char* path, PackageHandle** handle)
{
    int code = OpenPackage(path, handle);
    if (code != PackageOpened)
        CommandError(command, std::string(path) + ": " + OpenFailureText(path, code) + " (code " +
                                  std::to_string(code) + ")");
    return code;
}
