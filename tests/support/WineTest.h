#ifndef KESTRUNE_TESTS_WINETEST_H
#define KESTRUNE_TESTS_WINETEST_H

// Helpers shared by the tests: files and folders in the prefix, code page 932 text,
// threads, the recording MCI driver's log and refusals, a drive list of the test's own.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The UTF-16 text of code page 932 bytes.
std::wstring FromCp932(const std::string& bytes);

// The two labels the Drive setting may hold, as code page 932 bytes. Written out here rather
// than taken from the plug-in, so that the tests pin the bytes users' files hold.
const std::string DefaultLabel = "\x83\x66\x83\x74\x83\x48\x83\x8B\x83\x67";  // デフォルト
const std::string AllLabel = "\x91\x53\x82\xC4";                               // 全て

// A file of this build folder, as a Windows path ("tools\\quillon-host\\full\\Quillon.exe").
std::string BuildFile(const std::string& relative);

std::string JoinPath(const std::string& folder, const std::string& name);
std::string ReadFileBytes(const std::string& path);
// Writes the bytes and dates the file a distinct second in the past, so that a profile
// cache keyed on the modification time sees every rewrite.
void WriteFileBytes(const std::string& path, const std::string& bytes);
void CopyFileOrFail(const std::string& from, const std::string& to);

// Starts the work on a thread of its own. The work must outlive the thread: wait for the
// handle, then close it.
HANDLE StartThread(const std::function<void()>& work);

// A fresh folder under the prefix's temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& name = "");
    ~TempDir();
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return JoinPath(path, name); }
    std::string SubDir(const std::string& name) const;

private:
    TempDir(const TempDir&);
    TempDir& operator=(const TempDir&);
    std::string path;
};

// What the recording MCI driver is told while this object lives, one command a line.
class MciLog {
public:
    MciLog();
    ~MciLog();
    std::vector<std::string> Lines() const;

private:
    TempDir dir;
    std::string path;
};

// While it lives, the recording MCI driver refuses, as a real drive may, every command whose
// line starts with one of these texts, separated by "|" ("open D:|set E: door-closed").
struct MciRefusals {
    explicit MciRefusals(const std::string& commands) { SetEnvironmentVariableA("KESTRUNE_MCI_REFUSE", commands.c_str()); }
    ~MciRefusals() { SetEnvironmentVariableA("KESTRUNE_MCI_REFUSE", NULL); }
};

// Stands in for GetLogicalDriveStringsA: the roots of the letters in ListedDriveLetters
// ("CEFZ"), for drive letters that come and go, or are many. It answers as the system does, so
// a buffer too small for them all is left as it was.
extern std::string ListedDriveLetters;
DWORD WINAPI ListedDriveRoots(DWORD size, LPSTR buffer);
// Stands in for GetDriveTypeA: the type ListedDriveTypes gives a letter ("G4H6"), else the system's.
extern std::string ListedDriveTypes;
UINT WINAPI ListedDriveType(LPCSTR root);

// Number of MCI devices the calling process still has open.
int OpenMciDevices();

// The sequence a tray gets: open, (door closed,) door open, close.
std::vector<std::string> TraySequence(const std::string& drive, bool closeFirst);
// What the all-drives label brings: the sequence for each optical drive, D: then E:.
std::vector<std::string> AllTrays(bool closeFirst);

#endif
