#include "StartupDecision.h"

namespace quelvant::core {

std::wstring UpperCaseAscii(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return upper;
}

bool ContainsResetWord(std::wstring_view commandLine) {
    return UpperCaseAscii(commandLine).find(kResetWord) != std::wstring::npos;
}

StartupAction DecideStartup(bool runningWindowFound, std::wstring_view commandLine) {
    if (runningWindowFound) {
        return StartupAction::ActivateRunningInstance;
    }
    return ContainsResetWord(commandLine) ? StartupAction::ResetSettings : StartupAction::RunDialog;
}

} // namespace quelvant::core
