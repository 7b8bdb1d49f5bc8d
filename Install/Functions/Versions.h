// Version checks against files on disk, package entries and the installed
// product.  The parsing itself is portable (ImageVersion.h).
#ifndef VELLMARK_VERSIONS_H
#define VELLMARK_VERSIONS_H

#include <cstdint>

#include "ImageVersion.h"

// The file version of the file at `path`, read through a read-only mapping:
// NoVersion when it cannot be opened or mapped (an empty file cannot), is no
// PE image or carries no version.  A null path gives NoVersion.
int64_t ReadFileVersion(const char* path);

// How the package entry `entry` of the open SetupPackage compares with the
// file at `path`:
//   -2  no package is open, the entry is not in it or cannot be extracted,
//       or `entry` or `path` is null
//   -1  the file on disk is newer
//    0  both have the same version
//    1  the entry is newer, or has no version, or the file is missing or has none
int CompareEntryVersion(const char* entry, const char* path);

// How the installed product (value "Version" of HKEY_LOCAL_MACHINE\Software
// \Company\Product) compares with the Version setting:
//    1  not installed (no key or no readable value), or an older version
//    0  this version is installed (also when the script has no Version setting)
//   -1  a newer version is installed
int CompareInstalledVersion();

#endif
