#include "HostProcess.h"

#include <doctest.h>

HostProcess::HostProcess(HostVariant variant)
    : dir("host"), program(dir.File("Quillon.exe")), info()
{
    CopyFileOrFail(HostFile(variant), program);
    CopyFileOrFail(BuildFile("Kestrune.dll"), dir.File("Kestrune.dll"));
}

HostProcess::HostProcess(const std::string& path)
    : dir("host"), program(path), info()
{
}

HostProcess::~HostProcess()
{
    if (info.hProcess != NULL) {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info.hProcess, 99);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}

void HostProcess::Start(const std::string& arguments)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE output = CreateFileA(dir.File("host-output.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    REQUIRE(output != INVALID_HANDLE_VALUE);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string commandLine = "\"" + program + "\" " + arguments;
    BOOL started = CreateProcessA(program.c_str(), &commandLine[0], NULL, NULL, TRUE, 0, NULL, dir.Path().c_str(),
                                  &startup, &info);
    CloseHandle(output);
    REQUIRE_MESSAGE(started, "cannot start " << program);
}

int HostProcess::Wait(DWORD milliseconds)
{
    if (WaitForSingleObject(info.hProcess, milliseconds) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return static_cast<int>(code);
}
