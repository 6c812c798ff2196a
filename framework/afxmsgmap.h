// The message maps of the thin layer in place of the application framework: a map's rows and
// the macros that declare a class's map and fill it, one per message the program handles.
#pragma once

#include <windows.h>

class CWnd;

// One row of a message map: a message, and for WM_COMMAND a notification code and control
// id. The invoker returns false when the handler asked for the default processing.
using AfxMessageInvoker = bool (*)(CWnd* wnd, WPARAM wParam, LPARAM lParam, LRESULT& result);
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    AfxMessageInvoker pfn;
    // A message numbered at run time (RegisterWindowMessageW): where its number is kept.
    const UINT* pnRegistered = nullptr;
};
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Message map declaration and entries.
#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static constexpr AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, nullptr }                                                                           \
    }                                                                                              \
    ;                                                                                              \
    static constexpr AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, entries};          \
    return &messageMap;                                                                            \
    }

// A command's handler takes no argument, or the id of the control or command, so that one
// handler can serve several boxes.
template <typename T, typename R, typename C>
void AfxCallCommand(T* wnd, R (C::*handler)(), UINT /*id*/) {
    (wnd->*handler)();
}
template <typename T, typename R, typename C>
void AfxCallCommand(T* wnd, R (C::*handler)(UINT), UINT id) {
    (wnd->*handler)(id);
}

#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, 0, static_cast<UINT>(id), [](CWnd* w, WPARAM wp, LPARAM, LRESULT&) {              \
         return w->AfxRunHandler([w, wp] {                                                         \
             AfxCallCommand(static_cast<ThisClass*>(w), &ThisClass::memberFxn, LOWORD(wp));        \
         });                                                                                       \
     }},
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND(id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn)                                                                \
    {WM_COMMAND, EN_CHANGE, static_cast<UINT>(id), [](CWnd* w, WPARAM, LPARAM, LRESULT&) {         \
         return w->AfxRunHandler([w] { static_cast<ThisClass*>(w)->memberFxn(); });                \
     }},

#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn)                                         \
    {0, 0, 0,                                                                                      \
     [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& result) {                                          \
         return w->AfxRunHandler([&] { result = static_cast<ThisClass*>(w)->memberFxn(wp, lp); }); \
     },                                                                                            \
     &nMessageVariable},

// Any message by its number, handled as LRESULT memberFxn(WPARAM, LPARAM).
#define ON_MESSAGE(nMessage, memberFxn)                                                            \
    {static_cast<UINT>(nMessage), 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& result) {       \
         return w->AfxRunHandler([&] { result = static_cast<ThisClass*>(w)->memberFxn(wp, lp); }); \
     }},

#define ON_WM_SYSCOMMAND()                                                                         \
    {WM_SYSCOMMAND, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                            \
         return w->AfxRunHandler(                                                                  \
             [&] { static_cast<ThisClass*>(w)->OnSysCommand(static_cast<UINT>(wp), lp); });        \
     }},
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0, [](CWnd* w, WPARAM, LPARAM, LRESULT&) {                                       \
         return w->AfxRunHandler([w] { static_cast<ThisClass*>(w)->OnPaint(); });                  \
     }},
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, [](CWnd* w, WPARAM, LPARAM, LRESULT& result) {                        \
         return w->AfxRunHandler([&] {                                                             \
             result = reinterpret_cast<LRESULT>(static_cast<ThisClass*>(w)->OnQueryDragIcon());    \
         });                                                                                       \
     }},
#define ON_WM_TIMER()                                                                              \
    {WM_TIMER, 0, 0, [](CWnd* w, WPARAM wp, LPARAM, LRESULT&) {                                    \
         return w->AfxRunHandler([&] { static_cast<ThisClass*>(w)->OnTimer(wp); });                \
     }},
#define ON_WM_HOTKEY()                                                                             \
    {WM_HOTKEY, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                                \
         return w->AfxRunHandler([&] {                                                             \
             static_cast<ThisClass*>(w)->OnHotKey(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));  \
         });                                                                                       \
     }},
#define ON_WM_LBUTTONDOWN()                                                                        \
    {WM_LBUTTONDOWN, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                           \
         return w->AfxRunHandler([&] {                                                             \
             POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};             \
             static_cast<ThisClass*>(w)->OnLButtonDown(static_cast<UINT>(wp), pt);                 \
         });                                                                                       \
     }},
#define ON_WM_CONTEXTMENU()                                                                        \
    {WM_CONTEXTMENU, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                           \
         return w->AfxRunHandler([&] {                                                             \
             POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};             \
             static_cast<ThisClass*>(w)->OnContextMenu(reinterpret_cast<HWND>(wp), pt);            \
         });                                                                                       \
     }},
#define ON_WM_DESTROY()                                                                            \
    {WM_DESTROY, 0, 0, [](CWnd* w, WPARAM, LPARAM, LRESULT&) {                                     \
         return w->AfxRunHandler([w] { static_cast<ThisClass*>(w)->OnDestroy(); });                \
     }},
#define ON_WM_ENDSESSION()                                                                         \
    {WM_ENDSESSION, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                            \
         return w->AfxRunHandler([&] {                                                             \
             static_cast<ThisClass*>(w)->OnEndSession(wp != 0 ? TRUE : FALSE,                      \
                                                      static_cast<UINT>(lp));                      \
         });                                                                                       \
     }},
#define ON_WM_SETTINGCHANGE()                                                                      \
    {WM_SETTINGCHANGE, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp, LRESULT&) {                         \
         return w->AfxRunHandler([&] {                                                             \
             static_cast<ThisClass*>(w)->OnSettingChange(static_cast<UINT>(wp),                    \
                                                         reinterpret_cast<LPCWSTR>(lp));           \
         });                                                                                       \
     }},
