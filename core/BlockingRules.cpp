#include "BlockingRules.h"
#include "TouchpadRules.h"

namespace quelvant::core {

std::wstring ToHex(std::uint32_t value, bool upperCase) {
    const wchar_t* digits = upperCase ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::wstring FormatMouseErrorMessage(std::uint32_t lastError, std::wstring_view systemText) {
    std::wstring message = L"Could not Disable Selected Mouse Functionality.\n\nLast Error ";
    message += ToHex(lastError, false);
    message += L"\n\n";
    message += systemText;
    return message;
}

std::wstring TrimSystemMessage(std::wstring_view message) {
    std::wstring text(message);
    if (text.size() >= 2 && text.back() == L'\n') {
        text.pop_back();
        if (text.back() == L'\r') {
            text.pop_back();
        }
    }
    return text;
}

std::wstring FallbackErrorText(std::uint32_t code) {
    if (code > 0x80040200u && code <= 0x8004FFFFu) {
        return L"IDispatch error #" + std::to_wstring(code - 0x80040200u);
    }
    return L"Unknown error 0x" + ToHex(code, true);
}

std::wstring FormatTouchpadErrorMessage(bool on, std::uint32_t lastError,
                                        std::wstring_view systemText) {
    std::wstring message = on ? L"Could not Enable Touchpad." : L"Could not Disable Touchpad.";
    message += L"\n\nLast Error ";
    message += ToHex(lastError, false);
    message += L"\n\n";
    message += systemText;
    return message;
}

std::wstring FormatTouchpadErrorLine(bool on, std::wstring_view systemText) {
    std::wstring line = on ? L"Could not Enable Touchpad: " : L"Could not Disable Touchpad: ";
    line += systemText;
    return line;
}

} // namespace quelvant::core
