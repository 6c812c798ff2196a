// The precision touchpad's state as the system reports it, read the same way by the hook
// library (which switches it) and by the program (which shows and keeps it).
#pragma once

#include <windows.h>

#include "TouchpadParameters.h"

// Where the system keeps the state of its "Touchpad" switch: Enabled, 1 on and 0 off. The
// hardware guideline of the toggle button names it as read-only.
inline constexpr const wchar_t* kTouchpadStatusKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\PrecisionTouchPad\\Status";

using TouchpadParametersFn = BOOL(WINAPI*)(UINT action, UINT uiParam, PVOID pvParam, UINT fWinIni);

// SPI_GETTOUCHPADPARAMETERS where the system has it (Windows 11 24H2 and later), else the
// Status value. Neither readable: no precision touchpad, with the first read's error.
inline bool ReadTouchpadState(TouchpadParametersFn parametersCall, bool& present, bool& enabled,
                              DWORD& error) noexcept {
    TouchpadParameters parameters{};
    parameters.versionNumber = kTouchpadParametersVersion1;
    if (parametersCall(kSpiGetTouchpadParameters, sizeof parameters, &parameters, 0)) {
        present = parameters.touchpadPresent != 0;
        enabled = parameters.touchpadEnabled != 0;
        return true;
    }
    error = GetLastError();
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kTouchpadStatusKey, L"Enabled", RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS) {
        return false;
    }
    present = true;
    enabled = value != 0;
    return true;
}
