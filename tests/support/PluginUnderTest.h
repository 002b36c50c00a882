#ifndef KESTRUNE_TESTS_PLUGINUNDERTEST_H
#define KESTRUNE_TESTS_PLUGINUNDERTEST_H

// Kestrune.dll loaded into the test process the way the host loads it: a copy in a folder
// of its own (its settings file beside it), with a stand-in host module already loaded
// under the name Quillon.exe, or none.

#include <windows.h>

#include <string>

#include "Kestrune.h"
#include "Printing.h"
#include "WineTest.h"

// Which stand-in host module is in the process when the plug-in loads.
enum HostVariant { FullHost, HostLackingFirst, HostLackingLast, NoHost };

std::string HostFile(HostVariant variant);

// A settings file "[Option]" with the given lines, CRLF ends, bytes as given.
std::string SettingsText(const std::string& lines);
extern const char NoSettingsFile[];

class PluginUnderTest {
public:
    // The copy is named fileName inside folder; the folder must exist.
    PluginUnderTest(const std::string& folder, const std::string& fileName = "Kestrune.dll",
                    HostVariant host = FullHost);
    ~PluginUnderTest();

    // Loads the host module (if any) and the plug-in; false when the plug-in refused.
    bool Load();
    // Writes a settings file of these [Option] lines (none for NoSettingsFile), then loads.
    bool LoadWithSettings(const std::string& lines);
    void Unload();
    // Drops the test's own reference to the host module, leaving only the plug-in's.
    void ReleaseHostReference();
    HMODULE Module() const { return module; }
    HMODULE Host() const { return host; }
    std::string Path() const { return path; }
    std::string SettingsFile() const;
    void WriteSettings(const std::string& bytes) const;

    const char* GetPlugName() const { return entry.getPlugName(); }
    int VersionInfo(HWND parent) const { return entry.versionInfo(parent); }
    int StartUp(LONG value) const { return entry.startUp(value); }
    int Setup(HWND parent) const { return entry.setup(parent); }
    int RecFilter(LONG value = 0) const { return entry.recFilter(value); }
    void FolderEndRetrieve(LONG value = 0) const { entry.folderEndRetrieve(value); }
    // A retrieval that brings in the given number of mails, the host passing value to each call.
    void Retrieve(int mails, LONG value = 0) const;
    // The same, and what the MCI driver was told meanwhile.
    std::vector<std::string> RetrievalLog(int mails = 1, LONG value = 0) const;

private:
    PluginUnderTest(const PluginUnderTest&);
    PluginUnderTest& operator=(const PluginUnderTest&);

    std::string path;
    HostVariant variant;
    HMODULE host;
    HMODULE module;
    KestruneEntryPoints entry;
};

// The folder comes first so that it exists before the plug-in is copied into it.
struct FreshFolder { TempDir folder; };

// What most tests start from: the plug-in in a fresh folder of its own, loaded with a
// settings file of these [Option] lines (none for NoSettingsFile).
class LoadedPlugin : private FreshFolder, public PluginUnderTest {
public:
    explicit LoadedPlugin(const std::string& settingsLines = NoSettingsFile);
};

#endif
