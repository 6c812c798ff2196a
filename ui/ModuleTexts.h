// The program's texts from its own string table, in the language the system's loader picked
// for the user (English where the program has none of the user's).
#pragma once

#include "Ports.h"
#include "TextTable.h"

#include <string>

namespace quelvant::ui {

std::wstring LoadText(core::TextId id);

// The same as a port, for the core's rules where no window is at hand.
class ModuleTexts final : public core::TextSource {
public:
    std::wstring Text(core::TextId id) override { return LoadText(id); }
};

} // namespace quelvant::ui
