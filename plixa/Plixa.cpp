// The exported functions of Plixa.dll. Each takes the library's one lock, checks what every
// call needs, and forwards to the Library; no exception crosses into the caller.
#include "plixa/Plixa.h"

#include "plixa/Library.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

using plixa::Library;

namespace {

// Recursive, because a driver's export may read device records while the library, on the
// same thread, is calling it.
std::recursive_mutex gLock;
Library gLibrary;

template <typename Body>
int Guarded(Body body) {
    try {
        std::lock_guard<std::recursive_mutex> lock(gLock);
        return body();
    } catch (const std::bad_alloc&) {
        return PX_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return PX_ERR_SYSTEM;
    }
}

// Calls that read device records: allowed from inside a driver's export.
template <typename Body>
int Reading(Body body) {
    return Guarded(
        [&]() -> int { return gLibrary.IsInitialized() ? body() : PX_ERR_NOT_INITIALIZED; });
}

// Calls that start or stop drivers or change the list: refused from inside a driver's export,
// which would otherwise see its own device record change under it.
template <typename Body>
int Changing(Body body) {
    return Guarded([&]() -> int {
        if (!gLibrary.IsInitialized()) return PX_ERR_NOT_INITIALIZED;
        if (gLibrary.InDriverCall()) return PX_ERR_BUSY;
        return body();
    });
}

struct ErrorText {
    int code;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {PX_ERR_IN_USE, "The Device library is in use by another program."},
    {PX_ERR_NOT_INITIALIZED, "The Device library has not been opened."},
    {PX_ERR_NO_SUCH_DEVICE, "The device does not exist."},
    {PX_ERR_INVALID_PARAMETER, "A parameter passed to the Device library is not valid."},
    {PX_ERR_REGISTRY, "The device's registry record cannot be read or written."},
    {PX_ERR_CANCELLED, "The operation was cancelled."},
    {PX_ERR_DEVICE_DISABLED, "The device is disabled."},
    {PX_ERR_NAME_TAKEN, "The logical name is already assigned to another device."},
    {PX_ERR_DRIVER_NOT_FOUND, "The device's driver module cannot be loaded."},
    {PX_ERR_DRIVER_INIT_FAILED, "The device's driver failed to start the device."},
    {PX_ERR_NOT_SUPPORTED, "The device's driver does not provide this function."},
    {PX_ERR_DRIVER_FAILED, "The device's driver reported an error."},
    {PX_ERR_ALREADY_INITIALIZED, "The Device library is already open."},
    {PX_ERR_BUSY, "The Device library is busy with a driver call."},
    {PX_ERR_OUT_OF_MEMORY, "Not enough memory."},
    {PX_ERR_SYSTEM, "A Windows function failed in the Device library."},
    {PX_ERR_DRIVER_PATH, "The device's driver module is not named by its full path."},
};

// Callers pass buffers of 256 bytes.
constexpr size_t kErrorBufferSize = 256;

}  // namespace

extern "C" {

int __stdcall pxInitLibrary(unsigned flags) {
    return Guarded(
        [&]() -> int { return gLibrary.InDriverCall() ? PX_ERR_BUSY : gLibrary.Init(flags); });
}

int __stdcall pxDoneLibrary(void) {
    return Guarded([&]() -> int {
        if (gLibrary.InDriverCall()) return PX_ERR_BUSY;
        gLibrary.Done();
        return PX_OK;
    });
}

int __stdcall pxGetDeviceCount(void) {
    return Guarded([&]() -> int { return gLibrary.IsInitialized() ? gLibrary.Count() : 0; });
}

int __stdcall pxGetDeviceInfo(int index, DeviceInfo* info) {
    if (!info) return PX_ERR_INVALID_PARAMETER;
    return Reading([&]() -> int { return gLibrary.GetInfo(index, info); });
}

int __stdcall pxGetDeviceInfo1(const char* deviceName, DeviceInfo* info) {
    if (!deviceName || !info) return PX_ERR_INVALID_PARAMETER;
    return Reading([&]() -> int { return gLibrary.GetInfo(deviceName, info); });
}

int __stdcall pxInitDevice(const char* deviceName) {
    if (!deviceName) return PX_ERR_INVALID_PARAMETER;
    return Changing([&]() -> int { return gLibrary.Start(deviceName); });
}

int __stdcall pxReInitDevice(const char* deviceName) {
    if (!deviceName) return PX_ERR_INVALID_PARAMETER;
    return Changing([&]() -> int { return gLibrary.Restart(deviceName); });
}

int __stdcall pxShutdownDevice(const char* deviceName) {
    if (!deviceName) return PX_ERR_INVALID_PARAMETER;
    return Changing([&]() -> int { return gLibrary.Shutdown(deviceName); });
}

int __stdcall pxRebuildDeviceList(int /*reserved*/) {
    return Changing([&]() -> int { return gLibrary.Rebuild(); });
}

int __stdcall pxExtendedFunction(const char* deviceName, unsigned code, void* ownerWindow,
                                 int* out) {
    if (!deviceName) return PX_ERR_INVALID_PARAMETER;
    return Changing([&]() -> int { return gLibrary.Extended(deviceName, code, ownerWindow, out); });
}

int __stdcall pxChangeDeviceSettings(const char* deviceName, int startupType,
                                     const char* logicalName) {
    if (!deviceName) return PX_ERR_INVALID_PARAMETER;
    return Changing(
        [&]() -> int { return gLibrary.ChangeSettings(deviceName, startupType, logicalName); });
}

int __stdcall pxGetErrorString(int code, char* buffer) {
    if (!buffer) return 0;
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            size_t length = std::min(strlen(entry.text), kErrorBufferSize - 1);
            memcpy(buffer, entry.text, length);
            buffer[length] = '\0';
            return static_cast<int>(length);
        }
    }
    buffer[0] = '\0';
    return 0;
}

}  // extern "C"
