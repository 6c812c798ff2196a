#include "TimedLock.h"

#include "LockCommand.h"
#include "LockTexts.h"

#include <algorithm>
#include <utility>

namespace quelvant::core {

TimedLock::Start TimedLock::Begin(std::uint32_t seconds) {
    if (!Allowed()) {
        return Start::Forbidden;
    }
    seconds = std::clamp(seconds, kLockMinSeconds, kLockMaxSeconds);
    // The library switches the touchpad off with everything else; remembered as ours before.
    const bool remembered = !m_active && m_touchpad.RememberForLock();
    if (!m_hooks.Lock(seconds).done) {
        m_touchpad.LockOver(remembered);
        m_window.ShowError(m_window.Text(TextId::LockError));
        return Start::Failed;
    }
    m_touchpadRemembered = m_touchpadRemembered || remembered;
    m_active = true;
    m_blocking.Hold(true);
    m_window.Announce(LockCountdownText(m_window, std::uint64_t{seconds} * 1000));
    return Start::Started;
}

void TimedLock::Ended() {
    if (!m_active) {
        return; // told twice: asked here, then by the library's late message
    }
    m_active = false;
    m_touchpad.LockOver(std::exchange(m_touchpadRemembered, false));
    m_window.Announce(m_window.Text(TextId::LockEnded));
    // What the user changed meanwhile comes into force now, and says so.
    m_blocking.Hold(false);
}

void TimedLock::End() {
    if (!m_active) {
        return;
    }
    m_hooks.Unlock();
    Ended();
}

} // namespace quelvant::core
