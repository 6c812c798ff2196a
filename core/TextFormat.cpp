#include "TextFormat.h"

namespace quelvant::core {

std::wstring FillText(std::wstring_view pattern, std::initializer_list<std::wstring_view> args) {
    std::wstring text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] == L'%' && next == L'%') {
            text += L'%';
            ++i;
        } else if (pattern[i] == L'%' && next >= L'1' && next <= L'9' &&
                   static_cast<std::size_t>(next - L'1') < args.size()) {
            text += args.begin()[next - L'1'];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

std::wstring WithoutAccessKey(std::wstring_view text) {
    std::wstring name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'(' && i + 3 < text.size() && text[i + 1] == L'&' && text[i + 3] == L')' &&
            text[i + 2] != L'&') {
            i += 3;
        } else if (text[i] != L'&') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == L'&') {
            name += L'&';
            ++i;
        }
    }
    return name;
}

} // namespace quelvant::core
