// How `list` and `extract` open a setup executable and word the reader's codes,
// and how the tool words a file it cannot open.
#ifndef VELLMARK_TOOL_PACKAGE_MESSAGES_H
#define VELLMARK_TOOL_PACKAGE_MESSAGES_H

#include <string>

#include "Package.h"

// Opens the package exactly as the setup program does.  On failure prints
// the error line "vellmark COMMAND: FILE: MESSAGE (code N)", with the message
// the setup program shows for that code (the system's reason for a file that
// cannot be opened).  Returns the code of OpenPackage.
int OpenPackageForTool(const char* command, const char* path, PackageHandle** handle);

// Why ExtractPackageEntry gave `code` for the entry shown as `entry`.
std::string ExtractFailureText(int code, const std::string& entry);

// Why a file the package reader or the log loader could not open failed:
// the system's reason, or "cannot be opened as a file" when fopen takes it
// (a folder, for one).
std::string CannotOpenReason(const char* path);

#endif
