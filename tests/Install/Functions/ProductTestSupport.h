// The product the installation, playback and uninstaller tests install and
// remove: its company, its registry keys, and the files they make for it.
// Kept apart from InstallTestSupport.h, which needs the package writer, so
// that the uninstaller's tests can include it too.
#ifndef VELLMARK_TESTS_PRODUCT_SUPPORT_H
#define VELLMARK_TESTS_PRODUCT_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "FunctionsTestSupport.h"
#include "PathMacros.h"

namespace installtest {

constexpr char Company[] = "Vellmark Unit Tests";
constexpr char CompanyKey[] = "Software\\Vellmark Unit Tests";
constexpr char ProductKey[] = "Software\\Vellmark Unit Tests\\Tool";
constexpr char SharedFilesKey[] = "Software\\Vellmark Unit Tests\\Shared Files";
constexpr char UninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The product's own entry below UninstallKey.
constexpr char UninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";

// A file holding "bytes" at `path`, its folders made first; the path.
inline std::string MakeFile(const std::string& path)
{
    std::string folder = path.substr(0, path.rfind('\\'));
    CreateDirectoryTree(&folder[0]);
    EXPECT_TRUE(fntest::WriteFileBytes(path, "bytes")) << path;
    return path;
}

}  // namespace installtest

#endif
