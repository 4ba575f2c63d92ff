// Move-only owners of the Windows handles that the file and registry code opens: registry
// keys, file handles and find handles. Each type knows its own invalid value (null for keys,
// INVALID_HANDLE_VALUE for files and searches), so "is it open" is never guessed at, and
// copying is deleted so that no handle is closed twice.
#pragma once

#include <windows.h>

#include "commands/Win32Calls.h"

namespace tolv {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }
    // Gives up ownership without closing.
    Type Release() {
        Type handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }
    // Closes the current handle (if any) and takes handle. Returns whether the close worked,
    // for the one caller that must know (a handle whose close deletes its file).
    bool Reset(Type handle = Traits::Invalid()) {
        bool closed = true;
        if (IsValid()) closed = Traits::Close(handle_);
        handle_ = handle;
        return closed;
    }
    // Closes the current handle and returns the slot for an API's out-parameter.
    Type* Put() {
        Reset();
        return &handle_;
    }

private:
    Type handle_ = Traits::Invalid();
};

// Closing goes through the Win32 call table like every other call of this code, so that a
// test can count and fail it too.
struct RegKeyTraits {
    using Type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static bool Close(HKEY key) { return Win32().RegCloseKey(key) == ERROR_SUCCESS; }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return Win32().CloseHandle(handle) != FALSE; }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return Win32().FindClose(handle) != FALSE; }
};

using RegKey = UniqueHandle<RegKeyTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace tolv
