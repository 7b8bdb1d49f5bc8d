// How `list` and `extract` open a setup executable and word the reader's codes,
// and how the tool words a file it cannot open.
#ifndef VELLMARK_TOOL_PACKAGE_MESSAGES_H
#define VELLMARK_TOOL_PACKAGE_MESSAGES_H

#include <string>

#include "Package.h"

// Opens the package exactly as the setup program does.  On failure prints
// "vellmark COMMAND: " and OpenFailureLine, with the message the setup
// program shows for that code (the system's reason for a file that cannot be
// opened).  Returns the code of OpenPackage.
int OpenPackageForTool(const char* command, const char* path, PackageHandle** handle);

// True when the reader's `code` for `path` means that the file carries no
// package at all (no header anywhere; or the file is empty), rather than a
// damaged one.
bool HoldsNoPackage(const char* path, int code);

// The error line's text for a failed OpenPackage: "FILE: MESSAGE (code N)",
// or for a file without a package "FILE holds no Vellmark package (the setup
// program would stop with "MESSAGE", code N)".
std::string OpenFailureLine(const char* path, int code);

// The message the setup program shows for an OpenPackage code; code 2 gets
// the system's own reason for `path`.
std::string OpenFailureText(const char* path, int code);

// Why ExtractPackageEntry gave `code` for the entry shown as `entry`.
std::string ExtractFailureText(int code, const std::string& entry);

// Why a file the package reader or the log loader could not open failed:
// the system's reason, or "cannot be opened as a file" when fopen takes it
// (a folder, for one).
std::string CannotOpenReason(const char* path);

#endif
