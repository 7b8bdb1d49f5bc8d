// The start-up checks that the setup program and the uninstaller share, with
// the messages they show when a check fails (no owner window, caption
// "Error"; in an unattended run they go to the transcript instead).
//
// Test builds (TestHooks.h): "deny-hklm" makes the registry refuse,
// "deny-scm" makes the service control manager deny access, "fail-scm" makes
// it fail for another reason.
#ifndef VELLMARK_STARTCHECKS_H
#define VELLMARK_STARTCHECKS_H

// Shows a start-up failure (no owner, caption "Error", MB_ICONERROR; in an
// unattended run the transcript's line) and returns 0, so that a failing
// check can return through it.
int ReportError(const char* text);

// Write access to HKEY_LOCAL_MACHINE (ProbeRegistryWritable).  Refused:
// "Unable to access system registry!\nLog on as an Administrator or
// SuperUser and try again...".  1 to go on, 0 after the message.
int RegistryWritable();

// Whether the service control manager opens with all access (drivers are
// installed and removed through it on the NT family).
enum ServiceManagerCheck {
    ServiceManagerReady = 0,
    ServiceManagerDenied = 1,   // access denied: "You must have Administrator privileges in
                                //   order to deinstall drivers!\nLog on as an administrator
                                //   and try again..."
    ServiceManagerFailed = 2,   // any other failure: "Can't open driver database!"
};
ServiceManagerCheck CheckServiceManager();

#endif
