// Reading the stored settings back from any run of raw values, as the profile reader meets
// them in table order: each setting gets its stored value or its default by the kind rules,
// and what is read back, written again as the program writes it, reads back the same. The
// same bytes as an administrator's policy lock at that value or are not configured.
//
// Input: records of value type (1 byte; 0xFF then 4 bytes for any other type), data size
// (2 bytes, little-endian, cut to what is left) and data, for the settings in table order,
// starting over after the last.
#include "FuzzInput.h"
#include "SettingsPolicy.h"
#include "StoredSettingValue.h"

using namespace quelvant::core;

namespace {

std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

void CheckSetting(const SettingDef& setting, std::uint32_t type,
                  const std::vector<std::uint8_t>& bytes) {
    const StoredSettingValue value = DecodeStoredSetting(setting, type, bytes.data(), bytes.size());

    const bool isNumber = type == kStoredTypeNumber && bytes.size() == 4;
    const std::uint32_t number =
        isNumber ? static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) |
                       (static_cast<std::uint32_t>(bytes[3]) << 24)
                 : static_cast<std::uint32_t>(setting.defaultValue);

    switch (setting.kind) {
    case SettingKind::Bool:
        FUZZ_REQUIRE(value.number == static_cast<std::int32_t>(number));
        FUZZ_REQUIRE(value.text.empty());
        break;
    case SettingKind::Word:
        FUZZ_REQUIRE(value.number >= 0 && value.number <= 0xFFFF);
        FUZZ_REQUIRE(value.number == static_cast<std::int32_t>(number & 0xFFFFu));
        FUZZ_REQUIRE(value.text.empty());
        break;
    case SettingKind::String: {
        FUZZ_REQUIRE(value.number == 0);
        FUZZ_REQUIRE(value.text.find(L'\0') == std::wstring::npos);
        if (type != kStoredTypeText) {
            FUZZ_REQUIRE(value.text.empty());
            break;
        }
        const std::wstring units = UnitsOf(bytes);
        FUZZ_REQUIRE(units.compare(0, value.text.size(), value.text) == 0);
        FUZZ_REQUIRE(value.text.size() == units.size() || units[value.text.size()] == L'\0');
        break;
    }
    }

    // An administrator's policy of the same bytes locks at the value the user's store reads, or
    // is not configured: of another type, or out of the setting's range.
    if (const auto policy = DecodePolicyValue(setting, type, bytes.data(), bytes.size())) {
        FUZZ_REQUIRE(*policy == value);
        FUZZ_REQUIRE(setting.kind != SettingKind::Bool || policy->number == 0 ||
                     policy->number == 1);
        FUZZ_REQUIRE(policy->text.size() <= kPolicyTextMax);
    } else {
        FUZZ_REQUIRE(!isNumber || setting.kind == SettingKind::String ||
                     number > (setting.kind == SettingKind::Bool ? 1u : setting.highest));
    }

    // Stored again the way the program stores it, the value reads back unchanged.
    const std::vector<std::uint8_t> rewritten =
        setting.kind == SettingKind::String ? BytesOf(value.text, true)
                                            : DwordBytes(static_cast<std::uint32_t>(value.number));
    const std::uint32_t rewrittenType =
        setting.kind == SettingKind::String ? kStoredTypeText : kStoredTypeNumber;
    FUZZ_REQUIRE(DecodeStoredSetting(setting, rewrittenType, rewritten.data(), rewritten.size()) ==
                 value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::size_t index = 0;
    do {
        const SettingDef& setting = kSettings[index];
        index = (index + 1) % kSettingCount;
        const std::uint32_t type = in.ValueType();
        const std::size_t length = in.Word();
        CheckSetting(setting, type, in.Bytes(length));
    } while (in.Remaining() > 0);
    return 0;
}
