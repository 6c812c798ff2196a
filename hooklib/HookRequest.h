// One call of an export, carried out on the hook thread.
#pragma once

#include <windows.h>

#include "LockRequest.h"

enum class HookKind : unsigned char { Mouse, Keyboard, Touchpad };

struct HookRequest {
    HookKind kind;
    WORD mouseFilter;          // GlobalDisableMouse: the filter word, 0 removes the mouse hook
    bool blockKeyboard;        // GlobalDisableKeyboard: bDisable, false removes the keyboard hook
    BOOL passInjected;         // bAllowInjected, for both hooks
    DWORD callerThread;        // whose windows hear of a restored hook
    bool touchpadOff = false;  // a touchpad request: hold it off, or give it back
    int result = 0;            // the export's result
    DWORD error = 0;           // the installing thread's error when result is 0
    bool lastHookGone = false; // no hook is left, so the hook thread ends after this request
    KeyboardWord keyboard{};   // GlobalDisableKeyboard: a lock or the chord's act, else Plain
    bool answerLater = false;  // a touchpad request whose switch waits: answered when it ends

    bool Removes() const noexcept {
        // A touchpad request always needs the thread: giving back may have to switch. Without a
        // thread there is no hook, so nothing to unlock or to let go.
        return kind == HookKind::Mouse              ? mouseFilter == 0
               : kind == HookKind::Touchpad         ? false
               : keyboard.act == KeyboardAct::Plain ? !blockKeyboard
                                                    : keyboard.act != KeyboardAct::Lock;
    }
};
