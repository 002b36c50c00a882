// Settings files as they may really be found: hand-edited, damaged, in other encodings,
// locked, or not files at all. Each must end in the defaults or in the values it holds, the
// matching MCI commands, and a normal return to the host, both at a retrieval end and when
// the dialog opens.

#include <doctest.h>

#include "support/DialogDriver.h"

namespace {

const std::string Section = "[Option]\r\n";

enum Special { PlainFile, DirectoryInstead, HeldForWriting, HeldExclusively };

// The item the dialog's drive list shows selected (drives D: and E: are the optical ones).
enum Listed { ListsDefault, ListsD, ListsE, ListsAll };

// How the two switches read: the dialog's check boxes show them, and CloseOn also means
// that every tray opened is drawn in first.
enum Switches { BothOff = 0, RunOn = 1, CloseOn = 2 };

// What the trays get: "default", a drive ("E:"), "all" (D: then E:), "none", or "refused"
// (one open of a drive that is no optical drive).
struct Hostile {
    const char* name;
    std::string file;
    const char* trays;
    Listed listed;
    int switches;
    Special special;
};

Hostile Row(const char* name, const std::string& file, const char* trays, Listed listed, int switches,
            Special special = PlainFile)
{
    Hostile row = { name, file, trays, listed, switches, special };
    return row;
}

std::string Utf16(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        char low = static_cast<char>(text[i] & 0xFF), high = static_cast<char>(text[i] >> 8);
        bytes += bigEndian ? std::string(1, high) + low : std::string(1, low) + high;
    }
    return bytes;
}

std::vector<Hostile> Rows()
{
    const std::string e = "Drive=E:\\\r\n";
    const std::string nul(1, '\0');
    return {
        // Shape of the file
        Row("an empty file", "", "default", ListsDefault, RunOn),
        Row("only the section line", "[Option]", "default", ListsDefault, RunOn),
        Row("only the section line, ended", Section, "default", ListsDefault, RunOn),
        Row("LF line ends", "[Option]\nDrive=E:\\\nCloseOn=1\n", "E:", ListsE, RunOn | CloseOn),
        Row("no line end at the end", Section + "Drive=E:\\", "E:", ListsE, RunOn),
        Row("the section in lower case", "[option]\r\n" + e, "E:", ListsE, RunOn),
        Row("keys in lower case", Section + "drive=E:\\\r\ncloseon=1\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("blanks around keys and values", Section + "  Drive  =  E:\\  \r\n\tCloseOn\t=\t1\r\n", "E:", ListsE,
            RunOn | CloseOn),
        Row("duplicate sections", Section + "Drive=D:\\\r\n" + Section + e, "D:", ListsD, RunOn),
        Row("duplicate keys", Section + "Drive=D:\\\r\n" + e, "D:", ListsD, RunOn),
        Row("keys only in another section", "[Other]\r\n" + e + "RunOn=0\r\n", "default", ListsDefault, RunOn),
        Row("keys before any section", e + Section, "default", ListsDefault, RunOn),
        Row("keys of another section after ours", Section + "[Other]\r\n" + e, "default", ListsDefault, RunOn),
        Row("a commented-out key", Section + ";Drive=E:\\\r\n", "default", ListsDefault, RunOn),
        Row("a line without =", Section + "Drive\r\n", "default", ListsDefault, RunOn),
        Row("a key without a name", Section + "=E:\\\r\n", "default", ListsDefault, RunOn),
        // Long values
        Row("a Drive of 300 bytes", Section + "Drive=D:\\" + std::string(297, 'x') + "\r\n", "D:", ListsDefault, RunOn),
        Row("a Drive of 5000 bytes", Section + "Drive=" + std::string(5000, 'x') + "\r\n", "refused", ListsDefault,
            RunOn),
        Row("RunOn of 300 zeros", Section + "RunOn=" + std::string(300, '0') + "\r\n", "none", ListsDefault, BothOff),
        Row("RunOn of 300 ones wraps, not 0", Section + "RunOn=" + std::string(300, '1') + "\r\n", "default",
            ListsDefault, RunOn),
        Row("a section name of 300 bytes", "[" + std::string(300, 'O') + "]\r\n" + e, "default", ListsDefault, RunOn),
        Row("a key name of 300 bytes", Section + std::string(300, 'D') + "=E:\\\r\n", "default", ListsDefault, RunOn),
        Row("a 5000-byte line before the section", std::string(5000, 'z') + "\r\n" + Section + e, "E:", ListsE, RunOn),
        // Binary bytes
        Row("control bytes before the section", "\x01\x02\x7F\x80\r\n" + Section + e, "E:", ListsE, RunOn),
        Row("a NUL inside the value", Section + "Drive=E:\\" + nul + "junk\r\n", "E:", ListsE, RunOn),
        Row("a NUL before the section", "x" + nul + "\r\n" + Section + e, "E:", ListsE, RunOn),
        Row("nothing but NULs", std::string(100, '\0'), "default", ListsDefault, RunOn),
        // Code page 932
        Row("a lone lead byte after a root", Section + "Drive=E:\\\x83\r\n", "E:", ListsDefault, RunOn),
        Row("a lone lead byte as the whole Drive", Section + "Drive=\x83\r\n", "refused", ListsDefault, RunOn),
        Row("a lone lead byte after RunOn", Section + "Drive=E:\\\r\nRunOn=1\x83\r\n", "E:", ListsE, RunOn),
        Row("a kanji whose trail byte is a backslash", Section + "Drive=\x95\x5C\r\n", "refused", ListsDefault, RunOn),
        Row("all drives with a blank after", Section + "Drive=" + AllLabel + " \r\n", "all", ListsAll, RunOn),
        Row("the default label", Section + "Drive=" + DefaultLabel + "\r\n", "default", ListsDefault, RunOn),
        Row("half of the all label", Section + "Drive=" + AllLabel.substr(0, 2) + "\r\n", "refused", ListsDefault,
            RunOn),
        Row("all drives in UTF-8 bytes", Section + "Drive=\xE5\x85\xA8\xE3\x81\xA6\r\n", "refused", ListsDefault,
            RunOn),
        Row("the default label in UTF-8 bytes",
            Section + "Drive=\xE3\x83\x87\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x88\r\n", "refused", ListsDefault, RunOn),
        // Other drive texts
        Row("ALL in letters", Section + "Drive=ALL\r\n", "refused", ListsDefault, RunOn),
        Row("a network share", Section + "Drive=\\\\server\\share\r\n", "refused", ListsDefault, RunOn),
        Row("a letter alone", Section + "Drive=D\r\n", "refused", ListsDefault, RunOn),
        Row("a letter and colon", Section + "Drive=D:\r\n", "D:", ListsDefault, RunOn),
        // Integers
        Row("RunOn 2^32 wraps to 0", Section + "RunOn=4294967296\r\n", "none", ListsDefault, BothOff),
        Row("RunOn 2^32+1 wraps to 1", Section + "RunOn=4294967297\r\n", "default", ListsDefault, RunOn),
        Row("RunOn -2^32 wraps to 0", Section + "RunOn=-4294967296\r\n", "none", ListsDefault, BothOff),
        Row("RunOn of 11 digits", Section + "RunOn=99999999999\r\n", "default", ListsDefault, RunOn),
        Row("RunOn +", Section + "RunOn=+\r\n", "none", ListsDefault, BothOff),
        Row("RunOn -", Section + "RunOn=-\r\n", "none", ListsDefault, BothOff),
        Row("RunOn +-1", Section + "RunOn=+-1\r\n", "none", ListsDefault, BothOff),
        Row("RunOn after tabs", Section + "RunOn=\t\t0\r\n", "none", ListsDefault, BothOff),
        Row("RunOn after vertical tab and form feed", Section + "RunOn=\v\f0\r\n", "none", ListsDefault, BothOff),
        Row("RunOn on the next line", Section + "RunOn=\r\n0\r\n", "default", ListsDefault, RunOn),
        Row("RunOn 0x1", Section + "RunOn=0x1\r\n", "none", ListsDefault, BothOff),
        Row("RunOn 1e9", Section + "RunOn=1e9\r\n", "default", ListsDefault, RunOn),
        Row("RunOn only a blank", Section + "RunOn= \r\n", "default", ListsDefault, RunOn),
        Row("CloseOn +1", Section + e + "CloseOn=+1\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("CloseOn 01", Section + e + "CloseOn=01\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("CloseOn 1.5", Section + e + "CloseOn=1.5\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("CloseOn 2^32+1 wraps to 1", Section + e + "CloseOn=4294967297\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("CloseOn -(2^32-1) wraps to 1", Section + e + "CloseOn=-4294967295\r\n", "E:", ListsE, RunOn | CloseOn),
        Row("CloseOn 2^31 is not 1", Section + e + "CloseOn=2147483648\r\n", "E:", ListsE, RunOn),
        // Other encodings
        Row("UTF-16 LE with BOM", Utf16(L"[Option]\r\nDrive=E:\\\r\nCloseOn=1\r\n", false), "E:", ListsE,
            RunOn | CloseOn),
        Row("UTF-16 LE with BOM, all drives", Utf16(L"[Option]\r\nDrive=全て\r\n", false), "all", ListsAll, RunOn),
        Row("UTF-16 BE with BOM", Utf16(L"[Option]\r\nDrive=E:\\\r\n", true), "E:", ListsE, RunOn),
        Row("UTF-8 BOM", "\xEF\xBB\xBF" + Section + e, "E:", ListsE, RunOn),
        Row("UTF-8 BOM, all drives in UTF-8", "\xEF\xBB\xBF" + Section + "Drive=\xE5\x85\xA8\xE3\x81\xA6\r\n", "all",
            ListsAll, RunOn),
        // Not a plain file
        Row("a folder where the file should be", "", "default", ListsDefault, RunOn, DirectoryInstead),
        Row("a file another program holds open for writing", Section + e + "CloseOn=1\r\n", "E:", ListsE,
            RunOn | CloseOn, HeldForWriting),
        Row("a file another program holds open exclusively", Section + e + "CloseOn=1\r\n", "default", ListsDefault,
            RunOn, HeldExclusively),
    };
}

// Whatever the element, one open that the driver refuses and nothing else.
bool IsOneRefusedOpen(const std::vector<std::string>& log)
{
    const std::string open = "open ", refused = " refused";
    return log.size() == 1 && log[0].size() > open.size() + refused.size() && log[0].compare(0, open.size(), open) == 0
           && log[0].compare(log[0].size() - refused.size(), refused.size(), refused) == 0;
}

// The whole log of every row but the "refused" ones.
std::vector<std::string> ExpectedTrays(const Hostile& row)
{
    std::string trays = row.trays;
    bool closeFirst = (row.switches & CloseOn) != 0;
    if (trays == "none")
        return std::vector<std::string>();
    if (trays == "default")
        return TraySequence("", closeFirst);
    if (trays == "all")
        return AllTrays(closeFirst);
    return TraySequence(trays, closeFirst);
}

// Puts the row's file in place; returns a handle that holds it, or INVALID_HANDLE_VALUE.
HANDLE Place(const Hostile& row, const PluginUnderTest& plugin)
{
    std::string path = plugin.SettingsFile();
    if (row.special == DirectoryInstead) {
        REQUIRE(CreateDirectoryA(path.c_str(), NULL));
        return INVALID_HANDLE_VALUE;
    }
    plugin.WriteSettings(row.file);
    if (row.special == PlainFile)
        return INVALID_HANDLE_VALUE;
    DWORD share = row.special == HeldForWriting ? FILE_SHARE_READ : 0;
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_EXISTING, 0, NULL);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    return held;
}

}

TEST_SUITE("hostile-settings") {

TEST_CASE("hostile settings files end in defined results at a retrieval end and in the dialog")
{
    const std::vector<Hostile> rows = Rows();
    CHECK(rows.size() >= 50);
    for (const Hostile& row : rows) {
        INFO("file: " << std::string(row.name));
        TempDir dir;
        PluginUnderTest plugin(dir.Path());
        HANDLE held = Place(row, plugin);
        REQUIRE(plugin.Load());
        const std::vector<std::string> lines = plugin.RetrievalLog();
        if (std::string(row.trays) == "refused")
            CHECK_MESSAGE(IsOneRefusedOpen(lines), "MCI log: " << doctest::toString(lines));
        else
            CHECK(lines == ExpectedTrays(row));
        CHECK(OpenMciDevices() == 0);
        SetupRun run = RunSetup(plugin, NULL, [](HWND dialog) { Click(dialog, IDCANCEL); });
        CHECK(run.result == 2);
        CHECK(run.dialogShown);
        CHECK(run.opened.selection == row.listed);
        CHECK(run.opened.runOn == ((row.switches & RunOn) != 0));
        CHECK(run.opened.closeOn == ((row.switches & CloseOn) != 0));
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    }
}

}
