#include "VoiceLanguage.h"

namespace quelvant::core {

namespace {
// The primary language: the low ten bits of a LANGID.
constexpr std::uint16_t kPrimaryMask = 0x3FF;

// One piece of the attribute as a LANGID, or 0 when it is not one.
std::uint16_t ParseLanguageId(std::wstring_view piece) noexcept {
    while (!piece.empty() && piece.front() == L' ') {
        piece.remove_prefix(1);
    }
    while (!piece.empty() && piece.back() == L' ') {
        piece.remove_suffix(1);
    }
    if (piece.empty() || piece.size() > 4) {
        return 0;
    }
    std::uint16_t value = 0;
    for (const wchar_t c : piece) {
        unsigned digit = 0;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<unsigned>(c - L'0');
        } else if (c >= L'a' && c <= L'f') {
            digit = static_cast<unsigned>(c - L'a' + 10);
        } else if (c >= L'A' && c <= L'F') {
            digit = static_cast<unsigned>(c - L'A' + 10);
        } else {
            return 0;
        }
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}
} // namespace

VoiceFit FitOfVoice(std::wstring_view languageAttribute, std::uint16_t language) noexcept {
    if ((language & kPrimaryMask) == 0) {
        return VoiceFit::None;
    }
    VoiceFit best = VoiceFit::None;
    for (;;) {
        const std::size_t end = languageAttribute.find(L';');
        const std::uint16_t id = ParseLanguageId(languageAttribute.substr(0, end));
        if (id == language) {
            return VoiceFit::Exact;
        }
        if (id != 0 && (id & kPrimaryMask) == (language & kPrimaryMask)) {
            best = VoiceFit::SameLanguage;
        }
        if (end == std::wstring_view::npos) {
            return best;
        }
        languageAttribute.remove_prefix(end + 1);
    }
}

} // namespace quelvant::core
