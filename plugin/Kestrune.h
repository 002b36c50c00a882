#ifndef KESTRUNE_H
#define KESTRUNE_H

// What a host sees of Kestrune.dll: six entry points, exported by plain name.

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Ordinal 1: the constant text "Kestrune", the same pointer on every call.
typedef const char* (WINAPI* APCGetPlugNameProc)(void);
// Ordinal 2: shows the version box; 1 after OK, 0 when no box could be shown.
typedef int (WINAPI* APCVersionInfoProc)(HWND parent);
// Ordinal 3: always 1.
typedef int (WINAPI* APCStartUpProc)(LONG value);
// Ordinal 4: the options dialog; 1 after OK, 2 after Cancel, else the platform's failure value:
// 0 when the parent window is not a valid one, -1 when the dialog could not run otherwise.
typedef int (WINAPI* APCSetupProc)(HWND parent);
// Ordinal 5: one call per received mail; always 0.
typedef int (WINAPI* APCRecFilterProc)(LONG value);
// Ordinal 6: the end of a retrieval; opens the trays when mail was received.
typedef void (WINAPI* APCFolderEndRetrieveProc)(LONG value);

#ifdef __cplusplus
}

// The six entry points of a loaded Kestrune.dll, as a host keeps them.
struct KestruneEntryPoints {
    APCGetPlugNameProc getPlugName;
    APCVersionInfoProc versionInfo;
    APCStartUpProc startUp;
    APCSetupProc setup;
    APCRecFilterProc recFilter;
    APCFolderEndRetrieveProc folderEndRetrieve;
};

template <typename Proc>
inline void FindKestruneEntryPoint(HMODULE module, const char* name, Proc& proc)
{
    // Through a plain function pointer type: FARPROC's own signature is meaningless.
    proc = reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Fills all six; false when one of them is missing.
inline bool FindKestruneEntryPoints(HMODULE module, KestruneEntryPoints& entry)
{
    FindKestruneEntryPoint(module, "APCGetPlugName", entry.getPlugName);
    FindKestruneEntryPoint(module, "APCVersionInfo", entry.versionInfo);
    FindKestruneEntryPoint(module, "APCStartUp", entry.startUp);
    FindKestruneEntryPoint(module, "APCSetup", entry.setup);
    FindKestruneEntryPoint(module, "APCRecFilter", entry.recFilter);
    FindKestruneEntryPoint(module, "APCFolderEndRetrieve", entry.folderEndRetrieve);
    return entry.getPlugName && entry.versionInfo && entry.startUp && entry.setup && entry.recFilter
        && entry.folderEndRetrieve;
}
#endif

#endif
