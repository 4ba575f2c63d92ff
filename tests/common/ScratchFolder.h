// A fresh folder under the temporary directory, deleted with everything in it at the end,
// so that tests that make files leave nothing behind.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>

// Deletes path with every file and folder below it, read-only ones included.
inline void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix = "tolv") {
        static int serial = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + prefix + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    // Writes a file below the folder, bytes as given, and returns its path.
    std::string Write(const std::string& name, const std::string& text) const {
        std::string path = *this / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

private:
    std::string path_;
};
