#include "Installation.h"

#include "Script.h"

int RunInstallation()
{
    if (!ScriptFunctionExists("install"))
        return 1;
    // Any non-zero word, a text included, counts as success.
    return CallScriptFunction("install") != 0 ? 1 : 0;
}
