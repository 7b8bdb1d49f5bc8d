// A file the tool writes for the user (pack's setup executable, extract -o).
//
// Everything goes to a temporary file created beside the destination, which
// replaces the destination only once every byte has been written.  The
// temporary file is created exclusively, never over something that exists,
// and it is the only thing a failed or abandoned write removes: what was at
// the destination before stays as it was unless the write succeeds.
#ifndef VELLMARK_TOOL_OUTPUT_FILE_H
#define VELLMARK_TOOL_OUTPUT_FILE_H

#include <cstdio>
#include <filesystem>
#include <string>

// How a destination that exists is treated.
struct OutputFileMode {
    bool followLink = true;    // a symbolic link is written through (its target replaced);
                               // false: the link itself is what gets replaced
    bool replace = true;       // false: an existing destination is refused, and Commit
                               // fails rather than replace one that appeared meanwhile
    const char* temporarySuffix = "";   // ends the temporary file's name (".exe": tools that
                                        // judge a file by its name see an executable)
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Abandon(); }

    // Refuses a destination that is a folder or anything else but a regular
    // file, or an existing file this user may not write; then creates the
    // temporary file.  A symbolic link is written through: its target is
    // replaced.  On false *error holds a one-line reason (starting with the
    // destination as given) and nothing was created.
    bool Open(const std::string& destination, std::string* error, OutputFileMode mode = OutputFileMode());

    // The same for a path already in the file system's form; `shown` is how
    // messages name it.
    bool Open(const std::filesystem::path& destination, const std::string& shown, std::string* error,
              OutputFileMode mode = OutputFileMode());

    // The temporary file, open for writing in binary mode.
    FILE* Stream() const { return file; }

    // Flushes and closes the temporary file, which stays where it is for
    // another program to work on (TemporaryPath) until Commit or Abandon.
    // On false the temporary file is gone and *error says why.
    bool Close(std::string* error);

    // The temporary file; empty when there is none.
    const std::filesystem::path& TemporaryPath() const { return temporary; }

    // Flushes and closes the temporary file (unless Close did) and renames
    // it over the destination.  On false the temporary file is gone and
    // *error says why.
    bool Commit(std::string* error);

    // Writes `size` bytes to the temporary file and commits it.  On false
    // the temporary file is gone and *error says why ("DESTINATION: cannot
    // be written (REASON)").
    bool WriteAndCommit(const void* bytes, size_t size, std::string* error);

    // Closes and removes the temporary file, if there is one.
    void Abandon();

private:
    std::string shown;                  // the destination as the user gave it
    std::filesystem::path target;       // what the rename replaces
    std::filesystem::path temporary;    // empty when none was created
    FILE* file = nullptr;
    bool closed = false;                // Close ran: the temporary file waits for Commit
    bool replace = true;
};

#endif
