// Owning wrappers of the Win32 layer: every handle, GDI object, DC selection, shell item list,
// LocalAlloc'd or CoTaskMemAlloc'd block, COM reference and COM initialisation that the code
// owns lives in one of these, so that each is given back exactly once, on every path.
#pragma once

#include "platform/win32/FileCalls.h"
#include "platform/win32/WinInclude.h"

#include <objbase.h>

#include <utility>

namespace vqx::win32 {

namespace detail {
template <class H> H Null() {
    return H{};
}
inline HANDLE Invalid() {
    return INVALID_HANDLE_VALUE;
}
} // namespace detail

// A handle of type H, given back by Free unless it is None() (null, or INVALID_HANDLE_VALUE
// for the handles whose "none" that is). Move-only.
template <class H, auto Free, auto None = &detail::Null<H>> class Owned {
public:
    Owned() = default;
    explicit Owned(H handle) : h_(handle) {}
    Owned(Owned&& other) noexcept : h_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != None(); }
    H release() { return std::exchange(h_, None()); }
    void reset() { reset(None()); }
    void reset(H handle) {
        if (H old = std::exchange(h_, handle); old != None())
            Free(old);
    }

private:
    H h_ = None();
};

namespace detail {
template <class T> void DeleteGdi(T object) {
    DeleteObject(object);
}
inline void CloseKernel(HANDLE h) {
    CloseHandle(h);
}
// Files and enumerations are closed through the file calls' table, like every other call on them.
inline void CloseFileHandle(HANDLE h) {
    os.CloseHandle(h);
}
inline void CloseFind(HANDLE h) {
    os.FindClose(h);
}
inline void FreeLocal(void* p) {
    LocalFree(p);
}
inline void FreeTask(void* p) {
    CoTaskMemFree(p);
}
inline void DeleteMemoryDc(HDC dc) {
    DeleteDC(dc);
}
inline void FreeIcon(HICON icon) {
    DestroyIcon(icon);
}
inline void RemoveFontMemory(HANDLE fonts) {
    RemoveFontMemResourceEx(fonts);
}
} // namespace detail

using Font = Owned<HFONT, detail::DeleteGdi<HFONT>>;
using Brush = Owned<HBRUSH, detail::DeleteGdi<HBRUSH>>;
using Pen = Owned<HPEN, detail::DeleteGdi<HPEN>>;
using Region = Owned<HRGN, detail::DeleteGdi<HRGN>>;
using Bitmap = Owned<HBITMAP, detail::DeleteGdi<HBITMAP>>;
// A DC made by CreateCompatibleDC.
using MemoryDc = Owned<HDC, detail::DeleteMemoryDc>;
// Icons and cursors made by CreateIconIndirect (a cursor is an icon to DestroyIcon).
using Icon = Owned<HICON, detail::FreeIcon>;
// Fonts added for this process alone by AddFontMemResourceEx.
using FontMemory = Owned<HANDLE, detail::RemoveFontMemory>;
// A kernel object (event, thread, file mapping...). A file handle, whose "none" is
// INVALID_HANDLE_VALUE, is a File.
using Handle = Owned<HANDLE, detail::CloseKernel>;
using File = Owned<HANDLE, detail::CloseFileHandle, detail::Invalid>;
// A FindFirstFileW enumeration.
using FindHandle = Owned<HANDLE, detail::CloseFind, detail::Invalid>;

// Closes `file` now, for the callers that must know: false when the system reports a failure,
// which for a written file can mean lost data. An empty File closes without fault.
inline bool CloseFile(File& file) {
    return !file || os.CloseHandle(file.release()) != FALSE;
}

// Memory the system allocated for the caller to free: with LocalFree (FormatMessageW's text)
// or with CoTaskMemFree (a shell item list).
template <class T> using LocalMemory = Owned<T*, detail::FreeLocal>;
template <class T> using TaskMemory = Owned<T*, detail::FreeTask>;

namespace detail {
// A change to a DC undone when the scope ends: Undo(dc, token), with what the change returned.
template <class Token, auto Undo> class DcScope {
public:
    DcScope(HDC dc, Token token) : dc_(dc), token_(token) {}
    ~DcScope() { Undo(dc_, token_); }
    DcScope(const DcScope&) = delete;
    DcScope& operator=(const DcScope&) = delete;

protected:
    HDC dc_;
    Token token_;
};
inline void ReleaseWindowDc(HDC dc, HWND window) {
    if (dc)
        ReleaseDC(window, dc);
}
inline void SelectBack(HDC dc, HGDIOBJ old) {
    if (old && old != HGDI_ERROR)
        SelectObject(dc, old);
}
inline void RestoreSaved(HDC dc, int saved) {
    if (saved)
        RestoreDC(dc, saved);
}
} // namespace detail

// A DC lent by GetDC for the time of a scope.
class WindowDc : public detail::DcScope<HWND, detail::ReleaseWindowDc> {
public:
    explicit WindowDc(HWND window) : DcScope(GetDC(window), window) {}
    HDC get() const { return dc_; }
};

// An object selected into a DC for the time of a scope; what was selected before comes back.
// Not for a region: selecting one copies it into the clipping and returns no object.
class Selection : public detail::DcScope<HGDIOBJ, detail::SelectBack> {
public:
    Selection(HDC dc, HGDIOBJ object) : DcScope(dc, SelectObject(dc, object)) {}
};

// The whole state of a DC (clipping, selections, colours, modes) kept for the time of a scope.
class SavedDc : public detail::DcScope<int, detail::RestoreSaved> {
public:
    explicit SavedDc(HDC dc) : DcScope(dc, SaveDC(dc)) {}
};

// A COM interface pointer holding one reference.
template <class T> class ComRef {
public:
    ComRef() = default;
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Takes over a reference the caller holds.
    void reset(T* p = nullptr) {
        if (T* old = std::exchange(p_, p))
            old->Release();
    }

private:
    T* p_ = nullptr;
};

// COM on this thread (single-threaded apartment) for the time of a scope; undone on leaving
// only when this call set it up (S_OK or S_FALSE). A thread already in another apartment
// (RPC_E_CHANGED_MODE) is left as it is.
class ComApartment {
public:
    ComApartment()
        : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Started() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

} // namespace vqx::win32
