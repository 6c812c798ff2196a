// Filling a text's variable parts, in the placeholder style of Windows' own messages. Platform-
// free.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quelvant::core {

// %1 to %9 become the first to ninth argument, in whatever order the text names them, and %%
// a single %. A placeholder without an argument, and any other %, stay as they are; what an
// argument brings in is never read as a placeholder (a system message may hold "%1").
std::wstring FillText(std::wstring_view pattern, std::initializer_list<std::wstring_view> args);

// A control's text as a name in a sentence: without its access-key mark, "&" before the letter
// or, as East Asian texts put it, "(&L)" after the words (which goes whole); "&&" is an "&".
std::wstring WithoutAccessKey(std::wstring_view text);

} // namespace quelvant::core
