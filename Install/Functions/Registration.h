// What a successful installation leaves for later: the uninstaller in the
// Windows folder with its entry in the list of installed programs, and the
// product's and the company's keys.
#ifndef VELLMARK_REGISTRATION_H
#define VELLMARK_REGISTRATION_H

// The uninstaller's file name in the Windows folder, and the key of the
// uninstall entries.
constexpr char UninstallerFileName[] = "vuninst.exe";
constexpr char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Unless NoUninstall is set or the package carries no "Uninstall.exe":
// copies it to the Windows folder as vuninst.exe (under the version rule)
// and, when that worked, writes the uninstall entry named after the Product
// setting (or the Company setting): "DisplayName" (the Name setting, or the
// entry's name) and "UninstallString" ("\"<uninstaller>\" <LogFilePath>").
// Without a Product and a Company setting no entry is written: its key would
// be the list of installed programs itself.  Failures are passed over.
void RegisterUninstaller();

// The product key "Software\Company\Product" under HKEY_LOCAL_MACHINE with
// "Version", "URL", "Email" (each when its setting exists) and "Path"
// (InstallDir); then the company key "Software\Company" with "URL" and
// "Email" from CompanyURL and CompanyEmail.  Failures are passed over.
void RegisterProductKey();

#endif
