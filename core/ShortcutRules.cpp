#include "ShortcutRules.h"

namespace quelvant::core {

std::wstring DisableEnableShortcutCaption(TextSource& texts, std::wstring_view name) {
    if (name.empty()) {
        return texts.Text(TextId::DisableEnableCaption);
    }
    return texts.Fill(TextId::DisableEnableNamed, {name});
}

std::wstring CloseShortcutCaption(TextSource& texts, std::wstring_view keyName) {
    return texts.Fill(TextId::CloseNamed, {keyName});
}

std::wstring NoFreeCloseKeyText(TextSource& texts, std::wstring_view title) {
    return texts.Fill(TextId::NoFreeCloseKey, {title});
}

std::wstring CloseShortcutAnnouncement(TextSource& texts, std::wstring_view caption,
                                       std::wstring_view title) {
    return texts.Fill(TextId::CloseAnnouncement, {caption, title});
}

} // namespace quelvant::core
