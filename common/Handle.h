// Move-only owners for platform handles: one small template, one line per handle kind. Shared
// by the hook library, the framework and the test tools.
#pragma once

#include <windows.h>

#include <utility>

template <typename T, auto Close> class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : m_handle(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, T{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_handle, T{}));
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    T Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != T{}; }
    T Release() noexcept { return std::exchange(m_handle, T{}); }
    void Reset(T handle = T{}) noexcept {
        T old = std::exchange(m_handle, handle);
        if (old != T{}) {
            Close(old);
        }
    }
    // For APIs that return the handle through an out parameter; drops what was held.
    T* Put() noexcept {
        Reset();
        return &m_handle;
    }

private:
    T m_handle{};
};

inline void CloseRegKey(HKEY key) noexcept {
    RegCloseKey(key);
}
inline void CloseMenu(HMENU menu) noexcept {
    DestroyMenu(menu);
}
inline void CloseFind(HANDLE find) noexcept {
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
}
inline void CloseKernelHandle(HANDLE handle) noexcept {
    CloseHandle(handle);
}
inline void CloseHook(HHOOK hook) noexcept {
    UnhookWindowsHookEx(hook); // a hook the system already dropped is gone anyway
}
inline void FreeLocal(wchar_t* text) noexcept {
    LocalFree(text);
}

inline void CloseIcon(HICON icon) noexcept {
    DestroyIcon(icon);
}
inline void CloseGdiObject(HGDIOBJ object) noexcept {
    DeleteObject(object);
}
inline void CloseWindowHandle(HWND window) noexcept {
    DestroyWindow(window);
}

using UniqueRegKey = UniqueHandle<HKEY, CloseRegKey>;
using UniqueMenu = UniqueHandle<HMENU, CloseMenu>;
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
using UniqueHook = UniqueHandle<HHOOK, CloseHook>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, CloseGdiObject>;
using UniqueIcon = UniqueHandle<HICON, CloseIcon>; // not for shared (LR_SHARED) icons
using UniqueWindow = UniqueHandle<HWND, CloseWindowHandle>;
using UniqueLocalText = UniqueHandle<wchar_t*, FreeLocal>;

// Holds one reference to a COM interface.
template <typename I> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    I* Get() const noexcept { return m_p; }
    I* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void Reset() noexcept {
        if (I* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    // Address for a creating call; the caller has dropped any earlier reference first.
    I** Put() noexcept {
        Reset();
        return &m_p;
    }

private:
    I* m_p = nullptr;
};
