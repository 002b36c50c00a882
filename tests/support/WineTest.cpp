#include "WineTest.h"

#include <doctest.h>

std::wstring FromCp932(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    int size = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), NULL, 0);
    std::wstring text(size, L'\0');
    MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

std::string BuildFile(const std::string& relative)
{
    // KESTRUNE_BUILD_DIR is the build folder's Unix path; drive Z: is the Unix root.
    std::string path = "Z:" KESTRUNE_BUILD_DIR "/";
    path += relative;
    for (std::string::iterator c = path.begin(); c != path.end(); ++c)
        if (*c == '/')
            *c = '\\';
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    // 2020-01-01 in steps of 100 ns since 1601, and a second later at each write.
    static ULONGLONG stamp = 132223104000000000ULL;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    REQUIRE_MESSAGE(file != INVALID_HANDLE_VALUE, "cannot create " << path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    stamp += 10000000ULL;
    FILETIME time = { static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32) };
    SetFileTime(file, NULL, NULL, &time);
    CloseHandle(file);
    REQUIRE(written == bytes.size());
}

void CopyFileOrFail(const std::string& from, const std::string& to)
{
    REQUIRE_MESSAGE(CopyFileA(from.c_str(), to.c_str(), FALSE), "cannot copy " << from << " to " << to);
}

static DWORD WINAPI RunWork(LPVOID work)
{
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

HANDLE StartThread(const std::function<void()>& work)
{
    return CreateThread(NULL, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, NULL);
}

static void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(path, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = JoinPath(path, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

TempDir::TempDir(const std::string& name)
{
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char unique[64];
    wsprintfA(unique, "kestrune-%lu-%d", GetCurrentProcessId(), ++serial);
    path = std::string(temp) + unique;
    if (!name.empty())
        path += "-" + name;
    RemoveTree(path);
    REQUIRE_MESSAGE(CreateDirectoryA(path.c_str(), NULL), "cannot create " << path);
}

TempDir::~TempDir()
{
    RemoveTree(path);
}

std::string TempDir::SubDir(const std::string& name) const
{
    std::string sub = JoinPath(path, name);
    REQUIRE_MESSAGE(CreateDirectoryA(sub.c_str(), NULL), "cannot create " << sub);
    return sub;
}

MciLog::MciLog()
    : dir("mci"), path(dir.File("mci.log"))
{
    SetEnvironmentVariableA("KESTRUNE_MCI_LOG", path.c_str());
}

MciLog::~MciLog()
{
    SetEnvironmentVariableA("KESTRUNE_MCI_LOG", NULL);
}

std::vector<std::string> MciLog::Lines() const
{
    std::vector<std::string> lines;
    std::string bytes = ReadFileBytes(path);
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

std::string ListedDriveLetters;

DWORD WINAPI ListedDriveRoots(DWORD size, LPSTR buffer)
{
    std::string roots;
    for (char letter : ListedDriveLetters)
        roots += std::string(1, letter) + ":\\" + '\0';
    if (roots.size() + 1 > size)
        return static_cast<DWORD>(roots.size() + 1);
    CopyMemory(buffer, roots.c_str(), roots.size() + 1);
    return static_cast<DWORD>(roots.size());
}

std::string ListedDriveTypes;

UINT WINAPI ListedDriveType(LPCSTR root)
{
    size_t letter = ListedDriveTypes.find(root[0]);
    return letter != std::string::npos ? ListedDriveTypes[letter + 1] - '0' : GetDriveTypeA(root);
}

int OpenMciDevices()
{
    char answer[32] = "";
    if (mciSendStringA("sysinfo all quantity open", answer, sizeof answer, NULL) != 0)
        return -1;
    return atoi(answer);
}

std::vector<std::string> TraySequence(const std::string& drive, bool closeFirst)
{
    std::vector<std::string> lines;
    std::string device = drive;
    if (drive.empty()) {
        device = "D:";
        lines.push_back("open default->D: flags=0x2002");
    } else {
        lines.push_back("open " + drive + " flags=0x2202");
    }
    if (closeFirst)
        lines.push_back("set " + device + " door-closed flags=0x202");
    lines.push_back("set " + device + " door-open flags=0x102");
    lines.push_back("close " + device + " flags=0x2");
    return lines;
}

std::vector<std::string> AllTrays(bool closeFirst)
{
    std::vector<std::string> lines = TraySequence("D:", closeFirst), e = TraySequence("E:", closeFirst);
    lines.insert(lines.end(), e.begin(), e.end());
    return lines;
}
