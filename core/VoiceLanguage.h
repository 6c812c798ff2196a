// Which installed speech voice suits the language Quelvant's texts are in. A voice names its
// languages in its token's Language attribute: hex language ids separated by ';' ("409;9").
#pragma once

#include <cstdint>
#include <string_view>

namespace quelvant::core {

// How well a voice fits the texts, best last: a voice of the very language, one of the same
// language with another region (a German voice of Austria for German texts), or none.
enum class VoiceFit { None, SameLanguage, Exact };

// The fit of a voice whose Language attribute is given, for texts in `language` (a LANGID).
// Pieces that are not hex ids, or are empty, are skipped; an absent language (0) fits nothing.
VoiceFit FitOfVoice(std::wstring_view languageAttribute, std::uint16_t language) noexcept;

// Whether a candidate replaces the one kept so far: only a strictly better fit does, so the
// first of equally fitting voices stays.
inline bool FitsBetter(VoiceFit candidate, VoiceFit kept) noexcept {
    return static_cast<int>(candidate) > static_cast<int>(kept);
}

} // namespace quelvant::core
