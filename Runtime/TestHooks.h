// Test-only conditions of the programs' test builds (SetupTest.exe,
// UninstallTest.exe): situations wine cannot produce on request, named in the
// comma-separated environment variable VELLMARK_TEST_HOOKS
// ("deny-hklm,deny-scm").  The shipped programs are built without
// VM_TEST_HOOKS, and there TestHook is always false.
#ifndef VELLMARK_TESTHOOKS_H
#define VELLMARK_TESTHOOKS_H

// Whether the hook `name` is switched on.
bool TestHook(const char* name);

// A number a test gives in the environment variable `variable` (decimal), or
// -1 when there is none (always in the shipped programs).
long TestHookNumber(const char* variable);

#endif
