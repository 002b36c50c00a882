// The three entry points that only tell the host who the plug-in is.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/PluginUnderTest.h"

TEST_SUITE("identity") {

TEST_CASE("the name is the same constant text on every call, and start-up answers 1")
{
    TempDir dir;
    PluginUnderTest plugin(dir.Path());
    REQUIRE(plugin.Load());
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
    TempDir dir;
    PluginUnderTest plugin(dir.Path());
    REQUIRE(plugin.Load());
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  NULL, NULL, NULL, NULL);
    REQUIRE(parent != NULL);
    BoxWatcher boxes(GetCurrentProcessId(), L"プラグイン情報");
    CHECK(plugin.VersionInfo(parent) == IDOK);
    std::vector<SeenBox> seen = boxes.Seen();
    REQUIRE(seen.size() == 1);
    CHECK(seen[0].owner == parent);
    CHECK(seen[0].icon == static_cast<HICON>(NULL));
    CHECK_FALSE(seen[0].hasCancel);
    const std::wstring& text = seen[0].text;
    CHECK(text.find(L"Kestrune (Vandol for Quillon) Ver1.00\n\n") == 0);
    CHECK(text.find(L'\r') == std::wstring::npos);
    CHECK(text.size() > wcslen(L"Kestrune (Vandol for Quillon) Ver1.00\n\n"));
    DestroyWindow(parent);
}

TEST_CASE("no version box over a window that is gone: the answer is 0")
{
    TempDir dir;
    PluginUnderTest plugin(dir.Path());
    REQUIRE(plugin.Load());
    HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    REQUIRE(gone != NULL);
    DestroyWindow(gone);
    BoxWatcher boxes(GetCurrentProcessId(), L"プラグイン情報");
    CHECK(plugin.VersionInfo(gone) == 0);
    CHECK(boxes.Seen().empty());
}

}
