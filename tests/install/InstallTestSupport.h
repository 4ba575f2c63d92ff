// Support for the installation flow tests: installation files written on the fly into a
// private folder, device records under the Device library's key, and runs of tolvarin.exe
// as a real process.
#pragma once

#include <windows.h>

#include "tests/common/ChildProcess.h"
#include "tests/common/DeviceRecords.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/ScratchRegistry.h"

#include <fstream>
#include <initializer_list>
#include <string>

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

// A device record with the given Uninstall and DriverDll values (empty: not written).
inline void AddDevice(const std::string& device, const std::string& uninstall = "",
                      const std::string& driver = "") {
    const std::string key = DeviceKey(device);
    ScratchRegistry::SetString(key.c_str(), "Comment", "test device");
    if (!uninstall.empty()) ScratchRegistry::SetString(key.c_str(), "Uninstall", uninstall);
    if (!driver.empty()) ScratchRegistry::SetString(key.c_str(), "DriverDll", driver);
}

inline std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Lines of an installation file, each ended by CR LF.
inline std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The installation file header and an Identify procedure naming device as what it installs.
inline std::string Identify(const std::string& device,
                            const std::string& type = "OBX_PLIXA_DRIVER") {
    return Lines({";OBRIX_INST_FILE", "proc Identify", "  set $INST_TYPE, " + Quoted(type),
                  "  set $DEVNAME, " + Quoted(device),
                  "  set $INST_NAME, " + Quoted("Test component " + device), "endp"});
}

// Runs tolvarin.exe (beside this test) with arguments and returns its exit code.
inline int RunTolvarin(const std::string& arguments) {
    return ChildProcess("tolvarin.exe", arguments).ExitCode();
}
