#include "rollback/RegistryStream.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/Handles.h"
#include "platform/Win32Calls.h"
#include "engine/TextCase.h"

namespace tolv {

namespace {

struct RootName {
    const char* name;
    HKEY root;
};
const RootName kRoots[] = {
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKU", HKEY_USERS},
};

// Writes all of data; 0 or the error. A short write without an error code is a full disk.
DWORD WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    if (!Win32().WriteFile(file, data, size, &written, nullptr)) return GetLastError();
    return written == size ? 0 : ERROR_DISK_FULL;
}

DWORD WriteNumber(HANDLE file, std::uint32_t number) {
    unsigned char bytes[4] = {
        static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
        static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
    return WriteAll(file, bytes, 4);
}

// Reads exactly size bytes; 0 or the error. A stream that ends early is ERROR_HANDLE_EOF.
DWORD ReadAll(HANDLE file, void* data, DWORD size) {
    if (size == 0) return 0;
    DWORD read = 0;
    if (!Win32().ReadFile(file, data, size, &read, nullptr)) return GetLastError();
    return read == size ? 0 : ERROR_HANDLE_EOF;
}

DWORD ReadNumber(HANDLE file, std::uint32_t* number) {
    unsigned char bytes[4];
    if (DWORD error = ReadAll(file, bytes, 4)) return error;
    *number = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t(bytes[3]) << 24);
    return 0;
}

// Reads a name of size bytes (its zero byte included) into a buffer of kMaxStreamNameSize.
DWORD ReadName(HANDLE file, std::uint32_t size, std::uint32_t minSize,
               std::array<char, kMaxStreamNameSize>& name) {
    if (size < minSize || size > kMaxStreamNameSize) return ERROR_INVALID_DATA;
    if (DWORD error = ReadAll(file, name.data(), size)) return error;
    return name[size - 1] == '\0' ? 0 : ERROR_INVALID_DATA;
}

DWORD SaveTree(HKEY root, const char* subkey, HANDLE file, bool subtree) {
    RegKey key;
    LONG opened = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put());
    if (opened != ERROR_SUCCESS) {
        key.Release();  // nothing was opened
        WriteNumber(file, 0);
        return static_cast<DWORD>(opened);
    }
    DWORD result = SaveRegValues(key.Get(), file);
    if (result == 0 && subtree) {
        std::array<char, kMaxStreamNameSize> name;
        for (DWORD index = 0;; ++index) {
            DWORD length = kMaxStreamNameSize;
            result = static_cast<DWORD>(Win32().RegEnumKeyExA(
                key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr));
            if (result != ERROR_SUCCESS) break;
            if ((result = WriteNumber(file, length + 1)) != 0) break;
            if ((result = WriteAll(file, name.data(), length + 1)) != 0) break;
            if ((result = SaveTree(key.Get(), name.data(), file, true)) != 0) break;
        }
    }
    if (DWORD error = WriteNumber(file, 0)) {
        if (result == 0 || result == ERROR_NO_MORE_ITEMS) result = error;
    }
    return result == ERROR_NO_MORE_ITEMS ? 0 : result;
}

DWORD RestoreTree(HKEY root, const char* subkey, HANDLE file, int depth) {
    if (depth > kMaxStreamDepth) return ERROR_INVALID_DATA;
    RegKey key;
    LONG created = Win32().RegCreateKeyExA(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    if (created != ERROR_SUCCESS) {
        key.Release();
        return static_cast<DWORD>(created);
    }
    if (DWORD error = RestoreRegValues(key.Get(), file)) return error;
    std::array<char, kMaxStreamNameSize> name;
    for (;;) {
        std::uint32_t size = 0;
        if (DWORD error = ReadNumber(file, &size)) return error;
        if (size == 0) return 0;
        if (DWORD error = ReadName(file, size, 2, name)) return error;
        if (DWORD error = RestoreTree(key.Get(), name.data(), file, depth + 1)) return error;
    }
}

}  // namespace

HKEY RootKeyFromName(std::string_view name) {
    for (const RootName& entry : kRoots) {
        if (EqualsNoCase(name, entry.name)) return entry.root;
    }
    return nullptr;
}

const char* RootKeyName(HKEY root) {
    for (const RootName& entry : kRoots) {
        if (entry.root == root) return entry.name;
    }
    return nullptr;
}

bool RegKeyExists(HKEY root, const char* subkey) {
    RegKey key;
    if (Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
        return true;
    }
    key.Release();
    return false;
}

DWORD SaveRegValues(HKEY key, HANDLE file) {
    std::array<char, kMaxStreamNameSize> name;
    std::vector<BYTE> data(kMaxStreamDataSize);
    LONG enumerated = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kMaxStreamNameSize;
        DWORD dataSize = kMaxStreamDataSize;
        DWORD type = 0;
        enumerated = Win32().RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                           data.data(), &dataSize);
        if (enumerated != ERROR_SUCCESS) break;
        const DWORD nameSize = nameLength + 1;
        DWORD error = WriteNumber(file, nameSize);
        if (!error) error = WriteNumber(file, dataSize);
        if (!error) error = WriteNumber(file, type);
        if (!error) error = WriteAll(file, name.data(), nameSize);
        if (!error) error = WriteAll(file, data.data(), dataSize);
        if (error) return error;  // no end record: the block is known to be incomplete
    }
    WriteNumber(file, 0);
    WriteNumber(file, 0);
    WriteNumber(file, kEndOfValuesType);
    return enumerated == ERROR_NO_MORE_ITEMS ? 0 : static_cast<DWORD>(enumerated);
}

DWORD SaveRegTree(HKEY root, const char* subkey, HANDLE file, bool subtree) {
    return SaveTree(root, subkey, file, subtree);
}

DWORD RestoreRegValues(HKEY key, HANDLE file) {
    std::array<char, kMaxStreamNameSize> name;
    std::vector<BYTE> data(kMaxStreamDataSize);
    for (;;) {
        std::uint32_t nameSize = 0, dataSize = 0, type = 0;
        DWORD error = ReadNumber(file, &nameSize);
        if (!error) error = ReadNumber(file, &dataSize);
        if (!error) error = ReadNumber(file, &type);
        if (error) return error;
        if (nameSize > kMaxStreamNameSize || dataSize > kMaxStreamDataSize) {
            return ERROR_INVALID_DATA;
        }
        if ((error = ReadAll(file, name.data(), nameSize)) != 0) return error;
        if ((error = ReadAll(file, data.data(), dataSize)) != 0) return error;
        // The end record is known by its type alone.
        if (type == kEndOfValuesType) return 0;
        if (nameSize == 0 || name[nameSize - 1] != '\0') return ERROR_INVALID_DATA;
        LONG set = Win32().RegSetValueExA(key, name.data(), 0, type, data.data(), dataSize);
        if (set != ERROR_SUCCESS) return static_cast<DWORD>(set);
    }
}

DWORD RestoreRegTree(HKEY root, const char* subkey, HANDLE file) {
    return RestoreTree(root, subkey, file, 0);
}

}  // namespace tolv
