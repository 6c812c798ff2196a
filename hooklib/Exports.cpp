// The two exports, the library entry point, and the unload hand-shake with the hook thread.
#define HELPER_BUILDING_DLL
#include "Helper.h"

#include "HookLibrary.h"

// ---- The unload hand-shake ----
//
// When the library is unloaded while the process goes on, the hook thread may be running the
// library's code this moment (a hook call in flight, messages in its queue), and that code is
// about to be unmapped. So the thread must be out of the library's code before the entry
// point returns. The states, in order:
// 1. Asked to leave. The unloading thread, holding the loader lock, bars the watchdog's
//    re-installs (installing a hook takes that lock) and posts the ask with an event of its own.
// 2. Parked. The hook thread removes its hooks, destroys its sink, and in one system call
//    signals the event and enters an alertable wait on itself, which never ends the wait by
//    itself and stays valid should the system renew the wait, signal included. From here on
//    it runs none of the library's code. The unloading thread waits for the signal, bounded:
//    the bound covers a hook call that waits on this very thread.
// 3. Ended. The unloading thread queues two APCs, which the parked thread runs in its wait
//    as soon as the loader lets it: CloseHandle of the event (closed there, not by the
//    unloading thread, since a renewed wait on a closed handle would end back in the library's
//    code), then ExitThread.

namespace {

constexpr DWORD kParkBoundMs = 2500; // above Wine's 2 s for a hook call in flight

// Casts a system function of one pointer-sized argument to an APC.
template <class Function> PAPCFUNC AsApc(Function* function) noexcept {
    return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(function));
}

// The unloading thread's side: states 1 and 3. Runs under the loader lock.
void AskToLeaveAndEnd() noexcept {
    UniqueKernelHandle parked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    InterlockedExchange(&g_HookManager.m_unloading, 1);
    const bool parkedInTime = parked &&
                              PostThreadMessageW(g_HookManager.m_hookThread.id, kAskToLeaveMessage,
                                                 0, reinterpret_cast<LPARAM>(parked.Get())) &&
                              WaitForSingleObject(parked.Get(), kParkBoundMs) == WAIT_OBJECT_0;
    if (parkedInTime) {
        QueueUserAPC(AsApc(&CloseHandle), g_HookManager.m_hookThread.thread.Get(),
                     reinterpret_cast<ULONG_PTR>(parked.Release()));
    } else {
        // The thread did not answer: its hooks go from here, so that no new call of them
        // begins, and the event stays open, since the thread may still reach for it.
        parked.Release();
        g_HookManager.m_hMouseHook.Reset();
        g_HookManager.m_hKeyboardHook.Reset();
    }
    QueueUserAPC(AsApc(&ExitThread), g_HookManager.m_hookThread.thread.Get(), 0);
}

} // namespace

// The hook thread's side: state 2.
void ParkForUnload(HANDLE parked) noexcept {
    SignalObjectAndWait(parked, GetCurrentThread(), INFINITE, TRUE);
    for (;;) {
        SleepEx(INFINITE, TRUE); // only if the hand-shake failed; the APC still ends us
    }
}

// ---- Exports and entry point ----

namespace {

int Call(HookRequest request, DWORD* dwLastError) noexcept {
    CallOnHookThread(request);
    if (request.result == 0 && dwLastError != nullptr) {
        *dwLastError = request.error;
    }
    return request.result;
}

} // namespace

HELPER_API int GlobalDisableMouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected) {
    return Call({HookKind::Mouse, wFilter, false, bAllowInjected, GetCurrentThreadId()},
                &dwLastError);
}

HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected) {
    // A lock's seconds fill the low bits, so its flag is read before the touchpad's bits.
    const KeyboardWord keyboard = DecodeKeyboardWord(bDisable);
    if (keyboard.act == KeyboardAct::Plain && (bDisable & HELPER_TOUCHPAD_REQUEST) != 0) {
        HookRequest request{HookKind::Touchpad, 0, false, 0, GetCurrentThreadId()};
        request.touchpadOff = (bDisable & HELPER_TOUCHPAD_HOLD_OFF) != 0;
        DWORD error = 0;
        const int result = Call(request, &error);
        if (result == 0) {
            SetLastError(error);
        }
        return result;
    }
    HookRequest request{HookKind::Keyboard, 0, bDisable != 0, bAllowInjected, GetCurrentThreadId()};
    request.keyboard = keyboard;
    return Call(request, nullptr);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_HookManager.m_hModule = hInstance;
    } else if (dwReason == DLL_PROCESS_DETACH) {
        if (g_HookManager.m_hookThread.thread && lpReserved == nullptr) {
            AskToLeaveAndEnd(); // unloaded while the process goes on
        }
        // At process exit the system has ended every other thread: the hooks go from here.
        g_HookManager.m_hMouseHook.Reset();
        g_HookManager.m_hKeyboardHook.Reset();
        g_HookManager.m_hookThread = {};
    }
    return TRUE;
}
