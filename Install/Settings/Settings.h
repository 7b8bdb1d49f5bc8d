// Settings: Key=value lines inside the setup script (Install.ini).
//
// The settings are not parsed in advance: every look-up searches the prepared
// script text again.  A look-up is case-sensitive, so a setting is written as a
// `//` comment line ("// Company=Acme"), where the script's case folding does
// not reach it.
#ifndef VELLMARK_SETTINGS_H
#define VELLMARK_SETTINGS_H

#include <cstddef>

// Size of a setting value buffer: at most 255 characters and the terminator.
constexpr size_t SettingValueSize = 256;

// The NUL-terminated setup script that the look-ups search.  Start-up points
// it at the extracted Install.ini; the command-line tool at the file it checks.
extern const char* SetupScript;

// Finds the first occurrence of `key` anywhere in SetupScript.  When the
// character right after it is '=', copies the rest of that line (up to the
// first carriage return or the end of the text, nothing trimmed) into
// `destination` and returns 1.  A value longer than capacity - 1 characters is
// cut to capacity - 1.  Otherwise returns 0 and leaves `destination` alone.
int GetSetting(const char* key, char* destination, size_t capacity = SettingValueSize);

// Finds the first occurrence of `key`, moves on to the next '=' (which may be
// on a later line) and reads the decimal digits right after it, wrapping in
// unsigned 32-bit arithmetic; no digits give 0.  Returns 1 and stores the
// number.  Returns 0 and leaves `value` alone when the key does not occur or
// no '=' follows it before the end of the text.
int GetSettingInt(const char* key, int* value);

#endif
