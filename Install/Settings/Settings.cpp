#include "Settings.h"

#include <cstring>

const char* SetupScript = nullptr;

int GetSetting(const char* key, char* destination, size_t capacity)
{
    if (!SetupScript || !key || !*key || !destination || capacity == 0)
        return 0;
    const char* found = strstr(SetupScript, key);
    if (!found)
        return 0;
    const char* value = found + strlen(key);
    if (*value != '=')
        return 0;            // later occurrences are not tried
    ++value;
    size_t length = 0;
    while (value[length] != '\0' && value[length] != '\r')
        ++length;
    if (length > capacity - 1)
        length = capacity - 1;   // never past the caller's buffer
    memcpy(destination, value, length);
    destination[length] = '\0';
    return 1;
}

int GetSettingInt(const char* key, int* value)
{
    if (!SetupScript || !key || !*key)
        return 0;
    const char* found = strstr(SetupScript, key);
    if (!found)
        return 0;
    const char* equals = strchr(found, '=');
    if (!equals)
        return 0;            // no '=' before the end of the text: absent
    unsigned int number = 0;
    for (const char* p = equals + 1; *p >= '0' && *p <= '9'; ++p)
        number = number * 10u + static_cast<unsigned int>(*p - '0');
    if (value)
        *value = static_cast<int>(number);
    return 1;
}
