// Windows-1252, the 8-bit ANSI code page of the names in a package and the
// paths in an install log, and UTF-8, the text of the tool's terminal.
#ifndef VELLMARK_WINDOWS1252_H
#define VELLMARK_WINDOWS1252_H

#include <string>

// Converts UTF-8 text to Windows-1252.  Returns false, leaving *ansi alone,
// when a character has no place in that code page or the text is not valid
// UTF-8 (overlong forms included).
bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi);

// The reverse.  The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become U+FFFD.
std::string Windows1252ToUtf8(const std::string& ansi);

// True for the five bytes the code page leaves undefined.
bool Windows1252Undefined(unsigned char byte);

#endif
