// The calls of fuzz/FakeWindows.h over the in-memory machine of FakeWin32.h.
#include "fuzz/FakeWin32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace fakewin {
namespace {

// What an open handle refers to.
struct OpenFile {
    std::string path;  // upper-cased
    DWORD access = 0;
    DWORD share = 0;
    size_t position = 0;
};
struct Search {
    std::vector<WIN32_FIND_DATAA> found;
    size_t next = 0;
};

Machine gMachine;
DWORD gLastError = 0;
DWORD gProcessId = 0;
std::map<std::uintptr_t, OpenFile> gFiles;
std::map<std::uintptr_t, Search> gSearches;
std::map<std::uintptr_t, std::string> gKeys;  // open keys by handle: upper-cased full path
std::uintptr_t gNextHandle = 0x1000;
unsigned long gCalls = 0;
unsigned long gKillAt = 0;
bool gDead = false;
bool gDying = false;  // the current call is the one that kills the process

constexpr std::uintptr_t kProcessHandle = 0x10;
constexpr DWORD kAttributeMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_TEMPORARY;
const char* const kRootNames[] = {"HKCR", "HKCU", "HKLM", "HKU"};

// Counts a call of the process; false when the process is dead by it. A killed process's
// calls change nothing and fail.
bool Step() {
    gDying = false;
    if (gDead) {
        gLastError = ERROR_INVALID_HANDLE;
        return false;
    }
    ++gCalls;
    if (gKillAt != 0 && gCalls >= gKillAt) {
        gDead = gDying = true;
        gLastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

BOOL Fail(DWORD error) {
    gLastError = error;
    return FALSE;
}

// The failure result of a call that returns something other than a BOOL.
template <typename T>
T Failed(DWORD error, T result) {
    gLastError = error;
    return result;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Forward slashes as backslashes, repeated backslashes as one, no trailing backslash.
std::string Normalize(const char* path) {
    std::string out;
    for (const char* p = path; *p; ++p) {
        const char c = *p == '/' ? '\\' : *p;
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    return out;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

// A drive ("C:") or the current folder (""): always there.
bool IsRoot(const std::string& key) {
    return key.empty() || (key.find('\\') == std::string::npos && key.back() == ':');
}

bool IsFolder(const std::string& key) {
    if (IsRoot(key)) return true;
    const auto it = gMachine.files.find(key);
    return it != gMachine.files.end() && (it->second.attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasChildren(const std::string& key) {
    const std::string prefix = key + '\\';
    const auto it = gMachine.files.lower_bound(prefix);
    return it != gMachine.files.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool IsOpen(const std::string& key) {
    for (const auto& [handle, file] : gFiles) {
        if (file.path == key) return true;
    }
    return false;
}

// A path the calls accept: its upper-cased key in *key; else the error, as Windows gives it.
DWORD Resolve(const char* path, std::string* key, std::string* written = nullptr) {
    if (!path || !*path) return ERROR_PATH_NOT_FOUND;
    const std::string normal = Normalize(path);
    if (normal.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    // A colon only after a drive letter: the journal names no alternate data streams.
    if (normal.find_first_of("*?<>|\"") != std::string::npos ||
        normal.find(':', 2) != std::string::npos) {
        return ERROR_INVALID_NAME;
    }
    *key = Upper(normal);
    if (written) *written = normal;
    return IsFolder(Parent(*key)) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

File* FindFile(const std::string& key) {
    const auto it = gMachine.files.find(key);
    return it == gMachine.files.end() ? nullptr : &it->second;
}

HANDLE NewHandle() {
    gNextHandle += 4;
    return reinterpret_cast<HANDLE>(gNextHandle);
}

OpenFile* FindOpenFile(HANDLE handle) {
    const auto it = gFiles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == gFiles.end() ? nullptr : &it->second;
}

// Whether a new handle with access and share may join those open on key.
bool SharingAllows(const std::string& key, DWORD access, DWORD share) {
    for (const auto& [handle, file] : gFiles) {
        if (file.path != key) continue;
        if (((access & GENERIC_READ) && !(file.share & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(file.share & FILE_SHARE_WRITE)) ||
            ((file.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
            ((file.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))) {
            return false;
        }
    }
    return true;
}

bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    if (*name == '\0') return false;
    const bool same =
        *pattern == '?' || Upper(std::string(1, *pattern)) == Upper(std::string(1, *name));
    return same && Matches(pattern + 1, name + 1);
}

WIN32_FIND_DATAA FindData(const File& file) {
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = file.attributes;
    data.nFileSizeLow = static_cast<DWORD>(file.data.size());
    const std::string name = LastPart(file.name);
    std::memcpy(data.cFileName, name.c_str(), std::min<size_t>(name.size() + 1, MAX_PATH));
    data.cFileName[MAX_PATH - 1] = '\0';
    return data;
}

// ---- registry

bool IsRootKey(HKEY key) {
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x80000003u;
}

// The upper-cased path of an open key; empty for no key.
std::string KeyPath(HKEY key) {
    if (IsRootKey(key)) return kRootNames[reinterpret_cast<std::uintptr_t>(key) - 0x80000000u];
    const auto it = gKeys.find(reinterpret_cast<std::uintptr_t>(key));
    return it == gKeys.end() ? std::string() : it->second;
}

// The key an open handle names, or the error (a handle whose key was deleted).
LONG KeyOf(HKEY handle, Key** key) {
    const std::string path = KeyPath(handle);
    if (path.empty()) return ERROR_INVALID_HANDLE;
    const auto it = gMachine.keys.find(path);
    if (it == gMachine.keys.end()) return ERROR_KEY_DELETED;
    *key = &it->second;
    return ERROR_SUCCESS;
}

// The parts of subkey below handle's key; ERROR_BAD_PATHNAME for an empty part, and
// ERROR_INVALID_PARAMETER for a part longer than a key name may be.
LONG SubkeyParts(const char* subkey, std::vector<std::string>* parts) {
    std::string text = subkey ? subkey : "";
    if (!text.empty() && text.back() == '\\') text.pop_back();
    if (text.empty()) return ERROR_SUCCESS;
    size_t from = 0;
    for (;;) {
        const size_t end = text.find('\\', from);
        const std::string part = text.substr(from, end - from);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > 255) return ERROR_INVALID_PARAMETER;
        parts->push_back(part);
        if (end == std::string::npos) return ERROR_SUCCESS;
        from = end + 1;
    }
}

HKEY OpenKeyHandle(const std::string& path) {
    const HANDLE handle = NewHandle();
    gKeys[reinterpret_cast<std::uintptr_t>(handle)] = path;
    return reinterpret_cast<HKEY>(handle);
}

// The subkeys of path, in the order of their upper-cased names.
std::vector<const Key*> Subkeys(const std::string& path) {
    std::vector<const Key*> children;
    const std::string prefix = path + '\\';
    for (auto it = gMachine.keys.lower_bound(prefix);
         it != gMachine.keys.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        if (it->first.find('\\', prefix.size()) == std::string::npos)
            children.push_back(&it->second);
    }
    return children;
}

// Copies text with its zero byte into a buffer of *size bytes; ERROR_MORE_DATA when it does
// not fit. *size gets the length without the zero.
LONG GiveName(const std::string& text, LPSTR buffer, LPDWORD size) {
    if (!buffer || !size || text.size() + 1 > *size) return ERROR_MORE_DATA;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

// Copies data into a buffer of *size bytes (none given: only the size is asked).
LONG GiveData(const std::string& data, LPBYTE buffer, LPDWORD size) {
    if (!size) return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD room = *size;
    *size = static_cast<DWORD>(data.size());
    if (!buffer) return ERROR_SUCCESS;
    if (data.size() > room) return ERROR_MORE_DATA;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return ERROR_SUCCESS;
}

}  // namespace

// ---- the machine

bool Machine::operator==(const Machine& other) const {
    auto sameFiles = [](const auto& a, const auto& b) {
        return a.first == b.first && a.second.name == b.second.name &&
               a.second.attributes == b.second.attributes && a.second.data == b.second.data;
    };
    auto sameKeys = [](const auto& a, const auto& b) {
        if (a.first != b.first || a.second.name != b.second.name) return false;
        return std::equal(a.second.values.begin(), a.second.values.end(), b.second.values.begin(),
                          b.second.values.end(), [](const auto& x, const auto& y) {
                              return x.first == y.first && x.second.name == y.second.name &&
                                     x.second.type == y.second.type &&
                                     x.second.data == y.second.data;
                          });
    };
    return std::equal(files.begin(), files.end(), other.files.begin(), other.files.end(),
                      sameFiles) &&
           std::equal(keys.begin(), keys.end(), other.keys.begin(), other.keys.end(), sameKeys) &&
           deleteAtRestart == other.deleteAtRestart;
}

std::string Machine::Difference(const Machine& other) const {
    std::string out;
    auto describe = [](const Machine& m) {
        std::set<std::string> lines;
        for (const auto& [key, file] : m.files) {
            lines.insert("file " + file.name + " attributes " + std::to_string(file.attributes) +
                         " size " + std::to_string(file.data.size()) + " data " +
                         file.data.substr(0, 40));
        }
        for (const auto& [path, key] : m.keys) {
            lines.insert("key " + key.name);
            for (const auto& [upper, value] : key.values) {
                lines.insert("value " + key.name + " [" + value.name + "] type " +
                             std::to_string(value.type) + " size " +
                             std::to_string(value.data.size()));
            }
        }
        for (const std::string& path : m.deleteAtRestart) lines.insert("delete at restart " + path);
        return lines;
    };
    const std::set<std::string> mine = describe(*this), theirs = describe(other);
    for (const std::string& line : mine) {
        if (!theirs.count(line)) out += "- " + line + "\n";
    }
    for (const std::string& line : theirs) {
        if (!mine.count(line)) out += "+ " + line + "\n";
    }
    return out;
}

Machine EmptyMachine() {
    Machine machine;
    for (const char* root : kRootNames) machine.keys[root] = Key{root, {}};
    return machine;
}

void Boot(const Machine& machine, DWORD processId) {
    gMachine = machine;
    gProcessId = processId;
    gCalls = 0;
    Restart();
}

const Machine& Current() {
    return gMachine;
}

void KillAt(unsigned long calls) {
    gCalls = 0;
    gKillAt = calls;
}

void Kill() {
    gDead = true;
}

bool Killed() {
    return gDead;
}

unsigned long Calls() {
    return gCalls;
}

void Restart() {
    gFiles.clear();
    gSearches.clear();
    gKeys.clear();
    gDead = false;
    gKillAt = 0;
    gLastError = 0;
}

FILETIME StartTime(DWORD processId) {
    return FILETIME{processId * 7919u, 0x1d9};
}

}  // namespace fakewin

using namespace fakewin;

DWORD GetLastError() {
    return gLastError;
}

void SetLastError(DWORD error) {
    gLastError = error;
}

// ---- files

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (!Step()) return INVALID_HANDLE_VALUE;
    std::string key, written;
    if (const DWORD error = Resolve(path, &key, &written))
        return Failed(error, INVALID_HANDLE_VALUE);
    File* file = FindFile(key);
    if (file && (file->attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Failed(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (!file && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return Failed(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (file && disposition == CREATE_NEW) return Failed(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    const bool writes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS ||
                        disposition == TRUNCATE_EXISTING;
    if (file && writes && (file->attributes & FILE_ATTRIBUTE_READONLY))
        return Failed(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (file && !SharingAllows(key, access, share))
        return Failed(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    gLastError = file ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    if (!file) {
        file = &gMachine.files[key];
        file->name = written;
        file->attributes = (flags & kAttributeMask) | FILE_ATTRIBUTE_ARCHIVE;
    } else if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        file->data.clear();
    }
    const HANDLE handle = NewHandle();
    gFiles[reinterpret_cast<std::uintptr_t>(handle)] = OpenFile{key, access, share, 0};
    return handle;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
    if (read) *read = 0;
    if (!Step()) return FALSE;
    OpenFile* open = FindOpenFile(handle);
    if (!open) return Fail(ERROR_INVALID_HANDLE);
    if (!(open->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
    const std::string& data = gMachine.files.at(open->path).data;
    const size_t from = std::min(open->position, data.size());
    const size_t count = std::min<size_t>(size, data.size() - from);
    if (count) std::memcpy(buffer, data.data() + from, count);
    open->position += count;
    if (read) *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    // The call that kills the process keeps the first half of what it wrote.
    const bool alive = Step();
    if (!alive && !gDying) return FALSE;
    OpenFile* open = FindOpenFile(handle);
    if (!open) return Fail(ERROR_INVALID_HANDLE);
    if (!(open->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    const DWORD count = alive ? size : size / 2;
    std::string& data = gMachine.files.at(open->path).data;
    if (data.size() < open->position + count) data.resize(open->position + count, '\0');
    if (count) std::memcpy(&data[open->position], buffer, count);
    open->position += count;
    if (!alive) return Fail(ERROR_INVALID_HANDLE);
    if (written) *written = count;
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    if (!Step()) return INVALID_SET_FILE_POINTER;
    OpenFile* open = FindOpenFile(handle);
    if (!open) return Failed(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    // Without a high part the distance is a signed 32-bit number.
    std::int64_t move = distance;
    if (distanceHigh) {
        move = static_cast<std::int64_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                         static_cast<DWORD>(distance));
    }
    const std::int64_t base =
        method == FILE_BEGIN ? 0
        : method == FILE_CURRENT
            ? static_cast<std::int64_t>(open->position)
            : static_cast<std::int64_t>(gMachine.files.at(open->path).data.size());
    const std::int64_t target = base + move;
    if (target < 0) return Failed(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    if (!distanceHigh && target >= 0xFFFFFFFF)
        return Failed(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    open->position = static_cast<size_t>(target);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(target >> 32);
    gLastError = ERROR_SUCCESS;
    return static_cast<DWORD>(target);
}

BOOL SetEndOfFile(HANDLE handle) {
    if (!Step()) return FALSE;
    OpenFile* open = FindOpenFile(handle);
    if (!open) return Fail(ERROR_INVALID_HANDLE);
    if (!(open->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    gMachine.files.at(open->path).data.resize(open->position, '\0');
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    if (!Step()) return FALSE;
    return FindOpenFile(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    if (!Step()) return INVALID_FILE_SIZE;
    OpenFile* open = FindOpenFile(handle);
    if (!open) return Failed(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    if (sizeHigh) *sizeHigh = 0;
    return static_cast<DWORD>(gMachine.files.at(open->path).data.size());
}

BOOL GetFileTime(HANDLE handle, LPFILETIME created, LPFILETIME accessed, LPFILETIME written) {
    if (!Step()) return FALSE;
    if (!FindOpenFile(handle)) return Fail(ERROR_INVALID_HANDLE);
    for (LPFILETIME time : {created, accessed, written}) {
        if (time) *time = FILETIME{0, 0};
    }
    return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME*, const FILETIME*) {
    if (!Step()) return FALSE;
    return FindOpenFile(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL CloseHandle(HANDLE handle) {
    if (!Step()) return FALSE;
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == kProcessHandle) return TRUE;
    return gFiles.erase(value) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

DWORD GetFileAttributesA(LPCSTR path) {
    if (!Step()) return INVALID_FILE_ATTRIBUTES;
    std::string key;
    if (const DWORD error = Resolve(path, &key)) return Failed(error, INVALID_FILE_ATTRIBUTES);
    if (IsRoot(key)) return FILE_ATTRIBUTE_DIRECTORY;
    const File* file = FindFile(key);
    if (!file) return Failed(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    return file->attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (!Step()) return FALSE;
    std::string key;
    if (const DWORD error = Resolve(path, &key)) return Fail(error);
    File* file = FindFile(key);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    file->attributes =
        (file->attributes & FILE_ATTRIBUTE_DIRECTORY) | (attributes & kAttributeMask);
    if (file->attributes == 0) file->attributes = FILE_ATTRIBUTE_NORMAL;
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    if (!Step()) return INVALID_HANDLE_VALUE;
    if (!pattern || !*pattern) return Failed(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    const std::string normal = Normalize(pattern);
    const std::string folder = Upper(Parent(normal));
    const std::string name = LastPart(normal);
    if (normal.size() >= MAX_PATH) return Failed(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
    if (!IsFolder(folder)) return Failed(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    Search search;
    for (const auto& [key, file] : gMachine.files) {
        if (Parent(key) == folder && Matches(name.c_str(), LastPart(file.name).c_str()))
            search.found.push_back(FindData(file));
    }
    if (search.found.empty()) return Failed(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *found = search.found[0];
    search.next = 1;
    const HANDLE handle = NewHandle();
    gSearches[reinterpret_cast<std::uintptr_t>(handle)] = std::move(search);
    return handle;
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
    if (!Step()) return FALSE;
    const auto it = gSearches.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == gSearches.end()) return Fail(ERROR_INVALID_HANDLE);
    if (it->second.next >= it->second.found.size()) return Fail(ERROR_NO_MORE_FILES);
    *found = it->second.found[it->second.next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!Step()) return FALSE;
    return gSearches.erase(reinterpret_cast<std::uintptr_t>(handle)) ? TRUE
                                                                     : Fail(ERROR_INVALID_HANDLE);
}

BOOL DeleteFileA(LPCSTR path) {
    if (!Step()) return FALSE;
    std::string key;
    if (const DWORD error = Resolve(path, &key)) return Fail(error);
    const File* file = FindFile(key);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    if (file->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return Fail(ERROR_ACCESS_DENIED);
    if (IsOpen(key)) return Fail(ERROR_SHARING_VIOLATION);
    gMachine.files.erase(key);
    return TRUE;
}

namespace {

// A file moved or copied over to (which may already hold a file); the error when it cannot.
DWORD Target(LPCSTR to, bool replace, std::string* key, std::string* written) {
    if (const DWORD error = Resolve(to, key, written)) return error;
    const File* existing = FindFile(*key);
    if (!existing) return IsRoot(*key) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    if (!replace) return ERROR_ALREADY_EXISTS;
    if (existing->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return IsOpen(*key) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

// Moves one file (folders are not moved by the journal).
BOOL MoveOne(LPCSTR from, LPCSTR to, bool replace) {
    std::string source, target, written;
    if (const DWORD error = Resolve(from, &source)) return Fail(error);
    const File* file = FindFile(source);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    if (file->attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(ERROR_ACCESS_DENIED);
    if (IsOpen(source)) return Fail(ERROR_SHARING_VIOLATION);
    if (Upper(Normalize(to ? to : "")) == source) return TRUE;
    if (const DWORD error = Target(to, replace, &target, &written)) return Fail(error);
    File moved = *file;
    moved.name = written;
    gMachine.files.erase(source);
    gMachine.files[target] = std::move(moved);
    return TRUE;
}

}  // namespace

BOOL MoveFileA(LPCSTR from, LPCSTR to) {
    if (!Step()) return FALSE;
    return MoveOne(from, to, false);
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    if (!Step()) return FALSE;
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        std::string key;
        if (to || Resolve(from, &key) != ERROR_SUCCESS) return Fail(ERROR_INVALID_PARAMETER);
        gMachine.deleteAtRestart.insert(key);
        return TRUE;
    }
    if (!to) return Fail(ERROR_INVALID_PARAMETER);
    return MoveOne(from, to, (flags & MOVEFILE_REPLACE_EXISTING) != 0);
}

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (!Step()) return FALSE;
    std::string source, target, written;
    if (const DWORD error = Resolve(from, &source)) return Fail(error);
    const File* file = FindFile(source);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    if (file->attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(ERROR_ACCESS_DENIED);
    if (!SharingAllows(source, GENERIC_READ, FILE_SHARE_READ)) return Fail(ERROR_SHARING_VIOLATION);
    if (const DWORD error = Target(to, !failIfExists, &target, &written))
        return Fail(error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error);
    if (target == source) return Fail(ERROR_SHARING_VIOLATION);
    File copy = *file;
    copy.name = written;
    gMachine.files[target] = std::move(copy);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (!Step()) return FALSE;
    std::string key, written;
    if (const DWORD error = Resolve(path, &key, &written)) return Fail(error);
    if (IsRoot(key) || FindFile(key)) return Fail(ERROR_ALREADY_EXISTS);
    gMachine.files[key] = File{written, FILE_ATTRIBUTE_DIRECTORY, {}};
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    if (!Step()) return FALSE;
    std::string key;
    if (const DWORD error = Resolve(path, &key)) return Fail(error);
    if (IsRoot(key)) return Fail(ERROR_ACCESS_DENIED);
    const File* file = FindFile(key);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    if (!(file->attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(ERROR_DIRECTORY);
    if (HasChildren(key)) return Fail(ERROR_DIR_NOT_EMPTY);
    gMachine.files.erase(key);
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    if (!Step()) return 0;
    static const char kTemp[] = "C:\\Temp\\";
    if (size < sizeof kTemp) return sizeof kTemp;
    std::memcpy(buffer, kTemp, sizeof kTemp);
    return sizeof kTemp - 1;
}

// "<folder>\<prefix, 3 characters><number>.tmp", made empty, at the first free number.
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name) {
    if (!Step()) return 0;
    std::string key;
    if (!folder || Resolve(folder, &key) != ERROR_SUCCESS || !IsFolder(key))
        return Fail(ERROR_DIRECTORY);
    const std::string start = Normalize(folder) + '\\' + std::string(prefix).substr(0, 3);
    for (unsigned tries = 0; tries < 0xFFFF; ++tries) {
        const unsigned number = unique ? unique : gMachine.nextTempName++ & 0xFFFF;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", number);
        const std::string path = start + hex + ".tmp";
        if (path.size() >= MAX_PATH) return Fail(ERROR_BUFFER_OVERFLOW);
        if (unique) {
            std::memcpy(name, path.c_str(), path.size() + 1);
            return unique;
        }
        if (number == 0 || FindFile(Upper(path))) continue;
        gMachine.files[Upper(path)] = File{path, FILE_ATTRIBUTE_ARCHIVE, {}};
        std::memcpy(name, path.c_str(), path.size() + 1);
        return number;
    }
    return Fail(ERROR_FILE_EXISTS);
}

// ---- registry

namespace {

LONG OpenOrCreate(HKEY parent, LPCSTR subkey, bool create, PHKEY opened, LPDWORD disposition) {
    *opened = nullptr;
    Key* base = nullptr;
    if (const LONG error = KeyOf(parent, &base)) return error;
    std::vector<std::string> parts;
    if (const LONG error = SubkeyParts(subkey, &parts)) return error;
    std::string path = Upper(base->name), name = base->name;
    bool made = false;
    for (const std::string& part : parts) {
        path += '\\' + Upper(part);
        name += '\\' + part;
        if (gMachine.keys.count(path)) continue;
        if (!create) return ERROR_FILE_NOT_FOUND;
        gMachine.keys[path] = Key{name, {}};
        made = true;
    }
    if (disposition) *disposition = made ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *opened = OpenKeyHandle(path);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD, REGSAM, PHKEY opened) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    return OpenOrCreate(key, subkey, false, opened, nullptr);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY opened, LPDWORD disposition) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    return OpenOrCreate(key, subkey, true, opened, disposition);
}

LONG RegCloseKey(HKEY key) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    if (IsRootKey(key)) return ERROR_SUCCESS;
    return gKeys.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS
                                                              : ERROR_INVALID_HANDLE;
}

LONG RegEnumValueA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* key = nullptr;
    if (const LONG error = KeyOf(handle, &key)) return error;
    if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = std::next(key->values.begin(), index)->second;
    if (const LONG error = GiveName(value.name, name, nameSize)) return error;
    if (type) *type = value.type;
    return GiveData(value.data, data, dataSize);
}

LONG RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD,
                   PFILETIME) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* key = nullptr;
    if (const LONG error = KeyOf(handle, &key)) return error;
    const std::vector<const Key*> children = Subkeys(Upper(key->name));
    if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
    return GiveName(LastPart(children[index]->name), name, nameSize);
}

LONG RegSetValueExA(HKEY handle, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* key = nullptr;
    if (const LONG error = KeyOf(handle, &key)) return error;
    if (!data && size) return ERROR_NOACCESS;
    const std::string valueName = name ? name : "";
    if (valueName.size() > 16383) return ERROR_INVALID_PARAMETER;
    Value& value = key->values[Upper(valueName)];
    value.name = valueName;
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data), data ? size : 0);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* key = nullptr;
    if (const LONG error = KeyOf(handle, &key)) return error;
    const auto it = key->values.find(Upper(name ? name : ""));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = it->second.type;
    return GiveData(it->second.data, data, size);
}

LONG RegDeleteValueA(HKEY handle, LPCSTR name) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* key = nullptr;
    if (const LONG error = KeyOf(handle, &key)) return error;
    return key->values.erase(Upper(name ? name : "")) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKeyA(HKEY handle, LPCSTR subkey) {
    if (!Step()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    Key* base = nullptr;
    if (const LONG error = KeyOf(handle, &base)) return error;
    std::vector<std::string> parts;
    if (const LONG error = SubkeyParts(subkey, &parts)) return error;
    if (parts.empty()) return ERROR_ACCESS_DENIED;  // no key deletes itself here
    std::string path = Upper(base->name);
    for (const std::string& part : parts) path += '\\' + Upper(part);
    if (!gMachine.keys.count(path)) return ERROR_FILE_NOT_FOUND;
    if (!Subkeys(path).empty()) return ERROR_ACCESS_DENIED;
    gMachine.keys.erase(path);
    return ERROR_SUCCESS;
}

// ---- processes and times

HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(kProcessHandle);
}

DWORD GetCurrentProcessId() {
    return gProcessId;
}

// Only the process itself runs: every other process, a killed writer of a journal among
// them, is gone.
HANDLE OpenProcess(DWORD, BOOL, DWORD id) {
    if (!Step()) return nullptr;
    if (id != gProcessId) return Failed(ERROR_INVALID_PARAMETER, nullptr);
    return reinterpret_cast<HANDLE>(kProcessHandle);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD code) {
    if (!Step()) return FALSE;
    if (reinterpret_cast<std::uintptr_t>(process) != kProcessHandle)
        return Fail(ERROR_INVALID_HANDLE);
    *code = STILL_ACTIVE;
    return TRUE;
}

BOOL GetProcessTimes(HANDLE process, LPFILETIME created, LPFILETIME exited, LPFILETIME kernel,
                     LPFILETIME user) {
    if (!Step()) return FALSE;
    if (reinterpret_cast<std::uintptr_t>(process) != kProcessHandle)
        return Fail(ERROR_INVALID_HANDLE);
    *created = StartTime(gProcessId);
    *exited = *kernel = *user = FILETIME{0, 0};
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    const auto value = [](const FILETIME* t) {
        return (static_cast<std::uint64_t>(t->dwHighDateTime) << 32) | t->dwLowDateTime;
    };
    return value(a) < value(b) ? -1 : value(a) > value(b) ? 1 : 0;
}

// File times are compared as they are: no calendar here.
BOOL FileTimeToSystemTime(const FILETIME*, SYSTEMTIME*) {
    return Fail(ERROR_INVALID_PARAMETER);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME*, LPFILETIME) {
    return Fail(ERROR_INVALID_PARAMETER);
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    info->dwMajorVersion = 10;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}
