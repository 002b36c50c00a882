// Where the plug-in finds its settings file: beside the module, named after it.

#include <doctest.h>

#include "support/PluginUnderTest.h"

namespace {

// Loads the plug-in from folder\fileName with "Drive=E:\" in the settings file used and
// "Drive=D:\" in the other, runs a retrieval with mail, and returns its first MCI command.
std::string DriveUsed(const std::string& folder, const std::string& fileName, const std::string& used,
                      const std::string& other)
{
    PluginUnderTest plugin(folder, fileName);
    WriteFileBytes(used, SettingsText("Drive=E:\\\r\n"));
    WriteFileBytes(other, SettingsText("Drive=D:\\\r\n"));
    REQUIRE(plugin.Load());
    std::vector<std::string> lines = plugin.RetrievalLog();
    REQUIRE(!lines.empty());
    return lines[0];
}

const std::string OpenedE = "open E: flags=0x2202";
const std::string Hyou = "\x95\x5C";  // 表, whose trail byte is a backslash

}

TEST_SUITE("settings-path") {

TEST_CASE("the settings file lies beside the module and takes its name")
{
    TempDir dir;

    SUBCASE("Kestrune.dll reads Kestrune.ini")
    {
        CHECK(DriveUsed(dir.Path(), "Kestrune.dll", dir.File("Kestrune.ini"), dir.File("Kestrune.dll.ini")) == OpenedE);
    }
    SUBCASE("a renamed module reads its own file")
    {
        CHECK(DriveUsed(dir.Path(), "Mail.Tray.dll", dir.File("Mail.Tray.ini"), dir.File("Mail.ini")) == OpenedE);
    }
    SUBCASE("a module without extension gets .ini appended")
    {
        CHECK(DriveUsed(dir.Path(), "plugin", dir.File("plugin.ini"), dir.File("Kestrune.ini")) == OpenedE);
    }
    SUBCASE("a dot in a folder name is no extension")
    {
        std::string dotted = dir.SubDir("a.b");
        CHECK(DriveUsed(dotted, "plugin", JoinPath(dotted, "plugin.ini"), dir.File("a.ini")) == OpenedE);
    }
    SUBCASE("a folder named with a trail byte 5C")
    {
        std::string folder = dir.SubDir(Hyou);
        CHECK(DriveUsed(folder, "Kestrune.dll", JoinPath(folder, "Kestrune.ini"), dir.File(Hyou + ".ini")) == OpenedE);
    }
    SUBCASE("an extension ending in a trail byte 5C")
    {
        CHECK(DriveUsed(dir.Path(), "plugin." + Hyou, dir.File("plugin.ini"), dir.File("plugin." + Hyou + ".ini"))
              == OpenedE);
    }
}

TEST_CASE("a module path too long for .ini means no settings file")
{
    TempDir dir;
    // A module path of 259 bytes, the most Windows loads, whose extension ".d" is too short
    // to be replaced by ".ini": the reads then give the defaults.
    std::string folder = dir.SubDir(std::string(100, 'k'));
    std::string name = std::string(259 - 1 - folder.size() - 2, 'p') + ".d";
    REQUIRE(folder.size() + 1 + name.size() == 259);
    PluginUnderTest plugin(folder, name);
    REQUIRE(plugin.Load());
    CHECK(plugin.RetrievalLog() == TraySequence("", false));
}

}
