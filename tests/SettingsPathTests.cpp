// Where the plug-in finds its settings file: beside the module, named after it.

#include <doctest.h>

#include "support/BoxWatcher.h"
#include "support/DialogDriver.h"

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

TEST_CASE("a settings path must fit in MAX_PATH with its NUL, or there is none")
{
    struct Row {
        const char* extension;
        std::vector<std::string> expected;
    };
    // Module paths of 259 bytes, the most Windows loads. ".dll" gives a settings path of 259
    // bytes, which fills MAX_PATH exactly with its NUL; the shorter extensions give one and
    // two bytes more than fit, so the reads give the defaults.
    const Row rows[] = {
        { ".dll", TraySequence("E:", false) },
        { ".dl", TraySequence("", false) },
        { ".d", TraySequence("", false) },
    };
    for (const Row& row : rows) {
        INFO("module extension " << std::string(row.extension));
        TempDir dir;
        std::string folder = dir.SubDir(std::string(100, 'k'));
        std::string stem = JoinPath(folder, std::string(259 - 1 - folder.size() - lstrlenA(row.extension), 'p'));
        REQUIRE(stem.size() + lstrlenA(row.extension) == 259);
        PluginUnderTest plugin(folder, stem.substr(folder.size() + 1) + row.extension);
        if (stem.size() + sizeof ".ini" <= MAX_PATH)
            WriteFileBytes(stem + ".ini", SettingsText("Drive=E:\\\r\n"));
        REQUIRE(plugin.Load());
        CHECK(plugin.RetrievalLog() == row.expected);
        if (row.expected == TraySequence("E:", false))
            continue;
        // With no file to save to, OK says that nothing was saved, and the dialog stays open.
        BoxWatcher boxes(GetCurrentProcessId(), ErrorCaption);
        CHECK(RunSetup(plugin, NULL, [&](HWND d) { ClickLater(d, IDOK); boxes.WaitFor(1); Click(d, IDCANCEL); }).result == 2);
        CHECK(boxes.Seen().size() == 1);
    }
}

}
