// Device records under the Device library's key, in the scratch registry, and the calls the
// test driver recorded there.
#pragma once

#include <windows.h>

#include <string>

inline std::string DeviceKey(const std::string& device) {
    return "Software\\Obrix\\Plixa\\Devices\\" + device;
}

// A registry text under HKEY_LOCAL_MACHINE, or "" when there is none.
inline std::string RegText(const std::string& key, const char* name) {
    char text[4096] = {};
    DWORD size = sizeof text;
    RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

// The test driver's calls for device, e.g. "init;setup:0;shutdown;".
inline std::string DriverCalls(const char* device) {
    return RegText("Software\\TolvarinTests\\DriverCalls", device);
}
