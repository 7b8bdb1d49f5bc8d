#include "EntryName.h"

#include <cstring>

#include "AnsiText.h"
#include "Package.h"
#include "Windows1252.h"

namespace {

bool SameNoCase(const char* a, size_t length, const char* b)
{
    return AnsiCompareNoCase(a, length, b, strlen(b)) == 0;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 before the first dot, in any
// letter case.  Windows also takes the superscript digits 1, 2 and 3 of the
// ANSI code page (0xB9, 0xB2, 0xB3) for port numbers.
bool ReservedDeviceName(const char* name, size_t length)
{
    const char* dot = static_cast<const char*>(memchr(name, '.', length));
    size_t stem = dot ? static_cast<size_t>(dot - name) : length;
    static const char* const Devices[] = {"con", "prn", "aux", "nul"};
    for (const char* device : Devices)
        if (SameNoCase(name, stem, device))
            return true;
    if (stem != 4 || (!SameNoCase(name, 3, "com") && !SameNoCase(name, 3, "lpt")))
        return false;
    unsigned char digit = static_cast<unsigned char>(name[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

const char* EntryNameProblem(const char* name, size_t length)
{
    if (length == 0)
        return "has no name";
    if (length >= PackageNameSize)
        return "has a name of 260 bytes or more";
    if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.'))
        return "is named after a folder itself or its parent";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '\\')
            return "holds a path separator";
        if (c == ':')
            return "holds a colon (a drive letter or a stream name)";
        if (c < 0x20 || c == 0x7F)
            return "holds a control character";
        if (strchr("<>\"|?*", c))
            return "holds a character Windows does not allow in a file name";
        if (Windows1252Undefined(c))
            return "holds a byte that Windows-1252 leaves undefined";
    }
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return "ends in a dot or a blank, which Windows drops";
    if (ReservedDeviceName(name, length))
        return "is a device name that Windows reserves";
    return nullptr;
}
