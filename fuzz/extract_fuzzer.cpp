// The plan of `vellmark extract -d DIR`: for an arbitrary directory (names
// with any bytes, "..", separators, drive letters, parents pointing anywhere,
// loops, deep chains) and an arbitrary choice of subtrees, every path the
// plan would write stays inside DIR.
//
// The input is:
//   count      1 byte: how many chosen entries follow (0: the whole package)
//   chosen     count x 2 bytes, little-endian entry indices
//   records    one after another (FuzzRecords.h, with flags), each:
//                parent   2 bytes, little-endian, signed
//                flags    1 byte; bit 0 marks a folder
//                length   1 byte; the name is that many bytes
//                name     the bytes
// and checks, when the plan is accepted:
//   - every path is relative, made of '/'-separated components that are
//     neither empty, "." nor "..", and hold no '\\', ':' or control character;
//   - DIR joined with it and normalised still lies inside DIR;
//   - every entry's folder is itself planned, before it (or is DIR);
//   - no two planned entries share a path, even as Windows compares names;
//   - with no choice, every entry is planned;
// and, when it is refused, that the plan is empty and names the entry.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ExtractPlan.h"
#include "FuzzRecords.h"
#include "LittleEndian.h"
#include "Package.h"

namespace fs = std::filesystem;

namespace {

bool CleanComponent(const std::string& c)
{
    if (c.empty() || c == "." || c == "..")
        return false;
    for (unsigned char b : c)
        if (b < 0x20 || b == 0x7F || b == '\\' || b == ':')
            return false;
    return true;
}

bool Inside(const fs::path& dir, const std::string& relative)
{
    fs::path joined = (dir / fs::u8path(relative)).lexically_normal();
    auto d = dir.begin();
    auto j = joined.begin();
    for (; d != dir.end(); ++d, ++j)
        if (j == joined.end() || *d != *j)
            return false;
    return j != joined.end();
}

std::string Folded(const std::string& path)
{
    std::string f = path;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t at = 0;
    size_t count = data[at++];
    std::vector<uint32_t> chosen;
    for (size_t k = 0; k < count && at + 2 <= size; ++k, at += 2)
        chosen.push_back(ReadLittle16(data + at));
    std::vector<PackageEntry> dir = DecodeFuzzRecords(data, size, at, true);
    if (dir.empty())
        return 0;
    // Chosen entries come from look-ups in the package: they exist.
    for (uint32_t& c : chosen)
        c %= static_cast<uint32_t>(dir.size());

    ExtractPlan plan;
    int result = PlanExtraction(dir.data(), static_cast<uint32_t>(dir.size()), chosen, &plan);
    if (result != ExtractPlanOk) {
        if (!plan.folders.empty() || !plan.files.empty() || plan.error.empty() || plan.entry >= dir.size())
            __builtin_trap();
        return 0;
    }
    const fs::path base = "/fuzz/DIR";
    std::set<uint32_t> planned;
    std::set<std::string> paths;
    std::vector<uint32_t> all = plan.folders;
    all.insert(all.end(), plan.files.begin(), plan.files.end());
    for (size_t k = 0; k < all.size(); ++k) {
        uint32_t i = all[k];
        if (i == 0 || i >= dir.size())
            __builtin_trap();
        bool isFolder = k < plan.folders.size();
        if (isFolder != ((dir[i].attributes & PackageAttributeDirectory) != 0))
            __builtin_trap();
        int32_t parent = dir[i].parent;
        // Folders are listed after their parents, files after every folder.
        if (parent != 0 && !planned.count(static_cast<uint32_t>(parent)))
            __builtin_trap();
        if (isFolder)
            planned.insert(i);
        std::string path = ExtractedPath(dir.data(), i);
        size_t start = 0;
        for (;;) {
            size_t slash = path.find('/', start);
            if (!CleanComponent(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start)))
                __builtin_trap();
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
        if (!Inside(base, path))
            __builtin_trap();
        if (!paths.insert(Folded(path)).second)
            __builtin_trap();
    }
    bool everything = chosen.empty();
    for (uint32_t c : chosen)
        everything = everything || c == 0;
    if (everything && all.size() != dir.size() - 1)
        __builtin_trap();
    for (uint32_t c : chosen)
        if (c != 0 && std::find(all.begin(), all.end(), c) == all.end())
            __builtin_trap();
    return 0;
}
