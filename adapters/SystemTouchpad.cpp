// The system's touchpad switch: SystemParametersInfoW on TOUCHPAD_PARAMETERS, version 1.
#include "SystemTouchpad.h"

#include "TouchpadParameters.h"
#include "TouchpadRules.h"

#include <windows.h>

namespace quelvant::adapters {

using core::kTouchpadCallUnsupported;

namespace {

using SystemParametersFn = BOOL(WINAPI*)(UINT action, UINT uiParam, PVOID pvParam, UINT fWinIni);

#ifdef QUELVANT_TOUCHPAD_SEAM
// Test builds only (bin/touchpadseam, never shipped): a touchpad that lives in the test's
// registry, under HKCU\Software\Quelvant.Seam\Touchpad, so that it outlives the program as the
// system's switch does. Without a "Present" value the call fails as Wine's does. The call takes
// and gives the structure as the system does; "Flags" keeps the last write's fWinIni.
constexpr const wchar_t* kSeamKey = L"Software\\Quelvant.Seam\\Touchpad";

bool SeamValue(const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kSeamKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

void SetSeamValue(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSeamKey, name, REG_DWORD, &value, sizeof value);
}

BOOL WINAPI SeamSystemParameters(UINT action, UINT uiParam, PVOID pvParam, UINT fWinIni) {
    DWORD present = 0;
    auto* parameters = static_cast<TouchpadParameters*>(pvParam);
    if (!SeamValue(L"Present", present)) {
        SetLastError(kTouchpadCallUnsupported);
        return FALSE;
    }
    if (uiParam != sizeof(TouchpadParameters) || parameters == nullptr ||
        parameters->versionNumber != kTouchpadParametersVersion1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD enabled = 1;
    SeamValue(L"Enabled", enabled);
    if (action == kSpiGetTouchpadParameters) {
        *parameters = TouchpadParameters{};
        parameters->versionNumber = kTouchpadParametersVersion1;
        parameters->touchpadPresent = present != 0 ? 1 : 0;
        parameters->touchpadEnabled = enabled != 0 ? 1 : 0;
        return TRUE;
    }
    SetSeamValue(L"Flags", fWinIni);
    SetSeamValue(L"Enabled", parameters->touchpadEnabled);
    return TRUE;
}

constexpr SystemParametersFn kSystemParameters = SeamSystemParameters;
#else
constexpr SystemParametersFn kSystemParameters = ::SystemParametersInfoW;
#endif

class SystemTouchpadSwitch final : public core::TouchpadSwitch {
public:
    bool Read(core::TouchpadReading& reading, std::uint32_t& error) override {
        TouchpadParameters parameters{};
        if (!Get(parameters, error)) {
            return false;
        }
        reading.present = parameters.touchpadPresent != 0;
        reading.enabled = parameters.touchpadEnabled != 0;
        return true;
    }

    // The user's other touchpad settings are written back as read. No SPIF_UPDATEINIFILE: the
    // change is not written to the user's profile, so it does not outlast the session, and
    // nothing is broadcast.
    bool Switch(bool on, std::uint32_t& error) override {
        TouchpadParameters parameters{};
        if (!Get(parameters, error)) {
            return false;
        }
        parameters.touchpadEnabled = on ? 1 : 0;
        if (!kSystemParameters(kSpiSetTouchpadParameters, sizeof parameters, &parameters, 0)) {
            error = GetLastError();
            return false;
        }
        return true;
    }

private:
    static bool Get(TouchpadParameters& parameters, std::uint32_t& error) {
        parameters = TouchpadParameters{};
        parameters.versionNumber = kTouchpadParametersVersion1;
        if (!kSystemParameters(kSpiGetTouchpadParameters, sizeof parameters, &parameters, 0)) {
            error = GetLastError();
            return false;
        }
        return true;
    }
};

} // namespace

core::TouchpadSwitch& SystemTouchpad() {
    static SystemTouchpadSwitch touchpad;
    return touchpad;
}

} // namespace quelvant::adapters
