// The digest that ties an install log to the uninstall entry registering it.
//
// By default a log lies in the installation folder, which ordinary users may
// be able to write.  The uninstaller runs as an administrator and removes
// whatever the log names, so a log changed by someone else must not be
// played back.  The registry key of the uninstall entry is writable by
// administrators only: it keeps the SHA-256 of the log as the setup wrote it,
// and a log whose digest differs is refused.  The log's format is unchanged.
#ifndef VELLMARK_LOGDIGEST_H
#define VELLMARK_LOGDIGEST_H

#include <cstddef>

#include "Sha256.h"

// The text value of an uninstall entry that holds its log's digest.
constexpr char LogDigestValueName[] = "LogDigest";

// The log path an "UninstallString" of ours passes: what follows the quoted
// program path and one blank (the path itself is not quoted).  Null when the
// text has another shape.
const char* UninstallStringLogPath(const char* command);

// The log the product's uninstall entry registers (its UninstallString), for
// the product named by company/product (either may be null).  1 with `path`
// of `capacity` bytes filled, else 0 with it empty.
int ReadRegisteredLogPath(const char* company, const char* product, char* path, size_t capacity);

// The SHA-256 of the file at `path` as 64 small hex digits.  0 when it
// cannot be read.
int DigestFile(const char* path, char (&text)[Sha256TextSize]);

// Whether the log at `logPath` may be loaded for playback or for growing:
// 1 when no uninstall entry that registers this log (an "UninstallString"
// whose argument is this path, compared without regard to case) holds a
// digest, or when every such digest equals the file's; 0 when one differs,
// or one is registered and the file cannot be read.
int LogMatchesRegistration(const char* logPath);

// Writes the digest of the log at `logPath` into every uninstall entry that
// registers it.  Called after the log has been written.
void RegisterLogDigest(const char* logPath);

#endif
