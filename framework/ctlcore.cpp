#include "afxcmn.h"

void CHotKeyCtrl::SetHotKey(WORD wVirtualKeyCode, WORD wModifiers) const noexcept {
    SendMessage(HKM_SETHOTKEY, MAKEWORD(LOBYTE(wVirtualKeyCode), LOBYTE(wModifiers)), 0);
}

void CHotKeyCtrl::GetHotKey(WORD& wVirtualKeyCode, WORD& wModifiers) const noexcept {
    const DWORD value = static_cast<DWORD>(SendMessage(HKM_GETHOTKEY));
    wVirtualKeyCode = LOBYTE(LOWORD(value));
    wModifiers = HIBYTE(LOWORD(value));
}

CString CHotKeyCtrl::GetKeyName(UINT vk, BOOL fExtended) {
    LONG scan = static_cast<LONG>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    if (fExtended) {
        scan |= 0x01000000L;
    }
    wchar_t name[64] = {};
    const int length = ::GetKeyNameTextW(scan, name, static_cast<int>(std::size(name)));
    return CString(name, static_cast<size_t>(length > 0 ? length : 0));
}

CString CHotKeyCtrl::GetHotKeyName() const {
    WORD key = 0;
    WORD modifiers = 0;
    GetHotKey(key, modifiers);
    CString name;
    if (key == 0 && modifiers == 0) {
        return name;
    }
    constexpr const wchar_t* kPlus = L" + ";
    if ((modifiers & HOTKEYF_CONTROL) != 0) {
        name += GetKeyName(VK_CONTROL, FALSE) + kPlus;
    }
    if ((modifiers & HOTKEYF_SHIFT) != 0) {
        name += GetKeyName(VK_SHIFT, FALSE) + kPlus;
    }
    if ((modifiers & HOTKEYF_ALT) != 0) {
        name += GetKeyName(VK_MENU, FALSE) + kPlus;
    }
    name += GetKeyName(key, (modifiers & HOTKEYF_EXT) != 0);
    return name;
}

BOOL CFileFind::FindFile(const wchar_t* pstrName) {
    Close();
    if (pstrName == nullptr || *pstrName == L'\0') {
        return FALSE;
    }
    WIN32_FIND_DATAW data{};
    m_find.Reset(::FindFirstFileW(pstrName, &data));
    return m_find.Get() != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}
