// The JSON the tool's --json options print: one document on stdout, strings
// escaped so that any name survives (control characters as \u00XX, the rest
// as UTF-8).  `log`, `list`, `check` and `verify` all write through this.
#ifndef VELLMARK_TOOL_JSON_WRITER_H
#define VELLMARK_TOOL_JSON_WRITER_H

#include <cstdint>
#include <string>

// A JSON string from Windows-1252 bytes (a package's names, an install log,
// a script's settings).  The five bytes that code page leaves undefined
// become the control characters of the same number, as Windows maps them, so
// that no byte is lost.  Null gives null.
std::string JsonAnsiString(const char* ansi);

// A JSON string from UTF-8 text (a file name as the command line gave it).
// A byte that is no part of valid UTF-8 becomes U+FFFD.
std::string JsonUtf8String(const std::string& utf8);

// Writes one document, two blanks of indentation a level; an object's
// members and an array's values each on their own line.  The caller pairs
// Begin and End and gives each member's Key before its value.
class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const char* name);
    JsonWriter& Ansi(const char* text);                 // JsonAnsiString
    JsonWriter& Ansi(const std::string& text) { return Ansi(text.c_str()); }
    JsonWriter& Utf8(const std::string& text);          // JsonUtf8String
    JsonWriter& Number(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // The document so far, and a line end after it once it is complete.
    std::string Text() const { return depth_ == 0 ? out_ + "\n" : out_; }

private:
    void BeforeValue();
    void Close(char bracket);

    std::string out_;
    int depth_ = 0;
    bool first_ = true;      // no value yet at this level
    bool afterKey_ = false;  // a key was written; its value follows on the same line
};

#endif
