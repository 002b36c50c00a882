// A retrieval end as the host drives it: what reaches the optical drives' MCI driver.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/ImportPatch.h"
#include "support/PluginHeap.h"
#include "support/PluginUnderTest.h"

#include <mmsystem.h>

namespace {

LONG ProfileReads;
DWORD WINAPI CountingProfileRead(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR value, DWORD size, LPCSTR file)
{
    InterlockedIncrement(&ProfileReads);
    return GetPrivateProfileStringA(section, key, fallback, value, size, file);
}

// Holds the plug-in's first MCI command of a round until Release, so that a retrieval end
// can be caught while its tray moves; every later command of the round goes straight through.
class HeldFirstTrayCommand {
public:
    explicit HeldFirstTrayCommand(HMODULE plugin)
        : patch(plugin, "WINMM.dll", "mciSendCommandA", (void*)Held)
    {
        REQUIRE(patch.Applied());
        Real = reinterpret_cast<decltype(Real)>(patch.Original());
        Entered = CreateEventW(NULL, TRUE, FALSE, NULL);
        Released = CreateEventW(NULL, TRUE, FALSE, NULL);
        NextRound();
    }
    ~HeldFirstTrayCommand()
    {
        Release();
        CloseHandle(Entered);
        CloseHandle(Released);
    }
    void NextRound()
    {
        ResetEvent(Entered);
        ResetEvent(Released);
        InterlockedExchange(&Commands, 0);
    }
    bool WaitUntilHeld() const { return WaitForSingleObject(Entered, 10000) == WAIT_OBJECT_0; }
    void Release() const { SetEvent(Released); }

private:
    static MCIERROR WINAPI Held(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters)
    {
        if (InterlockedIncrement(&Commands) == 1) {
            SetEvent(Entered);
            // Bounded, so that a failed test cannot hang the run.
            WaitForSingleObject(Released, 10000);
        }
        return Real(device, message, flags, parameters);
    }
    static decltype(&mciSendCommandA) Real;
    static HANDLE Entered, Released;
    static volatile LONG Commands;
    ImportPatch patch;
};
decltype(&mciSendCommandA) HeldFirstTrayCommand::Real;
HANDLE HeldFirstTrayCommand::Entered;
HANDLE HeldFirstTrayCommand::Released;
volatile LONG HeldFirstTrayCommand::Commands;

// The work on several host threads, let go together; joined at the latest when the object dies.
class ThreadsAtOnce {
public:
    ThreadsAtOnce(int count, const std::function<void()>& work)
        : work(work), go(CreateEventW(NULL, TRUE, FALSE, NULL)), finished(0)
    {
        for (int i = 0; i < count; ++i) {
            threads.push_back(StartThread(run));
            REQUIRE(threads.back() != NULL);
        }
        SetEvent(go);
    }
    ~ThreadsAtOnce()
    {
        Join();
        CloseHandle(go);
    }
    LONG Finished() const { return finished; }
    void Join()
    {
        for (HANDLE thread : threads) {
            CHECK(WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0);
            CloseHandle(thread);
        }
        threads.clear();
    }

private:
    ThreadsAtOnce(const ThreadsAtOnce&);
    ThreadsAtOnce& operator=(const ThreadsAtOnce&);
    const std::function<void()> work;
    HANDLE go;
    volatile LONG finished;
    const std::function<void()> run = [this] {
        WaitForSingleObject(go, INFINITE);
        work();
        InterlockedIncrement(&finished);
    };
    std::vector<HANDLE> threads;
};

struct Case {
    Case(const char* name, const std::string& settings, const std::vector<std::string>& expected,
         const std::string& refused = "")
        : name(name), settings(settings), expected(expected), refused(refused) {}
    const char* name;
    std::string settings;  // lines of the [Option] section, or NoSettingsFile
    std::vector<std::string> expected;
    std::string refused;  // the commands the drives refuse (MciRefusals)
};

}

TEST_SUITE("tray") {

TEST_CASE("the Drive setting chooses the tray, CloseOn draws it in first")
{
    std::vector<std::string> none;
    const Case cases[] = {
        { "no settings file: the default device", NoSettingsFile, TraySequence("", false) },
        { "no Drive key", "RunOn=1\r\n", TraySequence("", false) },
        { "empty Drive", "Drive=\r\n", TraySequence("", false) },
        { "the default label", "Drive=" + DefaultLabel + "\r\n", TraySequence("", false) },
        { "the default label, CloseOn 1", "Drive=" + DefaultLabel + "\r\nCloseOn=1\r\n", TraySequence("", true) },
        { "a root", "Drive=D:\\\r\n", TraySequence("D:", false) },
        { "a lower-case root", "Drive=d:\\\r\n", TraySequence("d:", false) },
        { "a root with more after it", "Drive=E:\\music\r\n", TraySequence("E:", false) },
        { "all drives, in letter order", "Drive=" + AllLabel + "\r\n", AllTrays(false) },
        { "all drives, CloseOn 1", "Drive=" + AllLabel + "\r\nCloseOn=1\r\n", AllTrays(true) },
        { "an absent drive: the open fails", "Drive=X:\\\r\nCloseOn=1\r\n",
          std::vector<std::string>(1, "open X: flags=0x2202 refused") },
        { "a fixed disk is no optical drive", "Drive=C:\\\r\n",
          std::vector<std::string>(1, "open C: flags=0x2202 refused") },
        { "a text that names no drive", "Drive=" + DefaultLabel.substr(0, 2) + "\r\n",
          std::vector<std::string>(1, "open " + DefaultLabel.substr(0, 2) + " flags=0x2202 refused") },
        { "CloseOn 0", "Drive=D:\\\r\nCloseOn=0\r\n", TraySequence("D:", false) },
        { "CloseOn 2 is not on", "Drive=D:\\\r\nCloseOn=2\r\n", TraySequence("D:", false) },
        { "CloseOn -1 is not on", "Drive=D:\\\r\nCloseOn=-1\r\n", TraySequence("D:", false) },
        { "CloseOn with blanks and a sign", "Drive=D:\\\r\nCloseOn= \t+1\r\n", TraySequence("D:", true) },
        { "CloseOn 4294967297 wraps to 1", "Drive=D:\\\r\nCloseOn=4294967297\r\n", TraySequence("D:", true) },
        { "RunOn 0: nothing moves", "Drive=D:\\\r\nRunOn=0\r\n", none },
        { "RunOn 1", "Drive=D:\\\r\nRunOn=1\r\n", TraySequence("D:", false) },
        { "RunOn \" 2\" is on", "Drive=D:\\\r\nRunOn= 2\r\n", TraySequence("D:", false) },
        { "RunOn -1 is on", "Drive=D:\\\r\nRunOn=-1\r\n", TraySequence("D:", false) },
        { "RunOn x1 reads 0", "Drive=D:\\\r\nRunOn=x1\r\n", none },
        { "RunOn \"-\" reads 0", "Drive=D:\\\r\nRunOn=-\r\n", none },
        { "RunOn 4294967296 wraps to 0", "Drive=D:\\\r\nRunOn=4294967296\r\n", none },
        { "empty RunOn: the default, on", "Drive=D:\\\r\nRunOn=\r\n", TraySequence("D:", false) },
        { "keys of another section are not read", "[Other]\r\nDrive=E:\\\r\nRunOn=0\r\n", TraySequence("", false) },
        { "a tray that cannot be drawn in still opens", "Drive=D:\\\r\nCloseOn=1\r\n",
          { "open D: flags=0x2202", "set D: door-closed flags=0x202 refused", "set D: door-open flags=0x102",
            "close D: flags=0x2" }, "set D: door-closed" },
        { "all drives: one in use is skipped, the next opens", "Drive=" + AllLabel + "\r\n",
          { "open D: flags=0x2202 refused", "open E: flags=0x2202", "set E: door-open flags=0x102", "close E: flags=0x2" },
          "open D:" },
        { "all drives: a tray that does not move at all is closed", "Drive=" + AllLabel + "\r\nCloseOn=1\r\n",
          { "open D: flags=0x2202", "set D: door-closed flags=0x202 refused", "set D: door-open flags=0x102 refused",
            "close D: flags=0x2", "open E: flags=0x2202", "set E: door-closed flags=0x202",
            "set E: door-open flags=0x102", "close E: flags=0x2" }, "set D:" },
    };
    for (const Case& c : cases) {
        INFO("case: " << std::string(c.name));
        LoadedPlugin plugin(c.settings);
        // A device the host holds of its own (a sound it plays, say) must stay open.
        REQUIRE(mciSendStringA("open cdaudio alias host", NULL, 0, NULL) == 0);
        MciRefusals refusals(c.refused);
        CHECK(plugin.RetrievalLog(2) == c.expected);
        CHECK(OpenMciDevices() == 1);
        CHECK(mciSendStringA("close host", NULL, 0, NULL) == 0);
    }
}

TEST_CASE("mail is counted and acted on once per retrieval end")
{
    LoadedPlugin plugin("Drive=E:\\\r\n");

    SUBCASE("a retrieval end without mail reads nothing and moves nothing")
    {
        MciLog log;
        ImportPatch watch(plugin.Module(), "KERNEL32.dll", "GetPrivateProfileStringA", (void*)CountingProfileRead);
        REQUIRE(watch.Applied());
        ProfileReads = 0;
        plugin.FolderEndRetrieve();
        plugin.FolderEndRetrieve(5);
        CHECK(ProfileReads == 0);
        CHECK(log.Lines().empty());
        // The same patch sees the reads of an acting end: it would have seen these.
        plugin.Retrieve(1);
        CHECK(ProfileReads == 3);
    }
    SUBCASE("many mails make one action, and the count starts afresh")
    {
        CHECK(plugin.RetrievalLog(3) == TraySequence("E:", false));
        CHECK(plugin.RetrievalLog(0).empty());
    }
    SUBCASE("whatever value the host passes, APCRecFilter counts and answers 0, and an end acts")
    {
        const LONG pointer = static_cast<LONG>(reinterpret_cast<LONG_PTR>(&plugin));
        for (LONG value : { 0L, 1L, 5L, -1L, 0x7fffffffL, -0x7fffffffL - 1, pointer }) {
            INFO("value " << value);
            CHECK(plugin.RetrievalLog(1, value) == TraySequence("E:", false));
        }
    }
    SUBCASE("RunOn 0 still brings the count back to 0")
    {
        plugin.WriteSettings(SettingsText("Drive=E:\\\r\nRunOn=0\r\n"));
        CHECK(plugin.RetrievalLog(2).empty());
        plugin.WriteSettings(SettingsText("Drive=E:\\\r\nRunOn=1\r\n"));
        CHECK(plugin.RetrievalLog(0).empty());
    }
}

TEST_CASE("no mail is lost, whatever host thread calls")
{
    LoadedPlugin plugin("Drive=D:\\\r\n");
    const int rounds = 3;

    SUBCASE("a mail counted while a retrieval end moves the tray opens it again at the next end")
    {
        for (int round = 0; round < rounds; ++round) {
            // The last round counts no mail meanwhile: the next end must then move nothing.
            const bool mailMeanwhile = round < rounds - 1;
            INFO("round " << round << (mailMeanwhile ? ", a mail meanwhile" : ", no mail meanwhile"));
            {
                MciLog log;
                HeldFirstTrayCommand hold(plugin.Module());
                plugin.RecFilter();
                ThreadsAtOnce ending(1, [&] { plugin.FolderEndRetrieve(); });
                REQUIRE(hold.WaitUntilHeld());
                if (mailMeanwhile)
                    plugin.RecFilter();
                hold.Release();
                ending.Join();
                CHECK(log.Lines() == TraySequence("D:", false));
            }
            CHECK(plugin.RetrievalLog(0) == (mailMeanwhile ? TraySequence("D:", false) : std::vector<std::string>()));
            CHECK(plugin.RetrievalLog(0).empty());
        }
    }
    SUBCASE("mail counted on several threads at once makes one action")
    {
        for (int round = 0; round < rounds; ++round) {
            INFO("round " << round);
            {
                ThreadsAtOnce counting(4, [&] {
                    for (int i = 0; i < 2000; ++i)
                        plugin.RecFilter();
                });
            }
            CHECK(plugin.RetrievalLog(0) == TraySequence("D:", false));
            CHECK(plugin.RetrievalLog(0).empty());
        }
    }
    SUBCASE("of several threads ending a retrieval at once after one mail, exactly one acts")
    {
        const int threads = 4;
        MciLog log;
        HeldFirstTrayCommand hold(plugin.Module());
        for (int round = 0; round < rounds; ++round) {
            INFO("round " << round);
            hold.NextRound();
            plugin.RecFilter();
            ThreadsAtOnce ending(threads, [&] { plugin.FolderEndRetrieve(); });
            // One end is held in its first tray command; the others must all be done meanwhile.
            REQUIRE(hold.WaitUntilHeld());
            CHECK(WaitUntil([&] { return ending.Finished() == threads - 1; }));
            hold.Release();
            ending.Join();
            // The log holds every round so far: one tray sequence each.
            const std::vector<std::string> one = TraySequence("D:", false);
            std::vector<std::string> expected;
            for (int i = 0; i <= round; ++i)
                expected.insert(expected.end(), one.begin(), one.end());
            CHECK(log.Lines() == expected);
        }
    }
    CHECK(OpenMciDevices() == 0);
}

TEST_CASE("hand edits of the settings file take effect at the next retrieval end")
{
    LoadedPlugin plugin("Drive=D:\\\r\n");
    CHECK(plugin.RetrievalLog() == TraySequence("D:", false));

    plugin.WriteSettings(SettingsText("Drive=E:\\\r\nCloseOn=1\r\n"));
    CHECK(plugin.RetrievalLog() == TraySequence("E:", true));
    plugin.WriteSettings(SettingsText("Drive=E:\\\r\nRunOn=0\r\nCloseOn=1\r\n"));
    CHECK(plugin.RetrievalLog().empty());

    DeleteFileA(plugin.SettingsFile().c_str());  // every setting at its default: on, the default device
    CHECK(plugin.RetrievalLog() == TraySequence("", false));
}

TEST_CASE("out of memory at a retrieval end stays inside the plug-in, and the count starts afresh")
{
    LoadedPlugin plugin("Drive=" + AllLabel + "\r\n");
    plugin.RecFilter();
    {
        PluginHeap heap(plugin.Module());
        heap.RefusingAll();
        CHECK(plugin.RecFilter() == 0);
        CHECK(plugin.RetrievalLog(0).empty());
    }
    CHECK(plugin.RetrievalLog(0).empty());
    CHECK(plugin.RetrievalLog(1) == AllTrays(false));
}

TEST_CASE("a count that reaches its maximum still means mail")
{
    LoadedPlugin plugin("Drive=D:\\\r\n");
    // One more than the count can hold: it must stay positive rather than wrap round.
    for (unsigned int i = 0; i <= 0x7fffffffu; ++i)
        plugin.RecFilter();
    CHECK(plugin.RetrievalLog(0) == TraySequence("D:", false));
}

}

TEST_SUITE("no-optical-drive") {

TEST_CASE("without optical drives nothing opens")
{
    LoadedPlugin plugin;

    SUBCASE("all drives: nothing is sent")
    {
        plugin.WriteSettings(SettingsText("Drive=" + AllLabel + "\r\nCloseOn=1\r\n"));
        CHECK(plugin.RetrievalLog().empty());
    }
    SUBCASE("the default device cannot be opened")
    {
        CHECK(plugin.RetrievalLog() == std::vector<std::string>(1, "open default flags=0x2002 refused"));
    }
    SUBCASE("a named drive cannot be opened")
    {
        plugin.WriteSettings(SettingsText("Drive=D:\\\r\n"));
        CHECK(plugin.RetrievalLog() == std::vector<std::string>(1, "open D: flags=0x2202 refused"));
    }
    CHECK(OpenMciDevices() == 0);
}

}

