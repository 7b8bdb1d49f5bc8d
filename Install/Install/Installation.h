// The installation run, started by the Install page.
#ifndef VELLMARK_INSTALLATION_H
#define VELLMARK_INSTALLATION_H

// Sets LogFilePath: the LogPath setting with its macros expanded (or
// InstallDir), "\", the Product setting and ".log".  1 when it fits; 0 with
// LogFilePath empty when it would not.
int BuildLogFilePath();

// Runs the script function install as one logged installation: loads the
// product's log (from an earlier installation, or empty), records the
// product, creates InstallDir, runs install, writes the log, and then
// registers the uninstaller and the product keys (success) or undoes every
// change the log records (failure).  Non-zero on success.  Without an
// install function the run counts as successful.
int RunInstallation();

#endif
