// The Start menu's programs folder, which the shortcuts fill and the playback
// empties, and the desktop of the desktop shortcuts.
#ifndef VELLMARK_STARTMENU_H
#define VELLMARK_STARTMENU_H

#include "SetupState.h"

// The Start-menu programs folder: on the NT family the one of all users
// (HKEY_LOCAL_MACHINE, "Common Programs"), on the 95 family the current
// user's (HKEY_CURRENT_USER, "Programs"), from the key
// "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders".
// 1 with `folder` filled; 0 when the key or the value cannot be read, is no
// text or is empty: then there is no programs folder, and neither the
// shortcuts nor the playback touch the Start menu.
int ReadProgramsFolder(char (&folder)[SetupPathSize]);

// The desktop the shortcutdesk links go to, from the same key: on the NT
// family the one of all users ("Common Desktop"), on the 95 family the
// current user's ("Desktop").  As ReadProgramsFolder otherwise.
int ReadDesktopFolder(char (&folder)[SetupPathSize]);

#endif
