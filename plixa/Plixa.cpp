// The exported functions of Plixa.dll. Each takes the library's one lock, checks what every
// call needs, and forwards to the Library; no exception crosses into the caller.
#include "plixa/Plixa.h"

#include "plixa/Library.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include <windows.h>

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

// The texts of the library's codes and of the statuses it reports, in UTF-8.
struct ErrorText {
    int code;
    const char* english;
    const char* russian;
};

const ErrorText kErrorTexts[] = {
    {PX_OK, "Working", "Работает"},
    {PX_STATUS_NOT_STARTED, "Not started", "Не запущено"},
    {PX_ERR_IN_USE, "The Device library is in use by another program.",
     "Библиотека устройств используется другой программой."},
    {PX_ERR_NOT_INITIALIZED, "The Device library has not been opened.",
     "Библиотека устройств не открыта."},
    {PX_ERR_NO_SUCH_DEVICE, "The device does not exist.", "Устройство не существует."},
    {PX_ERR_INVALID_PARAMETER, "A parameter passed to the Device library is not valid.",
     "Библиотеке устройств передан неверный параметр."},
    {PX_ERR_REGISTRY, "The device's registry record cannot be read or written.",
     "Запись устройства в реестре не удаётся прочитать или записать."},
    {PX_ERR_CANCELLED, "The operation was cancelled.", "Операция отменена."},
    {PX_ERR_DEVICE_DISABLED, "The device is disabled.", "Устройство отключено."},
    {PX_ERR_NAME_TAKEN, "The logical name is already assigned to another device.",
     "Логическое имя уже назначено другому устройству."},
    {PX_ERR_DRIVER_NOT_FOUND, "The device's driver module cannot be loaded.",
     "Не удаётся загрузить модуль драйвера устройства."},
    {PX_ERR_DRIVER_INIT_FAILED, "The device's driver failed to start the device.",
     "Драйверу не удалось запустить устройство."},
    {PX_ERR_NOT_SUPPORTED, "The device's driver does not provide this function.",
     "Драйвер устройства не поддерживает эту функцию."},
    {PX_ERR_DRIVER_FAILED, "The device's driver reported an error.",
     "Драйвер устройства сообщил об ошибке."},
    {PX_ERR_ALREADY_INITIALIZED, "The Device library is already open.",
     "Библиотека устройств уже открыта."},
    {PX_ERR_BUSY, "The Device library is busy with a driver call.",
     "Библиотека устройств занята вызовом драйвера."},
    {PX_ERR_OUT_OF_MEMORY, "Not enough memory.", "Недостаточно памяти."},
    {PX_ERR_SYSTEM, "A Windows function failed in the Device library.",
     "Ошибка функции Windows в библиотеке устройств."},
    {PX_ERR_DRIVER_PATH, "The device's driver module is not named by its full path.",
     "Модуль драйвера устройства указан не полным путём."},
};

// Callers pass buffers of 256 bytes.
constexpr size_t kErrorBufferSize = 256;

// The language of the Obrix programs: English only when they are set to it, as their own
// default is Russian.
bool EnglishTexts() {
    char code[8] = {};
    DWORD size = sizeof code;
    return RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix", "Language", RRF_RT_REG_SZ, nullptr,
                        code, &size) == ERROR_SUCCESS &&
           lstrcmpiA(code, "eng") == 0;
}

// A UTF-8 text in the process's code page, cut at a whole character to fit the buffer.
std::string InCodePage(const char* utf8) {
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), static_cast<int>(wide.size()));
    std::string text(kErrorBufferSize, '\0');
    int length = 0;
    while (!wide.empty()) {
        length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(),
                                     static_cast<int>(text.size()), nullptr, nullptr);
        if (length > 0) break;
        wide.pop_back();  // too long for the buffer: one character less
        wide.back() = L'\0';
    }
    text.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
    return text;
}

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
    buffer[0] = '\0';
    try {
        for (const ErrorText& entry : kErrorTexts) {
            if (entry.code != code) continue;
            const std::string text = InCodePage(EnglishTexts() ? entry.english : entry.russian);
            memcpy(buffer, text.c_str(), text.size() + 1);
            return static_cast<int>(text.size());
        }
    } catch (const std::bad_alloc&) {
    }
    return 0;
}

}  // extern "C"
