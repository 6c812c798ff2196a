#include "VoiceChoice.h"

#include "Handle.h"
#include "VoiceLanguage.h"

namespace quelvant::ui {

namespace {
// The speech service's token category, which lists the installed voices.
constexpr CLSID kClsidSpObjectTokenCategory = {
    0xA910187F, 0x0C7A, 0x45AC, {0x92, 0xCC, 0x59, 0xED, 0xAF, 0xB7, 0x7B, 0x53}};

// Text the speech service allocated, freed with CoTaskMemFree.
struct CoTaskText {
    wchar_t* text = nullptr;
    CoTaskText() noexcept = default;
    CoTaskText(const CoTaskText&) = delete;
    CoTaskText& operator=(const CoTaskText&) = delete;
    ~CoTaskText() { ::CoTaskMemFree(text); }
};

// How well a voice's token fits the language: its Language attribute sits in the token's
// Attributes subkey.
core::VoiceFit FitOfToken(ISpObjectToken* token, LANGID language) noexcept {
    ComPtr<ISpDataKey> attributes;
    CoTaskText value;
    if (token == nullptr || FAILED(token->OpenKey(L"Attributes", attributes.Put())) ||
        !attributes || FAILED(attributes->GetStringValue(L"Language", &value.text)) ||
        value.text == nullptr) {
        return core::VoiceFit::None;
    }
    return core::FitOfVoice(value.text, language);
}

// The first token of the category that fits better than `kept`, best first; `kept` becomes
// its fit. SAPI lists only tokens with the required attributes; Wine 8 ignores them and lists
// all, so each token's own language is read as well.
ComPtr<ISpObjectToken> BetterToken(ISpObjectTokenCategory* category, const wchar_t* required,
                                   LANGID language, core::VoiceFit& kept) noexcept {
    ComPtr<ISpObjectToken> chosen;
    ComPtr<IEnumSpObjectTokens> tokens;
    if (FAILED(category->EnumTokens(required, nullptr, tokens.Put())) || !tokens) {
        return chosen;
    }
    for (;;) {
        ComPtr<ISpObjectToken> token;
        ULONG fetched = 0;
        if (tokens->Next(1, token.Put(), &fetched) != S_OK || fetched != 1 || !token) {
            return chosen;
        }
        const core::VoiceFit fit = FitOfToken(token.Get(), language);
        if (core::FitsBetter(fit, kept)) {
            kept = fit;
            chosen = std::move(token);
            if (kept == core::VoiceFit::Exact) {
                return chosen;
            }
        }
    }
}

} // namespace

// One table serves German, Austrian and Swiss users alike, so any region of the language keeps
// the user's own voice.
void ChooseVoiceFor(ISpVoice* voice, LANGID language) noexcept {
    if (language == 0) {
        return;
    }
    core::VoiceFit kept = core::VoiceFit::None;
    {
        ComPtr<ISpObjectToken> current;
        if (SUCCEEDED(voice->GetVoice(current.Put()))) {
            kept = FitOfToken(current.Get(), language);
        }
    }
    if (kept != core::VoiceFit::None) {
        return;
    }
    ComPtr<ISpObjectTokenCategory> category;
    if (FAILED(::CoCreateInstance(kClsidSpObjectTokenCategory, nullptr, CLSCTX_ALL,
                                  __uuidof(ISpObjectTokenCategory),
                                  reinterpret_cast<void**>(category.Put()))) ||
        !category || FAILED(category->SetId(SPCAT_VOICES, FALSE))) {
        return;
    }
    // A voice of the very language first ("Language=407", as SpFindBestToken asks), else any
    // voice of the same language with another region.
    wchar_t required[32] = {};
    ::wsprintfW(required, L"Language=%X", static_cast<unsigned>(language));
    ComPtr<ISpObjectToken> chosen = BetterToken(category.Get(), required, language, kept);
    if (kept != core::VoiceFit::Exact) {
        if (ComPtr<ISpObjectToken> other = BetterToken(category.Get(), nullptr, language, kept)) {
            chosen = std::move(other);
        }
    }
    if (chosen) {
        voice->SetVoice(chosen.Get());
    }
}

} // namespace quelvant::ui
