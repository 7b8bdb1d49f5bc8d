// The destination folder's rules, shared by the Destination folder page and
// the unattended installation (/S): the default folder and the write test.
#ifndef VELLMARK_DESTINATION_H
#define VELLMARK_DESTINATION_H

// Reads the Program Files folder into ProgramFilesPath (empty when it cannot
// be read) and sets InstallDir to the default destination: Program Files,
// "\Company" and "\Product", each name when its setting exists.  A default
// that would not fit is not cut short (it would be created there):
// InstallDir is then empty.
void SetDefaultDestination();

// The write test of a destination folder: creates a file that did not exist
// and removes it again.  A name that is taken (a file or folder of the
// user's) is never opened; the next name is tried instead: temp.temp,
// temp1.temp, temp2.temp, ...  Only a folder where none of them can be
// created fails.
bool FolderWritable(const char* folder);

#endif
