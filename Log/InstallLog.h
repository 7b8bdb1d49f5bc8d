// The install log: the ordered record of every change an installation makes,
// kept so that a failed installation can be undone and the uninstaller can
// remove the product later.  Both programs read and write it through this unit.
//
// In memory it is a list of LogEntry records in the order they were added or
// read.  On disk it is the "log1" file:
//
//   offset 0   4 bytes   "log1"
//   then, up to the end of the file, one record per entry:
//              4 bytes   kind, 32-bit signed, little-endian
//              4 bytes   presence flags: bit 0 text1, bit 1 text2, bit 2 text3
//              text1 CR LF   only when bit 0 is set
//              text2 CR LF   only when bit 1 is set
//              text3 CR LF   only when bit 2 is set
//
// Strings are stored as their 8-bit bytes with no length and no escaping, so
// they can hold neither CR nor LF, and the reader's 512-byte line buffer limits
// them to 511 characters.  A log with no entries is the 4-byte file "log1".
//
// There is one list in the process, TheInstallLog, but every operation takes
// the list it works on as its first argument.  Single-threaded: no locking.
#ifndef VELLMARK_INSTALLLOG_H
#define VELLMARK_INSTALLLOG_H

#include <cstddef>
#include <cstdint>

// What an entry records.  The values are the kind field of the file; 6 was
// never assigned, and 0 is not a kind but the wildcard of FindLogEntry.  A
// log may hold codes that this build does not know (a newer build wrote
// them): they are read, kept and saved like any entry, and the playback
// passes over them.
enum LogEntryKind : int32_t {
    LogKindAny = 0,         // FindLogEntry only: matches every entry
    LogKindProduct = 1,     // text1 company, text2 product, text3 install folder
    LogKindDirectory = 2,   // text1 directory path
    LogKindFile = 3,        // text1 file path
    LogKindSharedFile = 4,  // text1 file path, text2 shared name (its reference count's key)
    LogKindPrefsKey = 5,    // text1 key path under HKEY_CURRENT_USER with the product's settings
    LogKindDriver = 7,      // text1 driver file path, text2 service name
    LogKindUserKey = 8,     // text1 key path under HKEY_CURRENT_USER, deleted with its subkeys
    // text1 "ROOT\key\\name": the root ("HKLM" or "HKCU"), the key path
    // and, after a doubled backslash (a key path has no empty name, so the
    // first one ends it), the value's name, empty for the default value;
    // text2 the outermost key the write created, "ROOT\path", absent when
    // the value's key was there already
    LogKindRegValue = 9,
    // text1 the extension with its dot, text2 the ProgID (its key below
    // HKLM\Software\Classes), text3 the ProgID the extension named before,
    // absent when it named none
    LogKindFileType = 10,
    // text1 a folder added to the machine's Path as it was written there
    LogKindPathFolder = 11,
};
// The highest code this build knows.
constexpr int32_t LogKindLast = LogKindPathFolder;

// The first four bytes of every log file: "log1", the 32-bit value 0x31676F6C.
constexpr char LogMagic[4] = {'l', 'o', 'g', '1'};
constexpr uint32_t LogMagicSize = sizeof LogMagic;

// The longest string a log line can carry: the reader's buffer is 512 bytes.
constexpr size_t LogLineCapacity = 512;
constexpr size_t LogMaxTextLength = LogLineCapacity - 1;

// One change.  A string is either absent (null) or a private heap copy owned
// by the entry; an empty string is present and is saved as a bare CR LF.
struct LogEntry {
    int32_t kind;
    char* text1;
    char* text2;
    char* text3;
    LogEntry* next;  // the following entry in list order; null at the end
};

struct LogIndexSlot;

// The list.  All zero is the empty list, so a static InstallLog needs no setup.
// Read `first` and `count` freely; change the list only through this unit.
struct InstallLog {
    LogEntry* first;
    LogEntry* last;
    size_t count;
    // Duplicate index: every entry with text1, by kind and case-folded text1,
    // so that adding stays fast with a hundred thousand entries.
    LogIndexSlot* indexSlots;
    size_t indexCapacity;  // a power of two, or 0 before the first entry
    size_t indexUsed;
};

// The one list of the process.
extern InstallLog TheInstallLog;

// Appends an entry of `kind` with copies of the given strings; each may be null
// (absent).  Returns non-zero when the entry was appended and 0 when it was not:
//   - the list already holds an entry of the same kind whose text1 equals this
//     text1 under ASCII case folding (as _stricmp compares); the first one
//     recorded wins and keeps its other strings.  An entry without text1 is
//     never a duplicate, and entries of different kinds never collide;
//   - kind is 0 (the wildcard is never stored);
//   - a string holds CR or LF, or is longer than LogMaxTextLength: the file
//     could not carry it, and reading it back would shift every later record;
//   - memory ran out.  An entry is recorded whole or not at all.
// The list is unchanged whenever the result is 0.
int LogAddEntry(InstallLog* list, int32_t kind, const char* text1, const char* text2,
                const char* text3);

// The typed adders: LogAddEntry with a fixed kind, and its result.
int LogAddProduct(InstallLog* list, const char* company, const char* product, const char* installDir);
int LogAddDirectory(InstallLog* list, const char* path);
int LogAddFile(InstallLog* list, const char* path);
int LogAddSharedFile(InstallLog* list, const char* path, const char* sharedName);
int LogAddPrefsKey(InstallLog* list, const char* keyPath);
int LogAddDriver(InstallLog* list, const char* path, const char* serviceName);
int LogAddRegValue(InstallLog* list, const char* valuePath, const char* createdKey);
int LogAddFileType(InstallLog* list, const char* extension, const char* progId, const char* earlierProgId);
int LogAddPathFolder(InstallLog* list, const char* folder);

// The RegValue entry's text1: `root` ("HKLM" or "HKCU"), "\", the key path,
// "\\" and the value's name (null or "" for the default value).  0 when the
// key path is empty, begins or ends with a backslash or holds two in a row
// (it would not split back), or the text does not fit `capacity`.
int LogBuildRegValuePath(const char* root, const char* keyPath, const char* name, char* out, size_t capacity);
// Splits a RegValue text1 in place into its root, key path and name (each
// pointing into `text`, which is changed).  0 for a text that is no such path.
int LogSplitRegValuePath(char* text, const char** root, const char** keyPath, const char** name);
// The first entry after `after` (or the first of the list when `after` is null)
// whose kind is `kind`; kind 0 matches every entry.  Null at the end of the
// list.  A walk passes each result back as the next `after`.
const LogEntry* FindLogEntry(const InstallLog* list, const LogEntry* after, int32_t kind);

// The first entry of `kind` whose text1 equals `text1` under ASCII case
// folding (as the duplicate rule compares), or null.  Constant time.
const LogEntry* FindLogEntryByText(const InstallLog* list, int32_t kind, const char* text1);

// The name of a kind ("Product", "Directory", ...), or null for a code that
// names no kind (0, 6, anything above LogKindLast or below 0).
const char* LogKindName(int32_t kind);

// Frees every entry with its strings and the index; the list is empty after.
void ReleaseInstallLog(InstallLog* list);

// How a load ended.  Every code leaves the entries read before the stop in
// the list, in file order.
enum LogLoadStatus {
    LogLoadComplete = 0,     // every record of the file was read
    LogLoadNoFile = 1,       // no path, or the file cannot be opened: the list
                             //   is empty (a first installation has no log)
    LogLoadNotALog = 2,      // the file does not begin with "log1": the list is empty
    LogLoadTruncated = 3,    // the file ends inside a record (a cut kind or
                             //   flags field, or a string without its LF), or
                             //   a read failed there: that record is dropped
    LogLoadOutOfMemory = 4,  // an entry could not be allocated: it is dropped
                             //   and the load stops
};

// Empties the list (freeing what it held), then appends every record of the
// file at `path` (may be null) in file order.  The duplicate rule is not
// applied.  Returns 0 only for LogLoadNotALog and 1 otherwise, so that a
// missing log counts as an empty one.
int LoadInstallLog(InstallLog* list, const char* path);
// The same, telling how the load ended.
LogLoadStatus LoadInstallLogStatus(InstallLog* list, const char* path);

// How a save ended.
enum LogSaveStatus {
    LogSaveWritten = 0,   // the file at the path now holds the whole list
    LogSaveReleased = 1,  // no path was given: nothing was written
    LogSaveFailed = 2,    // the new log could not be written in full; the file
                          //   that was at the path before is untouched
};

// Writes the list to the file at `path`, as SaveInstallLog does, but keeps
// the list.  A null path writes nothing (LogSaveReleased).
LogSaveStatus WriteInstallLog(const InstallLog* list, const char* path);

// Writes the list to the file at `path` and then releases the list, whatever
// happened: afterwards it holds nothing.  With a null path it only releases.
// The new log is written to a temporary file beside the old one (the path
// followed by ".tmp") and takes the old one's place only once every byte has
// been written, so a failing disk never costs the log of earlier changes.
// Callers may ignore the result.
LogSaveStatus SaveInstallLog(InstallLog* list, const char* path);

#endif
