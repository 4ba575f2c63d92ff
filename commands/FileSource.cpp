// File sources on disk: a Win32 edge above the interpreter core, doing all its file work
// through the Win32() call table.
#include "commands/FileSource.h"

#include <windows.h>

#include <new>

#include "platform/Handles.h"
#include "platform/PathHelpers.h"
#include "platform/Win32Calls.h"
#include "engine/ScriptEngine.h"
#include "engine/ScriptError.h"
#include "engine/TextCase.h"
#include "engine/InstallHost.h"
#include "commands/EngineState.h"

using tolv::Win32;

namespace {

constexpr DWORD kCopyBlockSize = 64 * 1024;

// Keeps the last error of a failed call across the clean-up calls that follow it.
class LastErrorKeeper {
public:
    LastErrorKeeper() : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// CDirectorySource

CDirectorySource::CDirectorySource(std::string directory) : directory_(std::move(directory)) {
    tolv::AppendBackslash(directory_);
}

std::string CDirectorySource::FullPath(const char* name) const {
    return tolv::IsAbsolutePath(name) ? std::string(name) : directory_ + name;
}

bool CDirectorySource::Find(const char* name, WIN32_FIND_DATAA* record) {
    WIN32_FIND_DATAA local;
    if (!record) record = &local;
    if (!tolv::FileExists(FullPath(name).c_str(), record)) return false;
    return (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CDirectorySource::Copy(const char* name, const char* destination, CInstallHost* host) {
    const std::string source = FullPath(name);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyBlockSize]);
    if (!buffer) ThrowScriptError(ScriptError::kNoMemory);

    const DWORD attributes = Win32().GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    tolv::FileHandle in(Win32().CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return false;
    FILETIME created, accessed, written;
    if (!Win32().GetFileTime(in.Get(), &created, &accessed, &written)) {
        LastErrorKeeper keep;
        in.Reset();
        return false;
    }
    const DWORD size = Win32().GetFileSize(in.Get(), nullptr);
    if (size == INVALID_FILE_SIZE) {
        LastErrorKeeper keep;
        in.Reset();
        return false;
    }

    tolv::FileHandle out;
    bool opened = false;
    bool finished = false;
    try {
        if (host) host->BeginFileCopy(source.c_str(), size);
        out.Reset(Win32().CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      attributes, nullptr));
        if (!out) {
            LastErrorKeeper keep;
            in.Reset();
            return false;
        }
        opened = true;
        for (DWORD done = 0; done < size;) {
            if (host) host->FileCopyProgress(done);
            DWORD read = 0;
            if (!Win32().ReadFile(in.Get(), buffer.get(), kCopyBlockSize, &read, nullptr)) {
                ThrowScriptError(ScriptError::kCopyFailed);
            }
            if (read == 0) {
                // The source became shorter than its size said: a copy that cannot finish.
                SetLastError(ERROR_HANDLE_EOF);
                ThrowScriptError(ScriptError::kCopyFailed);
            }
            DWORD put = 0;
            if (!Win32().WriteFile(out.Get(), buffer.get(), read, &put, nullptr)) {
                ThrowScriptError(ScriptError::kCopyFailed);
            }
            if (put != read) {
                SetLastError(ERROR_DISK_FULL);
                ThrowScriptError(ScriptError::kCopyFailed);
            }
            done += read;
        }
        if (host) host->FileCopyProgress(size);
        Win32().SetFileTime(out.Get(), &created, &accessed, &written);
        out.Reset();
        in.Reset();
        finished = true;
        if (host) host->EndFileCopy();
        return true;
    } catch (int code) {
        {
            LastErrorKeeper keep;
            out.Reset();
            in.Reset();
            // Only a destination this copy has created goes: before it is opened, whatever
            // stands at that path is someone else's file.
            if (opened) {
                // The copy carries the source's attributes; a read-only one would refuse to go.
                Win32().SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
                Win32().DeleteFileA(destination);
            }
        }
        if (host && !finished) host->EndFileCopy();
        if (code == ScriptError::kCopyFailed) return false;
        throw;
    }
}

// ---------------------------------------------------------------------------------------
// CFileSourceList

CFileSourceList::CFileSourceList() {
    sources_.reserve(10);
}

CFileSource* CFileSourceList::GetAt(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return sources_[static_cast<size_t>(index)].get();
}

void CFileSourceList::InsertAt(int index, std::unique_ptr<CFileSource> source) {
    if (index < 0) index = 0;
    if (index > GetCount()) index = GetCount();
    try {
        sources_.insert(sources_.begin() + index, std::move(source));
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

void CFileSourceList::RemoveAt(int index) {
    if (index < 0 || index >= GetCount()) return;
    if (sources_[static_cast<size_t>(index)].get() == cachedSource_) {
        cachedName_.clear();
        cachedSource_ = nullptr;
    }
    sources_.erase(sources_.begin() + index);
}

void CFileSourceList::RemoveAll() {
    cachedName_.clear();
    cachedSource_ = nullptr;
    sources_.clear();
}

bool CFileSourceList::Find(const char* name, WIN32_FIND_DATAA* record) {
    for (const auto& source : sources_) {
        if (source->Find(name, record)) {
            cachedName_ = name;
            cachedSource_ = source.get();
            return true;
        }
    }
    return false;
}

bool CFileSourceList::Copy(const char* name, const char* destination, CInstallHost* host) {
    if (cachedName_.empty() || !EqualsNoCase(cachedName_, name)) {
        if (!Find(name, nullptr)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        }
    }
    return cachedSource_->Copy(name, destination, host);
}

// ---------------------------------------------------------------------------------------
// The engine's script directory source

CFileSourceList& CScriptEngine::GetFileSources() {
    return EngineState(*this).fileSources;
}

void CScriptEngine::AddScriptDirSource() {
    CEngineState& state = EngineState(*this);
    if (state.scriptDirSource) return;
    std::string directory;
    tolv::SplitPath(scriptPath_, &directory, nullptr);
    std::unique_ptr<CDirectorySource> source;
    try {
        source = std::make_unique<CDirectorySource>(std::move(directory));
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
    CDirectorySource* added = source.get();
    state.fileSources.InsertAt(0, std::move(source));
    state.scriptDirSource = added;
}
