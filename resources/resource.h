// Resource and control ids of the setup program.  The numbers are part of the
// program's outside interface: the wizard code, the resource script and the
// UI driver of the GUI tests all use them.
#ifndef VELLMARK_RESOURCE_H
#define VELLMARK_RESOURCE_H

// Dialogs, icon and bitmap
#define IDD_WIZARD          101     // the frame: Back, Next, Cancel below the pages
#define IDD_WELCOME         102
#define IDI_SETUP           103     // 32 x 32, 16 colours
#define IDD_LICENSE         104
#define IDD_DESTINATION     105
#define IDD_INSTALL         106
#define IDD_FINISHED        107
#define IDB_BACKGROUND      109     // 100 x 300, 256 colours: the background tile

// Frame buttons
#define IDC_BACK            1000
#define IDC_NEXT            1001
#define IDC_CANCEL          1002

// Page controls (several pages reuse the same numbers)
#define IDC_TEXT            1003    // the page's main text
#define IDC_TEXT2           1004    // a second text
#define IDC_BROWSE          1005    // Destination folder: Browse...
#define IDC_EDIT            1008    // licence text / destination folder
#define IDC_ACCEPT          1009    // licence check box
#define IDC_PROGRESS        1010    // Install: progress bar
#define IDC_REBOOT_YES      1011    // Finished: "Yes, reboot Windows now"
#define IDC_REBOOT_NO       1012    // Finished: "No, I will restart it later"
#define IDC_PAGE_GROUP      1013    // every page: the group box with the title
#define IDC_EXTRA           1014    // etched line, or the second group box

// System menu
#define IDM_ABOUT           999

#endif
