// The recovery of installations that never reached their end (the setup was
// killed or crashed, the machine lost power): their journals (Transaction.h)
// are rolled back, so that the machine is as it was before they started.
//
// Two ways lead there.  Windows runs the recovery program that the run
// registered under RunOnce at its next start ("PROGRAM /rollback JOURNAL");
// and every setup, when it starts, rolls back whatever journal it finds
// first.  Both hold the installation lock (InstallationLock.h) while they
// work.
#ifndef VELLMARK_RECOVERY_H
#define VELLMARK_RECOVERY_H

#include <cstdint>

#include "Settings.h"
#include "Transaction.h"

// The recovery program a run writes beside its journal: the package's
// uninstaller when it is of this release or a later one (it carries the
// publisher's signature of its own), otherwise the setup program's own image
// without its package.  Both understand RecoverySwitch.
class RecoveryProgram {
public:
    RecoveryProgram() = default;
    ~RecoveryProgram();
    RecoveryProgram(const RecoveryProgram&) = delete;
    RecoveryProgram& operator=(const RecoveryProgram&) = delete;

    // Reads it from SetupPackage, or from the file at SetupProgramPath.
    // false when neither can be read.
    bool Load();
    RecoveryImage Image() const { return {bytes_, size_}; }

private:
    uint8_t* bytes_ = nullptr;
    uint32_t size_ = 0;
    bool packageBlock_ = false;   // from ExtractPackageEntry, else from the heap
};

// What RecoverInterruptedRuns did.
struct RecoveryReport {
    int rolledBack;                        // runs undone
    int completed;                         // committed runs whose cleanup was finished
    char product[2 * SettingValueSize];    // the names of the last run undone
};

// Rolls back every journal of the journal folder, and removes the recovery
// programs that no journal names any more.  Call it with the installation
// lock held: no run of another process is then open.
RecoveryReport RecoverInterruptedRuns();

// Whether the command line asks for a recovery ("/rollback ...").
bool IsRecoveryCommand(const char* commandLine);

// The recovery program's work: "/rollback JOURNAL", where JOURNAL must lie in
// the journal folder.  The program copies itself to a file that goes when it
// ends and lets that copy roll back, so that its own file can be deleted once
// it has ended (a running program's file cannot be).  Its exit code: 0 when
// the run was rolled back (or completed, or there was nothing left to do),
// ExitLogRefused for a journal it refuses, ExitInstallInProgress while
// another setup or removal runs (Windows, or the next setup, tries again).
int RunRecoveryCommand(const char* commandLine);

#endif
