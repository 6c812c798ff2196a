// The reset-word search over any command line: it agrees with a plain search that folds ASCII
// letters only, does not care about ASCII case, and finds the word wherever it is put.
//
// Input: insert position (2 bytes), case mask (1 byte), then the command line in UTF-16.
#include "FuzzInput.h"
#include "StartupDecision.h"

using namespace quelvant::core;

namespace {

wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
}

bool PlainSearch(const std::wstring& line) {
    for (std::size_t i = 0; i + kResetWord.size() <= line.size(); ++i) {
        std::size_t j = 0;
        while (j < kResetWord.size() && UpperAscii(line[i + j]) == kResetWord[j]) {
            ++j;
        }
        if (j == kResetWord.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint16_t insertAt = in.Word();
    const std::uint8_t caseMask = in.Byte();
    const std::wstring line = UnitsOf(in.Rest());

    const std::wstring upper = UpperCaseAscii(line);
    FUZZ_REQUIRE(upper.size() == line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        FUZZ_REQUIRE(upper[i] == UpperAscii(line[i]));
    }
    FUZZ_REQUIRE(UpperCaseAscii(upper) == upper);

    const bool found = ContainsResetWord(line);
    FUZZ_REQUIRE(found == PlainSearch(line));
    FUZZ_REQUIRE(found == ContainsResetWord(upper));
    FUZZ_REQUIRE(DecideStartup(true, line) == StartupAction::ActivateRunningInstance);
    FUZZ_REQUIRE(DecideStartup(false, line) ==
                 (found ? StartupAction::ResetSettings : StartupAction::RunDialog));

    // The word in any mix of cases, anywhere in the line, is found.
    std::wstring word(kResetWord);
    for (std::size_t k = 0; k < word.size(); ++k) {
        if ((caseMask >> k) & 1u && word[k] >= L'A' && word[k] <= L'Z') {
            word[k] = static_cast<wchar_t>(word[k] + 0x20);
        }
    }
    std::wstring withWord = line;
    withWord.insert(insertAt % (line.size() + 1), word);
    FUZZ_REQUIRE(ContainsResetWord(withWord));
    FUZZ_REQUIRE(DecideStartup(false, withWord) == StartupAction::ResetSettings);
    FUZZ_REQUIRE(DecideStartup(true, withWord) == StartupAction::ActivateRunningInstance);
    return 0;
}
