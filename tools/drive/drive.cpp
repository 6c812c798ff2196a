// Test-only automation client: works a program's dialogs from outside, as an accessibility
// tool would, so end-to-end tests can tick boxes and read results while real mouse input is
// blocked. Reads one command per line on stdin and answers one line each ("ok ..." or
// "none"/"error ..."); "controls" and "menu-resource" answer several lines closed by "end".
#include "ToolSupport.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// One line per answer: line breaks and tabs inside texts are written as escapes.
std::string Escape(const std::wstring& text) {
    std::string out;
    for (char c : Narrow(text)) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A target that does not answer in time must not hang the tests: the command then fails.
struct NoAnswer : std::runtime_error {
    NoAnswer() : std::runtime_error("no answer") {}
};

std::wstring WindowText(HWND hwnd) {
    // Texts of any length are read whole: ask for the length first.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) {
        throw NoAnswer();
    }
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, 5000, &copied)) {
        throw NoAnswer();
    }
    buffer.resize(static_cast<size_t>(copied));
    return buffer;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t buffer[256] = {};
    const int length = GetClassNameW(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

// The window a title names: a dialog of that title first, then any window, so that another
// program's window with the same title does not hide the dialog from the tests.
HWND FindTarget(const std::wstring& title) {
    const HWND dialog = FindWindowW(L"#32770", title.c_str());
    return dialog != nullptr ? dialog : FindWindowW(nullptr, title.c_str());
}

// A bad number ends the command with an error answer.
unsigned long ParseNumber(const std::string& text) {
    const auto value = tools::ParseUnsigned(text);
    if (!value) {
        throw std::invalid_argument("bad number " + text);
    }
    return *value;
}

inline void FreeModuleHandle(HMODULE module) noexcept {
    FreeLibrary(module);
}
using UniqueModule = UniqueHandle<HMODULE, FreeModuleHandle>;

std::string MenuResource(HWND target, UINT id) {
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.Get(), 0, path, &length)) {
        return "error no program file (" + std::to_string(GetLastError()) + ")";
    }
    const UniqueModule file(
        LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const UniqueMenu menu(file ? LoadMenuW(file.Get(), MAKEINTRESOURCEW(id)) : nullptr);
    const HMENU popup = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
    if (popup == nullptr) {
        return "error no menu " + std::to_string(id) + " (" + std::to_string(GetLastError()) + ")";
    }
    std::string out;
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = static_cast<UINT>(std::size(text));
        if (!GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info)) {
            return "error item " + std::to_string(i);
        }
        out += (info.fType & MFT_SEPARATOR) != 0 ? std::string("-")
                                                 : std::to_string(info.wID) + "\t" + Escape(text);
        out += "\n";
    }
    return out + "end";
}

struct Finder {
    DWORD pid;
    HWND exclude;
    HWND owner;
    HWND found;
};

// A message box: a dialog-class top-level window owned by the target or from its process.
BOOL CALLBACK FindMessageBox(HWND hwnd, LPARAM lParam) {
    auto* f = reinterpret_cast<Finder*>(lParam);
    if (hwnd == f->exclude || !IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") {
        return TRUE;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (GetWindow(hwnd, GW_OWNER) == f->owner || pid == f->pid) {
        // Only boxes with the message text control count.
        if (GetDlgItem(hwnd, 0xFFFF) != nullptr) {
            f->found = hwnd;
            return FALSE;
        }
    }
    return TRUE;
}

// Another process's dialog cannot be asked for its dialog units, so the units are measured on
// a hidden dialog of our own with the same font and style, on the same display.
HWND ReferenceDialog() {
    static HWND dialog = [] {
        std::vector<WORD> t;
        auto dword = [&](DWORD v) {
            t.push_back(LOWORD(v));
            t.push_back(HIWORD(v));
        };
        t.push_back(1);      // dlgVer
        t.push_back(0xFFFF); // extended template
        dword(0);            // help id
        dword(0);            // extended style
        dword(DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        t.push_back(0); // no items
        t.insert(t.end(), {0, 0, 228, 222});
        t.insert(t.end(), {0, 0, 0}); // no menu, default class, no title
        t.push_back(8);               // point size
        t.push_back(400);             // weight
        t.push_back(MAKEWORD(0, 1));  // not italic, default charset
        for (const wchar_t* c = L"MS Shell Dlg"; *c != 0; ++c) {
            t.push_back(static_cast<WORD>(*c));
        }
        t.push_back(0);
        return CreateDialogIndirectParamW(
            GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    }();
    return dialog;
}

// The text of the tooltip that the window's own tip windows keep for one of its controls. The
// messages carry pointers, so the structure and the buffer live in the owner's memory.
std::string ControlTip(HWND owner, HWND control) {
    struct Search {
        HWND owner;
        std::vector<HWND> tips;
    } search{owner, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (GetWindow(hwnd, GW_OWNER) == s->owner && ClassName(hwnd) == TOOLTIPS_CLASSW) {
                s->tips.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    const UniqueKernelHandle process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process) {
        return "error " + std::to_string(GetLastError());
    }
    constexpr size_t kChars = 1024;
    const size_t size = sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t);
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote == nullptr) {
        return "error " + std::to_string(GetLastError());
    }
    std::string answer = "none";
    for (const HWND tip : search.tips) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = owner;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.uFlags = TTF_IDISHWND;
        tool.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof tool);
        const wchar_t empty = L'\0';
        WriteProcessMemory(process.Get(), remote, &tool, sizeof tool, nullptr);
        WriteProcessMemory(process.Get(), remote + sizeof tool, &empty, sizeof empty, nullptr);
        if (SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(remote)) == 0) {
            continue;
        }
        SendMessageW(tip, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remote));
        std::wstring text(kChars, L'\0');
        ReadProcessMemory(process.Get(), remote + sizeof tool, text.data(),
                          kChars * sizeof(wchar_t), nullptr);
        text.resize(wcsnlen(text.c_str(), kChars - 1));
        answer = "ok " + Escape(text);
        break;
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return answer;
}

std::string RectText(HWND hwnd, HWND relativeTo = nullptr) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, relativeTo, reinterpret_cast<POINT*>(&r), 2);
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
           " " + std::to_string(r.bottom);
}

struct WindowsOfClass {
    std::wstring cls;
    std::string texts; // each after a tab
    int count = 0;

    void Visit(HWND hwnd) {
        if (ClassName(hwnd) == cls) {
            ++count;
            texts.push_back('\t');
            texts.append(Escape(WindowText(hwnd)));
        }
    }
};

class Driver {
public:
    std::string Run(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        std::vector<std::string> args;
        for (std::string a; in >> a;) {
            args.push_back(a);
        }
        std::string rest;
        if (const auto space = line.find(' '); space != std::string::npos) {
            rest = line.substr(space + 1);
        }

        if (verb == "use") {
            m_title = Widen(rest);
            return "ok";
        }
        if (verb == "find") {
            const HWND hwnd = FindWindowW(nullptr, Widen(rest).c_str());
            return hwnd ? "ok " + std::to_string(reinterpret_cast<uintptr_t>(hwnd)) : "none";
        }
        if (verb == "run") {
            // Starts a command line as the system starts the Run list's entries: CreateProcess
            // with the text as it is and no program name, from the system folder.
            std::wstring commandLine = Widen(rest);
            wchar_t folder[MAX_PATH] = {};
            GetSystemDirectoryW(folder, MAX_PATH);
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION started{};
            if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                folder, &startup, &started)) {
                return "error " + std::to_string(GetLastError());
            }
            const UniqueKernelHandle process(started.hProcess);
            const UniqueKernelHandle thread(started.hThread);
            return "ok " + std::to_string(started.dwProcessId);
        }
        if (verb == "settingchange") {
            // As Windows tells every top-level window after applying policy ("Policy") or
            // changing a system setting: sent, since the section name is a pointer.
            DWORD_PTR result = 0;
            const LRESULT sent = SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                                     reinterpret_cast<LPARAM>(Widen(rest).c_str()),
                                                     SMTO_ABORTIFHUNG, 10000, &result);
            return sent != 0 ? "ok" : "error " + std::to_string(GetLastError());
        }
        if (verb == "register") {
            // The number of a registered window message ("TaskbarCreated", the library's).
            return "ok " + std::to_string(RegisterWindowMessageW(Widen(rest).c_str()));
        }
        if (verb == "findclass") {
            // A top-level window of that class (the notification area's "Shell_TrayWnd").
            const HWND hwnd = FindWindowW(Widen(rest).c_str(), nullptr);
            return hwnd ? "ok " + std::to_string(reinterpret_cast<uintptr_t>(hwnd)) : "none";
        }
        if (verb == "windows-of-class") {
            // How many windows of that class there are, top-level or child, and their texts:
            // under Wine the notification area shows each icon as a window of its own.
            WindowsOfClass search{Widen(rest), {}, 0};
            EnumWindows(
                [](HWND top, LPARAM lParam) -> BOOL {
                    reinterpret_cast<WindowsOfClass*>(lParam)->Visit(top);
                    EnumChildWindows(
                        top,
                        [](HWND child, LPARAM l) -> BOOL {
                            reinterpret_cast<WindowsOfClass*>(l)->Visit(child);
                            return TRUE;
                        },
                        lParam);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return "ok " + std::to_string(search.count) + search.texts;
        }
        if (verb == "foreground") {
            // The title of the window the user works with now, whoever owns it.
            const HWND front = GetForegroundWindow();
            return front != nullptr ? "ok " + Escape(WindowText(front)) : "none";
        }
        if (verb == "menu-open") {
            bool open = false;
            EnumWindows(
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    if (IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32768") {
                        *reinterpret_cast<bool*>(lParam) = true;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&open));
            return std::string("ok ") + (open ? "1" : "0");
        }
        if (verb == "keyname") {
            // The name the keyboard layout gives a key, as the hot-key control builds its names.
            const UINT vk = static_cast<UINT>(ParseNumber(args.at(0)));
            const bool extended = args.size() > 1 && ParseNumber(args.at(1)) != 0;
            LONG scan = static_cast<LONG>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
            if (extended) {
                scan |= 0x01000000L;
            }
            wchar_t name[64] = {};
            const int length = GetKeyNameTextW(scan, name, 64);
            return "ok " + Escape(std::wstring(name, static_cast<size_t>(length > 0 ? length : 0)));
        }
        if (verb == "msgbox" || verb == "msgbox-press") {
            return MessageBoxCommand(verb, args);
        }
        const HWND target = FindTarget(m_title);
        if (verb == "exists") {
            return std::string("ok ") + (target != nullptr ? "1" : "0");
        }
        if (target == nullptr) {
            return "none";
        }
        auto control = [&](size_t i) {
            return GetDlgItem(target, static_cast<int>(ParseNumber(args.at(i))));
        };
        if (verb == "click") {
            // Posted, so a handler that opens a modal box does not hold the driver up.
            const HWND button = control(0);
            if (button == nullptr) {
                return "error no control";
            }
            PostMessageW(button, BM_CLICK, 0, 0);
            return "ok";
        }
        if (verb == "check") {
            const HWND c = control(0);
            return c ? "ok " + std::to_string(SendMessageW(c, BM_GETCHECK, 0, 0))
                     : "error no control";
        }
        if (verb == "enabled") {
            const HWND c = control(0);
            return c ? std::string("ok ") + (IsWindowEnabled(c) ? "1" : "0") : "error no control";
        }
        if (verb == "text") {
            const HWND c = control(0);
            return c ? "ok " + Escape(WindowText(c)) : "error no control";
        }
        if (verb == "tip") {
            const HWND c = control(0);
            return c ? ControlTip(target, c) : "error no control";
        }
        if (verb == "wintext") {
            return "ok " + Escape(WindowText(target));
        }
        if (verb == "iconic") {
            return std::string("ok ") + (IsIconic(target) ? "1" : "0");
        }
        if (verb == "visible") {
            return std::string("ok ") + (IsWindowVisible(target) ? "1" : "0");
        }
        if (verb == "pid") {
            DWORD pid = 0;
            GetWindowThreadProcessId(target, &pid);
            return "ok " + std::to_string(pid);
        }
        if (verb == "command") {
            PostMessageW(target, WM_COMMAND, MAKEWPARAM(ParseNumber(args.at(0)), 0), 0);
            return "ok";
        }
        if (verb == "post") {
            PostMessageW(target, static_cast<UINT>(ParseNumber(args.at(0))),
                         ParseNumber(args.at(1)), static_cast<LPARAM>(ParseNumber(args.at(2))));
            return "ok";
        }
        if (verb == "hotkey-get") {
            return "ok " + std::to_string(SendMessageW(control(0), HKM_GETHOTKEY, 0, 0));
        }
        if (verb == "hotkey-set") {
            SendMessageW(control(0), HKM_SETHOTKEY, ParseNumber(args.at(1)), 0);
            return "ok";
        }
        if (verb == "maprect") {
            // Mapped as the dialog manager places a control: position and size each on its own.
            RECT r{static_cast<LONG>(ParseNumber(args.at(0))),
                   static_cast<LONG>(ParseNumber(args.at(1))),
                   static_cast<LONG>(ParseNumber(args.at(2))),
                   static_cast<LONG>(ParseNumber(args.at(3)))};
            if (!MapDialogRect(target, &r) && !MapDialogRect(ReferenceDialog(), &r)) {
                return "error cannot map";
            }
            return "ok " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                   std::to_string(r.left + r.right) + " " + std::to_string(r.top + r.bottom);
        }
        if (verb == "winrect") {
            return "ok " + RectText(target);
        }
        if (verb == "menu-rect") {
            // Where the open pop-up menu is, in the target's client coordinates.
            HWND menu = nullptr;
            EnumWindows(
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    if (IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32768") {
                        *reinterpret_cast<HWND*>(lParam) = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&menu));
            return menu != nullptr ? "ok " + RectText(menu, target) : "none";
        }
        if (verb == "menu-resource") {
            // The pop-up of menu resource ID in the program file of the target's process, item
            // by item: "ID<TAB>TEXT", "-" for a separator. Another process's open menu cannot
            // be read under Wine; the tests walk the shown menu by keys against this list.
            return MenuResource(target, static_cast<UINT>(ParseNumber(args.at(0))));
        }
        if (verb == "exstyle") {
            return "ok " +
                   std::to_string(static_cast<unsigned long>(GetWindowLongW(target, GWL_EXSTYLE)));
        }
        if (verb == "winenabled") {
            return std::string("ok ") + (IsWindowEnabled(target) ? "1" : "0");
        }
        if (verb == "owner") {
            const HWND owner = GetWindow(target, GW_OWNER);
            return owner != nullptr ? "ok " + Escape(WindowText(owner)) : "none";
        }
        if (verb == "controls") {
            return Controls(target);
        }
        if (verb == "focus") {
            return "ok " + std::to_string(GetDlgCtrlID(GetFocusOf(target)));
        }
        return "error unknown command";
    }

private:
    static HWND GetFocusOf(HWND target) {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &info);
        return info.hwndFocus;
    }

    // Every child in z-order (the template order): id, class, style, client rectangle, text.
    static std::string Controls(HWND target) {
        std::string out;
        for (HWND c = GetWindow(target, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            RECT r{};
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, target, reinterpret_cast<POINT*>(&r), 2);
            out += std::to_string(static_cast<int>(static_cast<short>(GetDlgCtrlID(c)))) + "\t" +
                   Escape(ClassName(c)) + "\t" +
                   std::to_string(static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE))) + "\t" +
                   std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" +
                   std::to_string(r.right) + "\t" + std::to_string(r.bottom) + "\t" +
                   (IsWindowEnabled(c) ? "1" : "0") + "\t" + Escape(WindowText(c)) + "\n";
        }
        return out + "end";
    }

    std::string MessageBoxCommand(const std::string& verb, const std::vector<std::string>& args) {
        const HWND target = FindTarget(m_title);
        // The target may itself be the box: a start that shows only a message box.
        if (target != nullptr && GetDlgItem(target, 0xFFFF) != nullptr &&
            ClassName(target) == L"#32770") {
            return MessageBoxAnswer(verb, args, target, nullptr);
        }
        Finder f{0, target, target, nullptr};
        if (target != nullptr) {
            GetWindowThreadProcessId(target, &f.pid);
        }
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&f));
        if (f.found == nullptr) {
            return "none";
        }
        return MessageBoxAnswer(verb, args, f.found, target);
    }

    static std::string MessageBoxAnswer(const std::string& verb,
                                        const std::vector<std::string>& args, HWND box,
                                        HWND target) {
        if (verb == "msgbox") {
            const HWND owner = GetWindow(box, GW_OWNER);
            return "ok " + Escape(WindowText(box)) + "\t" +
                   Escape(WindowText(GetDlgItem(box, 0xFFFF))) + "\t" +
                   (owner != nullptr && owner == target ? "owned" : "unowned");
        }
        const int id = args.empty() ? IDOK : static_cast<int>(ParseNumber(args.at(0)));
        const HWND button = GetDlgItem(box, id);
        if (button == nullptr) {
            return "error no button";
        }
        PostMessageW(button, BM_CLICK, 0, 0);
        return "ok";
    }

    std::wstring m_title = L"Quelvant";
};

} // namespace

int main() {
    Driver driver;
    std::string line;
    std::cout << "ready" << std::endl;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        if (line == "quit") {
            break;
        }
        if (line.empty()) {
            continue;
        }
        std::string answer;
        try {
            answer = driver.Run(line);
        } catch (const std::exception& e) {
            answer = std::string("error ") + e.what();
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
