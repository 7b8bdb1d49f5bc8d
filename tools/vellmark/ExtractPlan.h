// What `vellmark extract -d DIR` writes, decided before anything is written:
// the entries of the chosen subtrees, checked so that every one of them lands
// inside DIR under a path made of plain names.
#ifndef VELLMARK_TOOL_EXTRACT_PLAN_H
#define VELLMARK_TOOL_EXTRACT_PLAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "ListingPath.h"
#include "Package.h"

// The most folders above an extracted entry; as for `list`, a deeper chain
// is no path a package can hold.
constexpr uint32_t ExtractDepthLimit = ListingPathDepthLimit;

enum ExtractPlanResult {
    ExtractPlanOk = 0,
    ExtractPlanBadName = 1,       // a name that is no plain file name (EntryNameProblem)
    ExtractPlanBadParent = 2,     // a parent that is no folder standing before the entry
    ExtractPlanTooDeep = 3,       // more than ExtractDepthLimit folders above an entry
    ExtractPlanSameName = 4       // two entries of one folder with the same name (as Windows
                                  // compares names: ASCII letters in any case)
};

struct ExtractPlan {
    std::vector<uint32_t> folders;   // folder entries to create, each after its parent
    std::vector<uint32_t> files;     // file entries to write, in directory order
    uint32_t entry = 0;              // on failure: the entry at fault
    std::string error;               // on failure: one line, naming the entry's path
};

// Plans the extraction of the `count` records at `entries` (entry 0 stands
// for DIR itself).  `chosen` are the entries whose subtrees are wanted, with
// the folders above them; empty, or holding 0, means every entry.  A folder's
// subtree holds the entries that name it as parent and stand after it (the
// only ones the setup program finds in it).  Every chosen entry and every
// entry of a chosen subtree must have a valid name and a valid parent; the
// whole plan is refused otherwise.  Returns a code above.
int PlanExtraction(const PackageEntry* entries, uint32_t count, const std::vector<uint32_t>& chosen,
                   ExtractPlan* plan);

// The path under DIR of an entry of a successful plan: its names from the top
// down, converted from Windows-1252 to UTF-8, separated by '/'.
std::string ExtractedPath(const PackageEntry* entries, uint32_t index);

#endif
