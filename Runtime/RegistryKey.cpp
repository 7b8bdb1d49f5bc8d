// An owned registry key.
#include "RegistryKey.h"

#include <cstring>

bool RegistryKey::Open(HKEY root, const char* path, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return false;
    key_ = OwnedHandle<RegistryKeyKind>(key);
    return true;
}

bool RegistryKey::Create(HKEY root, const char* path, REGSAM access, bool* created)
{
    Close();
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return false;
    key_ = OwnedHandle<RegistryKeyKind>(key);
    if (created)
        *created = disposition == REG_CREATED_NEW_KEY;
    return true;
}

bool RegistryKey::SetText(const char* name, const char* text)
{
    DWORD size = static_cast<DWORD>(strlen(text) + 1);
    return RegSetValueExA(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) == ERROR_SUCCESS;
}

bool RegistryKey::SetNumber(const char* name, DWORD value)
{
    return RegSetValueExA(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool RegistryKey::QueryNumber(const char* name, DWORD* value)
{
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegQueryValueExA(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS)
        return false;
    *value = number;
    return true;
}

bool RegistryKey::QueryText(const char* name, char* text, size_t capacity, DWORD* type)
{
    if (capacity == 0)
        return false;
    DWORD size = static_cast<DWORD>(capacity - 1);
    DWORD valueType = 0;
    if (RegQueryValueExA(key_.Get(), name, nullptr, &valueType, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
        text[0] = '\0';
        return false;
    }
    text[size < capacity ? size : capacity - 1] = '\0';
    if (type)
        *type = valueType;
    return true;
}

bool RegistryKey::IsEmpty()
{
    DWORD subkeys = 1, values = 1;
    return RegQueryInfoKeyA(key_.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

bool RegistryKey::CountValues(DWORD* count)
{
    DWORD values = 0;
    if (RegQueryInfoKeyA(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    *count = values;
    return true;
}
