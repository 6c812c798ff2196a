// Composing and reading back the program's entry in the user's Run list. Platform-free.
#pragma once

#include "TextTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quelvant::core {

inline constexpr std::wstring_view kSilentWord = L":silent";
// Characters the read-back takes at most, terminating NUL included: the longest path the
// system knows (32767), quoted and followed by the word, with room to spare. Anything longer
// cannot name a file, and the bound keeps an odd value from costing unbounded memory.
inline constexpr std::size_t kRunValueCapacity = 32767 + 256;

// The program path in double quotes, then " :silent". Unquoted, a path with blanks would let
// the system try "C:\Program.exe" and the like first.
std::wstring ComposeRunEntry(std::wstring_view programPath);

// The text of a stored value, or nothing when it does not count: a type other than REG_SZ (1)
// or REG_EXPAND_SZ (2), an odd size, more than the read-back holds, or no closing NUL.
// A size of 0 is the empty text.
std::optional<std::wstring> DecodeRunValue(std::uint32_t type, const std::uint8_t* data,
                                           std::size_t size);

// Removes every ":silent" (case-sensitive, left to right); the blank before it stays.
std::wstring StripSilentWord(std::wstring_view text);

// The path to look up for a read-back text: the word removed, trailing blanks ignored, and
// the quotes taken off a path that is quoted as a whole (as the program writes it).
std::wstring RunEntryLookupPath(std::wstring_view text);

// Told when the Run list, read back after a change, does not hold what the user asked for.
constexpr TextId AutoStartFailedText(bool enable) noexcept {
    return enable ? TextId::AutoStartEnableFailed : TextId::AutoStartDisableFailed;
}

} // namespace quelvant::core
