// File sources: the places an installation takes its files from.
//
// Commands that install files (copy, fileSize) never open source paths themselves; they ask
// the engine's CFileSourceList, which searches its sources front to back. The only kind of
// source is a directory on disk (CDirectorySource); the list usually holds one, the
// directory of the installation file.
//
// The find record is the Win32 one, declared here without <windows.h>, so that the engine
// state holding the list and the commands using it need not include it.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct _WIN32_FIND_DATAA;
class CInstallHost;

class CFileSource {
public:
    virtual ~CFileSource() = default;
    // True when a regular file (not a directory) of that name is here; fills record (when
    // given) with its find data.
    virtual bool Find(const char* name, _WIN32_FIND_DATAA* record) = 0;
    // Copies the named file from here to destination, reporting to host (when given).
    // True on success; false with the Windows last error set on failure. Script error codes
    // raised by the host (102 when the user cancels) travel on after the destination the
    // copy has begun to write is deleted; a file at destination that the copy has not yet
    // opened stays.
    virtual bool Copy(const char* name, const char* destination, CInstallHost* host) = 0;
};

class CDirectorySource : public CFileSource {
public:
    // directory gets a trailing backslash unless it is empty or ends with one or a colon.
    explicit CDirectorySource(std::string directory);

    const std::string& GetDirectory() const { return directory_; }
    // name itself when it is absolute, else the directory followed by name.
    std::string FullPath(const char* name) const;

    bool Find(const char* name, _WIN32_FIND_DATAA* record) override;
    // Copies in blocks of 64 KiB through one buffer per call, so memory use does not grow
    // with the file. The destination gets the source's attributes and all three file times.
    // Host: BeginFileCopy before the destination is opened; FileCopyProgress before every
    // block and once with the size at the end; EndFileCopy once when the copy ends or is
    // cleaned up (not when the destination could not be created). A failed read or write
    // deletes the partial destination and returns false. Raises 2 when the buffer cannot
    // be allocated.
    bool Copy(const char* name, const char* destination, CInstallHost* host) override;

private:
    std::string directory_;
};

// The sources of a run, searched front to back, with the source of the name found last
// cached for the Copy that usually follows a Find. Owns its sources.
class CFileSourceList : public CFileSource {
public:
    CFileSourceList();

    int GetCount() const { return static_cast<int>(sources_.size()); }
    CFileSource* GetAt(int index) const;
    // Takes ownership of source and puts it at index (0 is the front). Raises 2 when the
    // list cannot grow.
    void InsertAt(int index, std::unique_ptr<CFileSource> source);
    // Destroys the source at index; if it was the cached source the cache is emptied first.
    void RemoveAt(int index);
    void RemoveAll();

    // The first source that has the file wins and is cached with the name.
    bool Find(const char* name, _WIN32_FIND_DATAA* record) override;
    // The cached source when name is the cached name (any case), else the source Find
    // chooses; none: false with last error ERROR_FILE_NOT_FOUND.
    bool Copy(const char* name, const char* destination, CInstallHost* host) override;

    const std::string& GetCachedName() const { return cachedName_; }

private:
    std::vector<std::unique_ptr<CFileSource>> sources_;
    std::string cachedName_;
    CFileSource* cachedSource_ = nullptr;
};
