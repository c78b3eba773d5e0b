// One small owner for Win32 handles: closes what it holds on destruction.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <utility>

// What a handle kind holds when it holds nothing: null for most, -1 for file handles.
template <typename Handle>
struct NullIsEmpty {
    static Handle Empty() { return Handle(); }
};
struct MinusOneIsEmpty {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
};

template <typename Handle, typename Closer, typename Emptiness = NullIsEmpty<Handle>>
class unique_handle {
public:
    unique_handle() = default;
    explicit unique_handle(Handle h) : h_(h) {}
    ~unique_handle() { reset(); }
    unique_handle(unique_handle&& other) noexcept : h_(other.release()) {}
    unique_handle& operator=(unique_handle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;

    Handle get() const { return h_; }
    // Gives up ownership without closing.
    Handle release() { return std::exchange(h_, Emptiness::Empty()); }
    void reset(Handle h = Emptiness::Empty()) {
        if (h_ != Emptiness::Empty()) Closer()(h_);
        h_ = h;
    }
    // For out-parameters: closes what is held and hands out the slot.
    Handle* put() {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != Emptiness::Empty(); }

private:
    Handle h_ = Emptiness::Empty();
};

struct RegKeyCloser {
    void operator()(HKEY k) const { RegCloseKey(k); }
};
struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
struct CoTaskMemFreer {
    void operator()(void* p) const { CoTaskMemFree(p); }
};

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};

using unique_hkey = unique_handle<HKEY, RegKeyCloser>;
// Kernel handles that are INVALID_HANDLE_VALUE on failure (files), and search handles.
using unique_file = unique_handle<HANDLE, HandleCloser, MinusOneIsEmpty>;
using unique_kernel = unique_handle<HANDLE, HandleCloser>;  // a mutex, an event: null when empty
using unique_find = unique_handle<HANDLE, FindCloser, MinusOneIsEmpty>;
using unique_hbitmap = unique_handle<HBITMAP, GdiObjectDeleter>;
using unique_pidl = unique_handle<PIDLIST_ABSOLUTE, CoTaskMemFreer>;
