// One installation at a time.  A setup, a removal and a recovery each hold
// the installation lock, a named mutex of the whole machine, for as long as
// they run: two setups started together would otherwise both count a shared
// file, and one could roll back what the other is installing.  The lock goes
// with its process, however that ends, so a crash never leaves it taken.
#ifndef VELLMARK_INSTALLATIONLOCK_H
#define VELLMARK_INSTALLATIONLOCK_H

// The mutex's name: in the Global namespace where Windows has one (2000 and
// later, so that a setup in another session counts too).
constexpr char InstallationLockName[] = "Vellmark Installation";

// Takes the lock for the rest of the process's life; true when this process
// holds it (also when an earlier holder ended without giving it back), false
// while another process holds it.  Asking again after it was taken is true.
bool AcquireInstallationLock();

#endif
