// The unattended installation (/S): the Destination folder page and the
// Install page without their windows.
#include "SetupOutcome.h"

#include <cstring>

#include "Destination.h"
#include "Installation.h"
#include "PathMacros.h"
#include "SetupState.h"
#include "TestHooks.h"
#include "Transaction.h"
#include "Transcript.h"

SetupOutcome InstallUnattended(const char* installDir)
{
    // Whoever installs with /S has accepted the licence.
    TranscriptLine(NoLicense ? "licence: none to accept" : "licence: accepted (/S)");

    // The default folder is built as the page builds it, which also reads
    // the Program Files folder that %PROGFILESDIR% names; /D= replaces it.
    // Without /D= an installed product stays in the folder it is registered
    // in, whether or not this is an update.
    const bool folderGiven = installDir && installDir[0] != '\0';
    DestinationSource source = SetDefaultDestination(!folderGiven);
    if (folderGiven) {
        size_t length = strlen(installDir);
        if (length >= sizeof InstallDir) {
            TranscriptLine("destination: too long");
            return SetupDestinationNotWritable;
        }
        memcpy(InstallDir, installDir, length + 1);
        TranscriptLine("destination: %s (/D=)", InstallDir);
    } else if (source == DestinationRegistered) {
        TranscriptLine("destination: %s (the folder the installed product is registered in)", InstallDir);
    } else if (source == DestinationDefault) {
        TranscriptLine("destination: %s (the default folder)", InstallDir);
    } else {
        TranscriptLine("destination: the default folder would be too long or is no full path; give one with /D=");
        return SetupDestinationNotWritable;
    }

    // The page's questions have no one to answer them; its write test stays.
    CreateDirectoryTree(InstallDir);
    if (!FolderWritable(InstallDir)) {
        TranscriptLine("destination: no file can be created there");
        return SetupDestinationNotWritable;
    }
    TranscriptLine("destination: writable");

    int installed = RunInstallation();
    // The benchmark counts what the journal wrote (test builds only).
    if (TestHook("journal-stats"))
        TranscriptLine("journal: %lu records, %lu flushes", static_cast<unsigned long>(TransactionRecords()),
                       static_cast<unsigned long>(TransactionFlushes()));
    if (!installed && InstallationNotStarted()) {
        TranscriptLine("installation: not started; its journal cannot be written in the Windows folder");
        return SetupInstallFailed;
    }
    if (!installed) {
        TranscriptLine("installation: failed; every change of this installation was undone");
        TranscriptLine("install log: %s (as it was before this installation)", LogFilePath);
        return SetupInstallFailed;
    }
    TranscriptLine("installation: succeeded");
    TranscriptLine("install log: %s", LogFilePath);
    return SetupInstalled;
}
