// The stand-in host as its own process, loading Kestrune.dll as the mail client does.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/HostProcess.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}

TEST_SUITE("host") {

TEST_CASE("in the host, a retrieval with mail opens every optical drive, each drawn in first")
{
    HostProcess host(FullHost);
    WriteFileBytes(host.SettingsFile(), SettingsText("Drive=" + AllLabel + "\r\nRunOn=1\r\nCloseOn=1\r\n"));
    MciLog log;
    host.Start("name retrieve 3 retrieve 0");
    REQUIRE(host.Wait() == 0);
    std::string output = host.Output();
    INFO("host output:\n" << output);
    CHECK(Contains(output, "APCGetPlugName: Kestrune\r\n"));
    CHECK(Contains(output, "APCStartUp: 1\r\n"));
    CHECK(log.Lines() == AllTrays(true));
}

TEST_CASE("a host without the last function gets the box, and the plug-in does not load")
{
    HostProcess host(HostLackingLast);
    MciLog log;
    host.Start("retrieve 1");
    BoxWatcher boxes(host.Id(), ErrorCaption);
    std::vector<SeenBox> seen = boxes.WaitFor(1);
    REQUIRE(host.Wait() == 1);
    REQUIRE(seen.size() == 1);
    CHECK(seen[0].text == AttachFailureText);
    CHECK(seen[0].icon != static_cast<HICON>(NULL));
    CHECK(Contains(host.Output(), "the plug-in did not load"));
    CHECK(log.Lines().empty());
}

TEST_CASE("the version box appears over the host's window")
{
    HostProcess host(FullHost);
    host.Start("version");
    BoxWatcher boxes(host.Id(), InfoCaption);
    std::vector<SeenBox> seen = boxes.WaitFor(1);
    REQUIRE(host.Wait() == 0);
    REQUIRE(seen.size() == 1);
    CHECK(seen[0].ownerCaption == std::wstring(L"Quillon32 (stand-in)"));
    CHECK(seen[0].text == VersionText);
    CHECK(Contains(host.Output(), "APCVersionInfo returned 1"));
}

}
