// The status line as a live region: screen readers read its new text as it changes, while
// the dialog has the focus, whether or not Audible Alerts is on.
#pragma once

#include <windows.h>

namespace quelvant::ui {

// Windows 8 and later raise and understand it; older systems ignore it. Our headers target
// Windows 7, so the value is written out.
constexpr DWORD kEventLiveRegionChanged = 0x8019; // EVENT_OBJECT_LIVEREGIONCHANGED

// Marks the control as a polite live region; false where the system cannot (nothing else
// changes then).
bool MakeLiveRegion(HWND control) noexcept;

// Tells screen readers that the live region's text has changed.
void RaiseLiveRegionChanged(HWND control) noexcept;

} // namespace quelvant::ui
