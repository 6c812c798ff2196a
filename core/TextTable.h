// Every text the program shows or speaks outside its dialog and menu templates, by the name the
// core asks for it and its string-table id in res/resource.h. Only the layers that read the
// resources expand the ids; the core and its tests see the names. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

// T(name, resource id), in the order of the ids. A new text gets its IDS_ id in res/resource.h, its
// entry in every res/lang/*.rc (ctest checks English against this list) and a row here.
#define QUELVANT_TEXTS(T)                                                                          \
    T(LanguageTag, IDS_LANGUAGE_TAG)                                                               \
    T(MouseDisabled, IDS_MOUSE_DISABLED)                                                           \
    T(MouseDisableError, IDS_MOUSE_DISABLE_ERROR)                                                  \
    T(MouseEnabled, IDS_MOUSE_ENABLED)                                                             \
    T(MouseEnableError, IDS_MOUSE_ENABLE_ERROR)                                                    \
    T(ChordReleased, IDS_CHORD_RELEASED)                                                           \
    T(ChordRestored, IDS_CHORD_RESTORED)                                                           \
    T(KeyboardBlockedHint, IDS_KEYBOARD_BLOCKED_HINT)                                              \
    T(KeyboardBoxTip, IDS_KEYBOARD_BOX_TIP)                                                        \
    T(KeyboardError, IDS_KEYBOARD_ERROR)                                                           \
    T(SaveError, IDS_SAVE_ERROR)                                                                   \
    T(RestoredMouseAndKeyboard, IDS_RESTORED_MOUSE_AND_KEYBOARD)                                   \
    T(RestoredMouse, IDS_RESTORED_MOUSE)                                                           \
    T(RestoredKeyboard, IDS_RESTORED_KEYBOARD)                                                     \
    T(MouseErrorMessage, IDS_MOUSE_ERROR_MESSAGE)                                                  \
    T(IdispatchError, IDS_IDISPATCH_ERROR)                                                         \
    T(UnknownError, IDS_UNKNOWN_ERROR)                                                             \
    T(TouchpadDisableErrorMessage, IDS_TOUCHPAD_DISABLE_ERROR_MESSAGE)                             \
    T(TouchpadEnableErrorMessage, IDS_TOUCHPAD_ENABLE_ERROR_MESSAGE)                               \
    T(TouchpadDisableErrorLine, IDS_TOUCHPAD_DISABLE_ERROR_LINE)                                   \
    T(TouchpadEnableErrorLine, IDS_TOUCHPAD_ENABLE_ERROR_LINE)                                     \
    T(TouchpadToggleIgnored, IDS_TOUCHPAD_TOGGLE_IGNORED)                                          \
    T(TouchpadModifiersHeld, IDS_TOUCHPAD_MODIFIERS_HELD)                                          \
    T(TouchpadBlockedByPrivilege, IDS_TOUCHPAD_BLOCKED_BY_PRIVILEGE)                               \
    T(TouchpadDisabled, IDS_TOUCHPAD_DISABLED)                                                     \
    T(TouchpadEnabled, IDS_TOUCHPAD_ENABLED)                                                       \
    T(TouchpadDisableError, IDS_TOUCHPAD_DISABLE_ERROR)                                            \
    T(TouchpadEnableError, IDS_TOUCHPAD_ENABLE_ERROR)                                              \
    T(TouchpadTip, IDS_TOUCHPAD_TIP)                                                               \
    T(TouchpadUnsupportedTip, IDS_TOUCHPAD_UNSUPPORTED_TIP)                                        \
    T(TouchpadAbsentTip, IDS_TOUCHPAD_ABSENT_TIP)                                                  \
    T(DisableEnableCaption, IDS_DISABLE_ENABLE_CAPTION)                                            \
    T(CloseCaption, IDS_CLOSE_CAPTION)                                                             \
    T(DisableEnableNamed, IDS_DISABLE_ENABLE_NAMED)                                                \
    T(CloseNamed, IDS_CLOSE_NAMED)                                                                 \
    T(NoFreeCloseKey, IDS_NO_FREE_CLOSE_KEY)                                                       \
    T(CloseAnnouncement, IDS_CLOSE_ANNOUNCEMENT)                                                   \
    T(AssignShortcutFailed, IDS_ASSIGN_SHORTCUT_FAILED)                                            \
    T(ShortcutDialogCaption, IDS_SHORTCUT_DIALOG_CAPTION)                                          \
    T(ManagedTip, IDS_MANAGED_TIP)                                                                 \
    T(ManagedLine, IDS_MANAGED_LINE)                                                               \
    T(ManagedLineDescription, IDS_MANAGED_LINE_DESCRIPTION)                                        \
    T(NameListSeparator, IDS_NAME_LIST_SEPARATOR)                                                  \
    T(TwoSentences, IDS_TWO_SENTENCES)                                                             \
    T(AutoStartEnableFailed, IDS_AUTO_START_ENABLE_FAILED)                                         \
    T(AutoStartDisableFailed, IDS_AUTO_START_DISABLE_FAILED)                                       \
    T(ResetFailed, IDS_RESET_FAILED)                                                               \
    T(ResetDone, IDS_RESET_DONE)                                                                   \
    T(LockUsage, IDS_LOCK_USAGE)                                                                   \
    T(LockForbidden, IDS_LOCK_FORBIDDEN)                                                           \
    T(LockError, IDS_LOCK_ERROR)                                                                   \
    T(LockEnded, IDS_LOCK_ENDED)                                                                   \
    T(LockCountdown, IDS_LOCK_COUNTDOWN)                                                           \
    T(LockBoxCaption, IDS_LOCK_BOX_CAPTION)                                                        \
    T(LockWindowTitle, IDS_LOCK_WINDOW_TITLE)                                                      \
    T(TrayLock, IDS_TRAY_LOCK)                                                                     \
    T(TrayLock1, IDS_TRAY_LOCK_1)                                                                  \
    T(TrayLock5, IDS_TRAY_LOCK_5)                                                                  \
    T(TrayLock15, IDS_TRAY_LOCK_15)                                                                \
    T(TrayRelease, IDS_TRAY_RELEASE)                                                               \
    T(TrayBlockAgain, IDS_TRAY_BLOCK_AGAIN)                                                        \
    T(TrayOpen, IDS_TRAY_OPEN)                                                                     \
    T(TrayClose, IDS_TRAY_CLOSE)

namespace quelvant::core {

enum class TextId : std::uint16_t {
#define QUELVANT_TEXT_NAME(name, id) name,
    QUELVANT_TEXTS(QUELVANT_TEXT_NAME)
#undef QUELVANT_TEXT_NAME
};

inline constexpr std::size_t kTextCount = 0
#define QUELVANT_TEXT_ONE(name, id) +1
    QUELVANT_TEXTS(QUELVANT_TEXT_ONE)
#undef QUELVANT_TEXT_ONE
    ;

} // namespace quelvant::core
