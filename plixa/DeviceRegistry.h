// The devices' registry records: HKEY_LOCAL_MACHINE\Software\Obrix\Plixa\Devices\<name>.
#pragma once

#include <string>
#include <vector>

namespace plixa {

extern const char kDevicesKeyPath[];

// One device key's values as the library uses them. Absent texts are empty; an absent or
// wrongly typed number keeps its default; any DWORD is taken as it is.
struct DeviceRecord {
    std::string name;
    std::string logicalName;
    std::string vendor;
    std::string comment;
    std::string driverDll;  // environment references expanded
    int startupType = 1;    // On demand
    int driverVersion = 0;
};

// Reads every device key, in the registry's own order. A missing Devices key is an empty
// list. Returns 0 or PX_ERR_REGISTRY (records then untouched).
int ReadDeviceRecords(std::vector<DeviceRecord>& records);

// Writes Startup and LogicalName into the device's key. Returns 0, PX_ERR_NO_SUCH_DEVICE when
// the key has gone, or PX_ERR_REGISTRY.
int WriteDeviceSettings(const std::string& name, int startupType, const std::string& logicalName);

}  // namespace plixa
