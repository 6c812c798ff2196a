// The application object: start-up, the single-instance rule and the reset word.
#pragma once

#include "afxwin.h"

namespace quelvant::app {

class CQuelvantApp : public CWinApp {
public:
    CQuelvantApp() noexcept = default;
    BOOL InitInstance() override;
};

extern CQuelvantApp theApp;

} // namespace quelvant::app
