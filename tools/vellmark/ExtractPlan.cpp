#include "ExtractPlan.h"

#include <algorithm>

#include "AnsiText.h"
#include "EntryName.h"
#include "Windows1252.h"

namespace {

enum : uint8_t {
    NotWanted = 0,
    InSubtree = 1,      // in a chosen subtree (a chosen entry included)
    FolderAbove = 2     // only a folder on the way to a chosen entry
};

bool IsFolder(const PackageEntry& e)
{
    return (e.attributes & PackageAttributeDirectory) != 0;
}

// A parent the entry can be placed under: DIR itself, or a folder before it.
bool ValidParent(const PackageEntry* entries, uint32_t index)
{
    int32_t parent = entries[index].parent;
    return parent >= 0 && static_cast<uint32_t>(parent) < index &&
           (parent == 0 || IsFolder(entries[parent]));
}

int Fail(const PackageEntry* entries, uint32_t count, uint32_t index, int code, const std::string& why,
         ExtractPlan* plan)
{
    std::string shown;
    if (BuildListingPath(entries, count, index, &shown) != ListingPathOk)
        shown = "?";
    plan->folders.clear();
    plan->files.clear();
    plan->entry = index;
    plan->error = "entry " + std::to_string(index) + " (" + shown + ") " + why;
    return code;
}

}  // namespace

int PlanExtraction(const PackageEntry* entries, uint32_t count, const std::vector<uint32_t>& chosen,
                   ExtractPlan* plan)
{
    plan->folders.clear();
    plan->files.clear();
    plan->entry = 0;
    plan->error.clear();
    bool everything = chosen.empty() || std::find(chosen.begin(), chosen.end(), 0u) != chosen.end();
    std::vector<uint8_t> wanted(count, NotWanted);

    // The folders above each chosen entry are created too, though nothing
    // else in them is written.  Each walk stops at a folder already marked.
    for (uint32_t c : chosen) {
        if (c == 0 || c >= count)
            continue;
        wanted[c] = InSubtree;
        uint32_t at = c;
        for (uint32_t steps = 0; at != 0; ++steps) {
            if (!ValidParent(entries, at))
                return Fail(entries, count, at, ExtractPlanBadParent, "has a parent that is no folder before it", plan);
            if (steps == ExtractDepthLimit)
                return Fail(entries, count, c, ExtractPlanTooDeep,
                            "lies deeper than " + std::to_string(ExtractDepthLimit) + " folders", plan);
            at = static_cast<uint32_t>(entries[at].parent);
            if (at == 0 || wanted[at] != NotWanted)
                break;
            wanted[at] = FolderAbove;
        }
    }

    // Every parent stands before its entry, so one pass in directory order
    // sees a folder's mark and depth before its contents.
    std::vector<uint8_t> depth(count, 0);
    std::vector<uint32_t> marked;
    for (uint32_t i = 1; i < count; ++i) {
        const PackageEntry& e = entries[i];
        bool valid = ValidParent(entries, i);
        if (wanted[i] == NotWanted && (everything || (valid && e.parent != 0 && wanted[e.parent] == InSubtree)))
            wanted[i] = InSubtree;
        if (wanted[i] == NotWanted)
            continue;
        if (!valid)
            return Fail(entries, count, i, ExtractPlanBadParent, "has a parent that is no folder before it", plan);
        uint32_t above = e.parent == 0 ? 0 : depth[e.parent];
        if (above >= ExtractDepthLimit)
            return Fail(entries, count, i, ExtractPlanTooDeep,
                        "lies deeper than " + std::to_string(ExtractDepthLimit) + " folders", plan);
        depth[i] = static_cast<uint8_t>(above + 1);
        if (const char* problem = EntryNameProblem(e.name, PackageNameLength(e)))
            return Fail(entries, count, i, ExtractPlanBadName, problem, plan);
        marked.push_back(i);
    }

    // Two entries of one folder whose names Windows takes for one: the setup
    // program finds only the first, and on disk one would replace the other.
    std::vector<uint32_t> byName = marked;
    std::sort(byName.begin(), byName.end(), PackageLookupOrder{entries});
    for (size_t k = 1; k < byName.size(); ++k) {
        const PackageEntry& a = entries[byName[k - 1]];
        const PackageEntry& b = entries[byName[k]];
        if (a.parent == b.parent && AnsiCompareNoCase(a.name, PackageNameLength(a), b.name, PackageNameLength(b)) == 0)
            return Fail(entries, count, byName[k], ExtractPlanSameName,
                        "has the name of entry " + std::to_string(byName[k - 1]) + " in the same folder", plan);
    }

    for (uint32_t i : marked)
        (IsFolder(entries[i]) ? plan->folders : plan->files).push_back(i);
    return ExtractPlanOk;
}

std::string ExtractedPath(const PackageEntry* entries, uint32_t index)
{
    std::vector<uint32_t> chain;
    for (uint32_t at = index; at != 0; at = static_cast<uint32_t>(entries[at].parent))
        chain.push_back(at);
    std::string path;
    for (size_t k = chain.size(); k-- > 0;) {
        const PackageEntry& e = entries[chain[k]];
        path += Windows1252ToUtf8(std::string(e.name, PackageNameLength(e)));
        if (k > 0)
            path += '/';
    }
    return path;
}
