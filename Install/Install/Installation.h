// The installation run, started by the Install page.
#ifndef VELLMARK_INSTALLATION_H
#define VELLMARK_INSTALLATION_H

// Runs the script function "install"; non-zero on success, 0 on failure.
// Without an "install" function the run counts as successful.
int RunInstallation();

#endif
