#include "NewMailTrigger.h"

#include <windows.h>

#include <limits.h>

#include "CdTray.h"
#include "../foundation/TnString.h"
#include "../settings/SettingsFile.h"

// Mails received since the last retrieval end took the count. The host calls on any of its
// threads, so every access is one interlocked operation.
static volatile LONG NewMailCount = 0;

void CountNewMail()
{
    // A retrieval that never ends must not wrap the count round to "no mail". The first guess
    // is right when the count starts from 0; a wrong one comes back corrected.
    LONG seen = 0;
    while (seen < LONG_MAX) {
        LONG was = InterlockedCompareExchange(&NewMailCount, seen + 1, seen);
        if (was == seen)
            return;
        seen = was;
    }
}

// Fills the string, whatever it held, with the optical drives and opens each tray in turn.
static void EjectEveryCdTray(TnString& drives, bool closeFirst)
{
    ListCdDrives(drives);
    for (const char* root = drives.CStr(); *root != '\0'; root = NextDriveInList(root))
        EjectCdTray(root, closeFirst);
}

static void RunRetrievalEndAction()
{
    if (!ReadRunOnSetting())
        return;
    TnString drive;
    ReadDriveSetting(drive);
    bool closeFirst = ReadCloseOnSetting();

    if (drive.Compare(AllDrivesLabel) == 0) {
        EjectEveryCdTray(drive, closeFirst);
        return;
    }
    // The default device is the one opened without naming a drive.
    if (drive.Compare(DefaultDriveLabel) == 0)
        drive.Assign("");
    EjectCdTray(drive.CStr(), closeFirst);
}

void EndRetrieval()
{
    // This end accounts for the mail counted up to now, whatever the action achieves. Mail
    // counted on another thread while the trays move stays for the next end.
    if (InterlockedExchange(&NewMailCount, 0) <= 0)
        return;
    if (PrepareThreadToRaise()) {
        try {
            RunRetrievalEndAction();
        } catch (...) {
            // Out of memory: the trays not reached yet stay put.
        }
    }
}
