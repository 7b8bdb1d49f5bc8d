// What a successful installation leaves for later: the uninstaller in the
// Windows folder with its entry in the list of installed programs, and the
// product's and the company's keys.
#ifndef VELLMARK_REGISTRATION_H
#define VELLMARK_REGISTRATION_H

#include <cstdint>

#include "InstallLog.h"

// The uninstaller's file name in the Windows folder.
constexpr char UninstallerFileName[] = "vuninst.exe";

// The bytes of the files the log records (File, SharedFile and Driver
// entries) as they are on the disk now; a file that is not there counts 0.
uint64_t MeasureLoggedFiles(const InstallLog* list);

// Unless NoUninstall is set or the package carries no "Uninstall.exe":
// copies it to the Windows folder as vuninst.exe (under the version rule)
// and, when that worked, writes the uninstall entry named after the Product
// setting (or the Company setting):
//   "DisplayName"           the Name setting, or the entry's name
//   "UninstallString"       "\"<uninstaller>\" <LogFilePath>"
//   "QuietUninstallString"  "\"<uninstaller>\" /S <LogFilePath>"
//   "DisplayVersion"        the Version setting, when there is one
//   "Publisher"             the Company setting, when there is one
//   "InstallLocation"       InstallDir, when it is not empty
//   "URLInfoAbout"          the ProductURL setting, when there is one
//   "EstimatedSize"         REG_DWORD: `installedBytes` in KB, rounded up
//   "NoModify", "NoRepair"  REG_DWORD 1
// Without a Product and a Company setting no entry is written: its key would
// be the list of installed programs itself.  Failures are passed over.
void RegisterUninstaller(uint64_t installedBytes);

// The product key "Software\Company\Product" under HKEY_LOCAL_MACHINE with
// "Version", "URL", "Email" (each when its setting exists) and "Path"
// (InstallDir); then the company key "Software\Company" with "URL" and
// "Email" from CompanyURL and CompanyEmail.  Failures are passed over.
void RegisterProductKey();

#endif
