// The three entry points that only tell the host who the plug-in is.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/DialogDriver.h"
#include "support/PluginUnderTest.h"

TEST_SUITE("identity") {

TEST_CASE("the name is the same constant text on every call, and start-up answers 1")
{
    LoadedPlugin plugin;
    const char* first = plugin.GetPlugName();
    REQUIRE(first != NULL);
    CHECK(std::string(first) == "Kestrune");
    CHECK(plugin.StartUp(0) == 1);
    CHECK(plugin.StartUp(-1) == 1);
    CHECK(plugin.StartUp(0x12345678) == 1);
    CHECK(plugin.GetPlugName() == first);
    CHECK(plugin.GetPlugName() == first);
}

TEST_CASE("the version box belongs to the host's window and says which version this is")
{
    LoadedPlugin plugin;
    HostWindow host;
    REQUIRE(host.Handle() != NULL);
    BoxWatcher boxes(GetCurrentProcessId(), InfoCaption);
    CHECK(plugin.VersionInfo(host.Handle()) == IDOK);
    std::vector<SeenBox> seen = boxes.Seen();
    REQUIRE(seen.size() == 1);
    CHECK(seen[0].owner == host.Handle());
    CHECK(seen[0].icon == static_cast<HICON>(NULL));
    CHECK_FALSE(seen[0].hasCancel);
    CHECK(seen[0].text == VersionText);
}

namespace {

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name)
{
    wchar_t* value = NULL;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\041103a4\\") + name;
    if (!VerQueryValueW(&info[0], path.c_str(), reinterpret_cast<void**>(&value), &length) || value == NULL)
        return L"(absent)";
    return value;
}

}

TEST_CASE("the version resource says what Explorer shows, and agrees with the version box")
{
    LoadedPlugin plugin;
    std::wstring path = FromCp932(plugin.Path());
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), NULL);
    REQUIRE(size > 0);
    std::vector<BYTE> info(size);
    REQUIRE(GetFileVersionInfoW(path.c_str(), 0, size, &info[0]));

    WORD* translation = NULL;
    UINT length = 0;
    REQUIRE(VerQueryValueW(&info[0], L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    REQUIRE(length >= 4);
    CHECK(translation[0] == 0x0411);
    CHECK(translation[1] == 932);
    VS_FIXEDFILEINFO* fixed = NULL;
    REQUIRE(VerQueryValueW(&info[0], L"\\", reinterpret_cast<void**>(&fixed), &length));
    CHECK(fixed->dwFileType == static_cast<DWORD>(VFT_DLL));
    CHECK(fixed->dwFileVersionMS == 0x00010000u);
    CHECK(fixed->dwProductVersionMS == 0x00010000u);
    CHECK(fixed->dwFileVersionLS == 0u);  // 1.0.0.0
    CHECK(fixed->dwProductVersionLS == 0u);

    std::wstring fileVersion = VersionString(info, L"FileVersion");
    CHECK(fileVersion == L"1.00");
    CHECK(VersionString(info, L"ProductVersion") == L"1.00");
    CHECK(VersionString(info, L"ProductName") == L"Kestrune");
    CHECK(VersionString(info, L"OriginalFilename") == L"Kestrune.dll");
    CHECK(VersionString(info, L"FileDescription") == L"新着メールをCDトレイの開閉で知らせるQuillon32用プラグイン");

    BoxWatcher boxes(GetCurrentProcessId(), InfoCaption);
    HostWindow host;
    CHECK(plugin.VersionInfo(host.Handle()) == IDOK);
    std::vector<SeenBox> seen = boxes.Seen();
    REQUIRE(seen.size() == 1);
    CHECK(seen[0].text.find(L"Kestrune (Vandol for Quillon) Ver" + fileVersion + L"\n") == 0);
    CHECK(seen[0].text.find(VersionString(info, L"LegalCopyright")) != std::wstring::npos);
}

TEST_CASE("no version box over a window that is gone: the answer is 0")
{
    LoadedPlugin plugin;
    HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    REQUIRE(gone != NULL);
    DestroyWindow(gone);
    BoxWatcher boxes(GetCurrentProcessId(), InfoCaption);
    CHECK(plugin.VersionInfo(gone) == 0);
    CHECK(boxes.Seen().empty());
}

}
