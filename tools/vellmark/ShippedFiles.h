// Where the tool finds the files it ships with.  One place says it, so that
// the commands that use them (pack: our setup programs and uninstallers; try:
// the UI driver and its Python programs) look alike, and an installation of
// the tool only has to copy them into one of these layouts:
//
//   the build tree                     an installed tool
//   build/bin/vellmark                 PREFIX/bin/vellmark
//   build/win32/Setup.exe ...          PREFIX/share/vellmark/win32/Setup.exe ...
//   build/win64/Setup.exe ...          PREFIX/share/vellmark/win64/Setup.exe ...
//   build/share/vellmark/python/...    PREFIX/share/vellmark/python/...
//
// The Windows programs of an architecture are Setup.exe, Uninstall.exe and
// uidriver.exe.  VELLMARK_STUB_DIR names a folder that holds them instead
// (it is looked in first); VELLMARK_SHARE_DIR one that holds the rest of
// share/vellmark.
#ifndef VELLMARK_TOOL_SHIPPEDFILES_H
#define VELLMARK_TOOL_SHIPPEDFILES_H

#include <filesystem>
#include <string>
#include <vector>

// The folder of the running tool (the current folder when it cannot be told).
std::filesystem::path ToolFolder();

// Where a Windows program NAME of ARCH ("win32", "win64") is looked for, in
// order: VELLMARK_STUB_DIR, ../ARCH and ARCH beside the tool, the tool's own
// folder when it is named ARCH, ../share/vellmark/ARCH.
std::vector<std::filesystem::path> WindowsProgramCandidates(const std::string& arch, const char* name);

// The first of those that is a file, or an empty path.
std::filesystem::path FindWindowsProgram(const std::string& arch, const char* name);

// The file or folder NAME ("python/vellmark_try.py") of share/vellmark:
// under VELLMARK_SHARE_DIR, or ../share/vellmark beside the tool; an empty
// path when neither has it.
std::filesystem::path FindSharedFile(const char* name);

#endif
