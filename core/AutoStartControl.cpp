#include "AutoStartControl.h"

#include "AutoStartRules.h"

namespace quelvant::core {

namespace {
class AbsentRunList final : public RunList {
public:
    bool Read(Entry& /*entry*/) override { return false; }
    void Write(const std::wstring& /*text*/) override {}
    void Delete() override {}
    std::wstring ProgramPath() override { return {}; }
    bool FileExists(const std::wstring& /*path*/) override { return false; }
};
} // namespace

RunList& NoRunList() {
    static AbsentRunList list;
    return list;
}

bool AutoStartControl::Enabled() {
    RunList::Entry entry;
    if (!m_list.Read(entry) || !entry.found) {
        return false;
    }
    const auto text = DecodeRunValue(entry.type, entry.data.data(), entry.data.size());
    return text && m_list.FileExists(RunEntryLookupPath(*text));
}

AutoStartControl::Outcome AutoStartControl::Change(bool enable) {
    if (!enable) {
        m_list.Delete();
    } else if (const std::wstring path = m_list.ProgramPath(); !path.empty()) {
        m_list.Write(ComposeRunEntry(path));
    }
    Outcome outcome;
    outcome.ticked = Enabled();
    if (outcome.ticked != enable) {
        outcome.error = AutoStartFailedText(enable);
    }
    return outcome;
}

} // namespace quelvant::core
