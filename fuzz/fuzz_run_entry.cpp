// The read-back of the Run entry over any stored value: what is accepted and what is not, the
// text taken, the removal of the silent word, and that what the program writes reads back as
// the program's path.
//
// Input: value type (1 byte; 0xFF then 4 bytes for any other type), then the value's data.
#include "AutoStartRules.h"
#include "FuzzInput.h"

using namespace quelvant::core;

namespace {

// Left to right, character by character; the word cannot overlap itself, so this removes
// exactly what a search-and-skip removes.
std::wstring PlainStrip(const std::wstring& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, kSilentWord.size(), kSilentWord) == 0) {
            i += kSilentWord.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

std::wstring TrimTrailingBlanks(std::wstring text) {
    while (!text.empty() && text.back() == L' ') {
        text.pop_back();
    }
    return text;
}

void CheckDecode(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    const std::wstring units = UnitsOf(bytes);
    const auto text = DecodeRunValue(type, bytes.data(), bytes.size());

    const bool stringType = type == 1 || type == 2;
    const bool fits = bytes.size() % 2 == 0 && bytes.size() <= kRunValueCapacity * 2;
    const bool terminated = !units.empty() && units.back() == L'\0';
    FUZZ_REQUIRE(text.has_value() == (stringType && (bytes.empty() || (fits && terminated))));
    if (!text) {
        return;
    }
    FUZZ_REQUIRE(text->find(L'\0') == std::wstring::npos);
    FUZZ_REQUIRE(text->size() < kRunValueCapacity);
    // The units up to the first NUL, no more and no fewer.
    FUZZ_REQUIRE(units.compare(0, text->size(), *text) == 0);
    FUZZ_REQUIRE(text->size() == units.size() || units[text->size()] == L'\0');
}

void CheckStrip(const std::wstring& text) {
    const std::wstring stripped = StripSilentWord(text);
    FUZZ_REQUIRE(stripped == PlainStrip(text));
    FUZZ_REQUIRE((text.size() - stripped.size()) % kSilentWord.size() == 0);
    if (text.find(kSilentWord) == std::wstring::npos) {
        FUZZ_REQUIRE(stripped == text);
    }
    const std::wstring lookup = RunEntryLookupPath(text);
    const std::wstring trimmed = TrimTrailingBlanks(stripped);
    if (trimmed.size() >= 2 && trimmed.front() == L'"' && trimmed.back() == L'"') {
        FUZZ_REQUIRE(lookup == trimmed.substr(1, trimmed.size() - 2));
    } else {
        // Every other text is looked up as it was before the program quoted its path.
        FUZZ_REQUIRE(lookup == trimmed);
        FUZZ_REQUIRE(lookup.empty() || lookup.back() != L' ');
    }
}

// What the program writes for a path: the quoted text with its NUL, as REG_SZ.
void CheckRoundTrip(const std::wstring& path) {
    if (path.find(L'\0') != std::wstring::npos || path.find(kSilentWord) != std::wstring::npos) {
        return;
    }
    const std::wstring entry = ComposeRunEntry(path);
    FUZZ_REQUIRE(entry == L"\"" + path + L"\" " + std::wstring(kSilentWord));
    const std::vector<std::uint8_t> stored = BytesOf(entry, true);
    const auto text = DecodeRunValue(1, stored.data(), stored.size());
    if (entry.size() + 1 > kRunValueCapacity) {
        FUZZ_REQUIRE(!text); // longer than the read-back holds
        return;
    }
    FUZZ_REQUIRE(text && *text == entry);
    FUZZ_REQUIRE(RunEntryLookupPath(*text) == path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t type = in.ValueType();
    const std::vector<std::uint8_t> bytes = in.Rest();

    CheckDecode(type, bytes);
    // The text rules see whatever the value holds, NULs and all.
    const std::wstring units = UnitsOf(bytes);
    CheckStrip(units);
    CheckRoundTrip(units);
    return 0;
}
