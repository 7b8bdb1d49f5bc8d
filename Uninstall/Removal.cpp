// The removal behind the Remove button and the unattended removal.
#include "Removal.h"

#include "AnsiText.h"
#include "FileInUse.h"
#include "LogDigest.h"
#include "Playback.h"
#include "RemovalDialog.h"
#include "SetupState.h"
#include "Transcript.h"

const LogEntry* FindFileInUse(const InstallLog* list)
{
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindFile); entry;
         entry = FindLogEntry(list, entry, LogKindFile)) {
        if (entry->text1 && IsFileInUse(entry->text1))
            return entry;
    }
    return nullptr;
}

PlaybackResult RemoveLoggedProduct(bool deleteSettings, void (*progress)(void* context), void* progressContext)
{
    // The log the product's registration names, when it is another one:
    // read whole and unchanged since its setup wrote it, or not at all.
    InstallLog live = {};
    char livePath[SetupPathSize];
    bool haveLive = ReadRegisteredLogPath(RemovedProduct.company, RemovedProduct.product, livePath,
                                          sizeof livePath) &&
                    AnsiCompareNoCase(livePath, LogFilePath) != 0 &&
                    LoadInstallLogStatus(&live, livePath) == LogLoadComplete && LogMatchesRegistration(livePath);

    PlaybackOptions options = {};
    options.company = RemovedProduct.company;
    options.product = RemovedProduct.product;
    options.installDir = RemovedProduct.installDir;
    options.logPath = LogFilePath;
    options.deletePrefsKeys = deleteSettings;
    options.progress = progress;
    options.progressContext = progressContext;
    options.liveLog = haveLive ? &live : nullptr;
    PlaybackResult result = PlayBackInstallLog(&TheInstallLog, options);
    ReleaseInstallLog(&live);
    return result;
}

void TranscribeKeptRegistration(const PlaybackResult& result)
{
    if (result.uninstallEntryKept)
        TranscriptLine("kept: the uninstall entry; it registers another installation's log");
    if (result.productKeyKept)
        TranscriptLine("kept: the product key; its Path names another installation's folder");
    if (result.entriesKept > 0)
        TranscriptLine("kept: %u files, folders and keys that the installed version's log records too",
                       result.entriesKept);
}
