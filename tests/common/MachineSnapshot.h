// A snapshot of a Windows machine taken from inside it: every folder and file
// of the C: drive with its size and the SHA-256 of its bytes, and every key
// and value of HKLM\Software, the services, the machine's environment and
// HKCU\Software with type and data.  Two snapshots compare as text lines, so a test can say exactly what
// a run left behind.  Files are hashed again only when their size or write
// time changed since the last snapshot.
#ifndef VELLMARK_TESTS_MACHINE_SNAPSHOT_H
#define VELLMARK_TESTS_MACHINE_SNAPSHOT_H

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Sha256.h"

namespace snapshot {

struct Snapshot {
    std::map<std::string, std::string> lines;   // subject -> what it is
};

// A file's hash, by path, with the size and write time it was taken at.
struct CachedHash {
    unsigned long long size;
    unsigned long long written;
    std::string hash;
};

class Taker {
public:
    // A folder outside the machine's C: drive for the saved registry.
    std::string scratch = ".";

    // Paths (C:\... as Windows names them, compared in small letters) whose
    // files are compared by size alone: wine's shell links record the times
    // of the folders on their way, so their bytes differ from run to run.
    std::vector<std::string> sizeOnlySuffixes = {".lnk"};

    // Another drive besides C: (a small one that a test fills up).
    std::string otherDrive;

    Snapshot Take()
    {
        Snapshot s;
        WalkFolder("C:", &s, 0);
        if (!otherDrive.empty())
            WalkFolder(otherDrive, &s, 0);
        SaveKey(HKEY_LOCAL_MACHINE, "HKLM", "Software", &s);
        SaveKey(HKEY_LOCAL_MACHINE, "HKLM", "System\\CurrentControlSet\\Services", &s);
        SaveKey(HKEY_LOCAL_MACHINE, "HKLM", "System\\CurrentControlSet\\Control\\Session Manager\\Environment", &s);
        SaveKey(HKEY_CURRENT_USER, "HKCU", "Software", &s);
        return s;
    }

private:
    static std::string Lower(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return text;
    }

    bool SizeOnly(const std::string& path) const
    {
        std::string lower = Lower(path);
        for (const std::string& suffix : sizeOnlySuffixes)
            if (lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
        return false;
    }

    static bool Skipped(const std::string& lowerPath)
    {
        // wine links the user's shell folders to the Unix home, and keeps
        // its own caches and crash dumps in these.
        static const char* const skipped[] = {"\\desktop", "\\documents", "\\downloads", "\\music", "\\pictures",
                                              "\\videos", "\\templates", "\\my documents"};
        if (lowerPath.rfind("c:\\users\\", 0) == 0)
            for (const char* name : skipped)
                if (lowerPath.size() >= strlen(name) &&
                    lowerPath.compare(lowerPath.size() - strlen(name), strlen(name), name) == 0)
                    return true;
        return false;
    }

    std::string Hash(const std::string& path, unsigned long long size, unsigned long long written)
    {
        auto found = cache_.find(path);
        if (found != cache_.end() && found->second.size == size && found->second.written == written)
            return found->second.hash;
        Sha256 hash;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "unreadable";
        static char buffer[1 << 16];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            hash.Update(buffer, got);
        CloseHandle(file);
        char text[Sha256TextSize];
        hash.FinishText(text);
        cache_[path] = {size, written, text};
        return text;
    }

    void WalkFolder(const std::string& folder, Snapshot* s, int depth)
    {
        if (depth > 40)
            return;
        WIN32_FIND_DATAA found;
        HANDLE walk = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (walk == INVALID_HANDLE_VALUE)
            return;
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT || Skipped(Lower(path)))
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                s->lines["dir   " + path] = "";
                WalkFolder(path, s, depth + 1);
                continue;
            }
            unsigned long long size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            unsigned long long written = (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                         found.ftLastWriteTime.dwLowDateTime;
            std::string what = std::to_string(size) + " bytes";
            if (!SizeOnly(path))
                what += " " + Hash(path, size, written).substr(0, 16);
            s->lines["file  " + path] = what;
        } while (FindNextFileA(walk, &found));
        FindClose(walk);
    }

    // The registry is saved by the system itself (RegSaveKeyA writes a key
    // with everything below it in one call, where walking it asks for every
    // key and value on its own) into `scratch`, and read back.  wine saves
    // its text format: a line "[KEY] TIME" per key with "#time=" after it,
    // then the key's values, a long one continued on lines ending in "\".
    // The times are left out: a key written and put back is no change.
    void SaveKey(HKEY root, const std::string& rootName, const char* path, Snapshot* s)
    {
        EnableBackupPrivilege();
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;
        std::string file = scratch + "\\saved.reg";
        DeleteFileA(file.c_str());
        LONG saved = RegSaveKeyA(key, file.c_str(), nullptr);
        RegCloseKey(key);
        if (saved != ERROR_SUCCESS) {
            s->lines["error " + rootName + "\\" + path] = "RegSaveKey " + std::to_string(saved);
            return;
        }
        std::string text = ReadAll(file);
        DeleteFileA(file.c_str());
        std::string base = Lower(rootName + "\\" + path);
        std::string current;
        bool skipping = false;
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(at, end - at);
            at = end + 1;
            while (!line.empty() && line.back() == '\\' && at < text.size()) {
                size_t next = text.find('\n', at);
                if (next == std::string::npos)
                    next = text.size();
                line.pop_back();
                line += text.substr(at, next - at);
                at = next + 1;
            }
            if (line.empty() || line[0] == '#' || line[0] == ';' || line.rfind("WINE REGISTRY", 0) == 0)
                continue;
            if (line[0] == '[') {
                size_t close = line.rfind(']');
                std::string name = Lower(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                current = base + "\\" + name;
                // wine's own settings and the network cards it finds change
                // by themselves.
                skipping = current.find("\\software\\wine") != std::string::npos ||
                           current.find("\\networkcards") != std::string::npos;
                if (!skipping)
                    s->lines["key   " + current] = "";
                continue;
            }
            if (skipping)
                continue;
            size_t equals = line.find("\"=");
            std::string name = equals == std::string::npos ? line.substr(0, line.find('=')) : line.substr(0, equals + 1);
            std::string value = line.substr(name.size() + 1);
            s->lines["value " + current + ": " + Lower(name)] = value;
        }
    }

    static void EnableBackupPrivilege()
    {
        static bool enabled = false;
        if (enabled)
            return;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return;
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
        enabled = true;
    }

    static std::string ReadAll(const std::string& path)
    {
        std::string bytes;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return bytes;
        static char buffer[1 << 16];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    }

    std::map<std::string, CachedHash> cache_;
};

// What differs from `before` to `after`, one line each ("+", "-", "~"), but
// for the subjects that hold one of the texts of `ignored` (small letters).
inline std::string Difference(const Snapshot& before, const Snapshot& after,
                              const std::vector<std::string>& ignored = {})
{
    auto skip = [&](const std::string& subject) {
        std::string lower = subject;
        for (char& c : lower)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (const std::string& prefix : ignored)
            if (lower.find(prefix) != std::string::npos)
                return true;
        return false;
    };
    std::string text;
    for (const auto& [subject, what] : before.lines) {
        if (skip(subject))
            continue;
        auto found = after.lines.find(subject);
        if (found == after.lines.end())
            text += "- " + subject + " " + what + "\n";
        else if (found->second != what)
            text += "~ " + subject + " " + what + " -> " + found->second + "\n";
    }
    for (const auto& [subject, what] : after.lines)
        if (!skip(subject) && before.lines.find(subject) == before.lines.end())
            text += "+ " + subject + " " + what + "\n";
    return text;
}

}  // namespace snapshot

#endif
