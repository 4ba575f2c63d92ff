// The Device library's functions as the device console calls them, gathered in one table
// so that tests can stand between the windows and the library: fail one record, count the
// calls, or fill the list with many devices.
#pragma once

#include "plixa/DeviceLibrary.h"

#include <string>

struct DeviceApi {
    int(__stdcall* getDeviceCount)();
    int(__stdcall* getDeviceInfo)(int index, DeviceInfo* info);
    int(__stdcall* getDeviceInfo1)(const char* deviceName, DeviceInfo* info);
    int(__stdcall* initDevice)(const char* deviceName);
    int(__stdcall* reInitDevice)(const char* deviceName);
    int(__stdcall* rebuildDeviceList)(int reserved);
    int(__stdcall* extendedFunction)(const char* deviceName, unsigned code, void* owner, int* out);
    int(__stdcall* changeDeviceSettings)(const char* deviceName, int startupType,
                                         const char* logicalName);
    int(__stdcall* getErrorString)(int code, char* buffer);
};

// The table of the real Device library.
const DeviceApi& LibraryDeviceApi();

// Function codes of pxExtendedFunction, and the bit that asks whether one exists.
constexpr unsigned kSetupFunction = 1;
constexpr unsigned kCardOperationsFunction = 2;
constexpr unsigned kQueryFunction = 0x80000000u;

// The texts the console shows for a record's values, from the language's string table.
std::wstring StartupTypeText(int startupType);
std::wstring StatusText(int status);
// A record's text as the user interface shows it; a missing text shows as empty.
std::wstring DeviceText(const char* text);
