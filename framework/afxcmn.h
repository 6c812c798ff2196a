// Control wrappers and helpers beyond windows and dialogs: the hot-key control and the file
// look-up.
#pragma once

#include "afxwin.h"

class CHotKeyCtrl : public CWnd {
public:
    void SetHotKey(WORD wVirtualKeyCode, WORD wModifiers) const noexcept;
    void GetHotKey(WORD& wVirtualKeyCode, WORD& wModifiers) const noexcept;
    // The combination as the platform's control names it: the modifier keys and the key,
    // each named by the keyboard layout, joined with " + ".
    CString GetHotKeyName() const;
    static CString GetKeyName(UINT vk, BOOL fExtended);
};

// Whether a file or folder of a given name exists; the search handle is closed with the object.
class CFileFind {
public:
    BOOL FindFile(const wchar_t* pstrName);
    void Close() noexcept { m_find.Reset(); }

private:
    UniqueHandle<HANDLE, CloseFind> m_find{INVALID_HANDLE_VALUE};
};
