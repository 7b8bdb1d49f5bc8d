// The thin file layer under the install log, and the line and record codecs
// that work on it.
//
// On Windows a LogFile is a HANDLE reached through CreateFileA, ReadFile,
// WriteFile, SetFilePointer, GetFileSize and CloseHandle; natively it is a
// POSIX descriptor.  On every platform it can instead be a block of memory, so
// the fuzzer and the tests can read and write logs without touching a disk.
//
// Every call returns 1 on success and 0 on failure; a failed call leaves its
// outputs untouched.
#ifndef VELLMARK_LOGFILE_H
#define VELLMARK_LOGFILE_H

#include "InstallLog.h"

#include <cstddef>
#include <cstdint>

// Bytes a file opened for reading fetches from the system at a time.  The
// loader reads a line byte by byte; the read-ahead turns that into one system
// call per this many bytes.
constexpr uint32_t LogReadAheadSize = 8192;

struct LogFile {
    intptr_t handle;  // the HANDLE on Windows, the descriptor natively; -1 for none
    // Memory files: reads come from `bytes`; writes append to it, growing it
    // (the file then owns `bytes`).  Null for a file on disk.
    unsigned char* bytes;
    size_t size;
    size_t capacity;
    size_t position;
    bool isMemory;
    bool ownsBytes;
    // Files from LogFileOpenRead: bytes the system has delivered and the
    // caller has not read yet are readAhead[aheadNext, aheadEnd).  The
    // system's file position is therefore aheadEnd - aheadNext bytes past the
    // caller's; LogFilePosition reports the caller's.  Nobody can write such
    // a file while it is open (it is shared for reading only), so its size
    // is asked once, when first needed; the system's position starts at 0
    // when the file is opened (this layer never seeks) and is followed by
    // counting the bytes the system delivers.  The loader compares both
    // before every record, and two system calls a record would cost more
    // than the reading itself.
    bool readsAhead;
    bool sizeKnown;
    uint32_t aheadNext;
    uint32_t aheadEnd;
    uint64_t systemSize;
    uint64_t systemPosition;
    unsigned char readAhead[LogReadAheadSize];
};

// Opens an existing file for reading (the log loader's mode: shared for
// reading, random access).  Fails for a directory.
int LogFileOpenRead(LogFile* file, const char* path);
// Creates or truncates a file for writing, opened exclusively.
int LogFileCreate(LogFile* file, const char* path);
// The same, but others may read the file while it is written (the journal of
// an installation, which a test or an administrator may look into).
int LogFileCreateShared(LogFile* file, const char* path);
// A memory file over `size` bytes that stay the caller's; reads only.
void LogFileOpenMemory(LogFile* file, const void* bytes, size_t size);
// An empty memory file that grows as it is written; LogFileClose frees it.
void LogFileCreateMemory(LogFile* file);

// Reads up to `size` bytes at the current position; `*done` gets the count
// read (0 at the end of the file).  0 when the read failed; the position is
// then where it was.  A file opened for reading serves the bytes from its
// read-ahead; a read that needs more than it holds fetches the next part, and
// when that fetch fails after some bytes were served, the call returns those
// as a short read and the next call asks the system again.
int LogFileRead(LogFile* file, void* buffer, uint32_t size, uint32_t* done);
// Writes all `size` bytes; a short write counts as a failure.
int LogFileWrite(LogFile* file, const void* data, uint32_t size);
// The current position and the size of the file.
int LogFilePosition(LogFile* file, uint64_t* position);
int LogFileSize(LogFile* file, uint64_t* size);
// Forces written bytes to the disk (nothing to do for memory).
int LogFileFlush(LogFile* file);
// Closes the file; 0 when the system reported a failure on closing (the
// written bytes may then be lost).  The LogFile is closed either way.
int LogFileClose(LogFile* file);

// Moves the file at `from` over the file at `to`, replacing it, so that `to`
// names either the old or the new file at every moment.  On the Windows 95
// family, where MoveFileExA is not implemented, the old file is first moved
// aside (`to` followed by ".old") and put back when the move fails.
int LogFileReplace(const char* from, const char* to);
// Deletes a file; 0 when it could not be deleted (or did not exist).
int LogFileRemove(const char* path);

// How ReadLogLine stopped.
enum LogLineEnd {
    LogLineEndLF = 0,   // at the LF that ends the line
    LogLineEndCut = 1,  // at the capacity: the line goes on in the file
    LogLineEndEOF = 2,  // a read failed or found nothing: the line has no LF
};

// Reads one line byte by byte into `buffer` (terminated) and returns the number
// of characters stored.  A CR is dropped, an LF ends the line and is not kept.
// When the count reaches `capacity` the line is cut to capacity - 1 characters:
// the last byte read is lost and the rest of the line stays in the file, to be
// read as whatever field comes next.  `*end`, when given, tells why reading
// stopped.  A capacity below 1 reads nothing and returns 0 (LogLineEndCut).
int ReadLogLine(LogFile* file, char* buffer, int capacity, LogLineEnd* end = nullptr);

// Writes the text's bytes (when it is not empty) and then CR LF.  Returns 1
// when the CR LF was written, 0 when a write failed (and after a failed text
// write nothing more is written).
int WriteLogLine(LogFile* file, const char* text);

// Appends the records of an opened log to the list, as LoadInstallLog does
// after opening the file: checks the magic, then reads records up to the end.
// The list is not emptied first.  LogLoadNoFile is never returned.
LogLoadStatus ReadInstallLogFile(InstallLog* list, LogFile* file);

// Writes the magic and every entry in list order to an opened file.  Returns
// 1 when every byte was written; the list is not released.
int WriteInstallLogFile(const InstallLog* list, LogFile* file);

#endif
