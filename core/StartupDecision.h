// What a start of the program does, decided from two facts alone: is a window with the
// application title there, and does the command line hold the reset word.
#pragma once

#include <string>
#include <string_view>

namespace quelvant::core {

enum class StartupAction {
    ActivateRunningInstance, // bring the running window forward and end
    ResetSettings,           // reset the stored settings, say so, and end
    RunDialog,               // an ordinary start
};

// The reset word is searched for in an upper-cased copy of the command line, anywhere.
inline constexpr std::wstring_view kResetWord = L"<RESET>";

// Upper-cases the ASCII letters only, so the search does not depend on the user's locale.
std::wstring UpperCaseAscii(std::wstring_view text);

bool ContainsResetWord(std::wstring_view commandLine);

// A running instance wins over the reset word: nothing is reset from a second start.
StartupAction DecideStartup(bool runningWindowFound, std::wstring_view commandLine);

} // namespace quelvant::core
