// The path `vellmark list` prints for every entry of an arbitrary directory:
// names with any bytes, parents pointing anywhere (outside the directory,
// negative, at later entries, in loops) and chains of any depth.
//
// The input is the directory records of FuzzRecords.h without flags:
//   parent     2 bytes, little-endian, signed (so -1, loops and far indices occur)
//   length     1 byte; the name is that many bytes
//   name       the bytes
// and checks, for every entry but the root:
//   - the path is built exactly when a walk up the parents meets the root (or a
//     parent outside the directory) within ListingPathDepthLimit entries, and
//     then equals the path a plain model of the rule builds: the names from the
//     top down, each byte below 0x20, 0x7F, '"' and '\\' as \xNN, "?" for a
//     parent that is no entry;
//   - it is valid UTF-8 with no control character (C0, DEL or C1), so no name
//     can act on a terminal or begin a new listing line.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzRecords.h"
#include "ListingPath.h"
#include "Package.h"
#include "Windows1252.h"

namespace {

// The listing path by the rule, written plainly; false when the walk up the
// parents does not meet the root (or leave the directory) within the limit.
bool ModelPath(const std::vector<PackageEntry>& dir, uint32_t index, std::string* path)
{
    std::vector<std::string> components;
    uint32_t at = index;
    while (at != 0) {
        if (at >= dir.size()) {
            components.push_back("?");
            break;
        }
        if (components.size() == ListingPathDepthLimit)
            return false;
        std::string name;
        for (size_t k = 0; k < PackageNameSize && dir[at].name[k]; ++k) {
            unsigned char c = static_cast<unsigned char>(dir[at].name[k]);
            if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", c);
                name += hex;
            } else {
                name += Windows1252ToUtf8(std::string(1, static_cast<char>(c)));
            }
        }
        components.push_back(name);
        if (dir[at].parent < 0) {
            components.push_back("?");
            break;
        }
        at = static_cast<uint32_t>(dir[at].parent);
    }
    path->clear();
    for (size_t k = components.size(); k-- > 0;)
        *path += components[k] + (k ? "\\" : "");
    return true;
}

// Decodes UTF-8; false on a malformed sequence or a control character.
bool CleanUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t code;
        size_t length;
        if (c < 0x80) {
            code = c;
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            length = 3;
        } else {
            return false;   // the Windows-1252 repertoire needs at most three bytes
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3F);
        }
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<PackageEntry> dir = DecodeFuzzRecords(data, size, 0, false);
    std::string path, model;
    for (uint32_t i = 1; i < dir.size(); ++i) {
        int result = BuildListingPath(dir.data(), static_cast<uint32_t>(dir.size()), i, &path);
        bool shallow = ModelPath(dir, i, &model);
        if ((result == ListingPathOk) != shallow)
            __builtin_trap();
        if (result != ListingPathOk) {
            if (!path.empty())
                __builtin_trap();
            continue;
        }
        if (path != model || !CleanUtf8(path))
            __builtin_trap();
    }
    return 0;
}
