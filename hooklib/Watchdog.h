// The watchdog of the hook thread: a hook the system dropped without a word installed anew.
#pragma once

#include <windows.h>

#include "Handle.h"
#include "HookWatchdog.h"

// A message-only window that receives raw keyboard input even for keys the hook discards.
void CloseRawInputSink(HWND sink) noexcept;
using UniqueRawInputSink = UniqueHandle<HWND, CloseRawInputSink>;

// Notices a hook that the system dropped without a word (a procedure that once overran the
// platform's time-out, say): it installs a suspect anew, silently, and tells the caller only
// when removing the old hook proves that the system had removed it. Lives on the hook thread,
// ticked by a thread timer of its own, at the pace of NextPeriodMs.
class Watchdog {
public:
    Watchdog() noexcept;
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Forgets what was seen and ticks at the short pace: after a request, or after the thread
    // stood still.
    void Restart() noexcept;
    // The thread whose windows hear of a restored hook: the last caller of an export.
    void AnnounceTo(DWORD thread) noexcept { announceTo_ = thread; }
    // A message for the watchdog (raw input for its sink): true when it was one and has been
    // handled.
    bool Take(const MSG& msg) noexcept;
    void Tick() noexcept;
    // Ticks when a period has gone by since the last tick, whatever message brought the thread
    // round: a stream of raw input can hold the timer's WM_TIMER back for seconds.
    void TickIfDue() noexcept;

private:
    // Forgets the intervals but not what a re-install taught.
    void ForgetIntervals() noexcept;
    // Ticks every periodMs from now on; anew: the next tick a whole period from now even when
    // the pace stays.
    void Pace(DWORD periodMs, bool anew = false) noexcept;

    HookActivity recent_[3]{};
    WatchdogMemory memory_{};
    bool keyTyped_ = false;
    DWORD lastInput_ = 0;
    POINT lastPointer_{};
    bool pointerKnown_ = false; // lastPointer_ is a read since the last restart
    DWORD lastTick_ = 0;
    UINT_PTR timer_ = 0;
    DWORD periodMs_ = kActivePeriodMs;
    DWORD announceTo_ = 0;
    UINT restoredMessage_ = 0;
    UniqueRawInputSink sink_;
#ifdef QUELVANT_INSTALL_SEAM
    // Test builds only: kinds the next tick suspects whatever it saw, and who hears the outcome.
    WatchdogVerdict planned_{};
    DWORD plannedBy_ = 0;
    UINT seamMessage_ = 0;
#endif
};
