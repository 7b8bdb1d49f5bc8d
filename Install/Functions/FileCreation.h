// Creating a new file while the caller does other work.  Creating a file is
// the largest cost of an installation of thousands of small files (about
// half a millisecond each under wine); it does not depend on the file's
// content, so it runs on a helper thread while the entry inflates.  The
// helper thread only opens the file: the script, the setup state and every
// other Windows call stay on the program's one thread.
#ifndef VELLMARK_FILECREATION_H
#define VELLMARK_FILECREATION_H

#include <windows.h>

#include "Handles.h"

class FileCreation {
public:
    FileCreation() = default;
    // A creation that was started and never finished is finished here; the
    // file it created, if any, is closed and deleted.
    ~FileCreation();
    FileCreation(const FileCreation&) = delete;
    FileCreation& operator=(const FileCreation&) = delete;

    // Starts CreateFileA(path, GENERIC_READ | GENERIC_WRITE, no sharing,
    // CREATE_NEW, flags): a file is created only where none is.  `path` must
    // stay valid until Finish.  When no helper thread can run, the file is
    // created by Finish instead.
    void Start(const char* path, DWORD flags);
    // Waits for the creation and hands over its file, which is not open
    // when no file was created.
    KernelHandle Finish();

private:
    const char* path_ = nullptr;
    DWORD flags_ = 0;
    bool started_ = false;
    bool onHelper_ = false;
};

#endif
