// Move-only owners of the Windows handles that the file and registry code opens: registry
// keys, file handles and find handles. Each type knows its own invalid value (null for keys,
// INVALID_HANDLE_VALUE for files and searches), so "is it open" is never guessed at, and
// copying is deleted so that no handle is closed twice.
#pragma once

#include <windows.h>

#include "platform/Win32Calls.h"
#include "framework/UniqueHandle.h"

namespace tolv {

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
