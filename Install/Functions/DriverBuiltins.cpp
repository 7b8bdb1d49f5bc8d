// installdriver: a kernel driver from the package, copied, counted,
// registered as a service and recorded for the undo and the uninstaller.
#include "AnsiText.h"
#include "DriverService.h"
#include "FileInstall.h"
#include "InstallLog.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Versions.h"

namespace {

// Whether the product's log records this driver file already: the product
// was installed before (its log grows with each installation) and holds its
// reference to the driver since then.
bool LogRecordsDriver(const char* path)
{
    for (const LogEntry* entry = FindLogEntry(&TheInstallLog, nullptr, LogKindDriver); entry;
         entry = FindLogEntry(&TheInstallLog, entry, LogKindDriver)) {
        if (entry->text1 && AnsiCompareNoCase(entry->text1, path) == 0)
            return true;
    }
    return false;
}

}  // namespace

// installdriver(entry, destination, service): copies the driver like copy,
// raises its reference count after a successful copy (also when the file was
// there, but not when the product's log records the driver already),
// registers its service and records a Driver entry.  1 when the service is
// registered (or already existed), else 0; the copy reports through
// CopyError.  The service name is also the shared name of the driver's
// reference count.  Everything that names the driver is checked before
// anything is done, so a call that could only do part of its work (a file
// copied but no service, a service key cut to another name) does nothing
// instead: a call that cannot name its driver (an argument that is no text, a
// destination that is empty or names no file, a service name that
// IsServiceName refuses, an image path that would not fit) does nothing but
// set CopyError, like a copy that cannot be written, and gives 0; arguments
// that could not be read (a script error, which stops the script) do nothing.
ScriptValue InstallDriverBuiltin()
{
    ScriptValue arguments[3] = {};
    if (!ReadBuiltinArguments(BuiltinInstalldriver, arguments))
        return 0;
    char* destination = ExpandedPathArgument(arguments[1]);
    const char* entry = ScriptTextOf(arguments[0]);
    const char* service = ScriptTextOf(arguments[2]);

    if (!entry || !destination || !NamesDriverService(destination, service)) {
        CopyError = 1;
        return 0;
    }

    // The count is raised after a successful copy, also when the file was
    // there already: each product that installs the driver holds a reference
    // to it.  A product installed again over itself holds its reference
    // already; its log records the driver once, so the uninstaller releases
    // it once, and a second count would keep the driver for ever.
    bool copied = false;
    if (!CopyError) {
        if (CompareEntryVersion(entry, destination) != 0)
            RebootRequested = 1;
        CopyError = ExtractEntryToFile(entry, destination) == 1 ? 0 : 1;
        copied = CopyError == 0;
        if (copied && !LogRecordsDriver(destination))
            AddSharedReference(service);
    }

    int registered = RegisterDriverService(destination, service);
    // A copied driver is recorded even when its service could not be
    // registered, so that the undo releases its reference and removes the
    // file; otherwise both would stay behind with nothing to remove them.
    if (LoggingEnabled && (registered || copied))
        LogAddDriver(&TheInstallLog, destination, service);
    return registered;
}
