// Stand-in for the mail client: exports what a plug-in expects of it, loads Kestrune.dll
// from its own folder and drives it from the command line.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Kestrune.h"

// The functions a plug-in requires of the host do nothing here. The build's .def exports
// each of them under its own decorated name, leading to the stub of its argument size.
extern "C" LONG WINAPI HostFunction0(void) { return 0; }
extern "C" LONG WINAPI HostFunction4(LONG) { return 0; }
extern "C" LONG WINAPI HostFunction8(LONG, LONG) { return 0; }
extern "C" LONG WINAPI HostFunction12(LONG, LONG, LONG) { return 0; }
extern "C" LONG WINAPI HostFunction16(LONG, LONG, LONG, LONG) { return 0; }

namespace {

struct Plugin : KestruneEntryPoints {
    HMODULE module;
};

HWND MainWindow;

void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

bool LoadPlugin(Plugin& plugin)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    char* name = strrchr(path, '\\');
    if (length == 0 || length >= sizeof path || name == NULL)
        return false;
    lstrcpyA(name + 1, "Kestrune.dll");
    Say("loading %s\n", path);
    plugin.module = LoadLibraryA(path);
    if (plugin.module == NULL) {
        Say("the plug-in did not load (error %lu)\n", GetLastError());
        return false;
    }
    if (!FindKestruneEntryPoints(plugin.module, plugin)) {
        Say("the plug-in lacks one of the six entry points\n");
        FreeLibrary(plugin.module);
        return false;
    }
    Say("the plug-in loaded\n");
    return true;
}

HWND HostWindow()
{
    if (MainWindow == NULL) {
        MainWindow = CreateWindowExA(0, "STATIC", "Quillon32 (stand-in)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                     40, 40, 480, 320, NULL, NULL, GetModuleHandleA(NULL), NULL);
    }
    return MainWindow;
}

// Runs one command at argv[i]; returns the number of arguments it took, 0 if unknown.
int RunCommand(const Plugin& plugin, int argc, char** argv, int i)
{
    const char* command = argv[i];
    if (strcmp(command, "name") == 0) {
        const char* name = plugin.getPlugName();
        Say("APCGetPlugName: %s\n", name != NULL ? name : "(null)");
        Say("APCStartUp: %d\n", plugin.startUp(0));
        return 1;
    }
    if (strcmp(command, "version") == 0) {
        Say("APCVersionInfo: showing the version box\n");
        Say("APCVersionInfo returned %d\n", plugin.versionInfo(HostWindow()));
        return 1;
    }
    if (strcmp(command, "setup") == 0) {
        Say("APCSetup: showing the options dialog\n");
        Say("APCSetup returned %d\n", plugin.setup(HostWindow()));
        return 1;
    }
    if (strcmp(command, "retrieve") == 0 && i + 1 < argc) {
        long mails = atol(argv[i + 1]);
        Say("retrieval: %ld mail(s) arrive\n", mails);
        for (long n = 0; n < mails; ++n) {
            int result = plugin.recFilter(0);
            if (result != 0)
                Say("APCRecFilter returned %d\n", result);
        }
        plugin.folderEndRetrieve(0);
        Say("retrieval ended: APCFolderEndRetrieve returned\n");
        return 2;
    }
    return 0;
}

}

int main(int argc, char** argv)
{
    Plugin plugin;
    if (!LoadPlugin(plugin))
        return 1;
    int status = 0;
    for (int i = 1; i < argc;) {
        int taken = RunCommand(plugin, argc, argv, i);
        if (taken == 0) {
            Say("unknown command: %s\n", argv[i]);
            status = 2;
            break;
        }
        i += taken;
    }
    if (MainWindow != NULL)
        DestroyWindow(MainWindow);
    FreeLibrary(plugin.module);
    Say("the plug-in was unloaded\n");
    return status;
}
