// The small window that shows a lock for cleaning counting down: topmost, above every window,
// and never taking the focus, so that it neither steals keys from nor covers what the user
// was doing. It has no owner, so it stays in sight while the dialog is minimised.
#pragma once

#include "Handle.h"

#include <windows.h>

#include <string>

namespace quelvant::ui {

class LockWindow {
public:
    // Shows the text, creating the window on first use, at the top of the primary screen.
    void Show(const std::wstring& text);
    void Hide();

private:
    UniqueWindow m_window;
    UniqueGdiObject m_font;
    std::wstring m_text;
};

} // namespace quelvant::ui
