#include "LogMemory.h"
#include "LogTestHooks.h"

#include <cstdlib>
#include <cstring>

#ifdef VM_TEST_HOOKS
LogTestHooks TheLogTestHooks;

bool LogHookFails(LogFailCountdown* hook)
{
    ++hook->calls;
    if (hook->countdown <= 0)
        return false;
    if (--hook->countdown > 0)
        return false;
    if (hook->persistent)
        hook->countdown = 1;  // stays due: every later call fails too
    return true;
}

void ResetLogTestHooks()
{
    TheLogTestHooks = LogTestHooks();
}
#endif

void* LogAllocate(size_t count, size_t size)
{
    if (VM_LOG_HOOK_FAILS(allocation))
        return nullptr;
    // calloc refuses a product that overflows size_t.
    return std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
}

void* LogResize(void* block, size_t size)
{
    if (VM_LOG_HOOK_FAILS(allocation))
        return nullptr;
    return std::realloc(block, size == 0 ? 1 : size);
}

void LogFree(void* block)
{
    std::free(block);
}

char* LogCopyText(const char* text)
{
    if (!text)
        return nullptr;
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(LogAllocate(length + 1, 1));
    if (copy)
        std::memcpy(copy, text, length + 1);
    return copy;
}
