#include "AccessibleAnnotations.h"

namespace quelvant::ui {

namespace {
// Spelled out so that nothing but ole32 is needed to reach the annotation service.
constexpr CLSID kClsidAccPropServices = {
    0xB5F8350B, 0x0548, 0x48B1, {0xA6, 0xEE, 0x88, 0xBD, 0x00, 0xB4, 0xA5, 0xE7}};
constexpr IID kIidIAccPropServices = {
    0x6E26E776, 0x04F0, 0x495D, {0x80, 0xE4, 0x33, 0x30, 0x35, 0x2E, 0x31, 0x69}};
constexpr GUID kLiveSettingProperty = {
    0xC12BCD8E, 0x2A8E, 0x4950, {0x8A, 0xE7, 0x36, 0x25, 0x11, 0x1D, 0x58, 0xEB}};
constexpr GUID kNameProperty = { // PROPID_ACC_NAME
    0x608D3DF8,
    0x8128,
    0x4AA7,
    {0xA4, 0x28, 0xF5, 0x5E, 0x49, 0x26, 0x72, 0x91}};
constexpr GUID kDescriptionProperty = { // PROPID_ACC_DESCRIPTION
    0x4D48DFE4,
    0xBD3F,
    0x491F,
    {0xA6, 0x48, 0x49, 0x2D, 0x6F, 0x20, 0xC5, 0x88}};
constexpr LONG kLiveSettingPolite = 1;
} // namespace

void RaiseLiveRegionChanged(HWND control) noexcept {
    if (control != nullptr) {
        ::NotifyWinEvent(kEventLiveRegionChanged, control, OBJID_CLIENT, CHILDID_SELF);
    }
}

bool CAccessibleAnnotations::Start() noexcept {
    if (m_services) {
        return true;
    }
    if (FAILED(::CoCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidIAccPropServices,
                                  reinterpret_cast<void**>(m_services.Put())))) {
        m_services.Reset();
        return false;
    }
    return true;
}

bool CAccessibleAnnotations::MakeLiveRegion(HWND control) noexcept {
    if (!m_services || control == nullptr) {
        return false;
    }
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kLiveSettingPolite;
    return SUCCEEDED(m_services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT),
                                             CHILDID_SELF, kLiveSettingProperty, polite)) &&
           Remember(control, kLiveSettingProperty);
}

bool CAccessibleAnnotations::SetName(HWND control, const wchar_t* text) noexcept {
    if (!m_services || control == nullptr) {
        return false;
    }
    return SUCCEEDED(m_services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                                CHILDID_SELF, kNameProperty, text)) &&
           Remember(control, kNameProperty);
}

bool CAccessibleAnnotations::SetDescription(HWND control, const wchar_t* text) noexcept {
    if (!m_services || control == nullptr) {
        return false;
    }
    return SUCCEEDED(m_services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                                CHILDID_SELF, kDescriptionProperty, text)) &&
           Remember(control, kDescriptionProperty);
}

bool CAccessibleAnnotations::Remember(HWND control, const GUID& property) noexcept {
    for (Annotated& slot : m_annotated) {
        if (slot.control == control && ::IsEqualGUID(slot.property, property)) {
            return true;
        }
    }
    for (Annotated& slot : m_annotated) {
        if (slot.control == nullptr) {
            slot = {control, property};
            return true;
        }
    }
    return true; // more than the dialog ever sets: it goes with the window all the same
}

void CAccessibleAnnotations::Clear() noexcept {
    for (Annotated& slot : m_annotated) {
        if (slot.control != nullptr && m_services) {
            const MSAAPROPID property = slot.property;
            m_services->ClearHwndProps(slot.control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                       &property, 1);
        }
        slot = {};
    }
}

} // namespace quelvant::ui
