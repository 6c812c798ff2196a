// Which installed voice speaks Quelvant's texts when no screen reader does.
#pragma once

#include <windows.h>

#include <sapi.h>

namespace quelvant::ui {

// Keeps the user's default voice when it speaks the texts' language, whatever its region; else
// sets the installed voice that fits the language best. Any failure keeps the voice as it is.
void ChooseVoiceFor(ISpVoice* voice, LANGID language) noexcept;

} // namespace quelvant::ui
