// One string of a record: its bytes and CR LF.
#include "LogFile.h"

#include <cstring>

int ReadLogLine(LogFile* file, char* buffer, int capacity, LogLineEnd* end)
{
    if (capacity < 1) {
        if (end)
            *end = LogLineEndCut;
        return 0;
    }
    int count = 0;
    LogLineEnd stop = LogLineEndEOF;
    for (;;) {
        unsigned char byte;
        uint32_t done = 0;
        // Only a read that delivers exactly the one byte counts.
        if (!LogFileRead(file, &byte, 1, &done) || done != 1)
            break;
        if (byte == '\r')
            continue;
        if (byte == '\n') {
            stop = LogLineEndLF;
            break;
        }
        buffer[count++] = static_cast<char>(byte);
        if (count == capacity) {
            // The buffer is full: the byte just stored gives way to the
            // terminator, and the rest of the line stays in the file.
            --count;
            stop = LogLineEndCut;
            break;
        }
    }
    buffer[count] = '\0';
    if (end)
        *end = stop;
    return count;
}

int WriteLogLine(LogFile* file, const char* text)
{
    size_t length = std::strlen(text);
    if (length > 0 && (length > UINT32_MAX || !LogFileWrite(file, text, static_cast<uint32_t>(length))))
        return 0;
    return LogFileWrite(file, "\r\n", 2);
}
