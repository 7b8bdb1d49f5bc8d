// The journal of an installation run: the write-ahead record that lets a run
// that does not complete (it failed, was killed, or the machine lost power)
// be taken back to exactly what the machine was before it started.  The
// installation records each change here before it makes it; the rollback
// reads the records back and undoes them, newest first.  The install log is
// the product's record for its uninstaller; the journal is the run's own,
// and goes when the run has ended either way.
//
// The "vmj1" file:
//
//   offset 0   4 bytes   "vmj1"
//   then, up to the end of the file, one record each:
//              4 bytes   size of the body that follows (kind to last field)
//              4 bytes   kind (JournalKind)
//              4 bytes   number of fields, at most JournalFieldLimit
//              per field 4 bytes size, then that many bytes; the size
//                        JournalFieldAbsent marks an absent field (no bytes)
//              32 bytes  check: SHA-256 of the previous record's check (for
//                        the first record: of the magic) followed by the
//                        size field and the body
//
// All integers are little-endian.  A text field holds its bytes and the
// terminating NUL, so a decoded text can be used where it lies.  The chain of
// checks finds a record that was cut short by a crash or a power loss, a
// damaged one, and one taken from another journal: reading ends before it,
// and what came before is trusted.  (Who may write the journal at all is the
// business of the folder it lies in: the run keeps it in a folder that only
// administrators can write.)
//
// Portable: the file layer is the install log's (LogFile.h).
#ifndef VELLMARK_JOURNAL_H
#define VELLMARK_JOURNAL_H

#include <cstddef>
#include <cstdint>

#include "LogFile.h"
#include "Sha256.h"

constexpr char JournalMagic[4] = {'v', 'm', 'j', '1'};
constexpr uint32_t JournalMagicSize = sizeof JournalMagic;
constexpr uint32_t JournalFieldLimit = 8;
constexpr uint32_t JournalFieldAbsent = 0xFFFFFFFFu;
// The largest body a record may have: a registry value's old data is the
// largest field (the machine's Path runs to a few kilobytes); a size beyond
// this is taken for damage.
constexpr uint32_t JournalBodyLimit = 1u << 20;

// What a record says.  The values are the kind field of the file: a newer
// build may add kinds; a reader passes over a kind it does not know.
enum JournalKind : uint32_t {
    // The run: 0 its id, 1 company, 2 product, 3 installation folder,
    // 4 install log path, 5 recovery program, 6 RunOnce value name.
    JournalBegin = 1,
    // 0 path: a folder the run created (it was not there).
    JournalFolderCreated = 2,
    // 0 path: a file the run is about to create where none is.
    JournalFileCreated = 3,
    // 0 path, 1 aside: a file that was there, about to be moved aside (in
    // its own folder) so that the run can put its own in its place.
    JournalFileReplaced = 4,
    // 0 root (number), 1 key path: a registry key the run created.
    JournalKeyCreated = 5,
    // 0 root (number), 1 key path, 2 value name (absent: the default value),
    // 3 the value's earlier type (number; absent when there was no value),
    // 4 its earlier data: a value the run is about to write.
    JournalValueSet = 6,
    // 0 service name: a service the run is about to create.
    JournalServiceCreated = 7,
    // The run completed: what is left to do is to delete the files moved
    // aside and the journal itself, never to roll back.
    JournalCommitted = 8,
    // 0 path: the file of the JournalFileCreated record before it was not
    // created by the run after all (another one appeared there first).
    JournalFileNotCreated = 9,
    // A removal: 0 company, 1 product, 2 installation folder, 3 log path.
    JournalRemovalBegin = 20,
    // 0 index (number): the log entry whose reference count the removal is
    // about to release, so that a removal run again does not release it twice.
    JournalRemovalEntry = 21,
};

// A field: `bytes` null for an absent one.
struct JournalField {
    const uint8_t* bytes;
    uint32_t size;
};

struct JournalRecord {
    uint32_t kind;
    uint32_t fieldCount;
    JournalField fields[JournalFieldLimit];
    // Room for number fields made by JournalAddNumber.
    uint8_t numbers[JournalFieldLimit][4];
};

// Building a record: the kind, then its fields in order.  An adder beyond
// JournalFieldLimit fields is ignored (and JournalAppend refuses nothing it
// cannot see, so callers keep within the limit).
void JournalStart(JournalRecord* record, uint32_t kind);
// A text with its NUL; a null text adds an absent field.
void JournalAddText(JournalRecord* record, const char* text);
void JournalAddNumber(JournalRecord* record, uint32_t number);
// `size` bytes (null: an absent field).
void JournalAddBytes(JournalRecord* record, const void* bytes, uint32_t size);

// Reading a field back.  The text of a field that holds one: its last byte
// is a NUL and no other is; null otherwise (also for an absent field).
const char* JournalText(const JournalRecord& record, uint32_t field);
// The number of a four-byte field; false for any other.
bool JournalNumber(const JournalRecord& record, uint32_t field, uint32_t* number);
bool JournalPresent(const JournalRecord& record, uint32_t field);

// Writing a journal.  Every call returns 1 on success and 0 on failure.
struct JournalWriter {
    LogFile file;
    bool open;
    uint8_t check[Sha256Size];   // the last record's check
    uint32_t records;            // appended so far
    uint32_t flushes;            // JournalFlush calls that reached the file
};

// Creates the journal file at `path` (replacing one that is there) and
// writes the magic.
int JournalCreate(JournalWriter* writer, const char* path);
// The same into a memory file (tests, the fuzzer); JournalWriterBytes reads it.
void JournalCreateMemory(JournalWriter* writer);
const uint8_t* JournalWriterBytes(const JournalWriter* writer, size_t* size);
// Appends one record.  The bytes are with the system when it returns (a
// process killed afterwards loses nothing); only JournalFlush puts them on
// the disk.  A record whose body would exceed JournalBodyLimit is refused.
int JournalAppend(JournalWriter* writer, const JournalRecord& record);
int JournalFlush(JournalWriter* writer);
// Closes the file (the memory file stays readable until JournalRelease).
int JournalClose(JournalWriter* writer);
// Frees a memory journal.
void JournalReleaseWriter(JournalWriter* writer);

// A journal read back: every record up to the first that is cut short,
// damaged or does not continue the chain.  All zero is the empty journal.
struct Journal {
    uint8_t* bytes;
    size_t size;
    size_t* offsets;   // where each record's size field starts
    uint32_t count;
    bool ended;        // true when bytes followed the last good record
};

enum JournalLoadStatus {
    JournalLoaded = 0,      // read; `ended` tells whether damage stopped it
    JournalNoFile = 1,      // no path, or the file cannot be opened or read
    JournalNotAJournal = 2, // the file does not begin with "vmj1"
    JournalNoMemory = 3,
};

// Reads the whole file at `path`.  The journal is emptied first; on any
// status but JournalLoaded it stays empty.
JournalLoadStatus JournalLoad(Journal* journal, const char* path);
// The same over `size` bytes that are copied.
JournalLoadStatus JournalLoadBytes(Journal* journal, const void* bytes, size_t size);
// Record `index` (0 is the oldest); false past the end.  The fields point
// into the journal, which must outlive them.
bool JournalRecordAt(const Journal* journal, uint32_t index, JournalRecord* record);
void JournalRelease(Journal* journal);

#endif
