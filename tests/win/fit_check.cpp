// Every text of every dialog in every language of Quelvant.exe, and of the pseudo-language built
// into this program, fits its control at the system DPI asked for: each text is measured with
// the control's own font against what the control leaves for it; so are the texts the main
// dialog's controls get at run time; and that font has a glyph for every character shown (no
// empty boxes). One line per cut text or missing glyph; exit code 1 when there is any.
//
//   fit_check PATH\Quelvant.exe DPI [ja]
//
// Japanese is measured alone, with "ja", in a Japanese session (LC_ALL=ja_JP.UTF-8), where
// "MS Shell Dlg" maps to a Japanese font as for a Japanese user; every other language and the
// pseudo-language without it. When the system DPI is not DPI, it is set in the prefix
// (HKCU\Control Panel\Desktop LogPixels, which Wine reads once at each process start), the
// check runs again in a child and the value is put back.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Handle.h"
#include "resource.h"

namespace {

void CloseModule(HMODULE module) noexcept {
    FreeLibrary(module);
}
using UniqueModule = UniqueHandle<HMODULE, CloseModule>;

void Say(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

int SystemDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// A string of one language, from its RT_STRING block (16 counted strings each).
std::wstring LoadText(HMODULE module, UINT id, WORD language) {
    const HRSRC found = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* at =
        static_cast<const wchar_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (at == nullptr) {
        return {};
    }
    const wchar_t* end = at + SizeofResource(module, found) / sizeof(wchar_t);
    for (UINT i = 0; i < id % 16 && at < end; ++i) {
        at += 1 + *at;
    }
    return at < end && at + 1 + *at <= end ? std::wstring(at + 1, *at) : std::wstring();
}

// %1 and %2 filled in as the program does.
std::wstring Fill(const std::wstring& text, const std::wstring& first, const std::wstring& second) {
    std::wstring filled;
    for (size_t at = 0; at < text.size(); ++at) {
        const wchar_t next = at + 1 < text.size() ? text[at + 1] : L'\0';
        if (text[at] == L'%' && (next == L'1' || next == L'2')) {
            filled += next == L'1' ? first : second;
            ++at;
        } else {
            filled += text[at];
        }
    }
    return filled;
}

std::wstring KeyName(UINT key, bool extended) {
    wchar_t name[64] = {};
    const LONG scan = static_cast<LONG>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    GetKeyNameTextW((scan << 16) | (extended ? 1L << 24 : 0L), name, 64);
    return name;
}

// The longest combination the shortcut box names, built as the hot-key control's name is.
std::wstring LongShortcut() {
    return KeyName(VK_CONTROL, false) + L" + " + KeyName(VK_SHIFT, false) + L" + " +
           KeyName(VK_MENU, false) + L" + " + KeyName(VK_NEXT, true);
}

struct Language {
    HMODULE module;
    WORD id;
    std::wstring name;
};

int g_cut = 0;
// Set for the child that runs at the DPI asked for.
constexpr const wchar_t* kChild = L"QUELVANT_FIT_CHILD";

// The control's DC with the control's font selected, for measuring.
class FontDc {
public:
    explicit FontDc(HWND control)
        : m_control(control), m_dc(GetDC(control)),
          m_old(SelectObject(m_dc,
                             reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)))) {}
    ~FontDc() {
        SelectObject(m_dc, m_old);
        ReleaseDC(m_control, m_dc);
    }
    FontDc(const FontDc&) = delete;
    FontDc& operator=(const FontDc&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_control;
    HDC m_dc;
    HGDIOBJ m_old;
};

// The text's extent in the control's font; wrapped at `width` with DT_WORDBREAK.
SIZE Extent(HWND control, const std::wstring& text, UINT format, int width) {
    const FontDc dc(control);
    RECT rect{0, 0, width, 0};
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | format);
    return SIZE{rect.right, rect.bottom};
}

void Report(const Language& language, int dialog, HWND control, const std::wstring& text,
            const std::wstring& fault) {
    ++g_cut;
    Say(language.name + L": dialog " + std::to_wstring(dialog) + L", control " +
        std::to_wstring(GetDlgCtrlID(control)) + L" \"" + text + L"\": " + fault);
}

void Report(const Language& language, int dialog, HWND control, const std::wstring& text,
            const wchar_t* what, long needed, long available) {
    Report(language, dialog, control, text,
           what + std::wstring(L" needs ") + std::to_wstring(needed) + L" px, has " +
               std::to_wstring(available));
}

// The first character of the text that the control's font has no glyph for (an empty box on
// screen), or 0; line structure and the mnemonic's & are not drawn as such.
wchar_t MissingGlyph(HWND control, const std::wstring& text) {
    std::wstring drawn;
    for (const wchar_t c : text) {
        if (c >= L' ' && c != L'&') {
            drawn += c;
        }
    }
    std::vector<WORD> glyphs(drawn.size());
    const DWORD done =
        GetGlyphIndicesW(FontDc(control).Get(), drawn.c_str(), static_cast<int>(drawn.size()),
                         glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    for (size_t at = 0; at < drawn.size(); ++at) {
        if (done == GDI_ERROR || glyphs[at] == 0xFFFF) {
            return drawn[at];
        }
    }
    return 0;
}

// Measures one text against what its control leaves for text, by the control's kind.
void CheckText(const Language& language, int dialog, HWND control, const std::wstring& text) {
    wchar_t kind[32] = {};
    GetClassNameW(control, kind, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    GetClientRect(control, &client);
    const bool edit = lstrcmpiW(kind, L"Edit") == 0;
    if (lstrcmpiW(kind, L"Button") != 0 && !edit &&
        (lstrcmpiW(kind, L"Static") != 0 || (style & SS_TYPEMASK) > SS_RIGHT)) {
        return; // draws no text: an icon's "text" is its resource id
    }
    if (const wchar_t missing = MissingGlyph(control, text)) {
        wchar_t code[8] = {};
        swprintf(code, 8, L"U+%04X", missing);
        Report(language, dialog, control, text,
               L"no glyph for " + std::wstring(code) + L" '" + missing + L"'");
        return;
    }
    const int half = Extent(control, L"0", DT_SINGLELINE, 0).cx / 2;
    if (lstrcmpiW(kind, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) { // the title sits on the frame, a margin in from each side
            const long needed = Extent(control, text, DT_SINGLELINE, 0).cx;
            if (needed > client.right - 4 * half) {
                Report(language, dialog, control, text, L"title", needed, client.right - 4 * half);
            }
            return;
        }
        const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                         type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
        // A box's text begins after the glyph and half a digit's gap; a push button's text
        // stays inside its edge and focus rectangle.
        const long available = box ? client.right - GetSystemMetrics(SM_CXMENUCHECK) - half
                                   : client.right - 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
        const long needed = Extent(control, text, DT_SINGLELINE, 0).cx;
        if (needed > available) {
            Report(language, dialog, control, text, L"text", needed, available);
        }
        return;
    }
    // An edit draws inside its formatting rectangle; a static in its client area.
    RECT room = client;
    if (edit) {
        SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    }
    const long width = room.right - room.left;
    const long height = room.bottom - room.top;
    const UINT prefix = edit || (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    if (edit && (style & ES_MULTILINE) == 0) {
        const long needed = Extent(control, text, DT_SINGLELINE | prefix, 0).cx;
        if (needed > width) {
            Report(language, dialog, control, text, L"text", needed, width);
        }
        return;
    }
    const SIZE needed = Extent(
        control, text, DT_WORDBREAK | DT_EXPANDTABS | prefix | (edit ? DT_EDITCONTROL : 0), width);
    if (needed.cx > width) {
        Report(language, dialog, control, text, L"a word", needed.cx, width);
    } else if (needed.cy > height) {
        Report(language, dialog, control, text, L"height", needed.cy, height);
    }
}

// The dialog template with WS_VISIBLE cleared, so that nothing shows.
std::vector<BYTE> HiddenTemplate(HMODULE module, HRSRC found) {
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    std::vector<BYTE> copy(bytes, bytes + SizeofResource(module, found));
    const bool extended = copy.size() > 16 && copy[0] == 1 && copy[2] == 0xFF && copy[3] == 0xFF;
    DWORD style = 0;
    memcpy(&style, copy.data() + (extended ? 12 : 0), sizeof(style));
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    memcpy(copy.data() + (extended ? 12 : 0), &style, sizeof(style));
    return copy;
}

INT_PTR CALLBACK DoNothing(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// What fills a run-time text's %1 (and %2): the longest that the program puts there.
enum class Part { None, Shortcut, CloseKey, Reason, Countdown };

struct RunTimeText {
    int control;
    UINT text;
    Part part;
    UINT reason; // the string that is %1 for Part::Reason
};

// Texts the main dialog's controls get at run time: every status, the managed-settings line,
// the shortcut boxes' captions with the longest key names.
constexpr RunTimeText kRunTimeTexts[] = {
    {IDC_EDIT_STATUS, IDS_MOUSE_DISABLED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_MOUSE_DISABLE_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_MOUSE_ENABLED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_MOUSE_ENABLE_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_CHORD_RELEASED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_CHORD_RESTORED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_KEYBOARD_BLOCKED_HINT, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_KEYBOARD_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_SAVE_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_RESTORED_MOUSE_AND_KEYBOARD, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_RESTORED_MOUSE, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_RESTORED_KEYBOARD, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_DISABLED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_ENABLED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_DISABLE_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_ENABLE_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_DISABLE_ERROR_LINE, Part::Reason, IDS_TOUCHPAD_TOGGLE_IGNORED},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_DISABLE_ERROR_LINE, Part::Reason, IDS_TOUCHPAD_MODIFIERS_HELD},
    {IDC_EDIT_STATUS, IDS_TOUCHPAD_ENABLE_ERROR_LINE, Part::Reason,
     IDS_TOUCHPAD_BLOCKED_BY_PRIVILEGE},
    {IDC_EDIT_STATUS, IDS_AUTO_START_ENABLE_FAILED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_AUTO_START_DISABLE_FAILED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_RESET_FAILED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_RESET_DONE, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_LOCK_FORBIDDEN, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_LOCK_ERROR, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_LOCK_ENDED, Part::None, 0},
    {IDC_EDIT_STATUS, IDS_LOCK_COUNTDOWN, Part::Countdown, 0},
    {IDC_EDIT_MANAGED, IDS_MANAGED_LINE, Part::None, 0},
    {IDC_CHECK_DISABLE_ENABLE_SHORTCUT, IDS_DISABLE_ENABLE_CAPTION, Part::None, 0},
    {IDC_CHECK_DISABLE_ENABLE_SHORTCUT, IDS_DISABLE_ENABLE_NAMED, Part::Shortcut, 0},
    {IDC_CHECK_CLOSE_SHORTCUT, IDS_CLOSE_CAPTION, Part::None, 0},
    {IDC_CHECK_CLOSE_SHORTCUT, IDS_CLOSE_NAMED, Part::CloseKey, 0},
};

std::wstring RunTime(const Language& language, const RunTimeText& item) {
    const std::wstring text = LoadText(language.module, item.text, language.id);
    switch (item.part) {
    case Part::Shortcut:
        return Fill(text, LongShortcut(), L"");
    case Part::CloseKey:
        return Fill(text, KeyName(VK_F12, false), L"");
    case Part::Reason:
        return Fill(text, LoadText(language.module, item.reason, language.id), L"");
    case Part::Countdown: // a lock lasts at most 3600 s
        return Fill(text, L"60", L"00");
    case Part::None:
        break;
    }
    return text;
}

void CheckDialog(const Language& language, int dialog) {
    const HRSRC found =
        FindResourceExW(language.module, RT_DIALOG, MAKEINTRESOURCEW(dialog), language.id);
    if (found == nullptr) {
        return;
    }
    const std::vector<BYTE> bytes = HiddenTemplate(language.module, found);
    const UniqueWindow window(CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
        DoNothing, 0));
    if (!window) {
        ++g_cut;
        Say(language.name + L": dialog " + std::to_wstring(dialog) + L" cannot be made (" +
            std::to_wstring(GetLastError()) + L")");
        return;
    }
    for (HWND child = GetWindow(window.Get(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[1024] = {};
        wchar_t kind[32] = {};
        GetClassNameW(child, kind, 32);
        if (GetWindowTextW(child, text, 1024) > 0 && lstrcmpiW(kind, L"msctls_hotkey32") != 0) {
            CheckText(language, dialog, child, text);
        }
    }
    for (const RunTimeText& item : kRunTimeTexts) {
        if (dialog != IDD_QUELVANT_DIALOG) {
            break;
        }
        const std::wstring text = RunTime(language, item);
        if (text.empty() || text.find(L'%') != std::wstring::npos) {
            ++g_cut;
            Say(language.name + L": string " + std::to_wstring(item.text) + L" is missing or " +
                L"keeps a placeholder: \"" + text + L"\"");
            continue;
        }
        CheckText(language, dialog, GetDlgItem(window.Get(), item.control), text);
    }
}

// Every language of every dialog in the module.
std::vector<Language> Languages(HMODULE module) {
    std::vector<Language> found;
    EnumResourceLanguagesW(
        module, RT_DIALOG, MAKEINTRESOURCEW(IDD_QUELVANT_DIALOG),
        [](HMODULE from, LPCWSTR, LPCWSTR, WORD id, LONG_PTR param) -> BOOL {
            wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
            LCIDToLocaleName(MAKELCID(id, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0);
            wchar_t hex[8] = {};
            swprintf(hex, 8, L"%04x", id);
            reinterpret_cast<std::vector<Language>*>(param)->push_back(
                {from, id, std::wstring(name) + L" (0x" + hex + L")"});
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    return found;
}

std::vector<int> Dialogs(HMODULE module) {
    std::vector<int> found;
    EnumResourceNamesW(
        module, RT_DIALOG,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            if (IS_INTRESOURCE(name)) {
                reinterpret_cast<std::vector<int>*>(param)->push_back(
                    static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
            }
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    return found;
}

int CheckAll(const wchar_t* program, bool japanese) {
    const UniqueModule quelvant(LoadLibraryExW(
        program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!quelvant) {
        Say(L"cannot open " + std::wstring(program));
        return 1;
    }
    std::vector<Language> languages;
    for (const Language& language : Languages(quelvant.Get())) {
        if ((PRIMARYLANGID(language.id) == LANG_JAPANESE) == japanese) {
            languages.push_back(language);
        }
    }
    const std::vector<Language> pseudo = Languages(GetModuleHandleW(nullptr));
    if (!japanese) {
        languages.insert(languages.end(), pseudo.begin(), pseudo.end());
    }
    const std::vector<int> dialogs = Dialogs(quelvant.Get());
    // English and the pseudo-language at least; Japanese alone.
    if (languages.size() < (japanese ? 1u : 2u) || pseudo.size() != 1 || dialogs.size() < 3) {
        Say(L"found " + std::to_wstring(languages.size()) + L" languages and " +
            std::to_wstring(dialogs.size()) + L" dialogs to check: too few");
        return 1;
    }
    for (const Language& language : languages) {
        for (int dialog : dialogs) {
            CheckDialog(language, dialog);
        }
    }
    Say(std::to_wstring(g_cut) + L" cut texts in " + std::to_wstring(languages.size()) +
        L" languages at " + std::to_wstring(SystemDpi()) + L" dpi");
    return g_cut == 0 ? 0 : 1;
}

// Sets LogPixels for the time of a child run and puts back what was there.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, m_key.Put(), nullptr);
        DWORD size = sizeof(m_old);
        m_had = RegQueryValueExW(m_key.Get(), L"LogPixels", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&m_old), &size) == ERROR_SUCCESS;
        m_set = RegSetValueExW(m_key.Get(), L"LogPixels", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)) == ERROR_SUCCESS;
    }
    ~LogPixels() {
        if (m_had) {
            RegSetValueExW(m_key.Get(), L"LogPixels", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&m_old), sizeof(m_old));
        } else {
            RegDeleteValueW(m_key.Get(), L"LogPixels");
        }
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;
    bool Set() const { return m_set; }

private:
    UniqueRegKey m_key;
    DWORD m_old = 0;
    bool m_had = false;
    bool m_set = false;
};

int RunAtDpi(const wchar_t* program, int dpi, bool japanese) {
    const LogPixels setting(static_cast<DWORD>(dpi));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" \"" + program + L"\" " +
                        std::to_wstring(dpi) + (japanese ? L" ja" : L"");
    SetEnvironmentVariableW(kChild, L"1");
    STARTUPINFOW start{};
    start.cb = sizeof(start);
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION made{};
    if (!setting.Set() || !CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &start, &made)) {
        Say(L"cannot set LogPixels or start the check at " + std::to_wstring(dpi) + L" dpi");
        return 1;
    }
    const UniqueKernelHandle process(made.hProcess);
    const UniqueKernelHandle thread(made.hThread);
    DWORD code = 1;
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        Say(L"usage: fit_check PATH\\Quelvant.exe DPI [ja]");
        return 2;
    }
    const int dpi = _wtoi(argv[2]);
    const bool japanese = argc > 3 && lstrcmpW(argv[3], L"ja") == 0;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_HOTKEY_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (SystemDpi() == dpi) {
        return CheckAll(argv[1], japanese);
    }
    if (GetEnvironmentVariableW(kChild, nullptr, 0) != 0) { // the setting did not take
        Say(L"the system DPI is " + std::to_wstring(SystemDpi()) + L" with LogPixels " +
            std::to_wstring(dpi));
        return 1;
    }
    return RunAtDpi(argv[1], dpi, japanese);
}
