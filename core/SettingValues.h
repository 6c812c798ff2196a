// The value of every stored setting as the core holds it, one for each row of the settings
// table: what the dialog shows and what is stored or brought into force.
#pragma once

#include "SettingsTable.h"
#include "StoredSettingValue.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelvant::core {

class SettingValues {
public:
    using Values = std::array<StoredSettingValue, kSettingCount>;

    const StoredSettingValue& Get(int index) const { return m_values[index]; }
    // Taken as its kind keeps it: a word keeps its low 16 bits, a switch any number.
    void Set(int index, const StoredSettingValue& value);
    const Values& All() const noexcept { return m_values; }

    // A switch or a word, and a text.
    std::int32_t Number(int index) const { return m_values[index].number; }
    bool On(int index) const { return m_values[index].number != 0; }
    const std::wstring& Text(int index) const { return m_values[index].text; }
    void SetNumber(int index, std::int32_t number) { Set(index, {number, {}}); }
    void SetText(int index, const std::wstring& text) { m_values[index].text = text; }

    // Every switch as its box shows it, taken at each choice as the boxes' state was: ticked is
    // 1, whatever number loaded ticked it.
    void AsShown();

private:
    Values m_values{};
};

// A row's value when nothing is stored, and after a reset.
StoredSettingValue DefaultValue(const SettingDef& setting);

} // namespace quelvant::core
