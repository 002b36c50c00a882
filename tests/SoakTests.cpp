// Many retrieval ends and dialog openings in one process: memory stays flat, every MCI
// device opened is closed, and no window is left behind. The test run does a tenth of the
// full soak; KESTRUNE_SOAK_SCALE=10 runs all of it (10,000 retrieval ends, 200 dialogs).

#include <doctest.h>

#include <windows.h>
#include <psapi.h>
#include <stdlib.h>

#include "support/BoxWatcher.h"
#include "support/DialogDriver.h"

namespace {

int SoakScale()
{
    const char* scale = getenv("KESTRUNE_SOAK_SCALE");
    int value = scale != NULL ? atoi(scale) : 1;
    return value > 0 ? value : 1;
}

SIZE_T MemoryInUse()
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    // Wine reports the private bytes here, where Windows also keeps them.
    return counters.PagefileUsage;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId())
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int OwnWindows()
{
    int count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

const SIZE_T AllowedGrowth = 256 * 1024;

// Runs the step the given number of times and checks that memory in use at the end is
// within AllowedGrowth of what it was after the first tenth.
template <typename Step>
void CheckMemoryFlat(const char* what, int times, Step step)
{
    SIZE_T afterTenth = 0;
    for (int i = 0; i < times; ++i) {
        step();
        if (i + 1 == times / 10)
            afterTenth = MemoryInUse();
    }
    SIZE_T atEnd = MemoryInUse();
    MESSAGE(times << " " << std::string(what) << ": " << afterTenth / 1024 << " KiB after the first tenth, " << atEnd / 1024
                  << " KiB at the end");
    CHECK(atEnd <= afterTenth + AllowedGrowth);
}

}

TEST_SUITE("soak") {

TEST_CASE("retrieval ends over two drives keep memory flat and close every device")
{
    const int ends = 1000 * SoakScale();
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\nCloseOn=1\r\n");
    MciLog log;
    int windows = OwnWindows();
    CheckMemoryFlat("retrieval ends", ends, [&]() { plugin.Retrieve(1); });
    CHECK(OpenMciDevices() == 0);
    CHECK(OwnWindows() == windows);

    std::vector<std::string> lines = log.Lines();
    CHECK(lines.size() == static_cast<size_t>(ends) * 8);
    const std::vector<std::string> both = Concat(TraySequence("D:", true), TraySequence("E:", true));
    size_t whole = 0;
    for (size_t i = 0; i + 8 <= lines.size(); i += 8)
        if (std::equal(both.begin(), both.end(), lines.begin() + i))
            ++whole;
    CHECK(whole == static_cast<size_t>(ends));
}

TEST_CASE("dialog openings with OK keep memory flat and leave no window")
{
    const int openings = 20 * SoakScale();
    LoadedPlugin plugin("Drive=E:\\\r\n");
    HostWindow host;
    int windows = OwnWindows();
    int saved = 0;
    CheckMemoryFlat("dialogs", openings, [&]() {
        SetupRun run = RunSetup(plugin, host.Handle(), [](HWND dialog) { Click(dialog, IDOK); });
        if (run.result == 1)
            ++saved;
    });
    CHECK(saved == openings);
    CHECK(OwnWindows() == windows);
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=E:\\\r\nRunOn=1\r\nCloseOn=0\r\n"));
}

}
