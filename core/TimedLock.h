// The lock for cleaning: every key and every mouse kind blocked for a set time, started from
// the notification icon's menu or the command line, ended by the hook library on time (or by
// the chord) whatever the dialog's thread does. The user's boxes and store are left as they
// are; what they change meanwhile waits for the end. Platform-free.
#pragma once

#include "BlockingControl.h"
#include "Ports.h"
#include "StoredSettings.h"
#include "TouchpadKeeper.h"

#include <cstdint>

namespace quelvant::core {

// The lengths the notification icon's menu offers.
inline constexpr std::uint32_t kLockMenuSeconds[] = {60, 300, 900};

class TimedLock {
public:
    TimedLock(HookPort& hooks, BlockingControl& blocking, StoredSettings& settings,
              TouchpadKeeper& touchpad, CoreWindow& window) noexcept
        : m_hooks(hooks), m_blocking(blocking), m_settings(settings), m_touchpad(touchpad),
          m_window(window) {}
    TimedLock(const TimedLock&) = delete;
    TimedLock& operator=(const TimedLock&) = delete;

    enum class Start { Started, Forbidden, Failed };
    // Starts a lock of that many seconds (clamped to the allowed range), or gives one in force
    // a new end. Told once; the window counts down by itself.
    Start Begin(std::uint32_t seconds);
    // The library ended the lock by itself (time, chord): what waited is applied.
    void Ended();
    // Ends a lock in force now.
    void End();

    bool Active() const noexcept { return m_active; }
    bool Allowed() const { return m_settings.Policy().allowTimedLock; }

private:
    HookPort& m_hooks;
    BlockingControl& m_blocking;
    StoredSettings& m_settings;
    TouchpadKeeper& m_touchpad;
    CoreWindow& m_window;
    bool m_active = false;
    bool m_touchpadRemembered = false; // the lock's switch of the touchpad is remembered as ours
};

} // namespace quelvant::core
