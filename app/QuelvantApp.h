// The application object: start-up, the single-instance rule and the reset word.
#pragma once

#include "afxwin.h"

namespace quelvant::app {

class CQuelvantApp : public CWinApp {
public:
    CQuelvantApp() noexcept = default;
    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

private:
    // A lock command's outcome (LockCommand.h); 0 for every other start.
    int m_nExitCode = 0;
};

extern CQuelvantApp theApp;

} // namespace quelvant::app
