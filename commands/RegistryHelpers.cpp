#include "commands/RegistryHelpers.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Text.h"
#include "platform/Handles.h"

namespace tolv {
namespace {

// Registry texts need not end with a zero, so every text buffer has one byte more than the
// size handed to the query, and the text is cut at the size the query reports.
struct TextValue {
    char data[kRegTextBufferSize + 1];
    DWORD size = kRegTextBufferSize;
    DWORD type = REG_NONE;

    const char* Text() {
        data[size < kRegTextBufferSize ? size : kRegTextBufferSize] = '\0';
        return data;
    }
};

// The query, with a text that holds more characters than the script's buffer refused as
// one that does not fit it.
LONG QueryText(HKEY key, const char* name, TextValue& value) {
    const LONG rc = Win32().RegQueryValueExA(key, name, nullptr, &value.type,
                                             reinterpret_cast<BYTE*>(value.data), &value.size);
    if (rc != ERROR_SUCCESS) return rc;
    if (LongerThan(std::string_view(value.data, value.size), kRegTextMaxChars)) {
        return ERROR_MORE_DATA;
    }
    return ERROR_SUCCESS;
}

// A count stored as text is read like atoi, but clamped: a count is never negative and never
// beyond what an int holds.
int CountFromText(const char* text) {
    const long long n = std::strtoll(text, nullptr, 10);
    if (n < 0) return 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int CountFromDword(DWORD n) {
    return n > DWORD(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// ChangeSharedDllCount's -1, with the registry's error as the last error for the caller.
int Unusable(LONG error) {
    SetLastError(static_cast<DWORD>(error));
    return -1;
}

int ClampCount(long long n) {
    if (n < 0) return 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

// Names are taken 512 at a time; the names of one batch live on the heap, not in the frame.
constexpr DWORD kMaxSubkeysPerLevel = 512;
// Windows refuses keys nested deeper than 512 levels; the recursion stops there too.
constexpr int kMaxRegistryDepth = 512;

}  // namespace

LONG ReadRegString(std::string& out, HKEY root, const char* subkey, const char* name) {
    RegKey key;
    LONG rc = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put());
    if (rc != ERROR_SUCCESS) return rc;
    TextValue value;
    rc = QueryText(key.Get(), name, value);
    key.Reset();
    if (rc != ERROR_SUCCESS) return rc;

    if (value.type == REG_SZ) {
        out = value.Text();
        return ERROR_SUCCESS;
    }
    if (value.type != REG_EXPAND_SZ) return ERROR_BADKEY;

    char expanded[kRegTextBufferSize];
    const DWORD needed = ExpandEnvironmentStringsA(value.Text(), expanded, kRegTextBufferSize);
    if (needed == 0) return static_cast<LONG>(GetLastError());
    // A result that does not fit leaves the buffer undefined; it is no answer.
    if (needed > kRegTextBufferSize) return ERROR_MORE_DATA;
    if (LongerThan(expanded, kRegTextMaxChars - 1)) return ERROR_MORE_DATA;
    out = expanded;
    return ERROR_SUCCESS;
}

LONG ReadRegDword(DWORD& out, HKEY root, const char* subkey, const char* name) {
    RegKey key;
    LONG rc = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put());
    if (rc != ERROR_SUCCESS) return rc;
    DWORD number = 0;
    DWORD size = sizeof(number);
    DWORD type = REG_NONE;
    rc = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_DWORD) return ERROR_BADKEY;
    out = number;
    return ERROR_SUCCESS;
}

namespace {

// Deletes every subkey of the open key, level by level through open handles, so that no
// path grows with the depth and no level stops at a fixed number of names: the names of
// one batch are taken first (deleting while enumerating by index would skip every other
// one), then deleted, until a batch deletes nothing more.
void DeleteSubkeys(HKEY key, int depth) {
    if (depth > kMaxRegistryDepth) return;
    for (;;) {
        std::vector<std::string> children;
        char name[kRegTextBufferSize];
        for (DWORD index = 0; index < kMaxSubkeysPerLevel; ++index) {
            DWORD length = sizeof(name);
            if (Win32().RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr,
                                      nullptr) != ERROR_SUCCESS) {
                break;
            }
            children.emplace_back(name, length);
        }
        bool deleted = false;
        for (const std::string& child : children) {
            RegKey opened;
            if (Win32().RegOpenKeyExA(key, child.c_str(), 0, KEY_ALL_ACCESS, opened.Put()) ==
                ERROR_SUCCESS) {
                DeleteSubkeys(opened.Get(), depth + 1);
            }
            opened.Reset();
            if (Win32().RegDeleteKeyA(key, child.c_str()) == ERROR_SUCCESS) deleted = true;
        }
        if (!deleted) return;
    }
}

}  // namespace

int DeleteRegTree(HKEY root, const char* subkey) {
    RegKey key;
    if (Win32().RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) {
        return 0;
    }
    DeleteSubkeys(key.Get(), 0);
    key.Reset();
    // The key itself is deleted from its parent, so that a long path is opened only once.
    const std::string path(subkey);
    const size_t last = path.rfind('\\');
    if (last == std::string::npos) return Win32().RegDeleteKeyA(root, subkey) == ERROR_SUCCESS;
    RegKey parent;
    if (Win32().RegOpenKeyExA(root, path.substr(0, last).c_str(), 0, KEY_ALL_ACCESS,
                              parent.Put()) != ERROR_SUCCESS) {
        return Win32().RegDeleteKeyA(root, subkey) == ERROR_SUCCESS;
    }
    return Win32().RegDeleteKeyA(parent.Get(), path.c_str() + last + 1) == ERROR_SUCCESS ? 1 : 0;
}

int ChangeSharedDllCount(const char* path, int change, bool fileExisted, bool keepZero) {
    // Every Windows installation has the key, but a fresh machine or test prefix may not;
    // creating it there lets counting start instead of failing every time.
    RegKey key;
    const LONG opened = Win32().RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0,
                                                KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    if (opened != ERROR_SUCCESS) return Unusable(opened);
    TextValue value;
    const LONG rc = QueryText(key.Get(), path, value);
    int count = 0;
    const bool found = rc == ERROR_SUCCESS;
    if (found) {
        if (value.type == REG_SZ) {
            count = CountFromText(value.Text());
        } else if (value.type == REG_DWORD && value.size == sizeof(DWORD)) {
            DWORD number = 0;
            memcpy(&number, value.data, sizeof(number));
            count = CountFromDword(number);
        } else {
            return Unusable(ERROR_BADKEY);
        }
    } else if (rc != ERROR_FILE_NOT_FOUND) {
        return Unusable(rc);
    }
    if (change == 0) return count;

    if (!found && change >= 1 && fileExisted) count = 1;
    const int newCount = ClampCount(static_cast<long long>(count) + change);
    const DWORD stored = static_cast<DWORD>(newCount);
    // A count that could not be written did not change, and the caller must not record an
    // undo line for it.
    const LONG written = Win32().RegSetValueExA(
        key.Get(), path, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), sizeof(stored));
    if (written != ERROR_SUCCESS) return Unusable(written);
    if (newCount == 0 && !keepZero) Win32().RegDeleteValueA(key.Get(), path);
    return newCount;
}

}  // namespace tolv
