// Editing a search path, the machine's `Path` value: folders separated by
// semicolons.  Portable, so that the rules are tested natively.
//
// Two items name the same folder when they are equal without regard to ASCII
// case once each is trimmed of surrounding blanks, of one pair of double
// quotes around it, and of trailing backslashes ("C:\Tool\" is "c:\tool",
// but "C:\" stays "C:\" only as far as its drive: "C:" and "C:\" match).
// Empty items (";;", a leading or trailing ";") are never a folder: they are
// kept as they are by a removal and never matched.
#ifndef VELLMARK_PATHLIST_H
#define VELLMARK_PATHLIST_H

#include <cstddef>

// Whether `list` (may be null) holds an item naming `folder`.
bool PathListHas(const char* list, const char* folder);

// Writes `list` with `folder` appended as a new item into `out` (`capacity`
// bytes): a ";" goes between them unless the list is empty or already ends
// in one.  Returns 1 when `out` holds the new list; 0 when the folder is
// empty, holds a ";" (it would become two items), or the result does not fit
// (`out` is then empty).  The caller tests PathListHas first.
int PathListAdd(const char* list, const char* folder, char* out, size_t capacity);

// Writes `list` without the items that name `folder` into `out`: every other
// item stays in its place with its own spelling, the separators around a
// removed item collapse into one, and nothing else changes.  Returns the
// number of items removed, or -1 when `out` is too small (it is then empty).
int PathListRemove(const char* list, const char* folder, char* out, size_t capacity);

#endif
