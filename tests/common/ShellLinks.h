// Shell links (.lnk) loaded back as the shell reads them, for the tests of
// the built-ins that make them.  The test program links ole32 and uuid.
#ifndef VELLMARK_TESTS_SHELL_LINKS_H
#define VELLMARK_TESTS_SHELL_LINKS_H

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "WindowsTestSupport.h"

namespace fntest {

// What a saved link holds, as the shell reads it back.
struct LinkProperties {
    bool loaded = false;
    std::string path, workingDirectory, description, arguments;
    uint32_t flags = 0;   // the file's link flags: which strings it carries
};

// Link flags of the shell link format (offset 0x14 of the file).
constexpr uint32_t LinkHasName = 0x04;        // a description
constexpr uint32_t LinkHasWorkingDir = 0x10;
constexpr uint32_t LinkHasArguments = 0x20;

inline LinkProperties LoadLink(const std::string& file)
{
    LinkProperties link;
    std::string bytes = ReadFileBytes(file);
    if (bytes.size() >= 0x18)
        memcpy(&link.flags, bytes.data() + 0x14, 4);
    HRESULT com = CoInitialize(nullptr);
    IShellLinkA* shellLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            WCHAR wide[MAX_PATH];
            if (MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH) &&
                SUCCEEDED(persist->Load(wide, STGM_READ))) {
                char text[1024];
                link.loaded = true;
                if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                    link.path = text;
                if (SUCCEEDED(shellLink->GetWorkingDirectory(text, sizeof text)))
                    link.workingDirectory = text;
                if (SUCCEEDED(shellLink->GetDescription(text, sizeof text)))
                    link.description = text;
                if (SUCCEEDED(shellLink->GetArguments(text, sizeof text)))
                    link.arguments = text;
            }
            persist->Release();
        }
        shellLink->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return link;
}

}  // namespace fntest

#endif
