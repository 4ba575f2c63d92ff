#include "plixa/Library.h"

#include "plixa/PlixaDriver.h"

#include <algorithm>

namespace plixa {

namespace {

// Held by the process that opened the library in exclusive mode. A mutex rather than a file
// lock: the system releases it when the process ends, however it ends.
// In the global namespace: a run in another logon session (another user, a service) is
// excluded as well.
constexpr char kExclusiveMutexName[] = "Global\\Obrix.Plixa.DeviceLibrary.Exclusive";

// Argument sizes that make up the i686 __stdcall names of the driver exports.
constexpr int kInitArgumentBytes = 4;
constexpr int kFunctionArgumentBytes = 12;

bool SameName(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

bool IsAbsolutePath(const char* path) {
    bool drive = path[0] && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

// Loads a driver module without the system's error boxes, which would block an unattended
// run. Only a full path is loaded: a bare or drive-relative name would be searched for in
// folders (the current one among them) where anyone may put a module of that name, and the
// program loads drivers elevated. The driver finds the modules it needs beside itself.
Module LoadDriver(const char* path) {
    if (!*path || !IsAbsolutePath(path)) return Module();
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    Module module(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    SetThreadErrorMode(oldMode, nullptr);
    return module;
}

// Why a driver module did not load.
int DriverError(const char* path) {
    return *path && !IsAbsolutePath(path) ? PX_ERR_DRIVER_PATH : PX_ERR_DRIVER_NOT_FOUND;
}

// A driver export by its plain name, or by its i686 __stdcall name for a driver built
// without a .def file.
template <typename Fn>
Fn FindExport(HMODULE module, const char* name, int argumentBytes) {
    FARPROC proc = GetProcAddress(module, name);
    if (!proc) {
        std::string decorated = std::string(name) + "@" + std::to_string(argumentBytes);
        proc = GetProcAddress(module, decorated.c_str());
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

const char* Keep(std::deque<std::string>& store, std::string text) {
    return store.emplace_back(std::move(text)).c_str();
}

// Takes the exclusive-mode mutex, or, for a shared opening, checks that nobody holds it.
int ClaimLibrary(bool exclusive, KernelHandle& held) {
    KernelHandle mutex(
        exclusive ? CreateMutexA(nullptr, FALSE, kExclusiveMutexName)
                  : OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kExclusiveMutexName));
    if (!mutex) {
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) return PX_ERR_IN_USE;  // held by another user
        return exclusive || error != ERROR_FILE_NOT_FOUND ? PX_ERR_SYSTEM : PX_OK;
    }
    // An abandoned mutex belonged to a process that ended without closing the library.
    DWORD wait = WaitForSingleObject(mutex.Get(), 0);
    if (wait == WAIT_TIMEOUT) return PX_ERR_IN_USE;
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return PX_ERR_SYSTEM;
    if (exclusive) {
        held = std::move(mutex);
    } else {
        ReleaseMutex(mutex.Get());
    }
    return PX_OK;
}

}  // namespace

Library::~Library() {
    for (Device& device : devices_) device.driver.Release();
}

template <typename Fn, typename... Args>
int Library::CallDriver(Fn fn, Args... args) {
    struct Scope {
        bool& flag;
        bool saved;
        ~Scope() { flag = saved; }
    } scope{inDriverCall_, inDriverCall_};
    inDriverCall_ = true;
    return fn(args...);
}

int Library::Init(unsigned flags) {
    if (initialized_) return PX_ERR_ALREADY_INITIALIZED;
    if (int rc = ClaimLibrary((flags & PX_INIT_EXCLUSIVE) != 0, exclusiveMutex_)) return rc;
    if (int rc = Rebuild()) {
        Done();
        return rc;
    }
    initialized_ = true;
    // A device that fails to start keeps the error in its status; the library still opens.
    for (Device& device : devices_) {
        if (device.startupType == PX_STARTUP_AUTOMATIC) StartDevice(device);
    }
    return PX_OK;
}

void Library::Done() {
    for (auto device = devices_.rbegin(); device != devices_.rend(); ++device) StopDevice(*device);
    devices_.clear();
    texts_.clear();
    if (exclusiveMutex_) {
        ReleaseMutex(exclusiveMutex_.Get());
        exclusiveMutex_.Reset();
    }
    initialized_ = false;
}

int Library::Rebuild() {
    std::vector<DeviceRecord> records;
    if (int rc = ReadDeviceRecords(records)) return rc;
    std::sort(records.begin(), records.end(), [](const DeviceRecord& a, const DeviceRecord& b) {
        return lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0;
    });

    std::deque<std::string> texts;
    std::vector<Device> devices;
    devices.reserve(records.size());
    for (DeviceRecord& record : records) {
        devices.push_back(
            Device{Keep(texts, std::move(record.name)), Keep(texts, std::move(record.logicalName)),
                   Keep(texts, std::move(record.vendor)), Keep(texts, std::move(record.comment)),
                   Keep(texts, std::move(record.driverDll)), record.startupType,
                   record.driverVersion, PX_STATUS_NOT_STARTED, Module()});
    }
    // From here on nothing allocates: a device that remains keeps its state and driver.
    for (Device& device : devices) {
        for (Device& old : devices_) {
            if (old.name && SameName(old.name, device.name)) {
                device.status = old.status;
                device.driver = std::move(old.driver);
                old.name = nullptr;
                break;
            }
        }
    }
    // The old texts outlive the shutdown of the devices whose keys have gone.
    std::vector<Device> gone = std::move(devices_);
    std::deque<std::string> oldTexts = std::move(texts_);
    devices_ = std::move(devices);
    texts_ = std::move(texts);
    for (Device& device : gone) {
        if (device.name) StopDevice(device);
    }
    return PX_OK;
}

Library::Device* Library::Find(const char* name) {
    for (Device& device : devices_) {
        if (SameName(device.name, name)) return &device;
    }
    return nullptr;
}

const Library::Device* Library::Find(const char* name) const {
    return const_cast<Library*>(this)->Find(name);
}

namespace {

DeviceInfo InfoOf(const Library::Device& device) {
    return DeviceInfo{device.name,      device.logicalName, device.vendor,        device.comment,
                      device.driverDll, device.startupType, device.driverVersion, device.status};
}

}  // namespace

// By index directly: a program reading every device in turn makes one pass, not one search
// of the list per device.
int Library::GetInfo(int index, DeviceInfo* info) const {
    if (index < 0 || index >= Count()) return PX_ERR_NO_SUCH_DEVICE;
    *info = InfoOf(devices_[size_t(index)]);
    return PX_OK;
}

int Library::GetInfo(const char* name, DeviceInfo* info) const {
    const Device* device = Find(name);
    if (!device) return PX_ERR_NO_SUCH_DEVICE;
    *info = InfoOf(*device);
    return PX_OK;
}

int Library::StartDevice(Device& device) {
    if (device.driver) return PX_OK;
    if (device.startupType == PX_STARTUP_DISABLED) return PX_ERR_DEVICE_DISABLED;
    Module driver = LoadDriver(device.driverDll);
    if (!driver) return device.status = DriverError(device.driverDll);
    if (auto init = FindExport<PxdInitFn>(driver.Get(), "pxdInit", kInitArgumentBytes)) {
        if (CallDriver(init, device.name) != 0) return device.status = PX_ERR_DRIVER_INIT_FAILED;
    }
    device.driver = std::move(driver);
    return device.status = PX_OK;
}

void Library::StopDevice(Device& device) {
    if (device.driver) {
        if (auto shutdown =
                FindExport<PxdShutdownFn>(device.driver.Get(), "pxdShutdown", kInitArgumentBytes)) {
            CallDriver(shutdown, device.name);
        }
        device.driver.Reset();
    }
    device.status = PX_STATUS_NOT_STARTED;
}

int Library::Start(const char* name) {
    Device* device = Find(name);
    return device ? StartDevice(*device) : PX_ERR_NO_SUCH_DEVICE;
}

int Library::Restart(const char* name) {
    Device* device = Find(name);
    if (!device) return PX_ERR_NO_SUCH_DEVICE;
    StopDevice(*device);
    return StartDevice(*device);
}

int Library::Shutdown(const char* name) {
    Device* device = Find(name);
    if (!device) return PX_ERR_NO_SUCH_DEVICE;
    StopDevice(*device);
    return PX_OK;
}

int Library::Extended(const char* name, unsigned code, void* ownerWindow, int* out) {
    const Device* device = Find(name);
    if (!device) return PX_ERR_NO_SUCH_DEVICE;
    bool query = (code & PX_FN_QUERY) != 0;
    unsigned function = code & ~PX_FN_QUERY;
    const char* exportName = function == PX_FN_SETUP             ? "pxdSetup"
                             : function == PX_FN_CARD_OPERATIONS ? "pxdCardOperations"
                                                                 : nullptr;
    if (!exportName) return PX_ERR_NOT_SUPPORTED;
    if (query && !out) return PX_ERR_INVALID_PARAMETER;

    // A reference of our own to the module: the device need not be started, and whatever
    // the function does, its code stays loaded until it returns.
    Module driver = LoadDriver(device->driverDll);
    auto fn = driver ? FindExport<PxdFunctionFn>(driver.Get(), exportName, kFunctionArgumentBytes)
                     : nullptr;
    if (query) {
        *out = fn != nullptr;
        return PX_OK;
    }
    if (!driver) return DriverError(device->driverDll);
    if (!fn) return PX_ERR_NOT_SUPPORTED;
    int restartNeeded = 0;
    int rc = CallDriver(fn, device->name, ownerWindow, &restartNeeded);
    if (out) *out = restartNeeded != 0;
    return rc == PX_OK || rc == PX_ERR_CANCELLED ? rc : PX_ERR_DRIVER_FAILED;
}

int Library::ChangeSettings(const char* name, int startupType, const char* logicalName) {
    if (startupType < PX_STARTUP_AUTOMATIC || startupType > PX_STARTUP_DISABLED) {
        return PX_ERR_INVALID_PARAMETER;
    }
    Device* device = Find(name);
    if (!device) return PX_ERR_NO_SUCH_DEVICE;
    std::string logical = logicalName ? logicalName : "";
    if (!logical.empty()) {
        for (const Device& other : devices_) {
            if (&other != device && SameName(other.logicalName, logical.c_str())) {
                return PX_ERR_NAME_TAKEN;
            }
        }
    }
    if (int rc = WriteDeviceSettings(device->name, startupType, logical)) return rc;
    device->startupType = startupType;
    device->logicalName = Keep(texts_, std::move(logical));
    return PX_OK;
}

}  // namespace plixa
