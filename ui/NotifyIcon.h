// The program's icon in the notification area (Shell_NotifyIconW, version 4): its picture and
// tip kept so that it can be added again when Explorer starts anew or changes its scale.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "Handle.h"
#include "resource.h"

#include <array>
#include <string>

namespace quelvant::ui {

class NotifyIcon {
public:
    // Sent to the owner: version 4 puts the event in LOWORD(lParam) (NIN_SELECT, NIN_KEYSELECT,
    // WM_CONTEXTMENU, ...) and the anchor point, in screen coordinates, in wParam.
    static constexpr UINT kCallbackMessage = WM_NOTIFY_ICON;
    static constexpr UINT kId = 1;

    NotifyIcon() = default;
    NotifyIcon(const NotifyIcon&) = delete;
    NotifyIcon& operator=(const NotifyIcon&) = delete;
    ~NotifyIcon() { Remove(); }

    // Adds the icon, or changes picture (an icon resource, shown in the small size) and tip
    // where they changed. An add that fails (no taskbar yet, at logon) is tried again on
    // "TaskbarCreated".
    void Show(HWND owner, UINT picture, const std::wstring& tip);
    // "TaskbarCreated": Explorer started anew and knows no icon of ours, or its scale or layout
    // changed and it still holds it. The pictures are loaded again at the new scale.
    void AddAgain();
    void Remove();
    // Hands the keyboard focus back to the notification area after a menu was cancelled.
    void GiveFocusBack();

private:
    NOTIFYICONDATAW Data(UINT flags) const;
    bool Add();
    bool Place();
    HICON Picture(UINT id);

    HWND m_owner = nullptr;
    UINT m_picture = 0;
    HICON m_icon = nullptr;
    std::wstring m_tip;
    bool m_added = false;
    // The pictures shown so far at the current scale, by resource id.
    std::array<std::pair<UINT, UniqueIcon>, 2> m_pictures;
};

// The registered message Explorer broadcasts to every top-level window when its taskbar is
// (re)created.
UINT TaskbarCreatedMessage();

} // namespace quelvant::ui
