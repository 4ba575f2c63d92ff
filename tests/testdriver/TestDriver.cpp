// A reader driver for tests of the Device library. It does what the device's registry key
// asks (HKEY_LOCAL_MACHINE\Software\Obrix\Plixa\Devices\<device>):
//   TestInit     DWORD  what pxdInit returns (default 0)
//   TestResult   DWORD  what pxdSetup and pxdCardOperations return (default 0)
//   TestRestart  DWORD  what they store in *restartNeeded (default 0)
// and appends each call to the text value <device> of
// HKEY_LOCAL_MACHINE\Software\TolvarinTests\DriverCalls: "init;", "shutdown;",
// "setup:<owner>;", "cards:<owner>;" (owner in decimal).
#include "plixa/PlixaDriver.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

constexpr char kCallsKey[] = "Software\\TolvarinTests\\DriverCalls";

int Setting(const char* device, const char* value) {
    DWORD data = 0, size = sizeof data;
    std::string key = std::string("Software\\Obrix\\Plixa\\Devices\\") + device;
    RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size);
    return static_cast<int>(data);
}

void Record(const char* device, const std::string& call) {
    char old[4096] = {};
    DWORD size = sizeof old - 1;
    RegGetValueA(HKEY_LOCAL_MACHINE, kCallsKey, device, RRF_RT_REG_SZ, nullptr, old, &size);
    std::string calls = old + call + ";";
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kCallsKey, device, REG_SZ, calls.c_str(),
                    static_cast<DWORD>(calls.size() + 1));
}

int Function(const char* call, const char* device, void* owner, int* restartNeeded) {
    Record(device, std::string(call) + ":" + std::to_string(reinterpret_cast<uintptr_t>(owner)));
    *restartNeeded = Setting(device, "TestRestart");
    return Setting(device, "TestResult");
}

}  // namespace

extern "C" {

__declspec(dllexport) int __stdcall pxdInit(const char* deviceName) {
    Record(deviceName, "init");
    return Setting(deviceName, "TestInit");
}

__declspec(dllexport) int __stdcall pxdShutdown(const char* deviceName) {
    Record(deviceName, "shutdown");
    return 0;
}

__declspec(dllexport) int __stdcall pxdSetup(const char* deviceName, void* ownerWindow,
                                             int* restartNeeded) {
    return Function("setup", deviceName, ownerWindow, restartNeeded);
}

__declspec(dllexport) int __stdcall pxdCardOperations(const char* deviceName, void* ownerWindow,
                                                      int* restartNeeded) {
    return Function("cards", deviceName, ownerWindow, restartNeeded);
}

}  // extern "C"
