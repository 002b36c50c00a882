#ifndef KESTRUNE_TESTS_DIALOGDRIVER_H
#define KESTRUNE_TESTS_DIALOGDRIVER_H

// Runs APCSetup on the calling thread while a script, on a thread of its own, works the
// options dialog as a person would. The script only looks and acts; the test checks what
// it saw once APCSetup has returned.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "PluginUnderTest.h"
#include "settings/resource.h"

extern const wchar_t OptionDialogCaption[];

// What a person sees of the dialog at one moment.
struct DialogView {
    std::vector<std::string> items;  // the drive list, code page 932 bytes
    int selection;
    bool runOn, closeOn, driveEnabled, closeOnEnabled, labelEnabled, buttonsEnabled /* OK, Cancel */, topmost;
    HWND owner, focus, runOnControl;  // focus: the window its thread last gave the focus to
    POINT corner;                     // its client area's top-left corner, on the screen
};
DialogView Look(HWND dialog);

struct SetupRun {
    int result;           // what APCSetup returned
    bool dialogShown;
    bool leftOpen;        // the script did not end the dialog; it was cancelled for it
    DialogView opened;    // the dialog as it opened, before the script ran
};

SetupRun RunSetup(const PluginUnderTest& plugin, HWND parent, const std::function<void(HWND)>& script);

// What a person sees and does, one control at a time.
std::wstring ControlText(HWND dialog, int id);
// Where the control lies, in the dialog's client coordinates.
RECT ControlRect(HWND dialog, int id);
// Clicks a button and waits for the dialog to have handled it.
void Click(HWND dialog, int id);
// Clicks a button without waiting: what it does may open a box of its own.
void ClickLater(HWND dialog, int id);
// Presses a key on the window, without waiting: the dialog's message loop takes it.
void Press(HWND window, WPARAM key);
// Waits, with a deadline, until the window is gone; false if it is still there.
bool WaitUntilGone(HWND window, DWORD milliseconds = 10000);

// A top-level window for the dialog to belong to, destroyed with the object.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HWND Handle() const { return window; }

private:
    HostWindow(const HostWindow&);
    HostWindow& operator=(const HostWindow&);
    HWND window;
};

#endif
