#include "AutoStartRules.h"

namespace quelvant::core {

std::wstring ComposeRunEntry(std::wstring_view programPath) {
    return L"\"" + std::wstring(programPath) + L"\" " + std::wstring(kSilentWord);
}

std::optional<std::wstring> DecodeRunValue(std::uint32_t type, const std::uint8_t* data,
                                           std::size_t size) {
    constexpr std::uint32_t kRegSz = 1;
    constexpr std::uint32_t kRegExpandSz = 2;
    constexpr std::size_t kUnitBytes = 2; // the registry holds UTF-16 code units
    if (type != kRegSz && type != kRegExpandSz) {
        return std::nullopt;
    }
    if (size == 0) {
        return std::wstring();
    }
    if (data == nullptr || size % kUnitBytes != 0 || size > kRunValueCapacity * kUnitBytes) {
        return std::nullopt;
    }
    const std::size_t units = size / kUnitBytes;
    std::wstring text(units, L'\0');
    for (std::size_t i = 0; i < units; ++i) {
        text[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    if (text.back() != L'\0') {
        return std::nullopt;
    }
    // Up to the first NUL, as the text would be read as a C string.
    text.resize(text.find(L'\0'));
    return text;
}

std::wstring StripSilentWord(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t found = text.find(kSilentWord, pos);
        if (found == std::wstring_view::npos) {
            result.append(text.substr(pos));
            break;
        }
        result.append(text.substr(pos, found - pos));
        pos = found + kSilentWord.size();
    }
    return result;
}

std::wstring RunEntryLookupPath(std::wstring_view text) {
    std::wstring path = StripSilentWord(text);
    while (!path.empty() && path.back() == L' ') {
        path.pop_back();
    }
    // No file name holds a quote, so no text that was looked up as it stands is changed here.
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        return path.substr(1, path.size() - 2);
    }
    return path;
}

} // namespace quelvant::core
