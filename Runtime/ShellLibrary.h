// The shell and COM functions of the setup program: the folder browser of the
// Destination folder page and the shell links of the Start-menu shortcuts.
// shell32 and ole32 are never imported; their functions are looked up in the
// system folder when first needed (SystemLibrary.h).
#ifndef VELLMARK_SHELLLIBRARY_H
#define VELLMARK_SHELLLIBRARY_H

#include <windows.h>
#include <shlobj.h>

// The folder browser's shell32 functions.
struct FolderBrowserFunctions {
    LPITEMIDLIST(WINAPI* browseForFolder)(LPBROWSEINFOA);
    BOOL(WINAPI* getPathFromIDList)(LPCITEMIDLIST, LPSTR);
    HRESULT(WINAPI* getMalloc)(IMalloc**);
};

// The folder browser's functions, or null when shell32 lacks one of them.
const FolderBrowserFunctions* FolderBrowser();

// COM on the calling thread for the life of the object: CoInitialize (the
// single-threaded apartment) when it is made, and CoUninitialize when it goes
// if, and only if, the initialisation succeeded (also when COM was already
// initialised on the thread, which the call then balances).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Initialised() const { return SUCCEEDED(initialised_); }

    // CoCreateInstance of an in-process server (CLSCTX_INPROC_SERVER, no
    // outer object).  *object is null unless the result is a success;
    // E_FAIL when ole32 cannot be loaded or the apartment is not initialised.
    HRESULT CreateInstance(REFCLSID classId, REFIID interfaceId, void** object);

private:
    HRESULT initialised_;
};

#endif
