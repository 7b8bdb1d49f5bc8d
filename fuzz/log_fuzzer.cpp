// Feeds arbitrary bytes to the install log's reader, the way LoadInstallLog
// reads a file, and checks what it built:
//   - the walk over the list ends, and sees exactly `count` entries;
//   - every string the reader kept fits one line of the file;
//   - writing the list and reading it back gives the same list and the same
//     bytes again (a log the reader accepts survives a save);
//   - the duplicate index knows every text1 it was given, under any case.
#include "InstallLog.h"
#include "LogFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Save(const InstallLog& list)
{
    LogFile file;
    LogFileCreateMemory(&file);
    if (!WriteInstallLogFile(&list, &file))
        std::abort();
    std::string bytes(reinterpret_cast<const char*>(file.bytes), file.size);
    LogFileClose(&file);
    return bytes;
}

LogLoadStatus Load(InstallLog& list, const void* data, size_t size)
{
    LogFile file;
    LogFileOpenMemory(&file, data, size);
    LogLoadStatus status = ReadInstallLogFile(&list, &file);
    LogFileClose(&file);
    return status;
}

bool SameText(const char* a, const char* b)
{
    return (!a && !b) || (a && b && std::strcmp(a, b) == 0);
}

void CheckFitsOneLine(const char* text)
{
    if (text && (std::strlen(text) > LogMaxTextLength || std::strpbrk(text, "\r\n")))
        std::abort();
}

std::string FlipCase(const char* text)
{
    std::string s(text);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InstallLog list{};
    LogLoadStatus status = Load(list, data, size);
    if (status == LogLoadNotALog && list.count != 0)
        std::abort();

    size_t walked = 0;
    for (const LogEntry* e = FindLogEntry(&list, nullptr, LogKindAny); e; e = FindLogEntry(&list, e, LogKindAny)) {
        if (++walked > list.count)
            std::abort();
        CheckFitsOneLine(e->text1);
        CheckFitsOneLine(e->text2);
        CheckFitsOneLine(e->text3);
    }
    if (walked != list.count)
        std::abort();

    std::string saved = Save(list);
    InstallLog again{};
    if (Load(again, saved.data(), saved.size()) != LogLoadComplete || again.count != list.count)
        std::abort();
    for (const LogEntry *a = list.first, *b = again.first; a; a = a->next, b = b->next) {
        if (a->kind != b->kind || !SameText(a->text1, b->text1) || !SameText(a->text2, b->text2) ||
            !SameText(a->text3, b->text3))
            std::abort();
    }
    if (Save(again) != saved)
        std::abort();
    ReleaseInstallLog(&again);

    for (const LogEntry* e = list.first; e; e = e->next) {
        if (e->text1 && LogAddEntry(&list, e->kind, FlipCase(e->text1).c_str(), nullptr, nullptr) != 0)
            std::abort();
    }
    ReleaseInstallLog(&list);
    return 0;
}
