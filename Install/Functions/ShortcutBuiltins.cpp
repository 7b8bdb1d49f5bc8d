// The shortcuts: shell links (shortcut, shortcutc) and Internet shortcuts
// (shortcutwww) in the product's or the company's folder of the Start menu,
// and shell links on the desktop (shortcutdesk).
#include <cstdio>
#include <cstring>

#include "InstallLog.h"
#include "PathMacros.h"
#include "PathText.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "ShellLibrary.h"
#include "StartMenu.h"
#include "Transaction.h"

namespace {

// The shell link class and the two interfaces it is used through, with the
// identifiers the shell publishes for them.
constexpr GUID ShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID ShellLinkInterface = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID PersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// An owned COM interface pointer, released when it goes.
template <typename Interface>
class ComObject {
public:
    ComObject() = default;
    ~ComObject()
    {
        if (object_)
            object_->Release();
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    Interface* operator->() const { return object_; }
    void** Out() { return reinterpret_cast<void**>(&object_); }

private:
    Interface* object_ = nullptr;
};

// The path of a shortcut: the programs folder, the product's names, then
// "\", the name and the extension; its folder is created.  0, with nothing
// created, when there is no programs folder or the path would not fit
// ShortcutPathSize (the shell saves a link under no longer path, and a cut
// one would be another name).
int PrepareShortcut(ProductNames names, const char* name, const char* extension, char (&path)[ShortcutPathSize])
{
    char programs[SetupPathSize];
    if (!ReadProgramsFolder(programs))
        return 0;
    PathText folder;
    folder.Append(programs);
    AppendProductNames(&folder, names);
    PathText file = folder;
    file.Append("\\");
    file.Append(name);
    file.Append(extension);
    if (!file.CopyTo(path, sizeof path))
        return 0;
    CreateDirectoryTree(folder.text);
    return 1;
}

// Saves a shell link to `target` at `path`.  The target is cut to its folder
// in place (the script's text then holds the folder), which becomes the
// link's working directory.  false when the link was not saved.
bool SaveShellLink(const char* path, char* target, const char* description, const char* arguments)
{
    ComApartment com;
    ComObject<IShellLinkA> link;
    if (FAILED(com.CreateInstance(ShellLinkClass, ShellLinkInterface, link.Out())))
        return false;
    // The description and the arguments are set before the target is cut:
    // a script may pass one text as several of them.
    if (description)
        link->SetDescription(description);
    if (arguments)
        link->SetArguments(arguments);
    link->SetPath(target);
    CutToFolder(target);
    link->SetWorkingDirectory(target);

    ComObject<IPersistFile> file;
    if (FAILED(link->QueryInterface(PersistFileInterface, file.Out())))
        return false;
    WCHAR widePath[ShortcutPathSize];
    char aside[WorkBufferSize];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, ShortcutPathSize) == 0 || !ClearForWriting(path, aside))
        return false;
    bool saved = SUCCEEDED(file->Save(widePath, TRUE));
    WrittenInPlace(path, aside, saved);
    return saved;
}

// shortcut and shortcutc: name, target, description, arguments.
ScriptValue MakeShellLink(BuiltinIndex index, ProductNames names)
{
    ScriptValue arguments[4] = {};
    if (!ReadBuiltinArguments(index, arguments))
        return 0;
    const char* name = ScriptTextOf(arguments[0]);
    char* target = ExpandedPathArgument(arguments[1]);
    const char* description = nullptr;
    const char* linkArguments = nullptr;
    char path[ShortcutPathSize];
    // A description or arguments of 0 leave the property unset.
    if (!name || !target || !OptionalTextArgument(arguments[2], &description) ||
        !OptionalTextArgument(arguments[3], &linkArguments) || !PrepareShortcut(names, name, ".lnk", path))
        return 0;
    SaveShellLink(path, target, description, linkArguments);
    // Logged whether or not the link was saved: the undo then finds nothing.
    if (LoggingEnabled)
        LogAddFile(&TheInstallLog, path);
    return 0;
}

}  // namespace

// The Start-menu shortcuts; each gives 0.  A name, target or address that is
// no text, a description or arguments value that is neither 0 nor a text, or
// arguments that could not be read: nothing is done.  Without a programs
// folder nothing is done either, and a shortcut whose path would be longer
// than 259 characters is not made: neither is logged.  Otherwise the path is
// logged whether or not the file was written.
//
// shortcut(name, target, description, arguments): StartMenuFolder\name.lnk
ScriptValue ShortcutBuiltin()
{
    return MakeShellLink(BuiltinShortcut, ProductNamesCompanyAndProduct);
}

// shortcutc(name, target, description, arguments): CompanyMenuFolder\name.lnk
ScriptValue ShortcutCBuiltin()
{
    return MakeShellLink(BuiltinShortcutc, ProductNamesCompany);
}

// shortcutwww(name, address): an Internet shortcut of exactly two lines.  An
// address with a line break is refused: it would add lines of its own.
ScriptValue ShortcutWwwBuiltin()
{
    ScriptValue arguments[2] = {};
    if (!ReadBuiltinArguments(BuiltinShortcutwww, arguments))
        return 0;
    const char* name = ScriptTextOf(arguments[0]);
    const char* address = ScriptTextOf(arguments[1]);
    char path[ShortcutPathSize];
    if (!name || !address || strpbrk(address, "\r\n") ||
        !PrepareShortcut(ProductNamesCompanyAndProduct, name, ".url", path))
        return 0;
    // Written as bytes: the lines end in CR LF whatever the runtime's
    // default file mode is.
    char aside[WorkBufferSize];
    if (ClearForWriting(path, aside)) {
        bool written = false;
        if (FILE* file = fopen(path, "wb")) {
            written = fprintf(file, "[InternetShortcut]\r\nURL=%s\r\n", address) > 0;
            written = fclose(file) == 0 && written;
        }
        WrittenInPlace(path, aside, written);
    }
    if (LoggingEnabled)
        LogAddFile(&TheInstallLog, path);
    return 0;
}

// shortcutdesk(name, target, description, arguments): a shell link
// DesktopFolder\name.lnk on the desktop of all users (ReadDesktopFolder), as
// shortcut makes one, and logged as the Start-menu links are.  A name with a
// backslash or a slash is refused: the link goes on the desktop itself.  1
// when the link was saved, 0 otherwise (also without a desktop folder).
ScriptValue ShortcutDeskBuiltin()
{
    ScriptValue arguments[4] = {};
    if (!ReadBuiltinArguments(BuiltinShortcutdesk, arguments))
        return 0;
    const char* name = ScriptTextOf(arguments[0]);
    char* target = ExpandedPathArgument(arguments[1]);
    const char* description = nullptr;
    const char* linkArguments = nullptr;
    char desktop[SetupPathSize];
    if (!name || !name[0] || strpbrk(name, "\\/") || !target || !OptionalTextArgument(arguments[2], &description) ||
        !OptionalTextArgument(arguments[3], &linkArguments) || !ReadDesktopFolder(desktop))
        return 0;
    PathText file;
    file.Append(desktop);
    file.Append("\\");
    file.Append(name);
    file.Append(".lnk");
    char path[ShortcutPathSize];
    if (!file.CopyTo(path, sizeof path))
        return 0;
    CreateDirectoryTree(desktop);
    bool saved = SaveShellLink(path, target, description, linkArguments);
    if (LoggingEnabled)
        LogAddFile(&TheInstallLog, path);
    return saved ? 1 : 0;
}
