// What screen readers learn of the dialog beyond its controls' own texts: the status line as a
// live region whose name is the status itself, and the managed line's name and description.
// Annotations go through the system's annotation service, kept for the window's life; what was
// set is cleared when the window goes, as Microsoft's annotation sample does.
#pragma once

#include "Handle.h"

#include <windows.h>

#include <oleacc.h>

#include <array>

namespace quelvant::ui {

// Windows 8 and later raise and understand it; older systems ignore it. Our headers target
// Windows 7, so the value is written out.
constexpr DWORD kEventLiveRegionChanged = 0x8019; // EVENT_OBJECT_LIVEREGIONCHANGED

// Tells screen readers that the live region's text has changed; any thread may call it.
void RaiseLiveRegionChanged(HWND control) noexcept;

class CAccessibleAnnotations {
public:
    CAccessibleAnnotations() noexcept = default;
    CAccessibleAnnotations(const CAccessibleAnnotations&) = delete;
    CAccessibleAnnotations& operator=(const CAccessibleAnnotations&) = delete;
    ~CAccessibleAnnotations() { Clear(); }

    // Creates the service on the calling thread (COM initialised); false where the system has
    // none, after which every call does nothing.
    bool Start() noexcept;
    bool Started() const noexcept { return static_cast<bool>(m_services); }

    // Marks the control as a polite live region; false where the system cannot.
    bool MakeLiveRegion(HWND control) noexcept;
    // The name and the description a screen reader reads for the control.
    bool SetName(HWND control, const wchar_t* text) noexcept;
    bool SetDescription(HWND control, const wchar_t* text) noexcept;

    // Every property set so far taken off its control; the service stays.
    void Clear() noexcept;

private:
    bool Remember(HWND control, const GUID& property) noexcept;

    struct Annotated {
        HWND control = nullptr;
        GUID property{};
    };
    ComPtr<IAccPropServices> m_services;
    std::array<Annotated, 8> m_annotated{};
};

} // namespace quelvant::ui
