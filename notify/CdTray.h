#ifndef KESTRUNE_CDTRAY_H
#define KESTRUNE_CDTRAY_H

#include <windows.h>

class TnString;

// Follows every root in a drive list, the last one included.
const char DriveListSeparator = ' ';

BOOL ListCdDrives(TnString& list);
// The next root of a drive list: past this root's separator, or at the list's end.
const char* NextDriveInList(const char* root);
BOOL EjectCdTray(const char* drive, int closeFirst);

#endif
