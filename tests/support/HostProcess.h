#ifndef KESTRUNE_TESTS_HOSTPROCESS_H
#define KESTRUNE_TESTS_HOSTPROCESS_H

// The stand-in host as a process of its own: a copy of Quillon.exe with Kestrune.dll beside
// it in a fresh folder, run with a command line, its output collected. Any other program
// that plays the host can be run the same way, from where it is.

#include <windows.h>

#include <string>

#include "PluginUnderTest.h"

class HostProcess {
public:
    explicit HostProcess(HostVariant variant);
    explicit HostProcess(const std::string& program);
    ~HostProcess();

    const std::string& Folder() const { return dir.Path(); }
    std::string SettingsFile() const { return dir.File("Kestrune.ini"); }
    void Start(const std::string& arguments);
    DWORD Id() const { return info.dwProcessId; }
    // Waits for the end; returns the exit code, or -1 if it did not end in time.
    int Wait(DWORD milliseconds = 60000);
    std::string Output() const { return ReadFileBytes(dir.File("host-output.txt")); }

private:
    HostProcess(const HostProcess&);
    HostProcess& operator=(const HostProcess&);
    TempDir dir;
    std::string program;
    PROCESS_INFORMATION info;
};

#endif
