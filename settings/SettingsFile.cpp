#include "SettingsFile.h"

#include "../foundation/TnString.h"

// The file's format: once shipped, these names and defaults are what users' files hold.
static const char SectionName[] = "Option";
static const char DriveKey[] = "Drive";
static const char RunOnKey[] = "RunOn";
static const char CloseOnKey[] = "CloseOn";
static const int SettingOn = 1;
static const int SettingOff = 0;
static const int RunOnDefault = SettingOn;
static const int CloseOnDefault = SettingOff;

static const char SettingsExtension[] = ".ini";

// "デフォルト" and "全て" in code page 932.
const char DefaultDriveLabel[] = "\x83\x66\x83\x74\x83\x48\x83\x8B\x83\x67";
const char AllDrivesLabel[] = "\x91\x53\x82\xC4";

char SettingsPath[MAX_PATH];

void MakeSettingsPath(HMODULE module)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    SettingsPath[0] = '\0';
    // No name, or a truncated one: there is no settings file rather than a wrong one.
    if (length == 0 || length >= MAX_PATH)
        return;

    // Only a dot in the file-name part starts the extension. The walk goes character by
    // character because a double-byte character's trail byte can be a backslash.
    DWORD stem = length;
    for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\')
            stem = length;
        else if (*p == '.')
            stem = static_cast<DWORD>(p - path);
    }
    if (stem + sizeof SettingsExtension > MAX_PATH)
        return;
    lstrcpyA(path + stem, SettingsExtension);
    lstrcpyA(SettingsPath, path);
}

// Copies the key's value into value (MAX_PATH bytes); returns the number of bytes copied.
static DWORD ReadSettingText(const char* key, char* value)
{
    value[0] = '\0';
    // An empty path would make the profile functions use the Windows folder.
    if (SettingsPath[0] == '\0')
        return 0;
    return GetPrivateProfileStringA(SectionName, key, "", value, MAX_PATH, SettingsPath);
}

static int ReadIntSetting(const char* key, int defaultValue)
{
    char value[MAX_PATH];
    if (ReadSettingText(key, value) == 0)
        return defaultValue;
    return ParseSettingInt(value);
}

void ReadDriveSetting(TnString& drive)
{
    char value[MAX_PATH];
    ReadSettingText(DriveKey, value);
    drive.Assign(value);
}

bool ReadRunOnSetting()
{
    return ReadIntSetting(RunOnKey, RunOnDefault) != SettingOff;
}

bool ReadCloseOnSetting()
{
    return ReadIntSetting(CloseOnKey, CloseOnDefault) == SettingOn;
}

static bool WriteSettingText(const char* key, const char* value)
{
    if (SettingsPath[0] == '\0')
        return false;
    return WritePrivateProfileStringA(SectionName, key, value, SettingsPath) != FALSE;
}

static bool WriteSwitchSetting(const char* key, bool on)
{
    char text[2] = { static_cast<char>('0' + (on ? SettingOn : SettingOff)), '\0' };
    return WriteSettingText(key, text);
}

bool WriteDriveSetting(const char* text)
{
    return WriteSettingText(DriveKey, text);
}

bool WriteRunOnSetting(bool on)
{
    return WriteSwitchSetting(RunOnKey, on);
}

bool WriteCloseOnSetting(bool on)
{
    return WriteSwitchSetting(CloseOnKey, on);
}

int ParseSettingInt(const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p == ' ' || (*p >= 9 && *p <= 13))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Unsigned arithmetic wraps modulo 2^32 where a signed one would overflow.
    unsigned int value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10u + static_cast<unsigned int>(*p - '0');
        ++p;
    }
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}
