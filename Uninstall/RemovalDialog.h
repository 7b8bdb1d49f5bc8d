// The uninstaller's dialog: the question, "Delete program settings", and the
// removal behind the Remove button, which plays the install log back with
// the same engine as the setup's undo.
//
// It runs on TableDialogProc with RemovalMessageTable as its creation
// parameter (dialog IDD_UNINSTALL).  It works on TheInstallLog, loaded by
// start-up, and on the program-wide state below and in SetupState.h
// (InstanceHandle, IsWindowsNT, LogFilePath).
#ifndef VELLMARK_REMOVALDIALOG_H
#define VELLMARK_REMOVALDIALOG_H

#include <windows.h>

#include "TableDialog.h"
#include "UninstallLog.h"

// The product, from the log's first Product entry (set by start-up).
extern UninstallProduct RemovedProduct;
// 1 while "Delete program settings" is ticked (it is at start): the removal
// then deletes the product's preference keys too.
extern int DeleteSettings;
// Set when the removal removed a driver: Windows should restart.
extern int RebootNeeded;
// Set when the removal left another installation's registration in place.
extern int RegistrationKept;

// Dialog results: Exit, the close box and Enter end it with 0, a removal
// with 1.  After "Some program files are in use." it stays open, so that the
// user can quit the program that holds the file and press Remove again.
extern const MessageRow RemovalMessageTable[];

#endif
