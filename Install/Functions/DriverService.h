// A driver's service: registered by installdriver, removed with the driver's
// last reference by the playback.  On the NT family the service control
// manager knows it; on the 95 family only its registry values exist.
#ifndef VELLMARK_DRIVERSERVICE_H
#define VELLMARK_DRIVERSERVICE_H

// The pause before a driver's service is registered, and between removing a
// service and deleting its file.
constexpr unsigned long DriverServiceWait = 500;   // milliseconds

// Sleeps for DriverServiceWait.
void WaitForDriverService();

#ifdef VM_TEST_HOOKS
// Test builds only: the pause WaitForDriverService makes (DriverServiceWait
// unless a test shortens it, so that many installations do not add up).
extern unsigned long DriverServiceWaitTime;
#endif

// Whether RegisterDriverService accepts these names: `serviceName` is a
// service name (IsServiceName) and `driverPath` gives an image path
// (BuildDriverImagePath).
bool NamesDriverService(const char* driverPath, const char* serviceName);

// Registers `serviceName` as an automatically started kernel driver whose
// file is PathFileName(driverPath) in the system's drivers folder:
//   1. waits DriverServiceWait;
//   2. on the NT family, opens the service control manager with full access;
//   3. creates or opens HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services
//      \serviceName and writes Start 2 (auto start), Type 1 (kernel driver),
//      ErrorControl 1 (normal) and DisplayName (the name, stored without a
//      terminator), not looking at the results of the writes;
//   4. on the NT family, creates the service with the image path
//      "\SystemRoot\System32\drivers\" + the file name.  A service of that
//      name that exists already counts as registered.
// Returns 1 when registered, 0 when the key could not be created or opened,
// or when the service manager could not be opened or refused the service for
// another reason than its existence: then the service's three keys (Enum,
// Security and the key itself) are deleted again.  Names that
// NamesDriverService refuses give 0 before anything is done.
int RegisterDriverService(const char* driverPath, const char* serviceName);

// On the NT family, deletes the service `serviceName` from the service
// control manager (it is not stopped first); on the 95 family nothing.
void DeleteDriverService(const char* serviceName);

// Deletes the keys "Enum", "Security" and then the service's key itself
// below HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services, on every
// family; failures are passed over.  Nothing for a name that is no service
// name.
void DeleteDriverServiceKeys(const char* serviceName);

#endif
