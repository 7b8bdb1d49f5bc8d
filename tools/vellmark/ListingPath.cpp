#include "ListingPath.h"

#include <vector>

#include "ToolText.h"

int BuildListingPath(const PackageEntry* entries, uint32_t count, uint32_t index, std::string* path)
{
    // The chain from the entry up to (not including) the root; UINT32_MAX
    // stands for a parent that is no entry of the directory.
    uint32_t chain[ListingPathDepthLimit + 1];
    uint32_t depth = 0;
    uint32_t at = index;
    path->clear();
    while (at != 0) {
        if (at >= count) {
            chain[depth++] = UINT32_MAX;
            break;
        }
        if (depth == ListingPathDepthLimit)
            return ListingPathTooDeep;
        chain[depth++] = at;
        int32_t parent = entries[at].parent;
        if (parent < 0) {
            chain[depth++] = UINT32_MAX;
            break;
        }
        at = static_cast<uint32_t>(parent);
    }
    for (uint32_t k = depth; k-- > 0;) {
        if (k + 1 < depth)
            *path += '\\';   // also after an empty name, so every level shows
        if (chain[k] == UINT32_MAX) {
            *path += '?';
            continue;
        }
        const PackageEntry& e = entries[chain[k]];
        *path += EscapedForTerminal(std::string(e.name, PackageNameLength(e)), "\"\\");
    }
    return ListingPathOk;
}
