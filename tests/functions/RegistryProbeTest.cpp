// The write-access probe of HKEY_LOCAL_MACHINE: what it leaves behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "RegistryProbe.h"

namespace {

bool KeyExists(const char* path)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The text of a value, or "(none)".
std::string TextValue(const char* path, const char* name)
{
    std::string result = "(none)";
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return result;
    char data[256] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        result = data;
    RegCloseKey(key);
    return result;
}

void SetTextValue(const char* path, const char* name, const char* text)
{
    HKEY key = NULL;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, NULL, &key,
                              NULL),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(key);
}

void RemoveProbeKey()
{
    std::string sub = std::string(RegistryProbeKey) + "\\Part";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, sub.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, RegistryProbeKey);
}

class RegistryProbe : public ::testing::Test {
protected:
    void SetUp() override { RemoveProbeKey(); }
    void TearDown() override { RemoveProbeKey(); }
};

TEST_F(RegistryProbe, RemovesTheKeyItCreated)
{
    ASSERT_FALSE(KeyExists(RegistryProbeKey));
    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_FALSE(KeyExists(RegistryProbeKey));
    // A second probe finds the same clean slate.
    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_FALSE(KeyExists(RegistryProbeKey));
}

// A product named Vellmark is installed: its uninstall entry stays whole.
TEST_F(RegistryProbe, LeavesAnExistingKeyAndItsValues)
{
    SetTextValue(RegistryProbeKey, "DisplayName", "Vellmark 2.0");
    SetTextValue(RegistryProbeKey, "UninstallString", "C:\\Windows\\vuninst.exe");
    std::string sub = std::string(RegistryProbeKey) + "\\Part";
    SetTextValue(sub.c_str(), "Note", "kept");

    EXPECT_EQ(ProbeRegistryWritable(), 1);
    EXPECT_TRUE(KeyExists(RegistryProbeKey));
    EXPECT_EQ(TextValue(RegistryProbeKey, "DisplayName"), "Vellmark 2.0");
    EXPECT_EQ(TextValue(RegistryProbeKey, "UninstallString"), "C:\\Windows\\vuninst.exe");
    EXPECT_EQ(TextValue(sub.c_str(), "Note"), "kept");
}

}  // namespace
