#include "TestHooks.h"

#ifdef VM_TEST_HOOKS

#include <cstdlib>
#include <cstring>

bool TestHook(const char* name)
{
    const char* hooks = getenv("VELLMARK_TEST_HOOKS");
    size_t length = strlen(name);
    for (const char* p = hooks; p && *p;) {
        const char* end = strchr(p, ',');
        size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
        if (n == length && strncmp(p, name, n) == 0)
            return true;
        p = end ? end + 1 : p + n;
    }
    return false;
}

long TestHookNumber(const char* variable)
{
    const char* text = getenv(variable);
    if (!text || *text < '0' || *text > '9')
        return -1;
    return strtol(text, nullptr, 10);
}

#else

bool TestHook(const char*)
{
    return false;
}

long TestHookNumber(const char*)
{
    return -1;
}

#endif
