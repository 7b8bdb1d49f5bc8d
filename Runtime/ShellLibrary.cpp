// shell32 and ole32, loaded from the system folder.
#include "ShellLibrary.h"

#include "SystemLibrary.h"

namespace {

// ole32's functions, looked up once.
struct ComFunctions {
    HRESULT(WINAPI* initialize)(LPVOID);
    void(WINAPI* uninitialize)();
    HRESULT(WINAPI* createInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
};

const ComFunctions& Com()
{
    static ComFunctions functions;
    static bool loaded = false;
    if (!loaded) {
        functions.initialize = SystemFunction<decltype(functions.initialize)>("ole32.dll", "CoInitialize");
        functions.uninitialize = SystemFunction<decltype(functions.uninitialize)>("ole32.dll", "CoUninitialize");
        functions.createInstance =
            SystemFunction<decltype(functions.createInstance)>("ole32.dll", "CoCreateInstance");
        loaded = true;
    }
    return functions;
}

}  // namespace

const FolderBrowserFunctions* FolderBrowser()
{
    static FolderBrowserFunctions functions;
    static bool loaded = false;
    if (!loaded) {
        functions.browseForFolder =
            SystemFunction<decltype(functions.browseForFolder)>("shell32.dll", "SHBrowseForFolderA");
        functions.getPathFromIDList =
            SystemFunction<decltype(functions.getPathFromIDList)>("shell32.dll", "SHGetPathFromIDListA");
        functions.getMalloc = SystemFunction<decltype(functions.getMalloc)>("shell32.dll", "SHGetMalloc");
        loaded = true;
    }
    if (!functions.browseForFolder || !functions.getPathFromIDList || !functions.getMalloc)
        return nullptr;
    return &functions;
}

ComApartment::ComApartment() : initialised_(E_FAIL)
{
    if (Com().initialize)
        initialised_ = Com().initialize(nullptr);
}

ComApartment::~ComApartment()
{
    if (SUCCEEDED(initialised_) && Com().uninitialize)
        Com().uninitialize();
}

HRESULT ComApartment::CreateInstance(REFCLSID classId, REFIID interfaceId, void** object)
{
    *object = nullptr;
    if (!Initialised() || !Com().createInstance)
        return E_FAIL;
    HRESULT result = Com().createInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, object);
    if (FAILED(result))
        *object = nullptr;
    return result;
}
