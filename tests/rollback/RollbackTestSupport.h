// Test fixtures shared by the rollback, command and catalogue tests: scratch registry roots,
// a private folder that is also the temporary directory, file and registry probes, and the
// failure injector for the Win32 call table.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "platform/Win32Calls.h"
#include "rollback/JournalFolder.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/ScratchRegistry.h"

// The four roots a script can name, redirected; the SharedDLLs key exists, as on any
// Windows machine.
class ScratchRoots : public ScratchRegistry {
public:
    ScratchRoots() : ScratchRegistry(true) {
        HKEY shared = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &shared, nullptr);
        RegCloseKey(shared);
    }
};

// Names of the files in folder.
inline std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// The machine's journal folder, where tolvarin.exe and the test programs started without a
// folder of their own keep their journals. The tests that use it hold ctest's resource lock
// machine_state, so that no other test's start recovers their killed runs.
inline std::string MachineJournalFolder() {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::string(path) + "\\Tolvarin\\Journal";
}

// A scratch folder whose "tmp" subfolder serves as the process's temporary directory (TMP)
// and holds the journal folder (as its common application data folder), so that what a run
// leaves behind can be listed exactly.
class TempFolder : public ScratchFolder {
public:
    TempFolder() : ScratchFolder("tolv_rb") {
        char old[MAX_PATH] = "";
        if (GetEnvironmentVariableA("TMP", old, MAX_PATH) > 0) oldTmp_ = old;
        CreateDirectoryA(Temp().c_str(), nullptr);
        SetEnvironmentVariableA("TMP", Temp().c_str());
        tolv::SetCommonAppDataForTesting(Temp().c_str());
        std::string reason;
        tolv::OpenJournalFolder(&reason);  // there before any snapshot of the folder
    }
    ~TempFolder() {
        tolv::SetCommonAppDataForTesting(nullptr);
        SetEnvironmentVariableA("TMP", oldTmp_.empty() ? nullptr : oldTmp_.c_str());
    }

    // What GetTempPathA now answers, without the trailing backslash.
    std::string Temp() const { return *this / "tmp"; }
    std::string JournalFolder() const { return Temp() + "\\Tolvarin\\Journal"; }
    // Names of the files in the temporary directory and the journal folder.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names = FilesIn(Temp());
        for (const std::string& name : FilesIn(JournalFolder())) names.push_back(name);
        return names;
    }

private:
    std::string oldTmp_;
};

inline void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The file's content, or "<missing>" when it cannot be opened.
inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A UTC file time of 2020-06-01 at 12:00:00 plus seconds.
inline FILETIME TimeAt(int seconds) {
    SYSTEMTIME st = {2020, 6, 0, 1, 12, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER n = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    n.QuadPart += ULONGLONG(seconds) * 10000000ULL;
    return {n.LowPart, n.HighPart};
}

inline void SetWriteTime(const std::string& path, const FILETIME& time) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

inline ULONGLONG WriteTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

inline bool KeyExists(HKEY root, const std::string& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

struct RegValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data;  // raw bytes
    DWORD Dword() const {
        DWORD n = 0;
        if (data.size() == sizeof n) memcpy(&n, data.data(), sizeof n);
        return n;
    }
    std::string Text() const { return exists ? std::string(data.c_str()) : "<missing>"; }
};

inline RegValue ReadValue(HKEY root, const std::string& subkey, const char* name) {
    RegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.exists =
            RegQueryValueExA(key, name, nullptr, &value.type,
                             reinterpret_cast<BYTE*>(&value.data[0]), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

inline void WriteValue(HKEY root, const std::string& subkey, const char* name, DWORD type,
                       const void* data, DWORD size) {
    RegSetKeyValueA(root, subkey.c_str(), name, type, data, size);
}
inline void WriteString(HKEY root, const std::string& subkey, const char* name,
                        const std::string& text, DWORD type = REG_SZ) {
    WriteValue(root, subkey, name, type, text.c_str(), DWORD(text.size() + 1));
}
inline void WriteDword(HKEY root, const std::string& subkey, const char* name, DWORD n) {
    WriteValue(root, subkey, name, REG_DWORD, &n, sizeof n);
}

// Every value and subkey below root\subkey as text lines, for comparing whole trees.
inline void DumpKey(HKEY root, const std::string& subkey, std::vector<std::string>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out.push_back("[" + subkey + "]");
    char name[16384];
    BYTE data[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize)) break;
        out.push_back(std::string(name) + "|" + std::to_string(type) + "|" +
                      std::string(reinterpret_cast<char*>(data), dataSize));
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr)) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children) DumpKey(root, subkey + "\\" + child, out);
}

// Swaps every failable entry of the Win32 call table for a wrapper that counts the calls
// and makes the failAt-th one (1-based; 0 never) fail without doing anything: files and
// directories with ERROR_ACCESS_DENIED as last error, registry calls returning it. Closing
// calls pass through uncounted: a handle that stays open is not a failure anyone handles.
// With kill, the failAt-th call ends the process instead (exit code kKilled), as a power cut
// or the task manager would.
class FailureInjector {
public:
    static constexpr int kKilled = 77;
    explicit FailureInjector(int failAt = 0, bool kill = false) {
        State() = {0, failAt, kill};
        using W = tolv::Win32Calls;
        Swap<kZero, &W::ReadFile, &W::WriteFile, &W::GetFileTime, &W::SetFileTime,
             &W::SetFileAttributesA, &W::DeleteFileA, &W::MoveFileA, &W::MoveFileExA,
             &W::CreateDirectoryA, &W::RemoveDirectoryA, &W::GetTempPathA, &W::GetTempFileNameA,
             &W::CopyFileA>();
        Swap<kAllOnes, &W::SetFilePointer, &W::GetFileSize, &W::GetFileAttributesA>();
        Swap<kInvalidHandle, &W::CreateFileA, &W::FindFirstFileA>();
        Swap<kRegError, &W::RegOpenKeyExA, &W::RegCreateKeyExA, &W::RegEnumValueA,
             &W::RegEnumKeyExA, &W::RegSetValueExA, &W::RegQueryValueExA, &W::RegDeleteValueA,
             &W::RegDeleteKeyA>();
    }
    ~FailureInjector() { tolv::Win32() = tolv::RealWin32(); }
    FailureInjector(const FailureInjector&) = delete;
    FailureInjector& operator=(const FailureInjector&) = delete;

    int Calls() const { return State().calls; }

private:
    enum FailKind { kZero, kAllOnes, kInvalidHandle, kRegError };
    struct Counters {
        int calls;
        int failAt;
        bool kill;
    };
    static Counters& State() {
        static Counters counters{0, 0, false};
        return counters;
    }
    static bool Tick() { return ++State().calls == State().failAt; }

    template <auto Member, FailKind Kind>
    struct Counted;
    template <FailKind Kind, auto... Members>
    static void Swap() {
        ((tolv::Win32().*Members = Counted<Members, Kind>::Call), ...);
    }
    template <typename R, typename... A, R (WINAPI* tolv::Win32Calls::*Member)(A...), FailKind Kind>
    struct Counted<Member, Kind> {
        static R WINAPI Call(A... args) {
            if (!Tick()) return (tolv::RealWin32().*Member)(args...);
            if (State().kill) TerminateProcess(GetCurrentProcess(), kKilled);
            if constexpr (Kind == kRegError) {
                return R(ERROR_ACCESS_DENIED);
            } else {
                SetLastError(ERROR_ACCESS_DENIED);
                if constexpr (Kind == kInvalidHandle) {
                    return INVALID_HANDLE_VALUE;
                } else if constexpr (Kind == kAllOnes) {
                    return R(0xFFFFFFFF);
                } else {
                    return R(0);
                }
            }
        }
    };
};
