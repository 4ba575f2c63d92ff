// The Device library's state: the device list built from the registry, the started driver
// modules, and the exclusive-mode mutex. The exported functions in Plixa.cpp forward here
// under one lock; each method returns a PX_ERR_ code (0 for success).
#pragma once

#include "plixa/DeviceRegistry.h"
#include "plixa/Handles.h"
#include "plixa/Plixa.h"

#include <deque>
#include <string>
#include <vector>

namespace plixa {

class Library {
public:
    Library() = default;
    // Without pxDoneLibrary, the driver modules are left to the process's teardown: this runs
    // under the loader lock, where calling or unloading other modules may deadlock.
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int Init(unsigned flags);
    void Done();
    bool IsInitialized() const { return initialized_; }
    // True while a driver's export runs; the library refuses calls that would change the
    // device list under it.
    bool InDriverCall() const { return inDriverCall_; }

    int Count() const { return static_cast<int>(devices_.size()); }
    int GetInfo(int index, DeviceInfo* info) const;
    int GetInfo(const char* name, DeviceInfo* info) const;

    int Start(const char* name);
    int Restart(const char* name);
    int Shutdown(const char* name);
    int Rebuild();
    int Extended(const char* name, unsigned code, void* ownerWindow, int* out);
    int ChangeSettings(const char* name, int startupType, const char* logicalName);

    // Text fields point into texts_, so that records handed out stay valid when a setting
    // changes; the store is renewed at every rebuild.
    struct Device {
        const char* name;
        const char* logicalName;
        const char* vendor;
        const char* comment;
        const char* driverDll;
        int startupType;
        int driverVersion;
        int status = PX_STATUS_NOT_STARTED;
        Module driver;  // held while the device is started
    };

private:
    Device* Find(const char* name);
    const Device* Find(const char* name) const;
    int StartDevice(Device& device);
    void StopDevice(Device& device);
    template <typename Fn, typename... Args>
    int CallDriver(Fn fn, Args... args);

    bool initialized_ = false;
    bool inDriverCall_ = false;
    std::vector<Device> devices_;
    std::deque<std::string> texts_;  // a deque never moves the elements it holds
    KernelHandle exclusiveMutex_;
};

}  // namespace plixa
