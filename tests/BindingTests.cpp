// Loading into the host: the plug-in binds to the host module or refuses with a box.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/PluginUnderTest.h"

namespace {

// The host module is loaded once by the test; the plug-in's own reference must be gone.
bool HostStillReferenced(const std::string& hostFile)
{
    return GetModuleHandleA(hostFile.c_str()) != NULL;
}

}

TEST_SUITE("binding") {

TEST_CASE("a host that offers every function binds, and unloading lets go of it")
{
    TempDir dir;
    PluginUnderTest plugin(dir.Path());
    BoxWatcher boxes(GetCurrentProcessId(), ErrorCaption);
    REQUIRE(plugin.Load());
    std::string host = HostFile(FullHost);
    plugin.ReleaseHostReference();
    CHECK_MESSAGE(HostStillReferenced(host), "the bound plug-in holds the host module");
    plugin.Unload();
    CHECK_FALSE(HostStillReferenced(host));
    CHECK(boxes.Seen().empty());
}

TEST_CASE("a host that does not fit is refused with one box")
{
    const HostVariant variants[] = { HostLackingFirst, HostLackingLast, NoHost };
    const char* names[] = { "lacking the first function", "lacking the last function", "no host module" };
    for (int i = 0; i < 3; ++i) {
        INFO("host: " << std::string(names[i]));
        TempDir dir;
        PluginUnderTest plugin(dir.Path(), "Kestrune.dll", variants[i]);
        BoxWatcher boxes(GetCurrentProcessId(), ErrorCaption);
        CHECK_FALSE(plugin.Load());
        std::vector<SeenBox> seen = boxes.Seen();
        REQUIRE(seen.size() == 1);
        CHECK(seen[0].text == AttachFailureText);
        CHECK(seen[0].owner == static_cast<HWND>(NULL));
        CHECK(seen[0].icon == LoadIconW(NULL, MAKEINTRESOURCEW(32513)));  // IDI_HAND: the stop icon
        CHECK_FALSE(seen[0].hasCancel);
        if (variants[i] != NoHost) {
            // The failed attach released what it had taken: only the test's reference is left.
            std::string host = HostFile(variants[i]);
            HMODULE hostModule = plugin.Host();
            CHECK(GetModuleHandleA(host.c_str()) == hostModule);
            plugin.Unload();
            CHECK_FALSE(HostStillReferenced(host));
        }
    }
}

}
