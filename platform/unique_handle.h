#pragma once

#include <windows.h>
#include <vfw.h>

#include <memory>
#include <type_traits>
#include <utility>

// One owner for every kind of handle: move-only, releases in its destructor. A null handle is
// "nothing owned"; callers normalise other invalid values (INVALID_HANDLE_VALUE) before adopting.
template <typename H, auto Close> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H handle) : m_handle(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    H get() const { return m_handle; }
    explicit operator bool() const { return m_handle != H{}; }
    H release() { return std::exchange(m_handle, H{}); }
    void reset(H handle = H{}) {
        if (H old = std::exchange(m_handle, handle); old != H{})
            Close(old);
    }
    // For out-parameters of creating calls: releases what is held and hands out the slot.
    H* put() {
        reset();
        return &m_handle;
    }

private:
    H m_handle{};
};

// Releasers whose platform call returns a value or takes another type.
namespace release {
inline void GdiObject(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void Global(HGLOBAL h) {
    ::GlobalFree(h);
}
inline void AviFile(PAVIFILE f) {
    ::AVIFileRelease(f);
}
inline void AviStream(PAVISTREAM s) {
    ::AVIStreamRelease(s);
}
} // namespace release

using UniqueDc = UniqueHandle<HDC, &::DeleteDC>;
using UniqueBitmap = UniqueHandle<HBITMAP, &release::GdiObject>;
using UniqueFont = UniqueHandle<HFONT, &release::GdiObject>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, &release::GdiObject>;
using UniqueIcon = UniqueHandle<HICON, &::DestroyIcon>;
using UniqueMenu = UniqueHandle<HMENU, &::DestroyMenu>;
using UniqueHKey = UniqueHandle<HKEY, &::RegCloseKey>;
using UniqueFile = UniqueHandle<HANDLE, &::CloseHandle>;
using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary>;
using UniqueGlobal = UniqueHandle<HGLOBAL, &release::Global>;
using UniqueWindow = UniqueHandle<HWND, &::DestroyWindow>;
using UniqueAviFile = UniqueHandle<PAVIFILE, &release::AviFile>;
using UniqueAviStream = UniqueHandle<PAVISTREAM, &release::AviStream>;

// A font several owners keep alive: the recorder dialog while it is the caption font, each
// recording that draws with it. Deleted when the last one lets go.
using SharedFont = std::shared_ptr<std::remove_pointer_t<HFONT>>;
inline SharedFont MakeSharedFont(HFONT font) {
    return font ? SharedFont(font, &release::GdiObject) : SharedFont();
}

// A window's own context (GetDC/ReleaseDC), or a device context created by name when no window
// is given (CreateDCA/DeleteDC): the pair that releases it is chosen with the handle.
class SourceDc {
public:
    static SourceDc ForWindow(HWND window) { return SourceDc(window, ::GetDC(window)); }
    static SourceDc ForDisplay() {
        return SourceDc(nullptr, ::CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    }
    SourceDc(const SourceDc&) = delete;
    SourceDc& operator=(const SourceDc&) = delete;
    SourceDc(SourceDc&& other) noexcept
        : m_window(other.m_window), m_dc(std::exchange(other.m_dc, nullptr)) {}
    ~SourceDc() {
        if (!m_dc)
            return;
        if (m_window)
            ::ReleaseDC(m_window, m_dc);
        else
            ::DeleteDC(m_dc);
    }
    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    SourceDc(HWND window, HDC dc) : m_window(window), m_dc(dc) {}
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a context and puts the previous one back when it goes (or at restore()).
class SelectionRestore {
public:
    SelectionRestore(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    SelectionRestore(const SelectionRestore&) = delete;
    SelectionRestore& operator=(const SelectionRestore&) = delete;
    ~SelectionRestore() { restore(); }
    // SelectObject reports failure as null (or HGDI_ERROR for regions).
    bool selected() const { return m_previous != nullptr && m_previous != HGDI_ERROR; }
    void restore() {
        if (selected())
            ::SelectObject(m_dc, std::exchange(m_previous, nullptr));
    }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A locked view of a movable global block; unlocks when it goes.
template <typename T> class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block)
        : m_block(block), m_data(block ? static_cast<T*>(::GlobalLock(block)) : nullptr) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() { unlock(); }
    T* get() const { return m_data; }
    T* operator->() const { return m_data; }
    explicit operator bool() const { return m_data != nullptr; }
    void unlock() {
        if (m_data) {
            ::GlobalUnlock(m_block);
            m_data = nullptr;
        }
    }

private:
    HGLOBAL m_block;
    T* m_data;
};
