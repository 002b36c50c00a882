#ifndef KESTRUNE_SETTINGSFILE_H
#define KESTRUNE_SETTINGSFILE_H

#include <windows.h>

class TnString;

// Full path of Kestrune.ini beside the plug-in, or empty when there is none.
extern char SettingsPath[MAX_PATH];

// The two special values of "Drive", shown first and last in the options dialog.
extern const char DefaultDriveLabel[];
extern const char AllDrivesLabel[];

void MakeSettingsPath(HMODULE module);

void ReadDriveSetting(TnString& drive);
// Whether the tray action runs: every value but 0 turns it on.
bool ReadRunOnSetting();
// Whether each tray is drawn in before it opens: only 1 turns it on.
bool ReadCloseOnSetting();

// Each write reports whether the file really took the value.
bool WriteDriveSetting(const char* text);
bool WriteRunOnSetting(bool on);
bool WriteCloseOnSetting(bool on);

int ParseSettingInt(const char* text);

#endif
