// What the uninstaller reads before it asks anything: the log file's path
// from its command line, and the install log with the product it names.
// Portable: no Windows calls, so the rules are tested natively as well.
#ifndef VELLMARK_UNINSTALLLOG_H
#define VELLMARK_UNINSTALLLOG_H

#include <cstddef>

#include "InstallLog.h"

// The product as the log's first Product entry names it: its company,
// product and installation folder (text1, text2, text3).  Each points into
// the entry, so it lives as long as the list holds it; it is null where the
// entry has no such string or an empty one, so that a name the setup did not
// have is left out of every key and folder path, as the setup leaves out a
// setting it does not have.
struct UninstallProduct {
    const char* company;
    const char* product;
    const char* installDir;
};

// Takes the log file's path from the command line that Windows passes after
// the program's name: the whole text, unchanged, except that a text enclosed
// in one pair of double quotes loses that pair ("C:\My Apps\App.log" and
// C:\My Apps\App.log name the same file).  Writes it to `path` of `capacity`
// bytes.  Returns 1, with `path` empty when there is no path to take (the
// user then picks the log); 0, with `path` empty, when the path would not fit:
// a path cut short could name another file, which the removal deletes.
int TakeLogPath(const char* commandLine, char* path, size_t capacity);

// The uninstaller's whole command line.  "/S LOGPATH" (either case, a blank
// after /S) removes the product unattended: no dialog and no message box;
// LOGPATH is taken by TakeLogPath.  "/S /LOG=FILE LOGPATH" also writes a
// transcript of the removal to FILE (one word: in quotes when it has a blank,
// "/LOG=C:\My Logs\removal.txt" or /LOG="..."), when the caller asks for
// one.  Any other command line is the log's path alone, exactly as
// TakeLogPath takes it.
enum UninstallCommandLineStatus {
    UninstallCommandLineOk = 0,
    UninstallPathTooLong = 1,     // the path would not fit (TakeLogPath's 0)
    UninstallPathMissing = 2,     // /S without a path: nobody can pick one
    UninstallUnknownSwitch = 3,   // /S followed by another switch: no path starts with "/"
    UninstallBadTranscript = 4,   // /LOG= without a file, or one that does not fit
};
// Sets `*unattended` when the line starts with /S, and fills `path` of
// `capacity` bytes as TakeLogPath does (empty on any status but Ok).  With a
// `transcript` buffer of `transcriptCapacity` bytes, /LOG= after /S fills it
// (empty without /LOG=); without one, /LOG= is a switch like any other.
UninstallCommandLineStatus TakeUninstallCommandLine(const char* commandLine, char* path, size_t capacity,
                                                    bool* unattended, char* transcript = nullptr,
                                                    size_t transcriptCapacity = 0);

// Why a log cannot be played back.
enum UninstallLogStatus {
    UninstallLogReady = 0,    // loaded whole; it names the product
    UninstallLogNotALog = 1,  // the file does not begin with "log1"
    UninstallLogCorrupted = 2,// no Product entry, or the file ends inside a
                              //   record, or memory ran out while it was read
    UninstallLogMissing = 3,  // there is no file at the path, or it cannot be
                              //   opened: like an empty
                              //   log, it names no product (the message is
                              //   the one of UninstallLogCorrupted)
};

// Loads the log at `path` into `list` (emptied first) and takes the product
// from its first Product entry.  Only a log read to its end is played back:
// one that was cut inside a record, or whose reading ran out of memory, lacks
// entries that nothing else records, and the removal deletes the log file, so
// a partial playback would leave the rest of the product on the system for
// good.  On any status but UninstallLogReady `*product` is left as it was;
// the list may hold entries and is released by the caller as always.
UninstallLogStatus OpenUninstallLog(InstallLog* list, const char* path, UninstallProduct* product);

// The message the uninstaller shows for a status other than
// UninstallLogReady (caption "Error"), or null for UninstallLogReady.
const char* UninstallLogMessage(UninstallLogStatus status);

// Whether the log records a driver: removing one needs the service control
// manager on the NT family.
bool LogRecordsDriver(const InstallLog* list);

#endif
