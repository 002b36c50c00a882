#include "BoxWatcher.h"

#include <algorithm>

namespace {

// Captions are read without a message: the window's thread may be waiting for the caller.
bool IsShownBy(HWND window, DWORD processId, const wchar_t* caption)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId || !IsWindowVisible(window))
        return false;
    wchar_t text[256];
    InternalGetWindowText(window, text, 256);
    return lstrcmpW(text, caption) == 0;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    if (!IsShownBy(window, search->processId, search->caption))
        return TRUE;
    search->found = window;
    return FALSE;
}

// Fills in what the box's controls show: its text, its icon, its buttons.
BOOL CALLBACK VisitChild(HWND child, LPARAM param)
{
    SeenBox* box = reinterpret_cast<SeenBox*>(param);
    wchar_t className[32];
    GetClassNameW(child, className, 32);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(className, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            if (IsWindowVisible(child))
                box->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        } else {
            wchar_t text[1024];
            GetWindowTextW(child, text, 1024);
            if (text[0] != L'\0')
                box->text = text;
        }
    } else if (lstrcmpiW(className, L"Button") == 0 && IsWindowVisible(child)) {
        if (GetDlgCtrlID(child) != IDOK)
            box->hasCancel = true;
    }
    return TRUE;
}

}

HWND WaitForWindow(DWORD processId, const wchar_t* caption, DWORD milliseconds)
{
    WindowSearch search = { processId, caption, NULL };
    WaitUntil([&]() {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != NULL;
    }, milliseconds);
    return search.found;
}

BoxWatcher::BoxWatcher(DWORD processId, const wchar_t* caption)
    : processId(processId), caption(caption), thread(NULL), stop(0)
{
    InitializeCriticalSection(&lock);
    started = CreateEventW(NULL, TRUE, FALSE, NULL);
    thread = CreateThread(NULL, 0, Run, this, 0, NULL);
    // A box shown from DllMain is shown under the loader lock, which a thread that is still
    // starting up needs: wait until this one is past that, and has made its first window calls.
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
}

BoxWatcher::~BoxWatcher()
{
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    DeleteCriticalSection(&lock);
}

DWORD WINAPI BoxWatcher::Run(LPVOID self)
{
    BoxWatcher* watcher = static_cast<BoxWatcher*>(self);
    EnumWindows(Visit, reinterpret_cast<LPARAM>(watcher));
    SetEvent(watcher->started);
    while (!watcher->stop) {
        EnumWindows(Visit, reinterpret_cast<LPARAM>(watcher));
        Sleep(20);
    }
    return 0;
}

BOOL CALLBACK BoxWatcher::Visit(HWND window, LPARAM self)
{
    reinterpret_cast<BoxWatcher*>(self)->Look(window);
    return TRUE;
}

void BoxWatcher::Look(HWND window)
{
    if (!IsShownBy(window, processId, caption.c_str()))
        return;
    if (std::find(handled.begin(), handled.end(), window) != handled.end())
        return;
    handled.push_back(window);

    SeenBox box = SeenBox();
    EnumChildWindows(window, VisitChild, reinterpret_cast<LPARAM>(&box));
    box.owner = GetWindow(window, GW_OWNER);
    if (box.owner != NULL) {
        wchar_t ownerText[256] = L"";
        InternalGetWindowText(box.owner, ownerText, 256);
        box.ownerCaption = ownerText;
    }
    EnterCriticalSection(&lock);
    seen.push_back(box);
    LeaveCriticalSection(&lock);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
}

std::vector<SeenBox> BoxWatcher::Seen()
{
    EnterCriticalSection(&lock);
    std::vector<SeenBox> copy = seen;
    LeaveCriticalSection(&lock);
    return copy;
}

std::vector<SeenBox> BoxWatcher::WaitFor(size_t count, DWORD milliseconds)
{
    WaitUntil([&]() { return Seen().size() >= count; }, milliseconds);
    return Seen();
}
