// The path `vellmark list` prints for a package entry, built from its parents.
#ifndef VELLMARK_TOOL_LISTING_PATH_H
#define VELLMARK_TOOL_LISTING_PATH_H

#include <cstdint>
#include <string>

#include "Package.h"

// The most components a path in a package can have: each takes at least one
// character and a backslash, and a path must fit the 260 bytes of a name
// field (MAX_PATH).  A deeper chain of parents (a loop among them, or a
// crafted chain) is not followed further, so listing stays linear.
constexpr uint32_t ListingPathDepthLimit = PackageNameSize / 2;

enum ListingPathResult {
    ListingPathOk = 0,          // *path is the entry's path
    ListingPathTooDeep = 1      // more than ListingPathDepthLimit components; *path is empty
};

// The backslash path of entry `index` of the `count` records at `entries`,
// without the root.  Each name is escaped for the terminal (a backslash inside
// a name too, so it cannot pass for a folder); a parent outside the directory
// or a negative one before the root is reached stands as "?" for the rest.
// Returns a code above.
int BuildListingPath(const PackageEntry* entries, uint32_t count, uint32_t index, std::string* path);

#endif
