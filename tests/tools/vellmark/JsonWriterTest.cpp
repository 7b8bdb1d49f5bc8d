// The JSON every --json option prints: strings that survive any name, and
// documents that nest as they are written.
#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(JsonWriter, AnsiStringsBecomeUtf8WithControlsEscaped)
{
    struct Case {
        const char* ansi;
        const char* json;
    } cases[] = {
        {"plain", "\"plain\""},
        {"", "\"\""},
        {"C:\\Program Files\\\"Acme\"", "\"C:\\\\Program Files\\\\\\\"Acme\\\"\""},
        {"line\nfeed\r\ttab\x1B[2J\x7F", "\"line\\u000Afeed\\u000D\\u0009tab\\u001B[2J\\u007F\""},
        {"caf\xE9 \x80 \x9F", "\"caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8\""},   // é, €, Ÿ from Windows-1252
        {"\x81\x8D\x8F\x90\x9D", "\"\\u0081\\u008D\\u008F\\u0090\\u009D\""},   // undefined there: kept as controls
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonAnsiString(c.ansi), c.json) << c.ansi;
    EXPECT_EQ(JsonAnsiString(nullptr), "null");
}

TEST(JsonWriter, Utf8StringsKeepValidTextAndReplaceBrokenBytes)
{
    struct Case {
        std::string utf8;
        const char* json;
    } cases[] = {
        {"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80", "\"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"a\"b\\c\nd\te\x01", "\"a\\\"b\\\\c\\nd\\te\\u0001\""},
        {std::string("nul\0inside", 10), "\"nul\\u0000inside\""},
        {"\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\""},            // Latin-1 bytes are no UTF-8
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // an overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
        {"cut \xE2\x82", "\"cut \xEF\xBF\xBD\xEF\xBF\xBD\""},          // a sequence cut short
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonUtf8String(c.utf8), c.json) << c.utf8;
}

TEST(JsonWriter, NestsMembersAndValuesOneALine)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("name").Ansi("caf\xE9");
    json.Key("none").Null();
    json.Key("empty").BeginArray().EndArray();
    json.Key("list").BeginArray().Number(-1).Bool(true).BeginObject().Key("k").Utf8("v").EndObject().EndArray();
    json.Key("object").BeginObject().EndObject();
    json.EndObject();
    EXPECT_EQ(json.Text(),
              "{\n"
              "  \"name\": \"caf\xC3\xA9\",\n"
              "  \"none\": null,\n"
              "  \"empty\": [],\n"
              "  \"list\": [\n"
              "    -1,\n"
              "    true,\n"
              "    {\n"
              "      \"k\": \"v\"\n"
              "    }\n"
              "  ],\n"
              "  \"object\": {}\n"
              "}\n");
}

}  // namespace
