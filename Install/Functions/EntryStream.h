// Writing a package entry of any size to a file in bounded memory.  The entry
// is inflated in chunks on the calling thread while a helper thread writes
// the chunks before it, so inflating and writing overlap, and the memory
// taken is a few chunk buffers whatever the entry's size.  The content's
// Adler-32 is known only at the end: the file is the caller's temporary
// file, which takes the destination's place only after a successful stream
// (FileInstall.h's rule for every installed file).
//
// The helper thread only writes to the handle it is given: the package, the
// script, the setup state and every other Windows call stay on the program's
// one thread, as with FileCreation.h.
#ifndef VELLMARK_ENTRYSTREAM_H
#define VELLMARK_ENTRYSTREAM_H

#include <windows.h>

#include <cstdint>

struct PackageHandle;
struct PackageEntry;

// The size of one chunk, and how many chunks exist: one being inflated, one
// being written and one ready between them, so that neither thread waits
// while the other is busy with a chunk.  They are set aside on first use and
// kept for the life of the process.
constexpr uint32_t EntryStreamChunkBytes = 1u << 20;
constexpr uint32_t EntryStreamChunks = 3;

// How a stream ended (for the caller's messages and the tests).
struct EntryStreamReport {
    int extract;         // the code of StreamPackageRecord (Package.h); ExtractStopped after a failed write
    DWORD writeError;    // GetLastError of the write that failed, or 0
    uint64_t written;    // bytes written to the file
};

// Writes the content of `entry` (a record of `package`'s directory, a file)
// to `file` from its current position, and returns 1 when every byte was
// written and the content's Adler-32 matched the entry's; 0 otherwise: the
// entry does not inflate or its checksum differs, no memory for the chunks,
// or a write failed (then the inflating stops at once).  `file` stays open
// and is neither flushed nor closed: on 0 the caller deletes it, on 1 closes
// it and moves it into place.  `report` may be null.  One call at a time
// (the setup's one thread); when no helper thread can run, the chunks are
// written on the calling thread instead, and so is an entry that fits one
// chunk (inflated in one call of the one-block decoder, then written).
int StreamEntryToFile(const PackageHandle* package, const PackageEntry* entry, HANDLE file,
                      EntryStreamReport* report = nullptr);

// The version rule for a streamed entry: false when both the entry and the
// file at `destination` carry a version and the file's is the same or newer.
// The entry's version is read without inflating it whole
// (GetPackageEntryVersion); an entry whose stream fails there needs writing,
// and the write then reports the damage.
bool StreamedEntryNeedsWriting(const PackageHandle* package, const PackageEntry* entry, const char* destination);

#endif
