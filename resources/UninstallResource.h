// Resource and control ids of the uninstaller.  The numbers are part of the
// program's outside interface: the uninstaller's code, its resource script
// and the UI driver of the GUI tests all use them.
#ifndef VELLMARK_UNINSTALLRESOURCE_H
#define VELLMARK_UNINSTALLRESOURCE_H

// Dialog and icon
#define IDD_UNINSTALL       101     // "Uninstall v1.0": the question, Remove and Exit
#define IDI_UNINSTALL       102     // 32 x 32, 16 colours

// Controls
#define IDC_REMOVE          1000    // "Remove": starts the removal
#define IDC_EXIT            1001    // "Exit": leaves without removing
#define IDC_DELETE_SETTINGS 1002    // "Delete program settings" (ticked at start)
#define IDC_QUESTION        1003    // the question, with the product's name
#define IDC_REMOVING        1004    // "Removing... Please Wait...", shown during the removal
#define IDC_REMOVAL_PROGRESS 1010   // progress bar, shown during the removal
#define IDC_FRAME           1013    // the group box "Uninstall"

#endif
