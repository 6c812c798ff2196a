// The program's icon on its windows: the large picture, and the icon's own small picture for
// the title bar and taskbar rather than the large one shrunk.
#pragma once

#include "afxwin.h"

#include "resource.h"

namespace quelvant::ui {

inline HICON LoadMainIcon() {
    const wchar_t* iconName = MAKEINTRESOURCEW(IDR_MAINFRAME);
    return ::LoadIconW(AfxFindResourceHandle(iconName, RT_GROUP_ICON), iconName);
}

inline void SetMainIcons(const CWnd& window, HICON bigIcon) {
    const wchar_t* iconName = MAKEINTRESOURCEW(IDR_MAINFRAME);
    const HANDLE smallIcon =
        ::LoadImageW(AfxFindResourceHandle(iconName, RT_GROUP_ICON), iconName, IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    ::SendMessageW(window.m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    ::SendMessageW(window.m_hWnd, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(smallIcon != nullptr ? smallIcon : bigIcon));
}

} // namespace quelvant::ui
