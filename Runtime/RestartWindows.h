// The restart of Windows at the end of the setup program (a reboot was
// requested) and of the uninstaller (a driver was removed and the user
// agreed).
#ifndef VELLMARK_RESTARTWINDOWS_H
#define VELLMARK_RESTARTWINDOWS_H

// Restarts Windows (ExitWindowsEx with EWX_REBOOT).  On the NT family the
// shutdown privilege is enabled first; a step of that which fails skips the
// rest, and nothing is reported: the restart is asked for regardless.  Reads
// IsWindowsNT.
//
// Test builds never restart the machine: when VELLMARK_TEST_REBOOT_LOG names
// a file, the request is appended to it instead, as the line
// "ExitWindowsEx(EWX_REBOOT) privilege=enabled|failed|skipped".
void RestartWindows();

#endif
