// A watch on the touchpad's Status value, so that a toggle the system takes late is noticed:
// each change posts a message to the dialog, which looks at the touchpad again and re-arms.
#pragma once

#include <windows.h>

#include "Handle.h"

namespace quelvant::ui {

class TouchpadStatusWatch {
public:
    TouchpadStatusWatch() = default;
    TouchpadStatusWatch(const TouchpadStatusWatch&) = delete;
    TouchpadStatusWatch& operator=(const TouchpadStatusWatch&) = delete;
    ~TouchpadStatusWatch() { Stop(); }

    // Starts watching, once; nothing when the value's key does not exist (yet).
    void Start(HWND window, UINT message) noexcept;
    // After each notice, on the thread that started it: the registry's watch is one-shot.
    void Rearm() noexcept;
    void Stop() noexcept;

private:
    static void CALLBACK Changed(PVOID context, BOOLEAN timedOut) noexcept;

    UniqueRegKey m_key;
    UniqueKernelHandle m_changed;
    HANDLE m_wait = nullptr;
    HWND m_window = nullptr;
    UINT m_message = 0;
};

} // namespace quelvant::ui
