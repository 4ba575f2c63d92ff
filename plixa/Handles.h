// Move-only owners of the library's Windows handles: registry keys, modules, kernel objects.
#pragma once

#include <windows.h>

#include "framework/UniqueHandle.h"

namespace plixa {

template <typename Traits>
using UniqueHandle = tolv::UniqueHandle<Traits>;

struct RegKeyTraits {
    using Type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
struct ModuleTraits {
    using Type = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static bool Close(HMODULE module) { return FreeLibrary(module) != FALSE; }
};
// Kernel objects whose failure value is null (mutexes, events, processes, threads).
struct KernelHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};

using RegKey = UniqueHandle<RegKeyTraits>;
using Module = UniqueHandle<ModuleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace plixa
