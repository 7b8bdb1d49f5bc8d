#include "FileInUse.h"

#include <windows.h>

#include "Handles.h"

int IsFileInUse(const char* path)
{
    KernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.IsOpen())
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? 1 : 0;
}
