#include "DialogDriver.h"

#include "BoxWatcher.h"

const wchar_t OptionDialogCaption[] = L"Kestrune オプション設定";

namespace {

bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The window the dialog's thread last gave the focus to. The focus itself goes with the thread's
// activation, which another program's window (another suite's, on this display) may take.
PVOID volatile FocusGiven;

LRESULT CALLBACK WatchFocus(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SETFOCUS && wParam != 0)
        InterlockedExchangePointer(&FocusGiven, reinterpret_cast<PVOID>(wParam));
    return CallNextHookEx(NULL, code, wParam, lParam);
}

}

DialogView Look(HWND dialog)
{
    DialogView seen = DialogView();
    HWND combo = GetDlgItem(dialog, IDC_DRIVE);
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[MAX_PATH] = "";
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        seen.items.push_back(text);
    }
    seen.selection = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    seen.runOn = IsChecked(dialog, IDC_RUNON);
    seen.closeOn = IsChecked(dialog, IDC_CLOSEON);
    seen.driveEnabled = IsEnabled(dialog, IDC_DRIVE);
    seen.closeOnEnabled = IsEnabled(dialog, IDC_CLOSEON);
    seen.labelEnabled = IsEnabled(dialog, IDC_DRIVE_LABEL);
    seen.buttonsEnabled = IsEnabled(dialog, IDOK) && IsEnabled(dialog, IDCANCEL);
    seen.topmost = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    ClientToScreen(dialog, &seen.corner);
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.focus = static_cast<HWND>(FocusGiven);
    seen.runOnControl = GetDlgItem(dialog, IDC_RUNON);
    return seen;
}

SetupRun RunSetup(const PluginUnderTest& plugin, HWND parent, const std::function<void(HWND)>& script)
{
    SetupRun run = SetupRun();
    volatile LONG setupReturned = 0;
    const std::function<void()> drive = [&]() {
        // Until the dialog appears, or APCSetup has returned without one.
        HWND dialog = NULL;
        WaitUntil([&]() {
            dialog = WaitForWindow(GetCurrentProcessId(), OptionDialogCaption, 0);
            return dialog != NULL || setupReturned;
        });
        if (dialog == NULL)
            return;
        run.dialogShown = true;
        WaitUntil([&]() { return FocusGiven != NULL; }, 2000);
        run.opened = Look(dialog);
        script(dialog);
        if (!WaitUntilGone(dialog)) {
            run.leftOpen = true;
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    };
    FocusGiven = NULL;
    HHOOK focusWatch = SetWindowsHookExW(WH_CBT, WatchFocus, NULL, GetCurrentThreadId());
    HANDLE thread = StartThread(drive);
    run.result = plugin.Setup(parent);
    UnhookWindowsHookEx(focusWatch);
    InterlockedExchange(&setupReturned, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return run;
}

std::wstring ControlText(HWND dialog, int id)
{
    wchar_t text[256] = L"";
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

RECT ControlRect(HWND dialog, int id)
{
    RECT placed = RECT();
    GetWindowRect(GetDlgItem(dialog, id), &placed);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&placed), 2);
    return placed;
}

void Click(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ClickLater(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Press(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 0);
}

bool WaitUntilGone(HWND window, DWORD milliseconds)
{
    return WaitUntil([&]() { return !IsWindow(window); }, milliseconds);
}

HostWindow::HostWindow()
    : window(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300, NULL,
                             NULL, NULL, NULL))
{
}

HostWindow::~HostWindow()
{
    DestroyWindow(window);
}
