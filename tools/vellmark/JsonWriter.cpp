#include "JsonWriter.h"

#include <cstdio>

#include "Windows1252.h"

namespace {

void AppendControl(std::string* out, unsigned char c)
{
    char escape[8];
    switch (c) {
    case '\n':
        *out += "\\n";
        return;
    case '\r':
        *out += "\\r";
        return;
    case '\t':
        *out += "\\t";
        return;
    default:
        snprintf(escape, sizeof escape, "\\u%04X", c);
        *out += escape;
    }
}

// The length of the valid UTF-8 sequence at `p` (of `left` bytes), or 0.
size_t Utf8SequenceLength(const unsigned char* p, size_t left)
{
    unsigned char c = p[0];
    size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || length > left)
        return 0;
    uint32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

std::string JsonAnsiString(const char* text)
{
    if (!text)
        return "null";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || Windows1252Undefined(c)) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += Windows1252ToUtf8(std::string(1, static_cast<char>(c)));
        }
    }
    return out + "\"";
}

std::string JsonUtf8String(const std::string& text)
{
    std::string out = "\"";
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        unsigned char c = *p;
        size_t length = Utf8SequenceLength(p, left);
        if (length == 0) {
            out += "\xEF\xBF\xBD";   // U+FFFD
            length = 1;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendControl(&out, c);
        } else {
            out.append(reinterpret_cast<const char*>(p), length);
        }
        p += length;
        left -= length;
    }
    return out + "\"";
}

void JsonWriter::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (depth_ > 0) {
        out_ += first_ ? "\n" : ",\n";
        out_.append(static_cast<size_t>(depth_) * 2, ' ');
    }
    first_ = false;
}

void JsonWriter::Close(char bracket)
{
    --depth_;
    if (!first_) {
        out_ += "\n";
        out_.append(static_cast<size_t>(depth_) * 2, ' ');
    }
    out_ += bracket;
    first_ = false;
}

JsonWriter& JsonWriter::BeginObject()
{
    BeforeValue();
    out_ += '{';
    ++depth_;
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::EndObject()
{
    Close('}');
    return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
    BeforeValue();
    out_ += '[';
    ++depth_;
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    Close(']');
    return *this;
}

JsonWriter& JsonWriter::Key(const char* name)
{
    BeforeValue();
    out_ += JsonUtf8String(name) + ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::Ansi(const char* text)
{
    BeforeValue();
    out_ += JsonAnsiString(text);
    return *this;
}

JsonWriter& JsonWriter::Utf8(const std::string& text)
{
    BeforeValue();
    out_ += JsonUtf8String(text);
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value)
{
    BeforeValue();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value)
{
    BeforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null()
{
    BeforeValue();
    out_ += "null";
    return *this;
}
