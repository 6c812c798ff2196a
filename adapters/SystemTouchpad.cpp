// The system's precision touchpad as it reads: SPI_GETTOUCHPADPARAMETERS where it works, else
// the state the system keeps in the user's profile. It is switched through the hook library.
#include "SystemTouchpad.h"

#include <windows.h>

#include "TouchpadRules.h"
#include "TouchpadState.h"

namespace quelvant::adapters {

namespace {

#ifdef QUELVANT_TOUCHPAD_SEAM
// Test builds only (bin/touchpadseam, never shipped): SPI_GETTOUCHPADPARAMETERS as a system of
// 24H2 has it, for a touchpad whose presence is "Present" under the test's key
// (HKCU\Software\Quelvant.Seam\Touchpad) and whose state is the system's Status value, which
// the stand-in system keeps.
// Without "Present" the call fails as Wine's does. As documented, a write ignores
// touchpadEnabled: only the toggle switches.
constexpr const wchar_t* kSeamKey = L"Software\\Quelvant.Seam\\Touchpad";

BOOL WINAPI SeamSystemParameters(UINT action, UINT uiParam, PVOID pvParam, UINT /*fWinIni*/) {
    DWORD present = 0;
    DWORD size = sizeof present;
    auto* parameters = static_cast<TouchpadParameters*>(pvParam);
    if (RegGetValueW(HKEY_CURRENT_USER, kSeamKey, L"Present", RRF_RT_REG_DWORD, nullptr, &present,
                     &size) != ERROR_SUCCESS) {
        SetLastError(core::kTouchpadCallUnsupported);
        return FALSE;
    }
    if (uiParam != sizeof(TouchpadParameters) || parameters == nullptr ||
        parameters->versionNumber != kTouchpadParametersVersion1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (action == kSpiGetTouchpadParameters) {
        DWORD enabled = 1;
        size = sizeof enabled;
        RegGetValueW(HKEY_CURRENT_USER, kTouchpadStatusKey, L"Enabled", RRF_RT_REG_DWORD, nullptr,
                     &enabled, &size);
        *parameters = TouchpadParameters{};
        parameters->versionNumber = kTouchpadParametersVersion1;
        parameters->touchpadPresent = present != 0 ? 1 : 0;
        parameters->touchpadEnabled = enabled != 0 ? 1 : 0;
    }
    return TRUE;
}

constexpr TouchpadParametersFn kSystemParameters = SeamSystemParameters;
#else
constexpr TouchpadParametersFn kSystemParameters = ::SystemParametersInfoW;
#endif

class SystemTouchpadReader final : public core::TouchpadReader {
public:
    bool Read(core::TouchpadReading& reading, std::uint32_t& error) override {
        DWORD code = 0;
        if (!ReadTouchpadState(kSystemParameters, reading.present, reading.enabled, code)) {
            error = code;
            return false;
        }
        return true;
    }
};

} // namespace

core::TouchpadReader& SystemTouchpad() {
    static SystemTouchpadReader touchpad;
    return touchpad;
}

} // namespace quelvant::adapters
