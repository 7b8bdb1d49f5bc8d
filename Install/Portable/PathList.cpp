// Editing a search path: finding, adding and removing one folder.
#include "PathList.h"

#include <cstring>

namespace {

struct Span {
    const char* begin;
    size_t length;
};

char Folded(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

// The folder an item names: blanks, one pair of quotes and trailing
// backslashes taken off.  Empty for an empty item.
Span Normalized(const char* begin, size_t length)
{
    while (length > 0 && Blank(*begin)) {
        ++begin;
        --length;
    }
    while (length > 0 && Blank(begin[length - 1]))
        --length;
    if (length >= 2 && begin[0] == '"' && begin[length - 1] == '"') {
        ++begin;
        length -= 2;
    }
    while (length > 0 && (begin[length - 1] == '\\' || begin[length - 1] == '/'))
        --length;
    return {begin, length};
}

bool SameFolder(Span a, Span b)
{
    if (a.length == 0 || a.length != b.length)
        return false;
    for (size_t i = 0; i < a.length; ++i) {
        char x = a.begin[i] == '/' ? '\\' : Folded(a.begin[i]);
        char y = b.begin[i] == '/' ? '\\' : Folded(b.begin[i]);
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

bool PathListHas(const char* list, const char* folder)
{
    if (!list || !folder)
        return false;
    Span wanted = Normalized(folder, strlen(folder));
    const char* item = list;
    for (;;) {
        const char* end = strchr(item, ';');
        size_t length = end ? static_cast<size_t>(end - item) : strlen(item);
        if (SameFolder(Normalized(item, length), wanted))
            return true;
        if (!end)
            return false;
        item = end + 1;
    }
}

int PathListAdd(const char* list, const char* folder, char* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    if (!folder || strchr(folder, ';') || Normalized(folder, strlen(folder)).length == 0)
        return 0;
    size_t listLength = list ? strlen(list) : 0;
    size_t folderLength = strlen(folder);
    bool separator = listLength > 0 && list[listLength - 1] != ';';
    size_t total = listLength + (separator ? 1 : 0) + folderLength;
    if (total >= capacity)
        return 0;
    if (listLength)
        memcpy(out, list, listLength);
    if (separator)
        out[listLength++] = ';';
    memcpy(out + listLength, folder, folderLength + 1);
    return 1;
}

int PathListRemove(const char* list, const char* folder, char* out, size_t capacity)
{
    if (capacity == 0)
        return -1;
    out[0] = '\0';
    if (!list)
        return 0;
    Span wanted = Normalized(folder ? folder : "", folder ? strlen(folder) : 0);
    size_t used = 0;
    int removed = 0;
    // Whether a separator is owed before the next kept item: the one that
    // followed the item kept last.
    bool pending = false;
    bool anyKept = false;
    const char* item = list;
    for (;;) {
        const char* end = strchr(item, ';');
        size_t length = end ? static_cast<size_t>(end - item) : strlen(item);
        if (SameFolder(Normalized(item, length), wanted)) {
            ++removed;
        } else {
            size_t need = (pending ? 1 : 0) + length;
            if (used + need >= capacity) {
                out[0] = '\0';
                return -1;
            }
            if (pending)
                out[used++] = ';';
            memcpy(out + used, item, length);
            used += length;
            anyKept = true;
            pending = false;
        }
        if (!end)
            break;
        // The separator after a kept item stays; the one after a removed
        // item goes with it, except that a list which began with the removed
        // item keeps the separators of the items after it.
        if (anyKept)
            pending = true;
        item = end + 1;
    }
    out[used] = '\0';
    return removed;
}
