// Program entry: hands control to the one application object.
#include "afxwin.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;
    }
    app->AfxWinInit(hInstance, lpCmdLine);
    // The program's work happens in its modal dialog inside InitInstance; it returns FALSE and
    // there is no other message loop to run.
    app->InitInstance();
    return app->ExitInstance();
}
