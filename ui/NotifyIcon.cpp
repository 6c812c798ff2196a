#include "NotifyIcon.h"

#include "afxwin.h"

#include <shellapi.h>

#include <algorithm>
#include <utility>

namespace quelvant::ui {

namespace {

// The small icon's size at the notification area's scale: the taskbar's own DPI (per monitor
// and current) where the system says it (Windows 10 1607 and later), else the size for the
// DPI the session started with.
int SmallIconSize(HWND owner) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto dpiForWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
    const auto metricForDpi = reinterpret_cast<int(WINAPI*)(int, UINT)>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "GetSystemMetricsForDpi")));
    if (dpiForWindow != nullptr && metricForDpi != nullptr) {
        const HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
        if (const UINT dpi = dpiForWindow(taskbar != nullptr ? taskbar : owner); dpi != 0) {
            return metricForDpi(SM_CXSMICON, dpi);
        }
    }
    return ::GetSystemMetrics(SM_CXSMICON);
}

} // namespace

UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

NOTIFYICONDATAW NotifyIcon::Data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_owner;
    data.uID = kId;
    data.uFlags = flags;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = m_icon;
    // Cut to what the structure holds, closing NUL included.
    const std::size_t length = std::min(m_tip.size(), std::size(data.szTip) - 1);
    std::copy_n(m_tip.c_str(), length, data.szTip);
    return data;
}

// Not shared (LR_SHARED keeps the first size loaded): each scale gets pictures of its own.
HICON NotifyIcon::Picture(UINT id) {
    for (auto& [loaded, icon] : m_pictures) {
        if (icon && loaded == id) {
            return icon.Get();
        }
    }
    for (auto& [loaded, icon] : m_pictures) {
        if (!icon) {
            const wchar_t* name = MAKEINTRESOURCEW(id);
            const int size = SmallIconSize(m_owner);
            icon.Reset(static_cast<HICON>(::LoadImageW(AfxFindResourceHandle(name, RT_GROUP_ICON),
                                                       name, IMAGE_ICON, size, size, 0)));
            loaded = id;
            return icon.Get();
        }
    }
    return nullptr;
}

bool NotifyIcon::Add() {
    // Version 4 shows the standard tip only when asked for (NIF_SHOWTIP).
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    if (!::Shell_NotifyIconW(NIM_ADD, &data)) {
        return false;
    }
    data.uVersion = NOTIFYICON_VERSION_4;
    ::Shell_NotifyIconW(NIM_SETVERSION, &data);
    return true;
}

// Explorer refuses to add an icon it already holds (after "TaskbarCreated" for a new scale or
// layout): that icon is changed in place instead.
bool NotifyIcon::Place() {
    if (Add()) {
        return true;
    }
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void NotifyIcon::Show(HWND owner, UINT picture, const std::wstring& tip) {
    const bool same = m_added && owner == m_owner && picture == m_picture && tip == m_tip;
    m_owner = owner;
    m_picture = picture;
    m_icon = Picture(picture);
    m_tip = tip;
    if (same) {
        return;
    }
    if (m_added) {
        NOTIFYICONDATAW data = Data(NIF_ICON | NIF_TIP | NIF_SHOWTIP);
        if (::Shell_NotifyIconW(NIM_MODIFY, &data)) {
            return;
        }
    }
    m_added = Place();
}

void NotifyIcon::AddAgain() {
    if (m_owner == nullptr) {
        return;
    }
    // The old pictures go once the notification area has the new ones.
    const auto old = std::exchange(m_pictures, {});
    m_icon = Picture(m_picture);
    m_added = Place();
}

void NotifyIcon::Remove() {
    if (m_added) {
        NOTIFYICONDATAW data = Data(0);
        ::Shell_NotifyIconW(NIM_DELETE, &data);
        m_added = false;
    }
}

void NotifyIcon::GiveFocusBack() {
    if (m_added) {
        NOTIFYICONDATAW data = Data(0);
        ::Shell_NotifyIconW(NIM_SETFOCUS, &data);
    }
}

} // namespace quelvant::ui
