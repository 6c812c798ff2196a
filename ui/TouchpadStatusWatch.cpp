#include "TouchpadStatusWatch.h"

#include "TouchpadState.h"

namespace quelvant::ui {

void TouchpadStatusWatch::Start(HWND window, UINT message) noexcept {
    if (m_wait != nullptr) {
        return;
    }
    m_window = window;
    m_message = message;
    m_changed.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_changed || ::RegOpenKeyExW(HKEY_CURRENT_USER, kTouchpadStatusKey, 0, KEY_NOTIFY,
                                      m_key.Put()) != ERROR_SUCCESS) {
        Stop();
        return;
    }
    Rearm();
    // A wait of the system's pool: it sleeps until the value changes, so nothing wakes at rest.
    if (!::RegisterWaitForSingleObject(&m_wait, m_changed.Get(), &Changed, this, INFINITE,
                                       WT_EXECUTEINWAITTHREAD)) {
        m_wait = nullptr;
        Stop();
    }
}

void TouchpadStatusWatch::Rearm() noexcept {
    // The same handle each time: closing a watched key would signal its event.
    if (m_key) {
        ::RegNotifyChangeKeyValue(m_key.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, m_changed.Get(),
                                  TRUE);
    }
}

void TouchpadStatusWatch::Stop() noexcept {
    if (m_wait != nullptr) {
        ::UnregisterWaitEx(m_wait, INVALID_HANDLE_VALUE); // waits for a callback under way
        m_wait = nullptr;
    }
    m_key.Reset();
    m_changed.Reset();
}

void CALLBACK TouchpadStatusWatch::Changed(PVOID context, BOOLEAN /*timedOut*/) noexcept {
    const auto& watch = *static_cast<const TouchpadStatusWatch*>(context);
    ::PostMessageW(watch.m_window, watch.m_message, 0, 0);
}

} // namespace quelvant::ui
