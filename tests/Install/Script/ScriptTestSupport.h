// Running scripts in the engine's tests: the shared session with the dry-run
// built-ins, and the engine's internals the white-box tests look at.
#ifndef VELLMARK_TESTS_SCRIPT_SUPPORT_H
#define VELLMARK_TESTS_SCRIPT_SUPPORT_H

#include "ScriptInternal.h"
#include "ScriptSession.h"

#endif
