// An installable MCI driver for "cdaudio" that records commands instead of moving trays.

#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <stdio.h>
#include <string.h>

namespace {

// One open device: the drive it stands for, as "D:".
struct Device {
    bool used;
    char drive[3];
};

const int MaxDevices = 16;
Device Devices[MaxDevices];
// DRV_OPEN also arrives once without MCI parameters; that instance is no device.
const LRESULT PlainInstance = 0x7fff;

void Record(const char* format, ...)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KESTRUNE_MCI_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    char line[200];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    line[sizeof line - 1] = '\0';
    // Opened and closed per line: the test reading it may be another process.
    FILE* log = fopen(path, "ab");
    if (log != NULL) {
        fprintf(log, "%s\n", line);
        fclose(log);
    }
}

LRESULT Refuse(const char* command, LRESULT error)
{
    Record("%s refused", command);
    return error;
}

// Whether KESTRUNE_MCI_REFUSE names the command: it holds the starts of the commands' lines
// ("open D:", "set E: door-closed"), separated by "|".
bool AskedToRefuse(const char* command)
{
    char refused[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KESTRUNE_MCI_REFUSE", refused, sizeof refused);
    if (length == 0 || length >= sizeof refused)
        return false;
    for (const char* start = strtok(refused, "|"); start != NULL; start = strtok(NULL, "|"))
        if (strncmp(command, start, strlen(start)) == 0)
            return true;
    return false;
}

// Carries out a command, which only means recording it, unless it is to fail as on a real
// drive that cannot do it (a tray that cannot be drawn in, a drive in use).
LRESULT CarryOut(const char* command, LRESULT error)
{
    if (AskedToRefuse(command))
        return Refuse(command, error);
    Record("%s", command);
    return 0;
}

Device* DeviceFor(DWORD_PTR id)
{
    if (id >= 1 && id <= static_cast<DWORD_PTR>(MaxDevices) && Devices[id - 1].used)
        return &Devices[id - 1];
    return NULL;
}

bool IsOpticalDrive(char letter)
{
    char root[4] = { letter, ':', '\\', '\0' };
    return GetDriveTypeA(root) == DRIVE_CDROM;
}

// The default device is the first optical drive in letter order, as with the system's driver.
char FirstOpticalDrive()
{
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (IsOpticalDrive(letter))
            return letter;
    return 0;
}

LRESULT OpenDevice(Device* device, DWORD flags, const MCI_OPEN_PARMSW* open)
{
    char command[MAX_PATH + 40];
    if ((flags & MCI_OPEN_ELEMENT) && open != NULL && open->lpstrElementName != NULL) {
        char element[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, open->lpstrElementName, -1, element, sizeof element, NULL, NULL);
        wsprintfA(command, "open %s flags=0x%lx", element, flags);
        bool optical = lstrlenA(element) == 2 && element[1] == ':' && IsOpticalDrive(element[0]);
        if (!optical)
            return Refuse(command, MCIERR_INVALID_DEVICE_NAME);
        lstrcpynA(device->drive, element, sizeof device->drive);
        return CarryOut(command, MCIERR_MUST_USE_SHAREABLE);
    }
    char letter = FirstOpticalDrive();
    if (letter == 0) {
        wsprintfA(command, "open default flags=0x%lx", flags);
        return Refuse(command, MCIERR_INVALID_DEVICE_NAME);
    }
    device->drive[0] = letter;
    device->drive[1] = ':';
    device->drive[2] = '\0';
    wsprintfA(command, "open default->%s flags=0x%lx", device->drive, flags);
    return CarryOut(command, MCIERR_MUST_USE_SHAREABLE);
}

LRESULT SetDevice(Device* device, DWORD flags)
{
    const char* door = (flags & MCI_SET_DOOR_CLOSED) ? " door-closed"
                     : (flags & MCI_SET_DOOR_OPEN) ? " door-open" : "";
    char command[100];
    wsprintfA(command, "set %s%s flags=0x%lx", device->drive, door, flags);
    return CarryOut(command, MCIERR_HARDWARE);
}

}

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM p1, LPARAM p2)
{
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    case DRV_OPEN: {
        MCI_OPEN_DRIVER_PARMS* parms = reinterpret_cast<MCI_OPEN_DRIVER_PARMS*>(p2);
        if (parms == NULL)
            return PlainInstance;
        for (int i = 0; i < MaxDevices; ++i) {
            if (!Devices[i].used) {
                Devices[i].used = true;
                Devices[i].drive[0] = '\0';
                parms->wCustomCommandTable = MCI_NO_COMMAND_TABLE;
                parms->wType = MCI_DEVTYPE_CD_AUDIO;
                return i + 1;
            }
        }
        return 0;
    }
    case DRV_CLOSE:
        if (Device* device = DeviceFor(id))
            device->used = false;
        return 1;
    case MCI_OPEN_DRIVER:
        if (Device* device = DeviceFor(id))
            return OpenDevice(device, static_cast<DWORD>(p1), reinterpret_cast<MCI_OPEN_PARMSW*>(p2));
        return MCIERR_INTERNAL;
    case MCI_SET:
        if (Device* device = DeviceFor(id))
            return SetDevice(device, static_cast<DWORD>(p1));
        return MCIERR_INTERNAL;
    case MCI_CLOSE_DRIVER:
        if (Device* device = DeviceFor(id))
            Record("close %s flags=0x%lx", device->drive, static_cast<DWORD>(p1));
        return 0;
    default:
        if (message >= DRV_MCI_FIRST) {
            if (Device* device = DeviceFor(id))
                Record("command 0x%x %s flags=0x%lx", message, device->drive, static_cast<DWORD>(p1));
            return MCIERR_UNRECOGNIZED_COMMAND;
        }
        return DefDriverProc(id, driver, message, p1, p2);
    }
}
