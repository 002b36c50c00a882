#include "NewMailTrigger.h"

#include <limits.h>

#include "CdTray.h"
#include "../foundation/TnString.h"
#include "../settings/SettingsFile.h"

// Mails received since the last retrieval end that acted.
static int NewMailCount = 0;

void CountNewMail()
{
    // A retrieval that never ends must not wrap the count round to "no mail".
    if (NewMailCount < INT_MAX)
        ++NewMailCount;
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
    if (NewMailCount <= 0)
        return;
    if (PrepareThreadToRaise()) {
        try {
            RunRetrievalEndAction();
        } catch (...) {
            // Out of memory: the trays not reached yet stay put.
        }
    }
    // Whatever the action achieved, this retrieval's mail is accounted for.
    NewMailCount = 0;
}
