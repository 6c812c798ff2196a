// Auto start at logon: what its box shows and what a click on it writes or deletes in the
// user's Run list, told through the RunList port. Platform-free.
#pragma once

#include "Ports.h"

#include <optional>

namespace quelvant::core {

class AutoStartControl {
public:
    explicit AutoStartControl(RunList& list) noexcept : m_list(list) {}

    // Ticked only when the entry is found, reads as text and names an existing file; a Run
    // list that cannot be opened leaves the box clear. Reading never writes.
    bool Enabled();

    // What a change ends in: the box as the Run list now holds it, and the error to tell
    // (none when the list holds what was asked).
    struct Outcome {
        bool ticked = false;
        std::optional<TextId> error;
    };
    // Writes this program's entry (quoted path and the silent word) or deletes it, then reads
    // the list back: neither the write nor the delete reports back.
    Outcome Change(bool enable);

private:
    RunList& m_list;
};

} // namespace quelvant::core
