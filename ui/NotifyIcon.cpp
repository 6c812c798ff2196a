#include "NotifyIcon.h"

#include <shellapi.h>

#include <algorithm>

namespace quelvant::ui {

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

void NotifyIcon::Show(HWND owner, HICON icon, const std::wstring& tip) {
    const bool same = m_added && owner == m_owner && icon == m_icon && tip == m_tip;
    m_owner = owner;
    m_icon = icon;
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
    m_added = Add();
}

void NotifyIcon::AddAgain() {
    if (m_owner != nullptr) {
        m_added = Add();
    }
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
