// Small helpers shared by the tool's commands.
#ifndef VELLMARK_TOOL_TEXT_H
#define VELLMARK_TOOL_TEXT_H

#include <cstdio>
#include <cstring>
#include <string>

#include "Windows1252.h"

// Names in a package are Windows-1252; the terminal of the Linux tool speaks
// UTF-8, a Windows console the ANSI code page itself.
inline std::string AnsiForTerminal(const std::string& ansi)
{
#ifdef _WIN32
    return ansi;
#else
    return Windows1252ToUtf8(ansi);
#endif
}

// An ANSI text as the tool prints it: the bytes that would garble or forge a
// line on a terminal (control bytes, 0x7F) and those in `alsoEscaped` become
// \xNN, the rest is converted for the terminal.  `log` quotes its strings and
// escapes the double quote; `list` escapes the backslash inside a name, where
// it would pass for a folder separator.
inline std::string EscapedForTerminal(const std::string& ansi, const char* alsoEscaped)
{
    std::string plain;
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x20 || c == 0x7F || (c != 0 && strchr(alsoEscaped, c))) {
            out += AnsiForTerminal(plain);
            plain.clear();
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            plain += static_cast<char>(c);
        }
    }
    return out + AnsiForTerminal(plain);
}

inline bool AnsiFromTerminal(const std::string& text, std::string* ansi)
{
#ifdef _WIN32
    *ansi = text;
    return true;
#else
    return Utf8ToWindows1252(text, ansi);
#endif
}

#endif
