// The destination folder's rules, shared by the Destination folder page and
// the unattended installation (/S): the default folder and the write test.
#ifndef VELLMARK_DESTINATION_H
#define VELLMARK_DESTINATION_H

#include "SetupState.h"

// Where SetDefaultDestination took InstallDir from.
enum DestinationSource {
    DestinationNone,         // no usable folder: InstallDir is empty
    DestinationDefault,      // Program Files, the company and the product
    DestinationRegistered,   // the folder the installed product is registered in
};

// Reads the Program Files folder into ProgramFilesPath and sets InstallDir to
// the default destination: Program Files, "\Company" and "\Product", each
// name when its setting exists.  The Program Files folder comes from the
// registry, its %...% variables expanded; one that cannot be read or is no
// full path leaves ProgramFilesPath empty.  A default that would not fit is
// not cut short (it would be created there), and one that is no full path is
// not used (it would be taken relative to the current folder): InstallDir is
// then empty.
//
// With `preferRegistered` (an update, and an unattended setup without /D=)
// an installed product stays where it is: when its product key's "Path"
// names an existing folder by a full path, InstallDir is that folder, so that
// the new version replaces the files of the old one instead of landing in a
// second copy.
DestinationSource SetDefaultDestination(bool preferRegistered);

// The folder the installed product is registered in: its product key's
// "Path", when that is a full path of an existing folder no longer than a
// destination may be.  1 with `folder` filled, else 0.
int ReadRegisteredFolder(char (&folder)[SetupPathSize]);

// The write test of a destination folder: creates a file that did not exist
// and removes it again.  A name that is taken (a file or folder of the
// user's) is never opened; the next name is tried instead: temp.temp,
// temp1.temp, temp2.temp, ...  Only a folder where none of them can be
// created fails.
bool FolderWritable(const char* folder);

#endif
