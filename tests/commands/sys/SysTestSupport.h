// Scratch registry roots, scratch folders and small file and registry probes for the tests of
// the registry and file commands.
#pragma once

#include <windows.h>

#include "tests/common/ScratchFolder.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tests/common/ScratchRegistry.h"

namespace sys_test {

// Redirects all four roots a script can name: HKEY_LOCAL_MACHINE through ScratchRegistry,
// HKEY_CURRENT_USER, HKEY_CLASSES_ROOT and HKEY_USERS to keys of their own under the real
// HKEY_CURRENT_USER, all deleted again at the end. The SharedDLLs key exists, as on any
// Windows machine.
class ScratchRoots {
public:
    ScratchRoots() {
        static int serial = 0;
        path_ = "Software\\TolvarinTests\\sys_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial);
        for (int i = 0; i < kCount; ++i) {
            RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\" + kNames[i]).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &keys_[i], nullptr);
        }
        for (int i = 0; i < kCount; ++i) RegOverridePredefKey(Root(i), keys_[i]);
        HKEY shared = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &shared, nullptr);
        RegCloseKey(shared);
    }
    ~ScratchRoots() {
        for (int i = 0; i < kCount; ++i) {
            RegOverridePredefKey(Root(i), nullptr);
            RegCloseKey(keys_[i]);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    ScratchRoots(const ScratchRoots&) = delete;
    ScratchRoots& operator=(const ScratchRoots&) = delete;

private:
    static constexpr int kCount = 3;
    static constexpr const char* kNames[kCount] = {"HKCU", "HKCR", "HKU"};
    static HKEY Root(int i) {
        const HKEY roots[kCount] = {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS};
        return roots[i];
    }
    ScratchRegistry machine_;  // first in, last out: its clean-up opens the real HKCU
    std::string path_;
    HKEY keys_[kCount] = {};
};

// ---- registry probes (on whatever the roots point at now)

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
    std::string Text() const { return std::string(data.c_str()); }
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
    HKEY key = nullptr;
    RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
inline void WriteString(HKEY root, const std::string& subkey, const char* name,
                        const std::string& text, DWORD type = REG_SZ) {
    WriteValue(root, subkey, name, type, text.c_str(), DWORD(text.size() + 1));
}
inline void WriteDword(HKEY root, const std::string& subkey, const char* name, DWORD n) {
    WriteValue(root, subkey, name, REG_DWORD, &n, sizeof n);
}

// Every value and subkey below root\subkey as sorted text lines, for comparing whole trees.
inline void DumpKey(HKEY root, const std::string& subkey, std::vector<std::string>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out.push_back("[" + subkey + "]");
    char name[16384];
    BYTE data[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        out.push_back(std::string(name) + "|" + std::to_string(type) + "|" +
                      std::string(reinterpret_cast<char*>(data), dataSize));
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children) DumpKey(root, subkey + "\\" + child, out);
}

// ---- files

inline void WriteFile(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
}

// The file's content, or "<missing>" when it cannot be opened.
inline std::string ReadFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
}

inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A UTC file time of 2020-06-01 at 12:00:00 plus seconds.
inline FILETIME TimeAt(int seconds) {
    SYSTEMTIME st{};
    st.wYear = 2020;
    st.wMonth = 6;
    st.wDay = 1;
    st.wHour = 12;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER n;
    n.LowPart = ft.dwLowDateTime;
    n.HighPart = ft.dwHighDateTime;
    n.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    ft.dwLowDateTime = n.LowPart;
    ft.dwHighDateTime = n.HighPart;
    return ft;
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
    ULARGE_INTEGER n;
    n.LowPart = data.ftLastWriteTime.dwLowDateTime;
    n.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return n.QuadPart;
}

// Names of the files in the temporary directory that start with prefix.
inline std::vector<std::string> TempFiles(const char* prefix) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(temp) + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

}  // namespace sys_test
