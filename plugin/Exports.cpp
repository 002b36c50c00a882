// The module entry and the six entry points the host calls. Each one hands the work on and
// keeps every failure, out-of-memory included, on this side of the host boundary.

#include <windows.h>

#include <type_traits>

#include "HostBinding.h"
#include "Identity.h"
#include "Kestrune.h"
#include "../foundation/TnString.h"
#include "../notify/NewMailTrigger.h"
#include "../settings/OptionDialog.h"
#include "../settings/SettingsFile.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        PluginModule = module;
        if (!BindHost()) {
            ShowAttachFailureBox();
            return FALSE;
        }
        MakeSettingsPath(module);
        return TRUE;
    case DLL_PROCESS_DETACH:
        ReleaseHost();
        return TRUE;
    default:
        return TRUE;
    }
}

extern "C" const char* WINAPI APCGetPlugName(void)
{
    return PluginName;
}

extern "C" int WINAPI APCVersionInfo(HWND parent)
{
    // The host is promised 0 when no box could be shown; some systems report that as -1.
    int result = MessageBoxA(parent, VersionText, VersionCaption, MB_OK);
    return result > 0 ? result : 0;
}

extern "C" int WINAPI APCStartUp(LONG)
{
    return 1;
}

extern "C" int WINAPI APCSetup(HWND parent)
{
    if (PrepareThreadToRaise()) {
        try {
            return static_cast<int>(ShowOptionDialog(PluginModule, parent, PluginErrorCaption));
        } catch (...) {
        }
    }
    // Out of memory: the answer of a dialog that cannot be created.
    return -1;
}

extern "C" int WINAPI APCRecFilter(LONG)
{
    CountNewMail();
    return 0;
}

extern "C" void WINAPI APCFolderEndRetrieve(LONG)
{
    EndRetrieval();
}

// Each entry point is defined with exactly the type a host calls it through.
static_assert(std::is_same<decltype(&APCGetPlugName), APCGetPlugNameProc>::value, "APCGetPlugName");
static_assert(std::is_same<decltype(&APCVersionInfo), APCVersionInfoProc>::value, "APCVersionInfo");
static_assert(std::is_same<decltype(&APCStartUp), APCStartUpProc>::value, "APCStartUp");
static_assert(std::is_same<decltype(&APCSetup), APCSetupProc>::value, "APCSetup");
static_assert(std::is_same<decltype(&APCRecFilter), APCRecFilterProc>::value, "APCRecFilter");
static_assert(std::is_same<decltype(&APCFolderEndRetrieve), APCFolderEndRetrieveProc>::value,
              "APCFolderEndRetrieve");
