// Windows-1252 <-> UTF-8.
#include "Windows1252.h"

#include <cstdint>

// Code points of the bytes 0x80 to 0x9F in Windows-1252; 0 where the code page
// leaves the byte undefined.  The bytes 0xA0 to 0xFF equal their code points.
static const uint16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code;
        size_t extra;
        if (c < 0x80) { code = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { code = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { code = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { code = c & 0x07; extra = 3; }
        else return false;
        if (i + extra >= utf8.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3F);
        }
        i += extra + 1;
        static const uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra])
            return false;   // an overlong form is not valid UTF-8
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            out += static_cast<char>(code);
            continue;
        }
        int byte = -1;
        for (int k = 0; k < 32; ++k)
            if (Windows1252High[k] != 0 && Windows1252High[k] == code)
                byte = 0x80 + k;
        if (byte < 0)
            return false;
        out += static_cast<char>(byte);
    }
    *ansi = out;
    return true;
}

std::string Windows1252ToUtf8(const std::string& ansi)
{
    std::string out;
    for (unsigned char c : ansi) {
        uint32_t code = c;
        if (c >= 0x80 && c < 0xA0)
            code = Windows1252High[c - 0x80] ? Windows1252High[c - 0x80] : 0xFFFD;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

bool Windows1252Undefined(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 && Windows1252High[byte - 0x80] == 0;
}
