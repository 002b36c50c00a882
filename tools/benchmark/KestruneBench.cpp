// Times Kestrune's entry points against the platform calls they cannot avoid.

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

#include "Kestrune.h"

namespace {

const int Runs = 41;
// A load costs little beside the machine's own jitter, so it is sampled more often.
const int LoadRuns = 201;

double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string WindowsPath(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The whole settings file of a case, in code page 932.
void WriteSettings(const std::string& path, const char* lines)
{
    // Each version gets a date of its own in the past: the profile functions cache a file
    // until its date changes, and keep a settled one cached as they would on a user's machine.
    static DWORD version = 0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    std::string text = std::string("[Option]\r\n") + lines;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    FILETIME old = { 0, 0x01D60000u + ++version };
    SetFileTime(file, NULL, NULL, &old);
    CloseHandle(file);
}

// The MCI commands the plug-in sends for one tray.
void TrayCommands(const char* element, bool closeFirst)
{
    MCI_OPEN_PARMSA open;
    ZeroMemory(&open, sizeof open);
    open.lpstrDeviceType = "cdaudio";
    DWORD flags = MCI_OPEN_TYPE | MCI_WAIT;
    if (element != NULL) {
        open.lpstrElementName = element;
        flags |= MCI_OPEN_ELEMENT;
    }
    if (mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return;
    if (closeFirst)
        mciSendCommandA(open.wDeviceID, MCI_SET, MCI_SET_DOOR_CLOSED | MCI_WAIT, 0);
    mciSendCommandA(open.wDeviceID, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, 0);
    mciSendCommandA(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
}

void ReadSetting(const std::string& settings, const char* key)
{
    char value[MAX_PATH];
    GetPrivateProfileStringA("Option", key, "", value, sizeof value, settings.c_str());
}

void ListDrives()
{
    char roots[MAX_PATH];
    DWORD length = GetLogicalDriveStringsA(sizeof roots - 1, roots);
    for (const char* root = roots; root < roots + length && *root; root += lstrlenA(root) + 1)
        GetDriveTypeA(root);
}

// What any plug-in that binds to the host pays at load and unload: the module itself, the
// host module by name, its 34 functions, and the module's own file name.
void LoadAndBindDirectly(const std::string& emptyPlugin)
{
    static const char* const names[] = {
#define HOST_API(name, bytes) "_" #name "@" #bytes,
#include "HostApiList.h"
#undef HOST_API
    };
    HMODULE module = LoadLibraryA(emptyPlugin.c_str());
    HMODULE host = LoadLibraryA("Quillon.exe");
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        GetProcAddress(host, names[i]);
    char path[MAX_PATH];
    GetModuleFileNameA(module, path, sizeof path);
    FreeLibrary(host);
    FreeLibrary(module);
}

struct Case {
    const char* name;
    const char* settings;
    void (*floor)(const std::string& settings);
};

void FloorRunOff(const std::string& settings)
{
    ReadSetting(settings, "RunOn");
}

void FloorDefaultDevice(const std::string& settings)
{
    ReadSetting(settings, "RunOn");
    ReadSetting(settings, "Drive");
    ReadSetting(settings, "CloseOn");
    TrayCommands(NULL, false);
}

void FloorAllDrives(const std::string& settings)
{
    ReadSetting(settings, "RunOn");
    ReadSetting(settings, "Drive");
    ReadSetting(settings, "CloseOn");
    ListDrives();
    TrayCommands("D:", true);
    TrayCommands("E:", true);
}

}

int main()
{
    SetEnvironmentVariableA("KESTRUNE_MCI_LOG", NULL);
    std::string built = WindowsPath(KESTRUNE_BUILD_DIR "/Kestrune.dll");
    std::string hostFile = WindowsPath(KESTRUNE_BUILD_DIR "/tools/quillon-host/full/Quillon.exe");
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "kestrune-bench";
    CreateDirectoryA(folder.c_str(), NULL);
    std::string plugin = folder + "\\Kestrune.dll";
    std::string settings = folder + "\\Kestrune.ini";
    if (!CopyFileA(built.c_str(), plugin.c_str(), FALSE)) {
        printf("cannot copy %s\n", built.c_str());
        return 1;
    }
    HMODULE host = LoadLibraryA(hostFile.c_str());
    if (host == NULL) {
        printf("cannot load the stand-in host %s\n", hostFile.c_str());
        return 1;
    }

    HANDLE file = CreateFileA(plugin.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    printf("Kestrune.dll: %lu bytes\n\n", GetFileSize(file, NULL));
    CloseHandle(file);

    std::string empty = folder + "\\EmptyPlugin.dll";
    CopyFileA(WindowsPath(KESTRUNE_BUILD_DIR "/tools/benchmark/EmptyPlugin.dll").c_str(), empty.c_str(), FALSE);
    std::vector<double> loads, loadFloors;
    for (int i = 0; i < LoadRuns; ++i) {
        double start = Now();
        HMODULE module = LoadLibraryA(plugin.c_str());
        FreeLibrary(module);
        loads.push_back(Now() - start);
        if (module == NULL) {
            printf("the plug-in did not load\n");
            return 1;
        }
        start = Now();
        LoadAndBindDirectly(empty);
        loadFloors.push_back(Now() - start);
    }
    printf("%-44s %10s %10s %7s\n", "", "plug-in", "floor", "ratio");
    printf("%-44s %7.1f us %7.1f us %7.3f\n", "load and unload, binding included", Median(loads), Median(loadFloors),
           Median(loads) / Median(loadFloors));

    HMODULE module = LoadLibraryA(plugin.c_str());
    KestruneEntryPoints entry;
    if (module == NULL || !FindKestruneEntryPoints(module, entry))
        return 1;

    WriteSettings(settings, "RunOn=0\r\n");
    const int calls = 1000000;
    std::vector<double> filters;
    for (int i = 0; i < 9; ++i) {
        double start = Now();
        for (int n = 0; n < calls; ++n)
            entry.recFilter(0);
        filters.push_back((Now() - start) * 1000.0 / calls);
        entry.folderEndRetrieve(0);
    }
    printf("%-44s %7.1f ns\n\n", "APCRecFilter", Median(filters));

    const Case cases[] = {
        { "retrieval end, RunOn 0", "RunOn=0\r\n", FloorRunOff },
        { "retrieval end, default device", "Drive=\x83\x66\x83\x74\x83\x48\x83\x8B\x83\x67\r\nRunOn=1\r\nCloseOn=0\r\n",
          FloorDefaultDevice },
        { "retrieval end, all drives (2), CloseOn 1", "Drive=\x91\x53\x82\xC4\r\nRunOn=1\r\nCloseOn=1\r\n",
          FloorAllDrives },
    };
    for (size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        WriteSettings(settings, cases[c].settings);
        std::vector<double> ends, floors;
        for (int i = 0; i < Runs; ++i) {
            entry.recFilter(0);
            double start = Now();
            entry.folderEndRetrieve(0);
            ends.push_back(Now() - start);
            start = Now();
            cases[c].floor(settings);
            floors.push_back(Now() - start);
        }
        double plug = Median(ends), floor = Median(floors);
        printf("%-44s %7.1f us %7.1f us %7.3f\n", cases[c].name, plug, floor, plug / floor);
    }
    printf("\n(medians of %d runs, of loads %d; APCRecFilter of %d calls, 9 times)\n", Runs, LoadRuns, calls);

    FreeLibrary(module);
    FreeLibrary(host);
    DeleteFileA(settings.c_str());
    DeleteFileA(plugin.c_str());
    DeleteFileA(empty.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
