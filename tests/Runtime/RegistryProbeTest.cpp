// The write-access probe of HKEY_LOCAL_MACHINE: what it leaves behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "WindowsTestSupport.h"
#include "RegistryProbe.h"

using fntest::KeyExists;
using fntest::ReadTextValue;
using fntest::SetTextValue;

namespace {

class RegistryProbe : public ::testing::Test {
protected:
    void SetUp() override { fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, RegistryProbeKey); }
    void TearDown() override { fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, RegistryProbeKey); }
};

TEST_F(RegistryProbe, RemovesTheKeyItCreated)
{
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegistryProbeKey));
    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegistryProbeKey));
    // A second probe finds the same clean slate.
    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RegistryProbeKey));
}

// A product named Vellmark is installed: its uninstall entry stays whole.
TEST_F(RegistryProbe, LeavesAnExistingKeyAndItsValues)
{
    ASSERT_TRUE(SetTextValue(HKEY_LOCAL_MACHINE, RegistryProbeKey, "DisplayName", "Vellmark 2.0"));
    ASSERT_TRUE(SetTextValue(HKEY_LOCAL_MACHINE, RegistryProbeKey, "UninstallString", "C:\\Windows\\vuninst.exe"));
    std::string sub = std::string(RegistryProbeKey) + "\\Part";
    ASSERT_TRUE(SetTextValue(HKEY_LOCAL_MACHINE, sub, "Note", "kept"));

    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RegistryProbeKey));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, RegistryProbeKey, "DisplayName"), "Vellmark 2.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, RegistryProbeKey, "UninstallString"), "C:\\Windows\\vuninst.exe");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, sub, "Note"), "kept");
}

}  // namespace
