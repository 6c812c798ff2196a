#include "LiveRegion.h"

#include "Handle.h"

#include <oleacc.h>

namespace quelvant::ui {

namespace {
// Spelled out so that nothing but ole32 is needed to reach the annotation service.
constexpr CLSID kClsidAccPropServices = {
    0xB5F8350B, 0x0548, 0x48B1, {0xA6, 0xEE, 0x88, 0xBD, 0x00, 0xB4, 0xA5, 0xE7}};
constexpr IID kIidIAccPropServices = {
    0x6E26E776, 0x04F0, 0x495D, {0x80, 0xE4, 0x33, 0x30, 0x35, 0x2E, 0x31, 0x69}};
constexpr GUID kLiveSettingProperty = {
    0xC12BCD8E, 0x2A8E, 0x4950, {0x8A, 0xE7, 0x36, 0x25, 0x11, 0x1D, 0x58, 0xEB}};
constexpr LONG kLiveSettingPolite = 1;
} // namespace

bool MakeLiveRegion(HWND control) noexcept {
    if (control == nullptr) {
        return false;
    }
    ComPtr<IAccPropServices> services;
    if (FAILED(::CoCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidIAccPropServices,
                                  reinterpret_cast<void**>(services.Put())))) {
        return false;
    }
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kLiveSettingPolite;
    // The annotation stays with the window; the service object need not.
    return SUCCEEDED(services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                           kLiveSettingProperty, polite));
}

void RaiseLiveRegionChanged(HWND control) noexcept {
    if (control != nullptr) {
        ::NotifyWinEvent(kEventLiveRegionChanged, control, OBJID_CLIENT, CHILDID_SELF);
    }
}

} // namespace quelvant::ui
