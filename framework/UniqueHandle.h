// A move-only owner of one Windows handle. Traits name the handle type, its invalid value
// (null for keys and modules, INVALID_HANDLE_VALUE for files and searches) and how it is
// closed; copying is deleted, so that no handle is ever closed twice.
#pragma once

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

}  // namespace tolv
