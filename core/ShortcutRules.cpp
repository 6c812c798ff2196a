#include "ShortcutRules.h"

namespace quelvant::core {

std::wstring DisableEnableShortcutCaption(std::wstring_view name) {
    if (name.empty()) {
        return kDisableEnableCaption;
    }
    return std::wstring(name) + L" to Disable / Enable";
}

std::wstring CloseShortcutCaption(std::wstring_view keyName) {
    return std::wstring(keyName) + L" to Close";
}

std::wstring NoFreeCloseKeyText(std::wstring_view title) {
    return L"None of F6 to F12 is Free to Close " + std::wstring(title) + L".";
}

std::wstring CloseShortcutAnnouncement(std::wstring_view caption, std::wstring_view title) {
    return std::wstring(caption) + L" " + std::wstring(title);
}

} // namespace quelvant::core
