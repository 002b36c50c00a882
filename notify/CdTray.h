#ifndef KESTRUNE_CDTRAY_H
#define KESTRUNE_CDTRAY_H

#include <windows.h>

class TnString;

// Follows every root in a drive list, the last one included.
const char DriveListSeparator = ' ';

BOOL ListCdDrives(TnString& list);
BOOL EjectCdTray(const char* drive, int closeFirst);

#endif
