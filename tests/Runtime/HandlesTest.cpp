// The owners of handles: a handle is closed once, by the owner that holds it
// last, and a failed close is reported.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "Handles.h"
#include "RegistryKey.h"

namespace {

HANDLE NewEvent()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

bool StillOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

TEST(Handles, AMovedFromOwnerLeavesTheHandleToItsNewOwner)
{
    HANDLE event = NewEvent();
    ASSERT_NE(event, nullptr);
    KernelHandle kept;
    {
        KernelHandle first(event);
        kept = std::move(first);
        EXPECT_FALSE(first.IsOpen());
    }
    EXPECT_TRUE(StillOpen(event));
    {
        KernelHandle moved(std::move(kept));
        EXPECT_FALSE(kept.IsOpen());
        EXPECT_TRUE(kept.Close());   // nothing to close
        EXPECT_TRUE(StillOpen(event));
    }
    EXPECT_FALSE(StillOpen(event));
}

TEST(Handles, AnOwnerGivenAnotherHandleClosesTheOneItHeld)
{
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    KernelHandle owner(first);
    owner = KernelHandle(second);
    EXPECT_FALSE(StillOpen(first));
    EXPECT_TRUE(StillOpen(second));
    EXPECT_EQ(owner.Get(), second);
}

TEST(Handles, AReleasedHandleIsTheCallersToClose)
{
    HANDLE event = NewEvent();
    ASSERT_NE(event, nullptr);
    HANDLE released = nullptr;
    {
        KernelHandle owner(event);
        released = owner.Release();
        EXPECT_FALSE(owner.IsOpen());
    }
    EXPECT_EQ(released, event);
    EXPECT_TRUE(StillOpen(event));
    CloseHandle(event);
}

// CreateFileA reports no file with INVALID_HANDLE_VALUE, the others no
// handle with null: neither is a handle to close or to write to.
TEST(Handles, NeitherNullNorInvalidHandleValueIsOpen)
{
    for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        KernelHandle owner(none);
        EXPECT_FALSE(owner.IsOpen());
        EXPECT_TRUE(owner.Close());
    }
    KernelHandle missing(CreateFileA("Z:\\no such folder\\no such file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(missing.IsOpen());
}

// A file whose close fails may not hold what was written to it: the owner
// says so, and does not hold the handle any longer.
TEST(Handles, AFailedCloseIsReported)
{
    HANDLE event = NewEvent();
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(SetHandleInformation(event, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE));
    KernelHandle owner(event);
    EXPECT_FALSE(owner.Close());
    EXPECT_FALSE(owner.IsOpen());
    ASSERT_TRUE(StillOpen(event));
    SetHandleInformation(event, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Handles, AMovedRegistryKeyStaysOpenWithItsNewOwner)
{
    RegistryKey kept;
    {
        RegistryKey opened;
        ASSERT_TRUE(opened.Open(HKEY_CURRENT_USER, "Software", KEY_QUERY_VALUE));
        kept = std::move(opened);
        EXPECT_FALSE(opened.IsOpen());
    }
    DWORD values = 0;
    EXPECT_TRUE(kept.IsOpen());
    EXPECT_TRUE(kept.CountValues(&values));
    HKEY key = kept.Release();
    EXPECT_FALSE(kept.IsOpen());
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
