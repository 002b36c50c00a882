#include "OptionDialog.h"

#include "resource.h"
#include "SettingsFile.h"
#include "../foundation/TnString.h"
#include "../notify/CdTray.h"

// "設定を保存できませんでした。"
static const char SaveFailureText[] =
    "\x90\xDD\x92\xE8\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81\x42";

// The caption of the running dialog's failure box.
static const char* ErrorCaption = "";

INT_PTR ShowOptionDialog(HINSTANCE module, HWND parent, const char* errorCaption)
{
    ErrorCaption = errorCaption;
    return DialogBoxParamA(module, "IDD_OPTION", parent, OptionDlgProc, 0);
}

INT_PTR CALLBACK OptionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    // Windows called us: nothing may be thrown back into its frames.
    try {
        switch (message) {
        case WM_INITDIALOG:
            InitOptionDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case IDOK:
                if (SaveOptionDialog(dialog))
                    EndDialog(dialog, IDOK);
                return TRUE;
            case IDCANCEL:
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            case IDC_RUNON:
                UpdateOptionControls(dialog);
                return TRUE;
            default:
                return TRUE;
            }
        default:
            return FALSE;
        }
    } catch (...) {
        // Out of memory: the dialog ends the way a dialog that cannot run does.
        EndDialog(dialog, -1);
        return TRUE;
    }
}

static void AddDriveItem(HWND dialog, const char* text)
{
    SendDlgItemMessageA(dialog, IDC_DRIVE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Lists the default device, each optical drive and all drives, and selects the item that
// names the saved drive. The default label is never compared: it, an empty value and a
// drive that is gone all leave item 0 selected.
static void FillDriveList(HWND dialog, const TnString& saved)
{
    AddDriveItem(dialog, DefaultDriveLabel);
    int selection = 0;
    int item = 1;
    TnString drives;
    ListCdDrives(drives);
    TnString root;
    for (const char* entry = drives.CStr(); *entry != '\0'; ++item) {
        const char* next = NextDriveInList(entry);
        // The item is the root without the separator that follows it.
        const char* end = next[-1] == DriveListSeparator ? next - 1 : next;
        root.Assign("");
        for (; entry != end; ++entry)
            root.AppendChar(*entry);
        entry = next;
        AddDriveItem(dialog, root.CStr());
        if (root.CompareNoCase(saved.CStr()) == 0)
            selection = item;
    }
    AddDriveItem(dialog, AllDrivesLabel);
    if (saved.Compare(AllDrivesLabel) == 0)
        selection = item;
    SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, selection, 0);
}

void InitOptionDialog(HWND dialog)
{
    TnString saved;
    ReadDriveSetting(saved);
    FillDriveList(dialog, saved);
    // The boxes show what the tray action will do.
    CheckDlgButton(dialog, IDC_RUNON, ReadRunOnSetting() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_CLOSEON, ReadCloseOnSetting() ? BST_CHECKED : BST_UNCHECKED);
    UpdateOptionControls(dialog);
}

static void ReportSaveFailure(HWND dialog)
{
    TnString text;
    text.Assign(SaveFailureText);
    text.Append("\r\n");
    text.Append(SettingsPath);
    MessageBoxA(dialog, text.CStr(), ErrorCaption, MB_ICONHAND);
}

// Writes the shown values in the order Drive, RunOn, CloseOn, stopping at the first write
// that fails; returns whether all were written.
static bool WriteOptionControls(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_DRIVE);
    LRESULT selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR) {
        TnString drive;
        drive.AssignFromComboItem(combo, static_cast<int>(selection));
        if (!WriteDriveSetting(drive.CStr()))
            return false;
    }
    if (!WriteRunOnSetting(IsDlgButtonChecked(dialog, IDC_RUNON) == BST_CHECKED))
        return false;
    // Written even while disabled: it keeps what the user chose for when the feature is on.
    return WriteCloseOnSetting(IsDlgButtonChecked(dialog, IDC_CLOSEON) == BST_CHECKED);
}

bool SaveOptionDialog(HWND dialog)
{
    EnableWindow(dialog, FALSE);
    bool saved = WriteOptionControls(dialog);
    EnableWindow(dialog, TRUE);
    // The dialog stays open, so the user can mend the cause and press OK again, or cancel.
    if (!saved)
        ReportSaveFailure(dialog);
    return saved;
}

void UpdateOptionControls(HWND dialog)
{
    bool on = IsDlgButtonChecked(dialog, IDC_RUNON) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_DRIVE), on);
    EnableWindow(GetDlgItem(dialog, IDC_CLOSEON), on);
}
