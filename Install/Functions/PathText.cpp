// Paths put together from pieces, never cut.
#include "PathText.h"

#include <cstring>

#include "Settings.h"

void PathText::Append(const char* piece)
{
    size_t n = strlen(piece);
    if (overlong || n >= sizeof text - length) {
        overlong = true;
        return;
    }
    memcpy(text + length, piece, n + 1);
    length += n;
}

int PathText::CopyTo(char* destination, size_t capacity) const
{
    if (capacity == 0)
        return 0;
    if (overlong || length >= capacity) {
        destination[0] = '\0';
        return 0;
    }
    memcpy(destination, text, length + 1);
    return 1;
}

namespace {

// "\" and a setting's value; false (nothing appended) when it is missing.
bool AppendSettingName(PathText* path, const char* key)
{
    char value[SettingValueSize];
    if (!GetSetting(key, value, sizeof value))
        return false;
    path->Append("\\");
    path->Append(value);
    return true;
}

}  // namespace

void AppendProductNames(PathText* path, ProductNames names)
{
    switch (names) {
    case ProductNamesCompany:
        AppendSettingName(path, "Company");
        break;
    case ProductNamesCompanyAndProduct:
        AppendSettingName(path, "Company");
        AppendSettingName(path, "Product");
        break;
    case ProductNamesCompanyElseProduct:
        if (!AppendSettingName(path, "Company"))
            AppendSettingName(path, "Product");
        break;
    }
}

int BuildProductPath(const char* base, ProductNames names, char* destination, size_t capacity)
{
    PathText path;
    path.Append(base ? base : "");
    AppendProductNames(&path, names);
    return path.CopyTo(destination, capacity);
}
