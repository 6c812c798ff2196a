#include "LockWindow.h"

#include "ModuleTexts.h"
#include "resource.h"

namespace quelvant::ui {

namespace {

constexpr wchar_t kClass[] = L"QuelvantLockWindow";

// The system's message font, scaled by the system as every message box's is.
HFONT MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return nullptr;
    }
    metrics.lfMessageFont.lfWeight = FW_BOLD;
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

} // namespace

void LockWindow::Show(const std::wstring& text) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!m_window) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
        wc.lpszClassName = kClass;
        ::RegisterClassExW(&wc); // fails harmlessly when registered before
        m_window.Reset(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW,
                                         kClass, LoadText(core::TextId::LockWindowTitle).c_str(),
                                         WS_POPUP | WS_BORDER, 0, 0, 0, 0, nullptr, nullptr,
                                         instance, nullptr));
        if (!m_window) {
            return;
        }
        m_font.Reset(MessageFont());
        const HWND label = ::CreateWindowExW(
            0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 0, 0, 0, m_window.Get(),
            reinterpret_cast<HMENU>(IDC_LOCK_TEXT), instance, nullptr);
        if (m_font) {
            ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
        }
        m_text.clear();
    }
    if (text == m_text && ::IsWindowVisible(m_window.Get())) {
        return;
    }
    m_text = text;
    const HWND label = ::GetDlgItem(m_window.Get(), IDC_LOCK_TEXT);
    ::SetWindowTextW(label, text.c_str());

    // As wide as the text, centred at the top of the primary screen's work area.
    RECT textRect{0, 0, 0, 0};
    if (const HDC dc = ::GetDC(label); dc != nullptr) {
        const HGDIOBJ old = m_font ? ::SelectObject(dc, m_font.Get()) : nullptr;
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_CALCRECT | DT_SINGLELINE);
        if (old != nullptr) {
            ::SelectObject(dc, old);
        }
        ::ReleaseDC(label, dc);
    }
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int margin = textRect.bottom - textRect.top;
    const int width = textRect.right - textRect.left + 2 * margin;
    const int height = 2 * margin;
    ::MoveWindow(label, margin, margin / 2, width - 2 * margin, margin, TRUE);
    ::SetWindowPos(m_window.Get(), HWND_TOPMOST, work.left + (work.right - work.left - width) / 2,
                   work.top + margin, width, height, SWP_NOACTIVATE);
    ::ShowWindow(m_window.Get(), SW_SHOWNOACTIVATE);
}

void LockWindow::Hide() {
    m_window.Reset();
    m_text.clear();
}

} // namespace quelvant::ui
