// The probe for write access to HKEY_LOCAL_MACHINE, shared by the setup
// program's start checks and the uninstaller.
#ifndef VELLMARK_REGISTRYPROBE_H
#define VELLMARK_REGISTRYPROBE_H

// The key the probe creates, below HKEY_LOCAL_MACHINE.
extern const char RegistryProbeKey[];

// Creates RegistryProbeKey with KEY_SET_VALUE and removes it again.  Returns
// 1 when the key could be created or opened for writing, 0 when the registry
// refused.  A key that already existed (a product of that name is installed)
// is left as it was, values and subkeys included: only a key this call
// created itself is deleted.
int ProbeRegistryWritable();

#endif
