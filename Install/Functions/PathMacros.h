// Path macros and folder helpers, shared by the built-ins, the installation
// run and the Destination folder page.
#ifndef VELLMARK_PATHMACROS_H
#define VELLMARK_PATHMACROS_H

#include <cstddef>

#include "PathText.h"   // WorkBufferSize, the size of an expansion's work buffer

// Replaces one folder macro at the very start of `path` (compared without
// regard to case, both '%' included) by its folder, in place:
//   %WINDIR%        the Windows folder
//   %WINSYSDIR%     the system folder
//   %DRIVERDIR%     the Windows folder + "\System32\Drivers"
//   %APPDIR%        InstallDir
//   %PROGFILESDIR%  ProgramFilesPath
//   %PRODUCTDIR%    ProgramFilesPath + "\Company" + "\Product"
//   %COMPANYDIR%    ProgramFilesPath + "\Company"
// A Company or Product setting that is missing is left out together with its
// backslash.  The rest of the text follows the folder unchanged.
//
// `capacity` is the size of the storage that holds `path`, its terminator
// included (the room of a script text, 512 for the setup's path buffers).
// Returns 1 when the text now holds its expansion or had no macro to expand.
// An expansion that would not fit into `capacity` bytes (or into the work
// buffer) is refused: the text is made empty and the result is 0, so the
// built-in that uses it fails on an empty path instead of touching a path
// cut short.  A null `path`, or one not terminated inside `capacity`, is left
// alone and gives 0.
int ExpandPathMacros(char* path, size_t capacity);

// Creates every folder along `path`, parents first: for each backslash the
// text up to it, then the whole text.  Folders that exist already and drive
// names are passed over; nothing is reported.  Each folder it makes is
// recorded in the installation's journal first (Transaction.h); when the
// journal cannot take a record, no further folder is made.  The text is
// changed while the function runs and restored before it returns, so it
// must be writable.  A null path does nothing.
void CreateDirectoryTree(char* path);

// 1 when `path` names an existing file, folder or drive, else 0.  The empty
// text gives 1; a drive root "X:\" is tested with GetDriveTypeA; null gives 0.
int PathExists(const char* path);

#endif
