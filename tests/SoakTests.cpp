// Many retrieval ends, dialog openings and loads in one process: memory stays flat, every MCI
// device opened is closed, and no window is left behind. Memory is taken in Windows' own
// terms, the process's committed private memory, and beside it the blocks the plug-in holds
// on its heap, which must come back exactly. The test run does a tenth of the full soak;
// KESTRUNE_SOAK_SCALE=10 runs all of it (10,000 retrieval ends, 200 dialogs, 2,000 loads).

#include <doctest.h>

#include <stdlib.h>

#include "support/BoxWatcher.h"
#include "support/DialogDriver.h"
#include "support/PluginHeap.h"

namespace {

int SoakScale()
{
    const char* scale = getenv("KESTRUNE_SOAK_SCALE");
    int value = scale != NULL ? atoi(scale) : 1;
    return value > 0 ? value : 1;
}

// Every committed region that is neither an image nor a mapped file. Unlike the process's
// resident size, this leaves out an emulator's own memory (its translated code above all).
SIZE_T CommittedPrivateBytes()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = static_cast<const BYTE*>(system.lpMinimumApplicationAddress);
         address < system.lpMaximumApplicationAddress && VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    }
    return total;
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

// Memory after the first tenth of a soak, when first-use allocations are done, and at its
// end. Wine's own committed memory may move by a few pages (heap commit steps, thread
// stacks); the plug-in's blocks come back exactly.
struct Growth {
    SIZE_T privateAfterTenth, privateAtEnd;
    LONG blocksAfterTenth, blocksAtEnd;
    bool PrivateFlat() const { return privateAtEnd <= privateAfterTenth + 128 * 1024; }
    bool BlocksFlat() const { return blocksAtEnd == blocksAfterTenth; }
};

// Runs the step the given number of times (at least 10) and tells the figures.
template <typename Step>
Growth Soak(const char* what, const PluginHeap& heap, int times, Step step)
{
    Growth g = Growth();
    for (int i = 1; i <= times; ++i) {
        step();
        if (i == times / 10) {
            g.privateAfterTenth = CommittedPrivateBytes();
            g.blocksAfterTenth = heap.LiveBlocks();
        }
    }
    g.privateAtEnd = CommittedPrivateBytes();
    g.blocksAtEnd = heap.LiveBlocks();
    MESSAGE(times << " " << std::string(what) << ": committed private memory " << g.privateAfterTenth / 1024
                  << " KiB after the first tenth, " << g.privateAtEnd / 1024 << " KiB at the end; the plug-in's live "
                  << "heap blocks " << g.blocksAfterTenth << " after the first tenth, " << g.blocksAtEnd << " at the end");
    return g;
}

// The planted leak: a free that frees nothing.
volatile LONG DroppedFrees;
void __cdecl DroppingFree(void*)
{
    InterlockedIncrement(&DroppedFrees);
}

}

TEST_SUITE("soak") {

TEST_CASE("retrieval ends over two drives keep memory flat and close every device")
{
    const int ends = 1000 * SoakScale();
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\nCloseOn=1\r\n");
    MciLog log;
    PluginHeap heap(plugin.Module());
    int windows = OwnWindows();
    Growth growth = Soak("retrieval ends", heap, ends, [&]() { plugin.Retrieve(1); });
    CHECK(growth.PrivateFlat());
    CHECK(growth.BlocksFlat());
    // The hook saw the plug-in's heap at work: flat blocks are not an idle count.
    CHECK(heap.Count() >= ends);
    CHECK(OpenMciDevices() == 0);
    CHECK(OwnWindows() == windows);

    std::vector<std::string> lines = log.Lines();
    CHECK(lines.size() == static_cast<size_t>(ends) * 8);
    const std::vector<std::string> both = AllTrays(true);
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
    PluginHeap heap(plugin.Module());
    HostWindow host;
    int windows = OwnWindows();
    int saved = 0;
    Growth growth = Soak("dialogs", heap, openings, [&]() {
        SetupRun run = RunSetup(plugin, host.Handle(), [](HWND dialog) { Click(dialog, IDOK); });
        if (run.result == 1)
            ++saved;
    });
    CHECK(growth.PrivateFlat());
    CHECK(growth.BlocksFlat());
    CHECK(heap.Count() >= openings);
    CHECK(saved == openings);
    CHECK(OwnWindows() == windows);
    CHECK(ReadFileBytes(plugin.SettingsFile()) == SettingsText("Drive=E:\\\r\nRunOn=1\r\nCloseOn=0\r\n"));
}

TEST_CASE("unloading and loading again gives back what each load took")
{
    // A host may unload the plug-in and load it again, as often as it likes.
    const int loads = 200 * SoakScale();
    LoadedPlugin plugin;
    Growth growth = Growth();
    for (int i = 1; i <= loads; ++i) {
        plugin.Unload();
        REQUIRE(plugin.Load());
        if (i == loads / 10)
            growth.privateAfterTenth = CommittedPrivateBytes();
    }
    growth.privateAtEnd = CommittedPrivateBytes();
    MESSAGE(loads << " loads: committed private memory " << growth.privateAfterTenth / 1024
                  << " KiB after the first tenth, " << growth.privateAtEnd / 1024 << " KiB at the end");
    CHECK(growth.PrivateFlat());
}

TEST_CASE("a leak planted in the plug-in fails both measures")
{
    // A Drive value near the longest the plug-in reads makes the block of each retrieval end
    // large (about 280 bytes), so that the leak soon outgrows what committed memory may move by.
    const int ends = 2000;
    LoadedPlugin plugin("Drive=D:\\" + std::string(250, 'x') + "\r\n");
    PluginHeap heap(plugin.Module());
    ImportPatch leak(plugin.Module(), "msvcrt.dll", "free", (void*)DroppingFree);
    REQUIRE(leak.Applied());
    InterlockedExchange(&DroppedFrees, 0);
    Growth growth = Soak("retrieval ends with a planted leak", heap, ends, [&]() { plugin.Retrieve(1); });
    REQUIRE(DroppedFrees >= ends);
    CHECK_FALSE(growth.PrivateFlat());
    CHECK_FALSE(growth.BlocksFlat());
}

}
