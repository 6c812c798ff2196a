// The program's entry: the single-instance rule, the reset word, and the dialog put together
// with the real adapters.
#include "QuelvantApp.h"

#include "StartupTrace.h"

#include "HelperHookPort.h"
#include "LockCommand.h"
#include "LockHandOver.h"
#include "ModuleTexts.h"
#include "ProfileSettingsStore.h"
#include "QuelvantDlg.h"
#include "RegistryPolicy.h"
#include "RegistryRunList.h"
#include "SettingsTable.h"
#include "StartupDecision.h"
#include "SystemTouchpad.h"

namespace quelvant::app {

using namespace core;

CQuelvantApp theApp;

namespace {

// How long a start waits for the window of an instance that started at the same moment.
constexpr ULONGLONG kWaitForRunningDialogMs = 10000;
constexpr DWORD kLookAgainMs = 50;

// Whoever holds this mutex is the running instance: two starts at the same moment, before
// either has a window, so give one dialog.
class InstanceLock {
public:
    explicit InstanceLock(const CString& title)
        : m_mutex(::CreateMutexW(nullptr, FALSE, MutexName(title).c_str())) {}
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock() {
        if (m_owned && m_mutex) {
            ::ReleaseMutex(m_mutex.Get());
        }
    }

    // Waits up to timeoutMs to become the running instance. Without a mutex (it could not be
    // made) only the window look-up decides.
    bool Take(DWORD timeoutMs) {
        if (!m_owned) {
            const DWORD result =
                m_mutex ? ::WaitForSingleObject(m_mutex.Get(), timeoutMs) : WAIT_OBJECT_0;
            // Abandoned: the holder ended without letting go, which is as good as a release.
            m_owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        }
        return m_owned;
    }

private:
    // One name per desktop: an instance on another desktop is not ours to bring forward.
    static CString MutexName(const CString& title) {
        wchar_t desktop[256] = {};
        DWORD needed = 0;
        const HDESK handle = ::GetThreadDesktop(::GetCurrentThreadId());
        if (handle == nullptr ||
            !::GetUserObjectInformationW(handle, UOI_NAME, desktop,
                                         sizeof(desktop) - sizeof(wchar_t), &needed)) {
            desktop[0] = L'\0';
        }
        CString name = L"Local\\" + title + L".Instance.";
        for (const wchar_t* c = desktop; *c != L'\0'; ++c) {
            name.push_back(*c == L'\\' ? L'_' : *c); // no backslash after the namespace
        }
        return name;
    }

    UniqueKernelHandle m_mutex;
    bool m_owned = false;
};

// The running instance's main dialog: a dialog-class window with the application title, or
// the owner of such a box of ours. Another program's window of that title (a folder window
// showing the folder the program was unpacked into) is not it.
HWND FindRunningDialog(const CString& title) {
    const HWND found = ::FindWindowExW(nullptr, nullptr, L"#32770", title.c_str());
    return found != nullptr ? ::GetAncestor(found, GA_ROOTOWNER) : nullptr;
}

// The box of a lock command that is refused or not understood.
void LockBox(TextId text) {
    ::MessageBoxW(nullptr, ui::LoadText(text).c_str(), ui::LoadText(TextId::LockBoxCaption).c_str(),
                  MB_ICONERROR);
}

// How long a lock command waits for the running instance to take it.
constexpr UINT kHandOverTimeoutMs = 10000;

// Hands "/lock SECONDS" or "/unlock" to the running dialog; its answer is the exit code.
int HandOver(HWND running, const LockCommand& command) {
    LockHandOver handOver = ToHandOver(command);
    COPYDATASTRUCT data{kLockHandOverTag, sizeof handOver, &handOver};
    DWORD_PTR answer = kLockExitNoAnswer;
    if (!::SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_NORMAL, kHandOverTimeoutMs, &answer)) {
        return kLockExitNoAnswer;
    }
    return static_cast<int>(answer);
}

} // namespace

BOOL CQuelvantApp::InitInstance() {
    startup_trace::Mark("InitInstance entered");
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    startup_trace::Mark("common controls");

    CWinApp::InitInstance();

    // A lock command is checked before anything else happens: a bad one changes nothing.
    const LockCommand lockCommand = ParseLockCommand(m_lpCmdLine);
    if (lockCommand.kind == LockCommandKind::Bad) {
        LockBox(TextId::LockUsage);
        m_nExitCode = kLockExitUsage;
        return FALSE;
    }
    if (lockCommand.kind == LockCommandKind::Lock &&
        !adapters::RegistryPolicy().Read().allowTimedLock) {
        LockBox(TextId::LockForbidden);
        m_nExitCode = kLockExitForbidden;
        return FALSE;
    }

    InstanceLock lock(m_strAppName);
    HWND running = FindRunningDialog(m_strAppName);
    // An instance that holds the lock but shows no window yet started a moment ago: wait for
    // its window, or for it to end without one.
    const ULONGLONG deadline = ::GetTickCount64() + kWaitForRunningDialogMs;
    while (running == nullptr && !lock.Take(kLookAgainMs) && ::GetTickCount64() < deadline) {
        running = FindRunningDialog(m_strAppName);
    }
    // No window of ours by the deadline: the holder hangs; this start goes ahead rather than
    // end unseen.
    if (lockCommand.kind != LockCommandKind::None && ::IsWindow(running)) {
        m_nExitCode = HandOver(running, lockCommand);
        if (m_nExitCode == kLockExitForbidden) {
            LockBox(TextId::LockForbidden);
        }
        return FALSE;
    }
    if (lockCommand.kind == LockCommandKind::Unlock) {
        return FALSE; // nothing runs, so no lock is in force
    }
    const StartupAction action = DecideStartup(::IsWindow(running) != FALSE, m_lpCmdLine);
    if (action == StartupAction::ActivateRunningInstance) {
        ::ShowWindow(running, SW_RESTORE);
        ::ShowWindow(running, SW_SHOW);
        ::SetActiveWindow(running);
        ::SetForegroundWindow(running);
        return FALSE;
    }
    startup_trace::Mark("single-instance check");

    // COM comes with the window, after its first paint: neither the reset nor anything
    // before the first paint needs it.
    AfxEnableControlContainer();

    SetRegistryKey(L"AppData");

    const CorePorts ports{adapters::HelperHookPort(), adapters::ProfileSettingsStore(),
                          adapters::SystemTouchpad(), adapters::RegistryPolicy(),
                          adapters::RegistryRunList()};
    ui::CQuelvantDlg dlg(ports);
    if (lockCommand.kind == LockCommandKind::Lock) {
        dlg.LockAtStart(lockCommand.seconds);
    }
    if (action == StartupAction::ResetSettings) {
        // The success is told only when the store took every value and auto start is off.
        if (dlg.ResetSettings()) {
            AfxMessageBox(ui::LoadText(TextId::ResetDone).c_str(), 0, 0);
        } else {
            AfxMessageBox(ui::LoadText(TextId::ResetFailed).c_str(), MB_ICONERROR, 0);
        }
    } else {
        m_pMainWnd = &dlg;
        startup_trace::Mark("ports and dialog object");
        dlg.DoModal();
        m_pMainWnd = nullptr;
        // However the dialog ended, the touchpad it switched off is switched on again.
        dlg.GiveTouchpadBack();
    }
    return FALSE;
}

} // namespace quelvant::app
