// One small owner for Win32 handles: closes what it holds on destruction.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <utility>

template <typename Handle, typename Closer, Handle Invalid = Handle()>
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
    Handle release() { return std::exchange(h_, Invalid); }
    void reset(Handle h = Invalid) {
        if (h_ != Invalid) Closer()(h_);
        h_ = h;
    }
    // For out-parameters: closes what is held and hands out the slot.
    Handle* put() {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != Invalid; }

private:
    Handle h_ = Invalid;
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

using unique_hkey = unique_handle<HKEY, RegKeyCloser>;
using unique_hbitmap = unique_handle<HBITMAP, GdiObjectDeleter>;
using unique_pidl = unique_handle<PIDLIST_ABSOLUTE, CoTaskMemFreer>;
