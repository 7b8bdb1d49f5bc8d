// Putting package entries onto the disk: the operations the file built-ins,
// the driver built-in and the uninstaller registration share.
#ifndef VELLMARK_FILEINSTALL_H
#define VELLMARK_FILEINSTALL_H

#include <windows.h>

#include <cstdint>

#include "Handles.h"

// Writes the package entry `entry` of the open SetupPackage to `destination`,
// but never replaces a file whose version is the same or newer than the
// entry's (an entry without a version always replaces).  Returns 1 when the
// file was written or did not need to be, 0 on failure: no such entry, a
// damaged entry, no memory for it, or the file could not be written.
//
// Over a file that is there, the new content goes to a temporary file beside
// it, which takes its place only once every byte is written: a failed write
// (a full disk) leaves the file that was there untouched, instead of the
// truncated remains of a partly written file; the file that was there is
// moved aside, so that the rollback of a failed installation brings it back
// (Transaction.h).  Where no file is, the file is created while the entry
// inflates (FileCreation.h) and written in place; a failed write removes it
// again.  An entry larger than one chunk of the entry stream (EntryStream.h)
// is never inflated whole: it is streamed in bounded chunks, its checksum
// checked at the end, so that the memory taken does not depend on the size of
// any entry.  The folder is not created.
int ExtractEntryToFile(const char* entry, const char* destination);

// The attributes every installed file is written with.
constexpr DWORD WrittenFileFlags = FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL;

// The steps of ExtractEntryToFile after the extraction (the installation
// benchmark times them one by one).  Whether the block must be written over
// `destination`: false when both carry a version and the file's is the same
// or newer.
bool EntryNeedsWriting(const uint8_t* block, uint32_t size, const char* destination);
// Writes the block into `created`, the file just created at `destination`
// where none was (FileCreation.h), and closes it.  1 on success; 0 with the
// file deleted again.
int WriteNewFile(KernelHandle created, const char* destination, const uint8_t* data, uint32_t size);

// One WriteFile of `size` bytes; true only when it succeeded and wrote them all.
bool WriteBlockToFile(HANDLE file, const void* block, uint32_t size);

// Raises the reference count of `sharedName` in the shared files key by one
// (creating the key and the value as needed).  Registry failures are passed
// over silently.  The names of the key come from the settings.
void AddSharedReference(const char* sharedName);

#endif
