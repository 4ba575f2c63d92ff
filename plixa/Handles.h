// Move-only owners of the library's Windows handles: registry keys, modules, kernel objects.
#pragma once

#include <windows.h>

namespace plixa {

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
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives up ownership without closing.
    Type Release() {
        Type handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset(Type handle = nullptr) {
        if (handle_) Traits::Close(handle_);
        handle_ = handle;
    }
    // Closes the current handle and returns the slot for an API's out-parameter.
    Type* Put() {
        Reset();
        return &handle_;
    }

private:
    Type handle_ = nullptr;
};

struct RegKeyTraits {
    using Type = HKEY;
    static void Close(HKEY key) { RegCloseKey(key); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static void Close(HMODULE module) { FreeLibrary(module); }
};
// Kernel objects whose failure value is null (mutexes, events, processes, threads).
struct KernelHandleTraits {
    using Type = HANDLE;
    static void Close(HANDLE handle) { CloseHandle(handle); }
};

using RegKey = UniqueHandle<RegKeyTraits>;
using Module = UniqueHandle<ModuleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace plixa
