// The options dialog, through APCSetup, worked from a second thread as a person would.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/DialogDriver.h"
#include "support/DialogTemplate.h"
#include "support/ImportPatch.h"
#include "support/PluginHeap.h"

#include <sstream>

namespace {

// The controls as the template in the module holds them, in their order there.
const DWORD Child = WS_CHILD | WS_VISIBLE;
const TemplateItem OptionControls[6] = {
    { Child | BS_AUTOCHECKBOX | WS_TABSTOP, 5, 7, 94, 11, IDC_RUNON, L"BUTTON", L"この機能をONにする(&O)" },
    { Child | SS_LEFT | WS_GROUP, 26, 28, 72, 9, IDC_DRIVE_LABEL, L"STATIC", L"対象ドライブ(&D):" },
    { Child | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 78, 26, 68, 80, IDC_DRIVE, L"COMBOBOX", L"" },
    { Child | BS_AUTOCHECKBOX | WS_TABSTOP, 26, 47, 130, 11, IDC_CLOSEON, L"BUTTON", L"閉じてからイジェクトする(&E)" },
    { Child | BS_PUSHBUTTON | WS_TABSTOP, 60, 70, 50, 14, IDOK, L"BUTTON", L"OK" },
    { Child | BS_PUSHBUTTON | WS_TABSTOP, 115, 70, 50, 14, IDCANCEL, L"BUTTON", L"キャンセル" },
};

// A caption as the controls draw it: "&" marks the next character as the mnemonic and is
// not drawn itself ("&&" draws one "&").
std::wstring DrawnCaption(const std::wstring& text)
{
    std::wstring drawn;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        drawn += text[i];
    }
    return drawn;
}

// What a control draws around its text, in pixels. A check box: its box, then half a "0" of
// the font before the text, and a pixel either side of the text for the focus rectangle. A
// push button: its raised frame, and as much again inside it for the default button's
// outline and the focus rectangle. The drop-down list: its sunken border and its arrow.
SIZE AroundCaption(const TemplateItem& item, const SIZE& zero)
{
    SIZE around = SIZE();
    if (item.className == L"COMBOBOX") {
        around.cx = GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE);
        around.cy = 2 * GetSystemMetrics(SM_CYEDGE);
    } else if (item.className == L"BUTTON" && (item.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        around.cx = GetSystemMetrics(SM_CXMENUCHECK) + zero.cx / 2 + 2;
    } else if (item.className == L"BUTTON" && (item.style & BS_TYPEMASK) == BS_PUSHBUTTON) {
        around.cx = 4 * GetSystemMetrics(SM_CXEDGE);
        around.cy = 4 * GetSystemMetrics(SM_CYEDGE);
    }
    return around;
}

// Another program (a scanner, a sync client) holds the settings file for a moment as OK writes
// it: the write numbered HeldAtWrite, from 0, finds it open without the right to write shared.
int HeldAtWrite;
BOOL WINAPI WriteWhileHeld(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    HANDLE held = HeldAtWrite-- != 0 ? NULL
                  : CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BOOL written = WritePrivateProfileStringA(section, key, value, file);
    CloseHandle(held);
    return written;
}

}

TEST_SUITE("dialog") {

TEST_CASE("the template in the module is the dialog users know")
{
    LoadedPlugin plugin;
    DialogTemplate dialog = ReadDialogTemplate(plugin.Module(), L"IDD_OPTION", MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    REQUIRE(dialog.found);
    CHECK(dialog.style == 0x00C00044u);
    CHECK(dialog.x == 0);
    CHECK(dialog.y == 0);
    CHECK(dialog.cx == 170);
    CHECK(dialog.cy == 90);
    CHECK(dialog.caption == std::wstring(L"Kestrune オプション設定"));
    CHECK(dialog.pointSize == 9);
    CHECK(dialog.font == std::wstring(L"ＭＳ Ｐゴシック"));

    REQUIRE(dialog.items.size() == 6);
    for (int i = 0; i < 6; ++i) {
        const TemplateItem &item = dialog.items[i], &expected = OptionControls[i];
        INFO("control " << expected.id);
        CHECK(item.id == expected.id);
        CHECK(item.style == expected.style);
        CHECK(item.x == expected.x);
        CHECK(item.y == expected.y);
        CHECK(item.cx == expected.cx);
        CHECK(item.cy == expected.cy);
        CHECK(item.className == expected.className);
        CHECK(item.text == expected.text);
    }
}

TEST_CASE("the dialog opens over the host's window with the optical drives between the two labels")
{
    LoadedPlugin plugin;
    HostWindow host;
    std::wstring texts[6], classes[6];
    RECT placed[6], expected[6];
    SetupRun run = RunSetup(plugin, host.Handle(), [&](HWND dialog) {
        for (int i = 0; i < 6; ++i) {
            const TemplateItem& item = OptionControls[i];
            HWND control = GetDlgItem(dialog, item.id);
            wchar_t name[32] = L"";
            GetClassNameW(control, name, 32);
            classes[i] = name;
            texts[i] = ControlText(dialog, item.id);
            // Position and size are mapped apart, as the dialog manager maps them.
            RECT position = { item.x, item.y, 0, 0 };
            RECT size = { 0, 0, item.cx, item.cy };
            MapDialogRect(dialog, &position);
            MapDialogRect(dialog, &size);
            SetRect(&expected[i], position.left, position.top, position.left + size.right, position.top + size.bottom);
            placed[i] = ControlRect(dialog, item.id);
        }
        Click(dialog, IDCANCEL);
    });
    REQUIRE(run.dialogShown);
    CHECK(run.result == 2);
    CHECK(run.opened.owner == host.Handle());
    CHECK(run.opened.focus == run.opened.runOnControl);
    POINT corner = { 0, 0 };  // where the template's 0, 0 puts its client area: the host's client area's corner
    ClientToScreen(host.Handle(), &corner);
    CHECK(run.opened.corner.x == corner.x);
    CHECK(run.opened.corner.y == corner.y);
    CHECK_FALSE(run.opened.topmost);
    const std::vector<std::string> listed = { DefaultLabel, "D:\\", "E:\\", AllLabel };
    CHECK(run.opened.items == listed);
    for (int i = 0; i < 6; ++i) {
        const TemplateItem& item = OptionControls[i];
        INFO("control " << item.id);
        CHECK(lstrcmpiW(classes[i].c_str(), item.className.c_str()) == 0);
        // The drop-down list shows its selected item, the default label.
        CHECK(texts[i] == (item.id == IDC_DRIVE ? std::wstring(L"デフォルト") : item.text));
        CHECK(placed[i].left == expected[i].left);
        CHECK(placed[i].top == expected[i].top);
        CHECK(placed[i].right - placed[i].left == expected[i].right - expected[i].left);
        if (item.id != IDC_DRIVE)  // a drop-down list is as tall as its edit part
            CHECK(placed[i].bottom - placed[i].top == expected[i].bottom - expected[i].top);
    }
}

TEST_CASE("every caption fits its control in the dialog's font, and the label ends before the drive list")
{
    LoadedPlugin plugin;
    std::wstring face;
    SIZE zero = SIZE(), caption[6];
    RECT placed[6], list = RECT();
    SetupRun run = RunSetup(plugin, NULL, [&](HWND dialog) {
        HDC dc = GetDC(dialog);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
        // The font actually chosen, not the name the template asked for.
        std::vector<char> metrics(GetOutlineTextMetricsW(dc, 0, NULL) + sizeof(OUTLINETEXTMETRICW));
        OUTLINETEXTMETRICW* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(&metrics[0]);
        if (GetOutlineTextMetricsW(dc, static_cast<UINT>(metrics.size()), outline))
            face = reinterpret_cast<const wchar_t*>(&metrics[0] + reinterpret_cast<size_t>(outline->otmpFaceName));
        GetTextExtentPoint32W(dc, L"0", 1, &zero);
        for (int i = 0; i < 6; ++i) {
            const int id = OptionControls[i].id;
            std::wstring text = DrawnCaption(ControlText(dialog, id));
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &caption[i]);
            placed[i] = ControlRect(dialog, id);
        }
        list = ControlRect(dialog, IDC_DRIVE);
        SelectObject(dc, previous);
        ReleaseDC(dialog, dc);
        Click(dialog, IDCANCEL);
    });
    REQUIRE(run.dialogShown);
    std::ostringstream figures;
    for (int i = 0; i < 6; ++i) {
        const TemplateItem& item = OptionControls[i];
        const LONG width = placed[i].right - placed[i].left, height = placed[i].bottom - placed[i].top;
        const SIZE around = AroundCaption(item, zero);
        INFO("control " << item.id << " in " << face);
        figures << "\n  control " << item.id << ": " << caption[i].cx << " + " << around.cx << " of " << width << " px";
        CHECK(caption[i].cx + around.cx <= width);
        CHECK(caption[i].cy + around.cy <= height);
        if (item.id == IDC_DRIVE_LABEL) {
            figures << ", ends at " << placed[i].left + caption[i].cx << ", the drive list begins at " << list.left;
            CHECK(placed[i].left + caption[i].cx <= list.left);
        }
    }
    MESSAGE("captions in " << face << ", \"0\" " << zero.cx << " px wide:" << figures.str());
}

TEST_CASE("the dialog opens with the saved settings, Enter keeps them and Escape cancels")
{
    struct Case {
        const char* name;
        std::string settings;  // or NoSettingsFile
        int selection;
        bool runOn, closeOn;
    };
    const Case cases[] = {
        { "no settings file", NoSettingsFile, 0, true, false },
        { "the default label", "Drive=" + DefaultLabel + "\r\n", 0, true, false },
        { "a drive in lower case", "Drive=d:\\\r\n", 1, true, false },
        { "the second drive", "Drive=E:\\\r\n", 2, true, false },
        { "all drives", "Drive=" + AllLabel + "\r\n", 3, true, false },
        { "a drive that is gone", "Drive=X:\\\r\n", 0, true, false },
        { "RunOn 0", "RunOn=0\r\n", 0, false, false },
        { "RunOn 2 runs, so it shows as on", "RunOn=2\r\n", 0, true, false },
        { "CloseOn 1", "CloseOn=1\r\n", 0, true, true },
        { "CloseOn 2 is not on", "CloseOn=2\r\n", 0, true, false },
        { "switched off with a drive and CloseOn", "RunOn=0\r\nDrive=E:\\\r\nCloseOn=1\r\n", 2, false, true },
    };
    for (const Case& c : cases) {
        INFO("case: " << std::string(c.name));
        LoadedPlugin plugin(c.settings);
        // Enter where the dialog put the focus is OK, which keeps what it shows; Escape is Cancel.
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Press(Look(dialog).focus, VK_RETURN); });
        SetupRun again = RunSetup(plugin, NULL, [](HWND dialog) { Press(Look(dialog).focus, VK_ESCAPE); });
        for (const SetupRun& each : { run, again }) {
            REQUIRE(each.dialogShown);
            CHECK_FALSE(each.leftOpen);
            CHECK(each.opened.selection == c.selection);
            CHECK(each.opened.runOn == c.runOn);
            CHECK(each.opened.closeOn == c.closeOn);
            CHECK(each.opened.driveEnabled == c.runOn);
            CHECK(each.opened.closeOnEnabled == c.runOn);
            CHECK(each.opened.labelEnabled);
            CHECK(each.opened.buttonsEnabled);
        }
        CHECK(run.result == 1);
        CHECK(again.result == 2);
    }
}

TEST_CASE("OK writes what the dialog shows; Cancel writes nothing")
{
    LoadedPlugin plugin;

    SUBCASE("a file that OK creates holds Drive, RunOn and CloseOn in that order")
    {
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) {
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 1, 0);
            Click(dialog, IDOK);
        });
        CHECK(run.result == 1);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == "[Option]\r\nDrive=D:\\\r\nRunOn=1\r\nCloseOn=0\r\n");
    }
    SUBCASE("switched off, the drive and CloseOn are disabled but kept, and written")
    {
        // Neither switch is in the file: OK must write both, CloseOn after RunOn, and the drive
        // chosen before the switch went off.
        plugin.WriteSettings(SettingsText("Drive=E:\\\r\n"));
        DialogView off = DialogView(), on = DialogView();
        SetupRun run = RunSetup(plugin, NULL, [&](HWND dialog) {
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 1, 0);
            Click(dialog, IDC_CLOSEON);
            Click(dialog, IDC_RUNON);
            off = Look(dialog);
            Click(dialog, IDC_RUNON);
            on = Look(dialog);
            Click(dialog, IDC_RUNON);
            Click(dialog, IDOK);
        });
        CHECK(run.result == 1);
        CHECK_FALSE(off.runOn);
        CHECK_FALSE(off.driveEnabled);
        CHECK_FALSE(off.closeOnEnabled);
        CHECK(off.labelEnabled);
        CHECK(off.buttonsEnabled);
        CHECK(off.selection == 1);
        CHECK(off.closeOn);
        CHECK(on.driveEnabled);
        CHECK(on.closeOnEnabled);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=D:\\\r\nRunOn=0\r\nCloseOn=1\r\n"));
    }
    SUBCASE("a hand-written RunOn 2 is saved as 1")
    {
        plugin.WriteSettings(SettingsText("RunOn=2\r\n"));
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDOK); });
        CHECK(run.result == 1);
        CHECK(ReadFileBytes(plugin.SettingsFile())
              == SettingsText("RunOn=1\r\nDrive=" + DefaultLabel + "\r\nCloseOn=0\r\n"));
    }
    SUBCASE("a file saved as UTF-8 works again once its drive is chosen again")
    {
        plugin.WriteSettings(SettingsText("Drive=\xE5\x85\xA8\xE3\x81\xA6\r\nRunOn=1\r\nCloseOn=1\r\n"));
        CHECK(RunSetup(plugin, NULL, [](HWND dialog) {
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 3, 0);
            Click(dialog, IDOK);
        }).result == 1);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=" + AllLabel + "\r\nRunOn=1\r\nCloseOn=1\r\n"));
        CHECK(plugin.RetrievalLog() == AllTrays(true));
    }
    SUBCASE("Cancel after changes leaves the file byte for byte")
    {
        std::string before = "; by hand\r\n[Option]\r\nDrive = d:\\\r\nRunOn=1\r\n\r\n[Other]\r\nKey=1\r\n";
        plugin.WriteSettings(before);
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) {
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 3, 0);
            Click(dialog, IDC_CLOSEON);
            Click(dialog, IDC_RUNON);
            Click(dialog, IDCANCEL);
        });
        CHECK(run.result == 2);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == before);
    }
}

TEST_CASE("every opening and every retrieval end over all drives finds the optical drives there are then")
{
    LoadedPlugin plugin("Drive=E:\\\r\n");
    ImportPatch drives(plugin.Module(), "KERNEL32.dll", "GetLogicalDriveStringsA", (void*)ListedDriveRoots);
    ImportPatch types(plugin.Module(), "KERNEL32.dll", "GetDriveTypeA", (void*)ListedDriveType);
    ListedDriveTypes = "G4H6I0";  // a network drive, a RAM disk, one of unknown type: none counts
    ListedDriveLetters = "CEFZ";  // D: unplugged
    SetupRun unplugged = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDCANCEL); });
    CHECK(unplugged.opened.items == std::vector<std::string>({ DefaultLabel, "E:\\", AllLabel }));
    CHECK(unplugged.opened.selection == 1);
    ListedDriveLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SetupRun every = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDOK); });
    CHECK(every.opened.items == std::vector<std::string>({ DefaultLabel, "D:\\", "E:\\", AllLabel }));
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=E:\\\r\nRunOn=1\r\nCloseOn=0\r\n"));
    plugin.WriteSettings(SettingsText("Drive=" + AllLabel + "\r\n"));
    CHECK(plugin.RetrievalLog() == AllTrays(false));
    ListedDriveLetters = "CEFGHIZ";  // D:, a USB drive say, unplugged while the host runs
    CHECK(plugin.RetrievalLog() == TraySequence("E:", false));
}

TEST_CASE("a save that fails at any of its writes is reported, and the dialog stays open")
{
    LoadedPlugin plugin;
    std::string path = plugin.SettingsFile();
    ImportPatch writes(plugin.Module(), "KERNEL32.dll", "WritePrivateProfileStringA", (void*)WriteWhileHeld);
    REQUIRE(writes.Applied());
    RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDCANCEL); });  // makes the runtime's state for this thread
    PluginHeap heap(plugin.Module());
    bool okAgain = false;
    SUBCASE("OK again once the file is free saves") { okAgain = true; }
    SUBCASE("Cancel after the failure") {}
    for (int write = 0; write < 3; ++write) {
        INFO("the file is held at write " << write << " of Drive, RunOn, CloseOn");
        plugin.WriteSettings(SettingsText("Drive=D:\\\r\n"));
        HeldAtWrite = write;
        BoxWatcher boxes(GetCurrentProcessId(), ErrorCaption);
        HWND dialogSeen = NULL;
        bool openAfterFailure = false, enabledAfterFailure = false;
        SetupRun run = RunSetup(plugin, NULL, [&](HWND dialog) {
            dialogSeen = dialog;
            Click(dialog, IDC_CLOSEON);
            ClickLater(dialog, IDOK);
            boxes.WaitFor(1);
            Sleep(100);
            openAfterFailure = IsWindow(dialog) != FALSE;
            enabledAfterFailure = IsWindowEnabled(dialog) != FALSE;
            Click(dialog, okAgain ? IDOK : IDCANCEL);
        });
        std::vector<SeenBox> seen = boxes.Seen();
        REQUIRE(seen.size() == 1);
        CHECK(seen[0].owner == dialogSeen);
        CHECK(seen[0].text == L"設定を保存できませんでした。\r\n" + FromCp932(path));
        CHECK(seen[0].icon == LoadIconW(NULL, MAKEINTRESOURCEW(32513)));
        CHECK_FALSE(seen[0].hasCancel);
        CHECK(openAfterFailure);
        CHECK(enabledAfterFailure);
        if (okAgain) {
            CHECK(run.result == 1);
            CHECK(ReadFileBytes(path) == SettingsText("Drive=D:\\\r\nRunOn=1\r\nCloseOn=1\r\n"));
        } else {
            CHECK(run.result == 2);
            CHECK(ReadFileBytes(path) == SettingsText(write < 2 ? "Drive=D:\\\r\n" : "Drive=D:\\\r\nRunOn=1\r\n"));
        }
        CHECK(heap.LiveBlocks() == 0);  // nothing kept, the failure box's text included
    }
}

TEST_CASE("out of memory while the dialog opens: APCSetup answers -1")
{
    LoadedPlugin plugin;
    PluginHeap heap(plugin.Module());
    heap.RefusingAll();
    SetupRun run = RunSetup(plugin, NULL, [](HWND) {});
    CHECK(run.result == -1);
    CHECK_FALSE(run.leftOpen);
    CHECK(WaitForWindow(GetCurrentProcessId(), OptionDialogCaption, 0) == static_cast<HWND>(NULL));
}

TEST_CASE("what the dialog saves is what the next retrieval end does")
{
    LoadedPlugin plugin;
    SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 2, 0);
        Click(dialog, IDC_CLOSEON);
        Click(dialog, IDOK);
    });
    REQUIRE(run.result == 1);
    CHECK(plugin.RetrievalLog() == TraySequence("E:", true));
}

}

TEST_SUITE("no-optical-drive") {

TEST_CASE("without optical drives the list holds only the two labels")
{
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\n");
    SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDOK); });
    CHECK(run.result == 1);
    const std::vector<std::string> listed = { DefaultLabel, AllLabel };
    CHECK(run.opened.items == listed);
    CHECK(run.opened.selection == 1);
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=" + AllLabel + "\r\nRunOn=1\r\nCloseOn=0\r\n"));
}

}
