// The start-up checks that the setup program and the uninstaller share, with
// the messages they show when a check fails.  Each returns 1 to go on and 0
// after it has shown its message (no owner window, caption "Error").
//
// Test builds (TestHooks.h): "deny-hklm" makes the registry refuse,
// "deny-scm" makes the service control manager deny access, "fail-scm" makes
// it fail for another reason.
#ifndef VELLMARK_STARTCHECKS_H
#define VELLMARK_STARTCHECKS_H

// Shows a start-up failure (no owner, caption "Error", MB_ICONERROR) and
// returns 0, so that a failing check can return through it.
int ReportError(const char* text);

// Write access to HKEY_LOCAL_MACHINE (ProbeRegistryWritable).  Refused:
// "Unable to access system registry!\nLog on as an Administrator or
// SuperUser and try again...".
int RegistryWritable();

// The service control manager opens with all access (drivers are installed
// and removed through it on the NT family).  Access denied: "You must have
// Administrator privileges in order to deinstall drivers!\nLog on as an
// administrator and try again..."; any other failure: "Can't open driver
// database!".
int ServiceManagerAvailable();

#endif
