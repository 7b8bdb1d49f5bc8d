// installdriver: a kernel driver from the package, copied, counted,
// registered as a service and recorded for the undo and the uninstaller.
#include "DriverService.h"
#include "FileInstall.h"
#include "InstallLog.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Versions.h"

// installdriver(entry, destination, service).  The service name is also the
// shared name of the driver's reference count.  Everything that names the
// driver is checked before anything is done, so a call that could only do
// part of its work (a file copied but no service, a service key cut to
// another name) does nothing instead.
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

    // The count is raised on every successful copy, also when the file was
    // there already: each installation holds its own reference to a driver.
    bool counted = false;
    if (!CopyError) {
        if (CompareEntryVersion(entry, destination) != 0)
            RebootRequested = 1;
        CopyError = ExtractEntryToFile(entry, destination) == 1 ? 0 : 1;
        if (!CopyError) {
            AddSharedReference(service);
            counted = true;
        }
    }

    int registered = RegisterDriverService(destination, service);
    // A reference raised here is recorded even when the service could not be
    // registered, so that the undo releases it and removes the file it
    // copied; otherwise both would stay behind with nothing to remove them.
    if (LoggingEnabled && (registered || counted))
        LogAddDriver(&TheInstallLog, destination, service);
    return registered;
}
