// Support for the installation flow tests: installation files written on the fly into a
// private folder, device records under the Device library's key, and runs of tolvarin.exe
// as a real process.
#pragma once

#include <windows.h>

#include "tests/common/ScratchFolder.h"

#include <fstream>
#include <string>

inline constexpr char kDevicesKey[] = "Software\\Obrix\\Plixa\\Devices\\";

inline bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

inline void SetString(const std::string& key, const char* name, const std::string& value) {
    HKEY handle = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &handle, nullptr);
    if (name)
        RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1));
    RegCloseKey(handle);
}

inline std::string GetString(const std::string& key, const char* name) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value) - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return "<none>";
    return value;
}

inline std::string DeviceKey(const std::string& device) {
    return kDevicesKey + device;
}

// A device record with the given Uninstall and DriverDll values (empty: not written).
inline void AddDevice(const std::string& device, const std::string& uninstall = "",
                      const std::string& driver = "") {
    SetString(DeviceKey(device), nullptr, "");
    if (!uninstall.empty()) SetString(DeviceKey(device), "Uninstall", uninstall);
    if (!driver.empty()) SetString(DeviceKey(device), "DriverDll", driver);
}

// The installation file header and an Identify procedure naming device as what it installs.
inline std::string Identify(const std::string& device,
                            const std::string& type = "OBX_PLIXA_DRIVER") {
    return ";OBRIX_INST_FILE\r\n"
           "proc Identify\r\n"
           "  set $INST_TYPE, \"" +
           type +
           "\"\r\n"
           "  set $DEVNAME, \"" +
           device +
           "\"\r\n"
           "  set $INST_NAME, \"Test component " +
           device +
           "\"\r\n"
           "endp\r\n";
}

// Runs tolvarin.exe (beside this test) with arguments and returns its exit code.
inline DWORD RunTolvarin(const std::string& arguments) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = self;
    program.erase(program.find_last_of("\\/") + 1);
    program += "tolvarin.exe";
    std::string command = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return DWORD(-1);
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}
