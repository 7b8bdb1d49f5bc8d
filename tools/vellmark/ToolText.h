// Small helpers shared by the tool's commands.
#ifndef VELLMARK_TOOL_TEXT_H
#define VELLMARK_TOOL_TEXT_H

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
