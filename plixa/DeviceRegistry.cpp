// Reads and writes the devices' registry records. Values of the wrong type are ignored as if
// absent, and texts of any length are read whole.
#include "plixa/DeviceRegistry.h"

#include "plixa/Handles.h"
#include "plixa/Plixa.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace plixa {

const char kDevicesKeyPath[] = "Software\\Obrix\\Plixa\\Devices";

namespace {

// The value's text when it is REG_SZ or REG_EXPAND_SZ. Stored texts need not end with a
// zero, and anything after the first zero is not part of the text.
std::optional<std::string> QueryString(HKEY key, const char* valueName, DWORD* typeOut) {
    std::vector<char> data(256);
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        LONG rc = RegQueryValueExA(key, valueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_MORE_DATA) {
            // The value may grow between two calls; growing at least twofold ends the loop.
            data.resize(std::max<size_t>(size_t(size) + 1, data.size() * 2));
            continue;
        }
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        size = std::min<DWORD>(size, static_cast<DWORD>(data.size()));
        if (typeOut) *typeOut = type;
        return std::string(data.data(), strnlen(data.data(), size));
    }
}

// Expanded through the wide call: the narrow one of some systems counts a UTF-8 result in
// UTF-16 units and cuts it.
std::string ExpandEnvironment(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return text;
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    std::vector<wchar_t> expanded(wide.size());
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(wide.data(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) break;
        expanded.resize(needed);
    }
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, expanded.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return text;
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, expanded.data(), -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminator
    return out;
}

std::string ReadText(HKEY key, const char* valueName) {
    return QueryString(key, valueName, nullptr).value_or(std::string());
}

std::optional<DWORD> ReadDword(HKEY key, const char* valueName) {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

DeviceRecord ReadRecord(HKEY devices, std::string name) {
    DeviceRecord record;
    record.name = std::move(name);
    RegKey key;
    // A key that cannot be opened still names a device; it keeps every default.
    if (RegOpenKeyExA(devices, record.name.c_str(), 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS) {
        return record;
    }
    record.logicalName = ReadText(key.Get(), "LogicalName");
    record.vendor = ReadText(key.Get(), "Vendor");
    record.comment = ReadText(key.Get(), "Comment");
    DWORD type = REG_NONE;
    if (auto driver = QueryString(key.Get(), "DriverDll", &type)) {
        record.driverDll = type == REG_EXPAND_SZ ? ExpandEnvironment(*driver) : *driver;
    }
    // Kept as the record holds it, even outside 0..2: the program, not the library, decides
    // what an unknown startup type means to the user.
    if (auto startup = ReadDword(key.Get(), "Startup")) record.startupType = int(*startup);
    if (auto version = ReadDword(key.Get(), "Version")) record.driverVersion = int(*version);
    return record;
}

}  // namespace

int ReadDeviceRecords(std::vector<DeviceRecord>& records) {
    RegKey devices;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDevicesKeyPath, 0, KEY_READ, devices.Put());
    if (rc == ERROR_FILE_NOT_FOUND) {
        records.clear();
        return PX_OK;
    }
    if (rc != ERROR_SUCCESS) return PX_ERR_REGISTRY;

    std::vector<DeviceRecord> found;
    // Key names are at most 255 characters, but more bytes in a multi-byte code page.
    std::vector<char> name(256);
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(name.size());
        rc = RegEnumKeyExA(devices.Get(), index, name.data(), &length, nullptr, nullptr, nullptr,
                           nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA && name.size() < 0x10000) {
            name.resize(name.size() * 2);
            continue;
        }
        if (rc != ERROR_SUCCESS) return PX_ERR_REGISTRY;
        found.push_back(ReadRecord(devices.Get(), std::string(name.data(), length)));
        ++index;
    }
    records = std::move(found);
    return PX_OK;
}

int WriteDeviceSettings(const std::string& name, int startupType, const std::string& logicalName) {
    RegKey key;
    std::string path = std::string(kDevicesKeyPath) + "\\" + name;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, key.Put());
    if (rc == ERROR_FILE_NOT_FOUND) return PX_ERR_NO_SUCH_DEVICE;
    if (rc != ERROR_SUCCESS) return PX_ERR_REGISTRY;
    DWORD startup = static_cast<DWORD>(startupType);
    if (RegSetValueExA(key.Get(), "Startup", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&startup),
                       sizeof startup) != ERROR_SUCCESS ||
        RegSetValueExA(key.Get(), "LogicalName", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(logicalName.c_str()),
                       static_cast<DWORD>(logicalName.size() + 1)) != ERROR_SUCCESS) {
        return PX_ERR_REGISTRY;
    }
    return PX_OK;
}

}  // namespace plixa
