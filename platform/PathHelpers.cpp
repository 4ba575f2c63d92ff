#include "platform/PathHelpers.h"

#include "platform/Handles.h"
#include "platform/Win32Calls.h"

namespace tolv {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == ':';
}

// Index just after the last backslash or colon; 0 when there is none.
size_t SplitPoint(std::string_view path) {
    size_t i = path.size();
    while (i > 0 && !IsSeparator(path[i - 1])) --i;
    return i;
}

int gWindowsNTOverride = -1;

}  // namespace

std::string& AppendBackslash(std::string& path) {
    if (!path.empty() && !IsSeparator(path.back())) path += '\\';
    return path;
}

std::string& StripBackslash(std::string& path) {
    const size_t n = path.size();
    if (n >= 2 && path[n - 1] == '\\' && path[n - 2] != ':') path.pop_back();
    return path;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string out(directory);
    AppendBackslash(out);
    out += name;
    return out;
}

void SplitPath(std::string_view path, std::string* directory, std::string* name) {
    const size_t split = SplitPoint(path);
    if (name) name->assign(path.substr(split));
    if (directory) {
        directory->assign(path.substr(0, split));
        StripBackslash(*directory);
    }
}

void AddDefaultExtension(std::string& path, std::string_view extension) {
    if (path.find('.', SplitPoint(path)) != std::string::npos) return;
    if (extension.empty() || extension.front() != '.') path += '.';
    path += extension;
}

bool FileExists(const char* path, WIN32_FIND_DATAA* record) {
    WIN32_FIND_DATAA local;
    FindHandle search(Win32().FindFirstFileA(path, record ? record : &local));
    return search.IsValid();
}

bool IsDirectoryPath(const char* path) {
    const size_t n = std::char_traits<char>::length(path);
    if (n == 0 || IsSeparator(path[n - 1])) return true;
    WIN32_FIND_DATAA record;
    return FileExists(path, &record) && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsAbsolutePath(std::string_view path) {
    return (!path.empty() && path[0] == '\\') || (path.size() >= 2 && path[1] == ':');
}

bool CreateDirectoryChain(const char* path, bool* existed, std::vector<std::string>* made) {
    std::string prefix(path);
    const size_t first = prefix.find('\\');
    if (first == std::string::npos) return false;
    for (size_t at = prefix.find('\\', first + 1); at != std::string::npos;
         at = prefix.find('\\', at + 1)) {
        prefix[at] = '\0';
        const bool created = Win32().CreateDirectoryA(prefix.c_str(), nullptr) != FALSE;
        if (created && made) made->push_back(prefix.c_str());
        prefix[at] = '\\';
        if (!created && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    if (Win32().CreateDirectoryA(path, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (existed) *existed = true;
    return true;
}

int CompareFileTimes(const FILETIME& a, const FILETIME& b) {
    auto round = [](FILETIME time) {
        SYSTEMTIME parts;
        // A time beyond what SYSTEMTIME can show is compared as it is.
        if (!FileTimeToSystemTime(&time, &parts)) return time;
        parts.wSecond = static_cast<WORD>(parts.wSecond & ~1u);
        parts.wMilliseconds = 0;
        FILETIME rounded = time;
        SystemTimeToFileTime(&parts, &rounded);
        return rounded;
    };
    const FILETIME ra = round(a), rb = round(b);
    return static_cast<int>(CompareFileTime(&ra, &rb));
}

std::string MakeTempFileName() {
    char directory[kNarrowPathBufferSize] = "";
    char name[kNarrowPathBufferSize] = "";
    Win32().GetTempPathA(kNarrowPathBufferSize, directory);
    if (!Win32().GetTempFileNameA(directory, "ktx", 0, name)) return std::string();
    return name;
}

bool IsWindowsNT() {
    if (gWindowsNTOverride >= 0) return gWindowsNTOverride != 0;
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void OverrideIsWindowsNT(int answer) {
    gWindowsNTOverride = answer < 0 ? -1 : (answer != 0);
}

}  // namespace tolv
