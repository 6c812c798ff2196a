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

std::wstring FormatMouseErrorMessage(TextSource& texts, std::uint32_t lastError,
                                     std::wstring_view systemText) {
    return texts.Fill(TextId::MouseErrorMessage, {ToHex(lastError, false), systemText});
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

std::wstring FallbackErrorText(TextSource& texts, std::uint32_t code) {
    if (code > 0x80040200u && code <= 0x8004FFFFu) {
        return texts.Fill(TextId::IdispatchError, {std::to_wstring(code - 0x80040200u)});
    }
    return texts.Fill(TextId::UnknownError, {ToHex(code, true)});
}

std::wstring FormatTouchpadErrorMessage(TextSource& texts, bool on, std::uint32_t lastError,
                                        std::wstring_view systemText) {
    return texts.Fill(on ? TextId::TouchpadEnableErrorMessage : TextId::TouchpadDisableErrorMessage,
                      {ToHex(lastError, false), systemText});
}

std::wstring FormatTouchpadErrorLine(TextSource& texts, bool on, std::wstring_view systemText) {
    return texts.Fill(on ? TextId::TouchpadEnableErrorLine : TextId::TouchpadDisableErrorLine,
                      {systemText});
}

} // namespace quelvant::core
