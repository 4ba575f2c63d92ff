#include "commands/RestartFileOps.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/PathHelpers.h"

namespace tolv {
namespace {

constexpr char kSection[] = "Rename";
constexpr char kDeleteKey[] = "nul";

std::string& WindowsDirectoryOverride() {
    static std::string directory;
    return directory;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// "[name]" with blanks allowed around it.
bool IsSectionHeader(const std::string& line, std::string* name) {
    const std::string text = Trim(line);
    if (text.size() < 2 || text.front() != '[') return false;
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    if (name) *name = Trim(text.substr(1, close - 1));
    return true;
}

// Splits "key=value" into its trimmed halves; false for a line without "=".
bool SplitEntry(const std::string& line, std::string* key, std::string* value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    *key = Trim(line.substr(0, equals));
    *value = Trim(line.substr(equals + 1));
    return true;
}

std::vector<std::string> ReadLines(const std::string& path, bool* ok) {
    std::vector<std::string> lines;
    *ok = true;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *ok = false;
        return lines;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

void SetWindowsDirectoryForTesting(const char* directory) {
    WindowsDirectoryOverride() = directory ? directory : "";
}

std::string WininitPath() {
    std::string directory = WindowsDirectoryOverride();
    if (directory.empty()) {
        char buffer[tolv::kNarrowPathBufferSize] = "";
        const UINT length = GetWindowsDirectoryA(buffer, tolv::kNarrowPathBufferSize);
        if (length < tolv::kNarrowPathBufferSize) directory.assign(buffer, length);
    }
    if (!directory.empty() && directory.back() == '\\') directory.pop_back();
    return directory + "\\WININIT.INI";
}

bool AddWininitRenameEntry(const std::string& iniPath, const char* key, const char* value) {
    // The profile functions may still hold entries for this file in their cache; writing
    // them out first keeps them from overwriting what is written here.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath.c_str());
    bool ok = false;
    std::vector<std::string> lines = ReadLines(iniPath, &ok);
    if (!ok) return false;

    const bool isDelete = SameText(key, kDeleteKey);
    const std::string entry = std::string(key) + "=" + value;
    size_t sectionEnd = lines.size();  // where a new entry goes: after the section's last entry
    bool inSection = false;
    bool sectionFound = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (IsSectionHeader(lines[i], &name)) {
            if (inSection) break;
            inSection = SameText(name, kSection);
            if (inSection) {
                sectionFound = true;
                sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        std::string lineKey, lineValue;
        if (!SplitEntry(lines[i], &lineKey, &lineValue)) {
            if (!Trim(lines[i]).empty()) sectionEnd = i + 1;
            continue;
        }
        sectionEnd = i + 1;
        if (!SameText(lineKey, key)) continue;
        if (isDelete) {
            if (SameText(lineValue, value)) return true;  // already to go
            continue;
        }
        lines[i] = entry;  // a newer replacement of the same target
        return WriteLines(iniPath, lines);
    }
    if (sectionFound) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    } else {
        lines.push_back(std::string("[") + kSection + "]");
        lines.push_back(entry);
    }
    return WriteLines(iniPath, lines);
}

void ScheduleReplaceAtRestart(const char* tempFile, const char* destination) {
    if (IsWindowsNT()) {
        MoveFileExA(tempFile, destination, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
    } else {
        AddWininitRenameEntry(WininitPath(), destination, tempFile);
    }
}

void ScheduleDeleteAtRestart(const char* path) {
    if (IsWindowsNT()) {
        MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else {
        AddWininitRenameEntry(WininitPath(), kDeleteKey, path);
    }
}

}  // namespace tolv
