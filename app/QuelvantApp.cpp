#include "QuelvantApp.h"

#include "QuelvantDlg.h"
#include "StartupDecision.h"

CQuelvantApp theApp;

BOOL CQuelvantApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    const HWND running = ::FindWindowW(nullptr, m_strAppName.c_str());
    const StartupAction action = DecideStartup(::IsWindow(running) != FALSE, m_lpCmdLine);
    if (action == StartupAction::ActivateRunningInstance) {
        ::ShowWindow(running, SW_RESTORE);
        ::ShowWindow(running, SW_SHOW);
        ::SetActiveWindow(running);
        ::SetForegroundWindow(running);
        return FALSE;
    }

    AfxEnableControlContainer();
    AfxOleInit();

    SetRegistryKey(L"AppData");

    CQuelvantDlg dlg;
    if (action == StartupAction::ResetSettings) {
        dlg.ResetSettings();
        AfxMessageBox(L"Reset of Settings Done.", 0, 0);
    } else {
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
