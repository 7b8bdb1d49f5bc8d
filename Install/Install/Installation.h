// The installation run, started by the Install page.
#ifndef VELLMARK_INSTALLATION_H
#define VELLMARK_INSTALLATION_H

// Sets LogFilePath: the LogPath setting with its macros expanded (or
// InstallDir), "\", the Product setting and ".log".  1 when it fits; 0 with
// LogFilePath empty when it would not.
int BuildLogFilePath();

// Runs the script function install as one logged installation and one
// transaction (Transaction.h): loads the product's log (from an earlier
// installation, or empty), records the product, begins the transaction,
// creates InstallDir and runs install.  On success it writes the log,
// registers the uninstaller and the product keys and commits; on failure
// (install returned 0, or the log could not be written) it rolls back every
// change of this run, newest first, and leaves an earlier installation as it
// was, its log included.  Non-zero on success.  Without an install function
// the run counts as successful.
int RunInstallation();

// Why the last RunInstallation could not even start: the journal could not be
// made (the transcript names it).  False after a run that started.
bool InstallationNotStarted();

#endif
