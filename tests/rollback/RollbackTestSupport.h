// Test fixtures for the rollback code: scratch registry roots, a private temporary folder,
// file helpers, and the failure injector for the Win32 call table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "commands/Win32Calls.h"
#include "tests/common/ScratchFolder.h"

// Redirects HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process to fresh keys under the
// real HKEY_CURRENT_USER\Software\TolvarinTests, and deletes them at the end.
class ScratchRoots {
public:
    ScratchRoots() {
        path_ = "Software\\TolvarinTests\\rb" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++Counter());
        RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\HKLM").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &machine_, nullptr);
        RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\HKCU").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &user_, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_);
        RegOverridePredefKey(HKEY_CURRENT_USER, user_);
    }
    ~ScratchRoots() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(machine_);
        RegCloseKey(user_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TolvarinTests");  // only when empty
    }
    ScratchRoots(const ScratchRoots&) = delete;
    ScratchRoots& operator=(const ScratchRoots&) = delete;

private:
    static int& Counter() {
        static int counter = 0;
        return counter;
    }
    std::string path_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
};

// A fresh folder of its own that also serves as the process's temporary directory (TMP), so
// that what the journal leaves in the temporary directory can be listed exactly. Removed
// with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        char oldTmp[MAX_PATH] = "";
        if (GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH) > 0) oldTmp_ = oldTmp;
        hadTmp_ = oldTmp[0] != '\0';
        for (int n = 0;; ++n) {
            path_ = std::string(base) + "tolv_rb_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(n);
            if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        }
        temp_ = path_ + "\\tmp";
        CreateDirectoryA(temp_.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", temp_.c_str());
    }
    ~TempFolder() {
        SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
        RemoveTree(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder for the test's own files.
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& Path() const { return path_; }
    // What GetTempPathA now answers, without the trailing backslash.
    const std::string& Temp() const { return temp_; }
    // Names of the files in the temporary directory.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((temp_ + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }

    static void RemoveTree(const std::string& path) { ::RemoveTree(path); }

private:
    std::string path_;
    std::string temp_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

inline void WriteFileText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

// The file's content, or "<missing>" when it cannot be opened.
inline std::string ReadFileText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char block[4096];
    DWORD read = 0;
    while (ReadFile(file, block, sizeof block, &read, nullptr) && read > 0) {
        text.append(block, read);
    }
    CloseHandle(file);
    return text;
}

inline bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Registry helpers on the (redirected) roots.
inline void SetRegString(HKEY root, const char* key, const char* name, const std::string& value) {
    HKEY handle = nullptr;
    RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(handle);
}
inline void SetRegBinary(HKEY root, const char* key, const char* name,
                         const std::vector<BYTE>& data, DWORD type = REG_BINARY) {
    HKEY handle = nullptr;
    RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    RegSetValueExA(handle, name, 0, type, data.data(), DWORD(data.size()));
    RegCloseKey(handle);
}
// The value's string data, or "<missing>".
inline std::string GetRegString(HKEY root, const char* key, const char* name) {
    char data[8192];
    DWORD size = sizeof data - 1;
    if (RegGetValueA(root, key, name, RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return std::string(data, size > 0 && data[size - 1] == '\0' ? size - 1 : size);
}
inline bool KeyExists(HKEY root, const char* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// Swaps every failable entry of the Win32 call table for a wrapper that counts the calls
// and makes the failAt-th one (1-based; 0 never) fail without doing anything: files and
// directories with ERROR_ACCESS_DENIED as last error, registry calls returning it. Closing
// calls pass through uncounted: a handle that stays open is not a failure anyone handles.
class FailureInjector {
public:
    explicit FailureInjector(int failAt = 0) {
        State() = {0, failAt, false};
        using tolv::Win32Calls;
        Win32Calls& t = tolv::Win32();
        t.CreateFileA = Counted<&Win32Calls::CreateFileA, kInvalidHandle>::Call;
        t.ReadFile = Counted<&Win32Calls::ReadFile, kZero>::Call;
        t.WriteFile = Counted<&Win32Calls::WriteFile, kZero>::Call;
        t.SetFilePointer = Counted<&Win32Calls::SetFilePointer, kAllOnes>::Call;
        t.GetFileTime = Counted<&Win32Calls::GetFileTime, kZero>::Call;
        t.SetFileTime = Counted<&Win32Calls::SetFileTime, kZero>::Call;
        t.GetFileSize = Counted<&Win32Calls::GetFileSize, kAllOnes>::Call;
        t.GetFileAttributesA = Counted<&Win32Calls::GetFileAttributesA, kAllOnes>::Call;
        t.SetFileAttributesA = Counted<&Win32Calls::SetFileAttributesA, kZero>::Call;
        t.FindFirstFileA = Counted<&Win32Calls::FindFirstFileA, kInvalidHandle>::Call;
        t.DeleteFileA = Counted<&Win32Calls::DeleteFileA, kZero>::Call;
        t.MoveFileA = Counted<&Win32Calls::MoveFileA, kZero>::Call;
        t.MoveFileExA = Counted<&Win32Calls::MoveFileExA, kZero>::Call;
        t.CreateDirectoryA = Counted<&Win32Calls::CreateDirectoryA, kZero>::Call;
        t.RemoveDirectoryA = Counted<&Win32Calls::RemoveDirectoryA, kZero>::Call;
        t.GetTempPathA = Counted<&Win32Calls::GetTempPathA, kZero>::Call;
        t.GetTempFileNameA = Counted<&Win32Calls::GetTempFileNameA, kZero>::Call;
        t.RegOpenKeyExA = Counted<&Win32Calls::RegOpenKeyExA, kRegError>::Call;
        t.RegCreateKeyExA = Counted<&Win32Calls::RegCreateKeyExA, kRegError>::Call;
        t.RegEnumValueA = Counted<&Win32Calls::RegEnumValueA, kRegError>::Call;
        t.RegEnumKeyExA = Counted<&Win32Calls::RegEnumKeyExA, kRegError>::Call;
        t.RegSetValueExA = Counted<&Win32Calls::RegSetValueExA, kRegError>::Call;
    }
    ~FailureInjector() { tolv::Win32() = tolv::RealWin32(); }
    FailureInjector(const FailureInjector&) = delete;
    FailureInjector& operator=(const FailureInjector&) = delete;

    int Calls() const { return State().calls; }
    bool Failed() const { return State().failed; }
    // Starts counting again from 0 with a new target.
    void Arm(int failAt) { State() = {0, failAt, false}; }

private:
    enum FailKind { kZero, kAllOnes, kInvalidHandle, kRegError };
    struct Counters {
        int calls;
        int failAt;
        bool failed;
    };
    static Counters& State() {
        static Counters counters{0, 0, false};
        return counters;
    }
    static bool Tick() {
        Counters& s = State();
        if (++s.calls != s.failAt) return false;
        s.failed = true;
        return true;
    }

    template <auto Member, FailKind Kind>
    struct Counted;
    template <typename R, typename... A, R (WINAPI* tolv::Win32Calls::*Member)(A...), FailKind Kind>
    struct Counted<Member, Kind> {
        static R WINAPI Call(A... args) {
            if (!Tick()) return (tolv::RealWin32().*Member)(args...);
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
