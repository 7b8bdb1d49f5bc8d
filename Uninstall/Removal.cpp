// The removal behind the Remove button and the unattended removal.
#include "Removal.h"

#include "FileInUse.h"
#include "Playback.h"
#include "RemovalDialog.h"
#include "SetupState.h"

const LogEntry* FindFileInUse(const InstallLog* list)
{
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindFile); entry;
         entry = FindLogEntry(list, entry, LogKindFile)) {
        if (entry->text1 && IsFileInUse(entry->text1))
            return entry;
    }
    return nullptr;
}

bool RemoveLoggedProduct(bool deleteSettings, void (*progress)(void* context), void* progressContext)
{
    PlaybackOptions options = {};
    options.company = RemovedProduct.company;
    options.product = RemovedProduct.product;
    options.installDir = RemovedProduct.installDir;
    options.logPath = LogFilePath;
    options.deletePrefsKeys = deleteSettings;
    options.progress = progress;
    options.progressContext = progressContext;
    return PlayBackInstallLog(&TheInstallLog, options).driverRemoved;
}
