#ifndef KESTRUNE_TESTS_BOXWATCHER_H
#define KESTRUNE_TESTS_BOXWATCHER_H

// Watches, from a thread of its own, for message boxes with a given caption that a given
// process shows; notes what each one says and presses its OK button, as a user would.

#include <windows.h>

#include <string>
#include <vector>

// The captions of the plug-in's boxes, and what the version box and the box that refuses a
// host say.
const wchar_t ErrorCaption[] = L"プラグインエラー";
const wchar_t InfoCaption[] = L"プラグイン情報";
const wchar_t VersionText[] = L"Kestrune (Vandol for Quillon) Ver1.00\n\n"
                              L"新着メールをCDトレイの開閉でお知らせします\n(C) 2026 Kestrune 開発チーム";
const wchar_t AttachFailureText[] =
    L"プラグイン「Kestrune」でエラーが発生しました。\r\nQuillon32とプラグインのバージョンを確認してください";

struct SeenBox {
    std::wstring text;
    HWND owner;
    std::wstring ownerCaption;
    HICON icon;          // NULL when the box shows no icon
    bool hasCancel;      // any button beside OK
};

class BoxWatcher {
public:
    BoxWatcher(DWORD processId, const wchar_t* caption);
    ~BoxWatcher();

    // Waits until count boxes were seen (or the deadline passed); returns what was seen.
    std::vector<SeenBox> WaitFor(size_t count, DWORD milliseconds = 10000);
    std::vector<SeenBox> Seen();

private:
    BoxWatcher(const BoxWatcher&);
    BoxWatcher& operator=(const BoxWatcher&);
    static DWORD WINAPI Run(LPVOID self);
    static BOOL CALLBACK Visit(HWND window, LPARAM self);
    void Look(HWND window);

    DWORD processId;
    std::wstring caption;
    HANDLE thread;
    HANDLE started;
    volatile LONG stop;
    CRITICAL_SECTION lock;
    std::vector<SeenBox> seen;
    std::vector<HWND> handled;
};

// Asks until the condition holds or the deadline has passed; true if it held.
template <typename Condition>
bool WaitUntil(Condition holds, DWORD milliseconds = 10000)
{
    for (DWORD start = GetTickCount();; Sleep(20)) {
        if (holds())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
    }
}

// Waits, with a deadline, for a visible top-level window of the process with the caption.
HWND WaitForWindow(DWORD processId, const wchar_t* caption, DWORD milliseconds = 10000);

#endif
