// Helpers shared by the install log's tests: a scratch folder that works both
// natively and under wine, raw file bytes, little-endian records, and a plain
// copy of a list that gtest can compare and print.
#ifndef VELLMARK_TESTS_LOGTESTSUPPORT_H
#define VELLMARK_TESTS_LOGTESTSUPPORT_H

#include "InstallLog.h"
#include "LogFile.h"
#include "LogTestHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace logtest {

using Text = std::optional<std::string>;
const Text Absent = std::nullopt;

// Stops a countdown loop (fail the Nth call for N = 1, 2, ...) that never
// gets through.
constexpr long MaxAttempts = 1000;

// One entry as plain values: absent strings are nullopt, so absent and empty
// compare different.
struct Entry {
    int32_t kind;
    Text text1, text2, text3;
    bool operator==(const Entry& o) const
    {
        return kind == o.kind && text1 == o.text1 && text2 == o.text2 && text3 == o.text3;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Text& t)
{
    return t ? out << '"' << *t << '"' : out << "absent";
}

inline std::ostream& operator<<(std::ostream& out, const Entry& e)
{
    return out << "{" << e.kind << ", " << e.text1 << ", " << e.text2 << ", " << e.text3 << "}";
}

inline Text Copy(const char* s)
{
    return s ? Text(s) : Absent;
}

inline const char* Ptr(const Text& t)
{
    return t ? t->c_str() : nullptr;
}

// The list as values, walked with FindLogEntry the way its users walk it.
inline std::vector<Entry> Entries(const InstallLog& list)
{
    std::vector<Entry> out;
    for (const LogEntry* e = FindLogEntry(&list, nullptr, LogKindAny); e;
         e = FindLogEntry(&list, e, LogKindAny))
        out.push_back({e->kind, Copy(e->text1), Copy(e->text2), Copy(e->text3)});
    return out;
}

inline int Add(InstallLog& list, const Entry& e)
{
    return LogAddEntry(&list, e.kind, Ptr(e.text1), Ptr(e.text2), Ptr(e.text3));
}

// 32-bit little-endian bytes.
inline std::string U32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// One record as the writer lays it out, with the flags given explicitly.
inline std::string Record(int32_t kind, uint32_t flags, const std::vector<std::string>& lines)
{
    std::string s = U32(static_cast<uint32_t>(kind)) + U32(flags);
    for (const std::string& line : lines)
        s += line + "\r\n";
    return s;
}

// A scratch folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        std::ostringstream name;
        name << "vellmark-log-" << random() << "-" << counter++;
        path_ = std::filesystem::temp_directory_path() / name.str();
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Names of the files in the folder, sorted.
    std::vector<std::string> List() const
    {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(path_))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Loads bytes through a memory file, as LoadInstallLog loads a file.
inline LogLoadStatus LoadBytes(InstallLog& list, const std::string& bytes)
{
    ReleaseInstallLog(&list);
    LogFile file;
    LogFileOpenMemory(&file, bytes.data(), bytes.size());
    LogLoadStatus status = ReadInstallLogFile(&list, &file);
    LogFileClose(&file);
    return status;
}

// The bytes WriteInstallLogFile produces for a list.
inline std::string SaveBytes(const InstallLog& list)
{
    LogFile file;
    LogFileCreateMemory(&file);
    EXPECT_EQ(WriteInstallLogFile(&list, &file), 1);
    std::string bytes(reinterpret_cast<const char*>(file.bytes), file.size);
    LogFileClose(&file);
    return bytes;
}

// Every test starts and ends with a released list and no hooks armed.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogTestHooks(); }
    void TearDown() override
    {
        ResetLogTestHooks();
        ReleaseInstallLog(&list);
    }
    InstallLog list{};
};

}  // namespace logtest

#endif
