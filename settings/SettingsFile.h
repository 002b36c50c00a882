#ifndef KESTRUNE_SETTINGSFILE_H
#define KESTRUNE_SETTINGSFILE_H

#include <windows.h>

class TnString;

// Full path of Kestrune.ini beside the plug-in, or empty when there is none.
extern char SettingsPath[MAX_PATH];

// The two special values of "Drive", shown first and last in the options dialog.
extern const char DefaultDriveLabel[];
extern const char AllDrivesLabel[];

const int SettingOn = 1;
const int SettingOff = 0;

void MakeSettingsPath(HMODULE module);

void ReadDriveSetting(TnString& drive);
int ReadRunOnSetting();
int ReadCloseOnSetting();

// Each write reports whether the file really took the value.
BOOL WriteDriveSetting(const char* text);
BOOL WriteRunOnSetting(int value);
BOOL WriteCloseOnSetting(int value);

int ParseSettingInt(const char* text);

#endif
