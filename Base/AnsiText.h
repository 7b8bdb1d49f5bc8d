// 8-bit ANSI text helpers shared by every unit.
//
// Names in the package directory, in the install log and in the script are
// compared the way `_stricmp` compares them in the "C" locale: only the ASCII
// letters A-Z fold, every other byte (128 and above included) stands for itself.
// Both programs and the command-line tool use these so that a lookup gives the
// same answer on every platform, whatever the C library's locale says.
#ifndef VELLMARK_ANSITEXT_H
#define VELLMARK_ANSITEXT_H

#include <cstddef>

inline unsigned char AnsiFold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// <0, 0, >0 like _stricmp over two NUL-terminated texts.
inline int AnsiCompareNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        int ca = AnsiFold(static_cast<unsigned char>(*a));
        int cb = AnsiFold(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

// The same over two texts of known length (they need no terminator).
inline int AnsiCompareNoCase(const char* a, size_t lengthA, const char* b, size_t lengthB)
{
    size_t n = lengthA < lengthB ? lengthA : lengthB;
    for (size_t i = 0; i < n; ++i) {
        int ca = AnsiFold(static_cast<unsigned char>(a[i]));
        int cb = AnsiFold(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    return lengthA < lengthB ? -1 : (lengthA > lengthB ? 1 : 0);
}

#endif
