// The watchdog: notices a hook that the system dropped and installs it anew; its raw-input sink.
#include "Helper.h"
#include "HookLibrary.h"

namespace {

constexpr DWORD kStallMs = 4 * Watchdog::kPeriodMs; // a later tick means this thread stood still
constexpr wchar_t kSinkClass[] = L"QuelvantHookThread";

DWORD LastInputTime() noexcept {
    LASTINPUTINFO info{sizeof info, 0};
    return GetLastInputInfo(&info) ? info.dwTime : 0;
}

// Where the pointer stands; on a desktop that is not ours the system does not say, and the
// last known place stays.
POINT PointerAt(POINT known) noexcept {
    POINT now;
    return GetCursorPos(&now) ? now : known;
}

constexpr DWORD kUnreadableIntegrity = 0xFFFFFFFF; // above every mandatory level

// The mandatory integrity level of a token: the last part of its label's SID.
DWORD IntegrityOf(HANDLE token) noexcept {
    alignas(TOKEN_MANDATORY_LABEL) unsigned char label[128];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenIntegrityLevel, label, sizeof label, &size)) {
        return kUnreadableIntegrity;
    }
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
    const UCHAR parts = *GetSidSubAuthorityCount(sid);
    return parts != 0 ? *GetSidSubAuthority(sid, parts - 1u) : kUnreadableIntegrity;
}

DWORD IntegrityOfProcess(HANDLE process) noexcept {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return kUnreadableIntegrity; // an elevated process keeps its token from us
    }
    const UniqueKernelHandle owner(token);
    return IntegrityOf(token);
}

bool HasUiAccess() noexcept {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    const UniqueKernelHandle owner(token);
    DWORD uiAccess = 0;
    DWORD size = 0;
    return GetTokenInformation(token, TokenUIAccess, &uiAccess, sizeof uiAccess, &size) &&
           uiAccess != 0;
}

// Compares desktops by name: the handles of one desktop differ from open to open.
bool SameDesktop(HDESK a, HDESK b) noexcept {
    wchar_t nameA[64]{};
    wchar_t nameB[64]{};
    DWORD size = 0;
    return GetUserObjectInformationW(a, UOI_NAME, nameA, sizeof nameA, &size) &&
           GetUserObjectInformationW(b, UOI_NAME, nameB, sizeof nameB, &size) &&
           lstrcmpiW(nameA, nameB) == 0;
}

void CloseDesktopHandle(HDESK desktop) noexcept {
    CloseDesktop(desktop);
}
using UniqueDesktop = UniqueHandle<HDESK, CloseDesktopHandle>;

// Receives raw keyboard input even for keys the hook discards: it tells typing apart from a
// mouse hook the system dropped.
HWND CreateRawInputSink() noexcept {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW; // not ours: nothing of the library is called on teardown
    wc.hInstance = g_hModule;
    wc.lpszClassName = kSinkClass;
    RegisterClassExW(&wc); // fails harmlessly when a former hook thread registered it
    const HWND sink = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      g_hModule, nullptr);
    if (sink != nullptr) {
        RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_INPUTSINK, sink}; // generic desktop, keyboard
        RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
    }
    return sink;
}

} // namespace

void CloseRawInputSink(HWND sink) noexcept {
    RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_REMOVE, nullptr};
    RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
    DestroyWindow(sink);
}

Watchdog::Watchdog() noexcept
    : ownIntegrity_(IntegrityOfProcess(GetCurrentProcess())), uiAccess_(HasUiAccess()),
      restoredMessage_(RegisterWindowMessageW(HELPER_RESTORED_MESSAGE)),
      sink_(CreateRawInputSink()) {
    Restart();
}

void Watchdog::Restart() noexcept {
    memory_ = {};
    ForgetIntervals();
}

void Watchdog::ForgetIntervals() noexcept {
    for (HookActivity& interval : recent_) {
        interval = {};
    }
    g_mouseSeen = g_keySeen = keyTyped_ = false;
    lastInput_ = LastInputTime();
    lastPointer_ = PointerAt(lastPointer_);
    lastTick_ = GetTickCount();
}

// A handful of calls that each return at once: no message is sent, no other thread is waited
// for. Only made on a tick whose intervals point at a dropped hook.
HookReach Watchdog::LookWhereInputWent() const noexcept {
    HookReach reach;
    const UniqueDesktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
    reach.foreignDesktop =
        !input || !SameDesktop(input.Get(), GetThreadDesktop(GetCurrentThreadId()));
    DWORD process = 0;
    if (const HWND foreground = GetForegroundWindow();
        !uiAccess_ && foreground != nullptr &&
        GetWindowThreadProcessId(foreground, &process) != 0 && process != GetCurrentProcessId()) {
        const UniqueKernelHandle other(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
        reach.foregroundOutOfReach = !other || IntegrityOfProcess(other.Get()) > ownIntegrity_;
    }
    return reach;
}

bool Watchdog::TakeRawInput(const MSG& msg) noexcept {
    if (msg.message != WM_INPUT) {
        return false;
    }
    keyTyped_ = true;
    DispatchMessageW(&msg); // the system frees the raw input's buffer in DefWindowProc
    return true;
}

DWORD Watchdog::Due() const noexcept {
    const DWORD elapsed = GetTickCount() - lastTick_;
    return elapsed >= kPeriodMs ? 0 : kPeriodMs - elapsed;
}

void Watchdog::Tick() noexcept {
    const DWORD now = GetTickCount();
    if (now - lastTick_ > kStallMs) {
        // This thread stood still: events may have gone by unseen with the hooks in place.
        Restart();
        return;
    }
    lastTick_ = now;
    const DWORD lastInput = LastInputTime();
    const POINT pointer = PointerAt(lastPointer_);
    recent_[2] = recent_[1];
    recent_[1] = recent_[0];
    recent_[0] = {lastInput != lastInput_, g_mouseSeen, g_keySeen, keyTyped_,
                  pointer.x != lastPointer_.x || pointer.y != lastPointer_.y};
    lastInput_ = lastInput;
    lastPointer_ = pointer;
    g_mouseSeen = g_keySeen = keyTyped_ = false;

    // Installing a hook takes the loader lock, which an unload holds while it waits for us.
    if (InterlockedCompareExchange(&g_unloading, 0, 0) != 0) {
        return;
    }
    const WatchdogVerdict suspects =
        SuspectHooks(recent_, static_cast<bool>(g_HookManager.m_hMouseHook),
                     static_cast<bool>(g_HookManager.m_hKeyboardHook));
    const WatchdogVerdict verdict = ConfirmDrops(
        suspects, recent_, suspects.Any() ? LookWhereInputWent() : HookReach{}, memory_);
    WPARAM restored = 0;
    DWORD ignored = 0;
    if (verdict.mouseDropped && ReplaceHook(HookKind::Mouse, ignored)) {
        restored |= HELPER_RESTORED_MOUSE;
    }
    if (verdict.keyboardDropped && ReplaceHook(HookKind::Keyboard, ignored)) {
        restored |= HELPER_RESTORED_KEYBOARD;
    }
    if (restored == 0) {
        return;
    }
    ForgetIntervals();
    PostToThreadWindows(announceTo_, restoredMessage_, restored);
}
