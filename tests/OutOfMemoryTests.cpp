// The plug-in's heap requests refused one at a time, at every point where it asks, through
// its own import table: the host's calls must return normally every time.

#include <doctest.h>

#include "support/DialogDriver.h"
#include "support/BoxWatcher.h"
#include "support/HostProcess.h"
#include "support/PluginHeap.h"

TEST_SUITE("out-of-memory") {

TEST_CASE("a retrieval end over all drives with each heap request refused in turn")
{
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\nCloseOn=1\r\n");
    // The runtime's one-time requests for this module on this thread are made before counting,
    // so that every request counted recurs at each retrieval end.
    plugin.Retrieve(1);
    PluginHeap heap(plugin.Module());
    REQUIRE(plugin.RetrievalLog() == AllTrays(true));
    LONG points = heap.Count();
    REQUIRE(points >= 1);
    MESSAGE("heap requests at a retrieval end over all drives: " << points);

    for (LONG point = 1; point <= points; ++point) {
        INFO("refused request " << point << " of " << points);
        heap.Refusing(point);
        std::vector<std::string> lines = plugin.RetrievalLog(2);
        heap.Refusing(0);
        CHECK(OpenMciDevices() == 0);
        // Trays that were reached got their whole sequence.
        CHECK(lines.size() % 4 == 0);
        // The count started afresh: an end without new mail does nothing.
        CHECK(plugin.RetrievalLog(0).empty());
        CHECK(plugin.RetrievalLog(1) == AllTrays(true));
    }
}

TEST_CASE("the dialog with each heap request refused in turn, opening and saving")
{
    const std::string lines = "Drive=D:\\\r\nRunOn=1\r\nCloseOn=0\r\n", before = SettingsText(lines);
    LoadedPlugin plugin(lines);
    // As above: the runtime's one-time requests are not counted.
    REQUIRE(RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDCANCEL); }).result == 2);
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

namespace {

// Runs the work on a thread that has never called the plug-in, as a host may, and waits.
void OnNewThread(const std::function<void()>& work)
{
    HANDLE thread = StartThread(work);
    REQUIRE(thread != NULL);
    CHECK(WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0);
    CloseHandle(thread);
}

// No comma in these names: the process of its own is told which case to run by name.
const char NewThreadRetrievalEnd[] = "a retrieval end on a new thread with every heap request refused";
const char NewThreadDialog[] = "the dialog on a new thread with every heap request refused";
const char NewThreadDialogRefusedLater[] = "the dialog on a new thread with every heap request refused once open";

}

// These three run only in a process of their own (below): if the plug-in ended its host's
// process, it would take the whole test run with it. In each, another thread calls first.
TEST_CASE(NewThreadRetrievalEnd * doctest::skip())
{
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\nCloseOn=1\r\n");
    PluginHeap heap(plugin.Module());
    REQUIRE(plugin.RetrievalLog() == AllTrays(true));  // another thread first
    REQUIRE(plugin.RecFilter() == 0);
    heap.RefusingAll();
    std::vector<std::string> lines(1, "(the thread did not run)");
    OnNewThread([&] { lines = plugin.RetrievalLog(0); });
    heap.Refusing(0);
    CHECK(lines.empty());
    CHECK(OpenMciDevices() == 0);
    // The count started afresh: an end without new mail does nothing, with the heap back.
    OnNewThread([&] { lines = plugin.RetrievalLog(0); });
    CHECK(lines.empty());
    OnNewThread([&] { lines = plugin.RetrievalLog(1); });
    CHECK(lines == AllTrays(true));
}

TEST_CASE(NewThreadDialog * doctest::skip())
{
    const std::string lines = "Drive=D:\\\r\nRunOn=1\r\nCloseOn=0\r\n";
    LoadedPlugin plugin(lines);
    PluginHeap heap(plugin.Module());
    SetupRun run = SetupRun();
    const auto setupPressingOk = [&] { run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDOK); }); };
    setupPressingOk();  // another thread first
    heap.RefusingAll();
    OnNewThread(setupPressingOk);
    heap.Refusing(0);
    CHECK(run.result == -1);
    CHECK_FALSE(run.leftOpen);
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText(lines));
    OnNewThread(setupPressingOk);
    CHECK(run.result == 1);
}

// The heap serves while the dialog opens, so the thread's exception state is prepared then;
// the save that follows must raise and be contained without asking the heap again.
TEST_CASE(NewThreadDialogRefusedLater * doctest::skip())
{
    const std::string lines = "Drive=D:\\\r\nRunOn=1\r\nCloseOn=0\r\n";
    LoadedPlugin plugin(lines);
    PluginHeap heap(plugin.Module());
    SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDCANCEL); });  // another thread first
    OnNewThread([&] {
        run = RunSetup(plugin, NULL, [&](HWND dialog) {
            heap.RefusingAll();
            SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 2, 0);
            Click(dialog, IDOK);
        });
    });
    heap.Refusing(0);
    CHECK(run.dialogShown);
    CHECK(run.result == -1);
    CHECK_FALSE(run.leftOpen);
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText(lines));
}

TEST_CASE("out of memory on a host thread new to the plug-in: the host's process lives on")
{
    char self[MAX_PATH];
    REQUIRE(GetModuleFileNameA(NULL, self, sizeof self) > 0);
    for (const char* name : { NewThreadRetrievalEnd, NewThreadDialog, NewThreadDialogRefusedLater }) {
        HostProcess host(self);
        host.Start(std::string("--no-intro=1 --no-skip=1 --test-case=\"") + name + "\"");
        int status = host.Wait();
        INFO(std::string(name) << ", in a process of its own that ended with " << status << ":\n" << host.Output());
        CHECK(status == 0);
    }
}

}
