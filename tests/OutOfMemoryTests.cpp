// The plug-in's heap requests refused one at a time, at every point where it asks, through
// its own import table: the host's calls must return normally every time.

#include <doctest.h>

#include "support/DialogDriver.h"
#include "support/BoxWatcher.h"
#include "support/PluginHeap.h"

TEST_SUITE("out-of-memory") {

TEST_CASE("a retrieval end over all drives with each heap request refused in turn")
{
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\nCloseOn=1\r\n");
    MciLog log;
    PluginHeap heap(plugin.Module());
    plugin.Retrieve(1);
    LONG points = heap.Count();
    REQUIRE(points >= 1);
    const std::vector<std::string> full = Concat(TraySequence("D:", true), TraySequence("E:", true));
    REQUIRE(log.Lines() == full);
    MESSAGE("heap requests at a retrieval end over all drives: " << points);

    for (LONG point = 1; point <= points; ++point) {
        INFO("refused request " << point << " of " << points);
        log.Clear();
        heap.Refusing(point);
        plugin.Retrieve(2);
        heap.Refusing(0);
        CHECK(OpenMciDevices() == 0);
        std::vector<std::string> lines = log.Lines();
        // Trays that were reached got their whole sequence.
        CHECK(lines.size() % 4 == 0);
        // The count started afresh: an end without new mail does nothing.
        log.Clear();
        plugin.FolderEndRetrieve();
        CHECK(log.Lines().empty());
        plugin.Retrieve(1);
        CHECK(log.Lines() == full);
    }
}

TEST_CASE("the dialog with each heap request refused in turn, opening and saving")
{
    const std::string lines = "Drive=D:\\\r\nRunOn=1\r\nCloseOn=0\r\n", before = SettingsText(lines);
    LoadedPlugin plugin(lines);
    PluginHeap heap(plugin.Module());

    LONG opening = 0, saving = 0;
    SetupRun counted = RunSetup(plugin, NULL, [&](HWND dialog) {
        opening = heap.Count();
        heap.Refusing(0);
        SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 2, 0);
        Click(dialog, IDOK);
        saving = heap.Count();
    });
    REQUIRE(counted.result == 1);
    REQUIRE(opening >= 1);
    REQUIRE(saving >= 1);
    MESSAGE("heap requests opening the dialog: " << opening << ", saving it: " << saving);
    plugin.WriteSettings(before);

    for (LONG point = 1; point <= opening; ++point) {
        INFO("refused request " << point << " of " << opening << " while opening");
        heap.Refusing(point);
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDOK); });
        heap.Refusing(0);
        CHECK(run.result == -1);
        CHECK_FALSE(run.leftOpen);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == before);
    }
    for (LONG point = 1; point <= saving; ++point) {
        INFO("refused request " << point << " of " << saving << " while saving");
        SetupRun run = RunSetup(plugin, NULL, [&](HWND dialog) {
            heap.Refusing(point);
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 2, 0);
            Click(dialog, IDOK);
        });
        heap.Refusing(0);
        CHECK(run.result == -1);
        CHECK_FALSE(run.leftOpen);
        CHECK(ReadFileBytes(plugin.SettingsFile()) == before);
    }
    CHECK(WaitForWindow(GetCurrentProcessId(), OptionDialogCaption, 0) == static_cast<HWND>(NULL));
}

}
