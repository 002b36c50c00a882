#include "CdTray.h"

#include <mmsystem.h>

#include "../foundation/TnString.h"

void ListCdDrives(TnString& list)
{
    char roots[MAX_PATH];
    // The size passed leaves out the list's final NUL.
    const DWORD room = sizeof roots - 1;
    DWORD length = GetLogicalDriveStringsA(room, roots);
    list.Assign("");
    // 0 is a failure and a count beyond the room means it was left unfilled: either way
    // there is no list to read.
    if (length == 0 || length > room)
        return;
    const char* end = roots + length;
    for (const char* root = roots; root < end && *root != '\0'; root += lstrlenA(root) + 1) {
        if (GetDriveTypeA(root) == DRIVE_CDROM) {
            list.Append(root);
            list.AppendChar(DriveListSeparator);
        }
    }
}

const char* NextDriveInList(const char* root)
{
    while (*root != '\0' && *root != DriveListSeparator)
        ++root;
    return *root != '\0' ? root + 1 : root;
}

void EjectCdTray(const char* drive, bool closeFirst)
{
    MCI_OPEN_PARMSA open;
    ZeroMemory(&open, sizeof open);
    open.lpstrDeviceType = "cdaudio";
    DWORD flags = MCI_OPEN_TYPE | MCI_WAIT;

    // The device wants "D:"; a root "D:\" or any longer text starting with it names the same drive.
    char element[3];
    if (drive[0] != '\0') {
        lstrcpynA(element, drive, sizeof element);
        open.lpstrElementName = element;
        flags |= MCI_OPEN_ELEMENT;
    }
    if (mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return;

    if (closeFirst)
        mciSendCommandA(open.wDeviceID, MCI_SET, MCI_SET_DOOR_CLOSED | MCI_WAIT, 0);
    mciSendCommandA(open.wDeviceID, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, 0);
    mciSendCommandA(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
}
