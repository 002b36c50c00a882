#ifndef KESTRUNE_CDTRAY_H
#define KESTRUNE_CDTRAY_H

#include <windows.h>

class TnString;

// Follows every root in a drive list, the last one included.
const char DriveListSeparator = ' ';

// Fills the list with the optical drives' roots, each followed by a separator.
void ListCdDrives(TnString& list);
// The next root of a drive list: past this root's separator, or at the list's end.
const char* NextDriveInList(const char* root);
// Opens the tray of the drive (the default device for an empty text), drawing it in first
// if asked. A drive that cannot be opened is passed over.
void EjectCdTray(const char* drive, bool closeFirst);

#endif
