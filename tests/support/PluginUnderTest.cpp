#include "PluginUnderTest.h"

#include <doctest.h>

std::string HostFile(HostVariant variant)
{
    // The stand-in host's builds, in the order of HostVariant.
    static const char* const folders[] = { "full", "lacks-first", "lacks-last" };
    if (variant == NoHost)
        return std::string();
    return BuildFile(std::string("tools/quillon-host/") + folders[variant] + "/Quillon.exe");
}

PluginUnderTest::PluginUnderTest(const std::string& folder, const std::string& fileName, HostVariant host)
    : path(JoinPath(folder, fileName)), variant(host), host(NULL), module(NULL)
{
    CopyFileOrFail(BuildFile("Kestrune.dll"), path);
}

PluginUnderTest::~PluginUnderTest()
{
    Unload();
}

bool PluginUnderTest::Load()
{
    if (variant != NoHost) {
        host = LoadLibraryA(HostFile(variant).c_str());
        REQUIRE_MESSAGE(host != NULL, "cannot load the stand-in host " << HostFile(variant));
    }
    // A trailing dot keeps the loader from adding ".dll" to a name without extension.
    std::string name = path;
    if (name.find('.', name.rfind('\\')) == std::string::npos)
        name += ".";
    module = LoadLibraryA(name.c_str());
    if (module == NULL)
        return false;
    REQUIRE(FindKestruneEntryPoints(module, entry));
    return true;
}

bool PluginUnderTest::LoadWithSettings(const std::string& lines)
{
    if (lines != NoSettingsFile)
        WriteSettings(SettingsText(lines));
    return Load();
}

void PluginUnderTest::Unload()
{
    if (module != NULL) {
        FreeLibrary(module);
        module = NULL;
    }
    ReleaseHostReference();
}

void PluginUnderTest::ReleaseHostReference()
{
    if (host != NULL) {
        FreeLibrary(host);
        host = NULL;
    }
}

std::string PluginUnderTest::SettingsFile() const
{
    std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || dot < path.rfind('\\'))
        return path + ".ini";
    return path.substr(0, dot) + ".ini";
}

void PluginUnderTest::WriteSettings(const std::string& bytes) const
{
    WriteFileBytes(SettingsFile(), bytes);
}

void PluginUnderTest::Retrieve(int mails, LONG value) const
{
    for (int i = 0; i < mails; ++i)
        REQUIRE(entry.recFilter(value) == 0);
    entry.folderEndRetrieve(value);
}

std::vector<std::string> PluginUnderTest::RetrievalLog(int mails, LONG value) const
{
    MciLog log;
    Retrieve(mails, value);
    return log.Lines();
}

const char NoSettingsFile[] = "(no settings file)";

std::string SettingsText(const std::string& lines)
{
    return "[Option]\r\n" + lines;
}

LoadedPlugin::LoadedPlugin(const std::string& settingsLines)
    : PluginUnderTest(folder.Path())
{
    REQUIRE(LoadWithSettings(settingsLines));
}
