// A small driver for end-to-end tests: finds the program's windows by caption and reads or operates
// their controls through window messages, which is far steadier under Wine than clicking pixels.
//
//   uidriver wait <caption> [ms]            wait until a visible top-level window has this caption
//   uidriver gone <caption> [ms]            wait until no top-level window has this caption
//   uidriver controls <caption>             every control: class, id, visible, enabled, checked,
//                                           screen rectangle and text, one per line, tab-separated;
//                                           the startup list's rows follow the list window as items
//                                           of class "checkbox" or "text" with their child id; the
//                                           check column of a text says "selected" or "-"
//   uidriver click <caption> <text> [n]     the n-th (from 0) visible control with this text: BM_CLICK
//                                           for a button, a posted left click for anything else
//   uidriver mouseclick <caption> <text> [n]  a posted left click (down and up) at its centre
//   uidriver center <caption> <text> [n]    "x y": the control's centre on the screen (for xdotool)
//   uidriver rect <caption>                 "x y width height client-width client-height" of the window
//   uidriver state <caption>                "normal", "minimized" or "maximized"
//   uidriver enabled <caption>              "enabled" or "disabled": whether the window takes input
//   uidriver close <caption>                posts WM_CLOSE, as a task manager's "End task" does; it
//                                           reaches a window that takes no input, where the close box
//                                           and the system menu do not
//   uidriver focus <caption>                class and text of the control that has the keyboard focus
//                                           (for the startup list, the item the keyboard acts on)
//   uidriver syscommand <caption> <close|minimize|maximize|restore>
//   uidriver resize <caption> <width> <height> [x y]   asks the window to take this outer size in
//                                           pixels, and this place on the screen when given
//   uidriver msgbox [ms]                    waits for a message box titled "Runsweep"; prints its icon
//                                           ("none", "information", "error", "warning") on the first
//                                           line and its text after
//   uidriver dismiss [ms]                   presses OK in that message box
//   uidriver tooltip [ms]                   waits for a tool tip to show; prints its text
//   uidriver volatile-key <HKLM\path>       creates a volatile key: the registry then refuses to create
//                                           any lasting key below it
//   uidriver read-only-key <HKLM\path>      creates the key if need be and lets everyone only read it:
//                                           the registry then denies changes to it, as to a standard user
//   uidriver unreadable-key <HKLM\path>     the same, but nobody may even read it (a key of another
//                                           account, damaged rights)
//   uidriver clear-key <HKCU|HKLM\path>     deletes the key and everything below it, whatever its access
//   uidriver empty-key <HKCU|HKLM\path>     the same, then creates the key again, empty
//   uidriver resources <exe>                the version record's strings and the application manifest
//                                           of a program file, read through the system's loader
//   uidriver contrast <caption>             every visible text of the window as the screen shows it:
//                                           contrast ratio of its text to its background (WCAG 2),
//                                           background, text colour, enabled or disabled, class, text;
//                                           tab-separated, one per line
//   uidriver syscolors <name=r,g,b>...      sets system colours (window, windowtext, btnface, btntext,
//                                           highlight, highlighttext, hotlight, graytext) as the
//                                           control panel does: every window hears WM_SYSCOLORCHANGE
//   uidriver getobject <caption>            asks each startup list of the window for its accessible
//                                           object, as a screen reader's first question does
// Exit status 0 on success, 1 when the window or control was not found in time, 2 for bad usage.
#include "listbox/listbox_win.h"

#include <windows.h>

#include <commctrl.h>

#include <sddl.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kDefaultTimeoutMs = 10000;
constexpr const wchar_t* kMessageBoxTitle = L"Runsweep";

void Write(std::FILE* stream, const std::wstring& text) {
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                          nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fwrite("\n", 1, 1, stream);
    std::fflush(stream);
}

void Print(const std::wstring& text) {
    Write(stdout, text);
}

// Why a command failed goes to stderr, so that a caller reading stdout never takes it for an answer.
void PrintError(const std::wstring& text) {
    Write(stderr, text);
}

std::wstring Text(HWND hwnd) {
    // WM_GETTEXT reaches controls of other processes, where GetWindowText does not.
    const LRESULT length = ::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

bool WaitFor(int timeoutMs, const std::function<bool()>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (ready()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

// A named callback: a lambda does not convert to the calling convention of 32-bit Windows.
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindTopLevel(const std::wstring& caption, bool visibleOnly = true) {
    for (HWND hwnd : TopLevelWindows()) {
        if ((!visibleOnly || ::IsWindowVisible(hwnd)) && Text(hwnd) == caption) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND FindMessageBox() {
    for (HWND hwnd : TopLevelWindows()) {
        if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" && Text(hwnd) == kMessageBoxTitle) {
            return hwnd;
        }
    }
    return nullptr;
}

// Every descendant, parents before their children, siblings in z-order (which is tab order).
std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        all.push_back(child);
        for (HWND below : Descendants(child)) {
            all.push_back(below);
        }
    }
    return all;
}

bool IsButtonClass(HWND hwnd) {
    return ::_wcsicmp(ClassOf(hwnd).c_str(), L"Button") == 0;
}

std::wstring CheckState(HWND hwnd) {
    if (!IsButtonClass(hwnd)) {
        return L"-";
    }
    const LONG_PTR type = ::GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_CHECKBOX && type != BS_AUTOCHECKBOX && type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON &&
        type != BS_3STATE && type != BS_AUTO3STATE) {
        return L"-";
    }
    return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"checked" : L"unchecked";
}

void PostLeftClick(HWND hwnd) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    const LPARAM at = MAKELPARAM((client.right - client.left) / 2, (client.bottom - client.top) / 2);
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

// --- the startup list's rows ------------------------------------------------------------------
// The rows are painted by one window; the list tells a driver about their labels and boxes through
// WM_COPYDATA, answered to a window of the driver's own.

std::wstring g_snapshot;
bool g_snapshotArrived = false;

LRESULT CALLBACK SnapshotReceiver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData == runsweep::kListSnapshotReply) {
            g_snapshot.assign(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
            g_snapshotArrived = true;
            return TRUE;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND SnapshotWindow() {
    static HWND receiver = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = SnapshotReceiver;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"uidriver.Snapshot";
        ::RegisterClassW(&wc);
        return ::CreateWindowExW(0, wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
    }();
    return receiver;
}

bool IsStartupList(HWND hwnd) {
    return ClassOf(hwnd) == runsweep::kListboxClassName;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) {
            return parts;
        }
        start = end + 1;
    }
}

struct Control {
    HWND window = nullptr; // the window itself, or the list that holds the item
    bool item = false;
    std::wstring cls;
    std::wstring id;
    bool visible = false;
    bool enabled = false;
    std::wstring checked;
    RECT rect{};
    std::wstring text;
    std::wstring selected; // items only
    std::wstring focused;  // items only
};

// The list's items as it reports them: role, child id, checked, selected, focused, rectangle, name.
std::vector<Control> ListItems(HWND list) {
    std::vector<Control> items;
    HWND receiver = SnapshotWindow();
    if (!receiver) {
        return items;
    }
    g_snapshot.clear();
    g_snapshotArrived = false;
    COPYDATASTRUCT request{};
    request.dwData = runsweep::kListSnapshotRequest;
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(list, WM_COPYDATA, reinterpret_cast<WPARAM>(receiver), reinterpret_cast<LPARAM>(&request),
                          SMTO_ABORTIFHUNG, 5000, &result);
    if (!g_snapshotArrived) {
        return items;
    }
    const bool enabled = ::IsWindowEnabled(list) != FALSE;
    for (const std::wstring& line : Split(g_snapshot, L'\n')) {
        std::vector<std::wstring> f = Split(line, L'\t');
        if (f.size() < 7) {
            continue;
        }
        // The name is the rest of the line, and may hold tabs itself.
        for (std::size_t i = 7; i < f.size(); ++i) {
            f[6] += L'\t' + f[i];
        }
        Control c;
        c.window = list;
        c.item = true;
        c.cls = f[0];
        c.id = f[1];
        c.visible = true;
        c.enabled = enabled;
        c.checked = f[0] == L"checkbox" ? f[2] : f[3];
        c.selected = f[3];
        c.focused = f[4];
        const std::vector<std::wstring> r = Split(f[5], L' ');
        if (r.size() == 4) {
            c.rect.left = std::wcstol(r[0].c_str(), nullptr, 10);
            c.rect.top = std::wcstol(r[1].c_str(), nullptr, 10);
            c.rect.right = c.rect.left + std::wcstol(r[2].c_str(), nullptr, 10);
            c.rect.bottom = c.rect.top + std::wcstol(r[3].c_str(), nullptr, 10);
        }
        c.text = f[6];
        items.push_back(c);
    }
    return items;
}

// Every control of a window, as Descendants orders them, with each startup list's rows after it.
std::vector<Control> Controls(HWND top) {
    std::vector<Control> all;
    for (HWND child : Descendants(top)) {
        Control c;
        c.window = child;
        c.cls = ClassOf(child);
        c.id = std::to_wstring(::GetDlgCtrlID(child));
        c.visible = ::IsWindowVisible(child) != FALSE;
        c.enabled = ::IsWindowEnabled(child) != FALSE;
        c.checked = CheckState(child);
        ::GetWindowRect(child, &c.rect);
        c.text = Text(child);
        all.push_back(c);
        if (c.visible && IsStartupList(child)) {
            for (const Control& item : ListItems(child)) {
                all.push_back(item);
            }
        }
    }
    return all;
}

std::optional<Control> FindControl(HWND top, const std::wstring& text, int nth) {
    for (const Control& c : Controls(top)) {
        if (c.visible && c.text == text && nth-- == 0) {
            return c;
        }
    }
    return std::nullopt;
}

// A left click posted to whatever window of the list lies under the item's centre, as the pointer
// would deliver it.
void PostItemClick(const Control& item) {
    POINT at{(item.rect.left + item.rect.right) / 2, (item.rect.top + item.rect.bottom) / 2};
    HWND target = ::GetDlgItem(item.window, runsweep::kListboxSurfaceId);
    if (!target) {
        target = item.window;
    }
    ::ScreenToClient(target, &at);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    ::PostMessageW(target, WM_LBUTTONUP, 0, where);
}

// Which of the system's icons a message box shows, told by the colour it puts on the screen: the
// information icon is blue, the error icon red, the warning icon yellow. Icon handles of another
// process cannot be compared reliably, the pixels can.
std::wstring IconKindOnScreen(HWND icon) {
    RECT r{};
    ::GetWindowRect(icon, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) {
        return L"none";
    }
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    int blue = 0;
    int red = 0;
    int yellow = 0;
    const auto* pixels = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const int b = pixels[i * 4];
        const int g = pixels[i * 4 + 1];
        const int rd = pixels[i * 4 + 2];
        if (b > rd + 60 && b > g + 20) {
            ++blue;
        } else if (rd > g + 80 && rd > b + 80) {
            ++red;
        } else if (rd > 150 && g > 150 && b < 100) {
            ++yellow;
        }
    }
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    const int least = width * height / 10;
    if (blue >= least && blue >= red && blue >= yellow) {
        return L"information";
    }
    if (red >= least && red >= yellow) {
        return L"error";
    }
    if (yellow >= least) {
        return L"warning";
    }
    return L"unknown";
}

std::wstring MessageBoxIcon(HWND box) {
    for (HWND child : Descendants(box)) {
        if (::_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && (::GetWindowLongPtrW(child, GWL_STYLE) & SS_ICON) &&
            ::IsWindowVisible(child) && ::SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            // A box that has only just appeared may not be on the screen yet on a busy machine.
            std::wstring kind = IconKindOnScreen(child);
            for (int attempt = 0; kind == L"unknown" && attempt < 20; ++attempt) {
                ::Sleep(50);
                kind = IconKindOnScreen(child);
            }
            return kind;
        }
    }
    return L"none";
}

std::wstring MessageBoxText(HWND box) {
    // The text is the static control with the id 0xFFFF in the system's message box.
    HWND text = ::GetDlgItem(box, 0xFFFF);
    if (text) {
        return Text(text);
    }
    std::wstring all;
    for (HWND child : Descendants(box)) {
        if (::_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
            all += Text(child);
        }
    }
    return all;
}

int Usage() {
    std::fputs("usage: uidriver <command> [arguments]; see the source for the commands\n", stderr);
    return 2;
}

// --- contrast as the screen shows it ----------------------------------------------------------

std::vector<COLORREF> ScreenPixels(const RECT& r) {
    std::vector<COLORREF> colours;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) {
        return colours;
    }
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    const auto* bytes = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        colours.push_back(RGB(bytes[i * 4 + 2], bytes[i * 4 + 1], bytes[i * 4]));
    }
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return colours;
}

// WCAG 2: relative luminance and contrast ratio, from their definitions.
double Luminance(COLORREF c) {
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) + 0.0722 * linear(GetBValue(c));
}

double Contrast(COLORREF a, COLORREF b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::wstring Hex(COLORREF c) {
    wchar_t text[8];
    std::swprintf(text, 8, L"#%02X%02X%02X", static_cast<unsigned>(GetRValue(c)), static_cast<unsigned>(GetGValue(c)),
                  static_cast<unsigned>(GetBValue(c)));
    return text;
}

// The background is the colour most pixels of the text's box have; the text's colour the pixel that
// stands out most from it (solid strokes carry the text colour itself, smoothed edges lie between).
std::wstring ContrastLine(const RECT& r, const Control& c) {
    const std::vector<COLORREF> pixels = ScreenPixels(r);
    std::map<COLORREF, int> counts;
    COLORREF background = 0;
    int most = 0;
    for (const COLORREF p : pixels) {
        if (++counts[p] > most) {
            most = counts[p];
            background = p;
        }
    }
    COLORREF ink = background;
    for (const COLORREF p : pixels) {
        if (Contrast(p, background) > Contrast(ink, background)) {
            ink = p;
        }
    }
    wchar_t ratio[16];
    std::swprintf(ratio, 16, L"%.2f", Contrast(ink, background));
    return std::wstring(ratio) + L"\t" + Hex(background) + L"\t" + Hex(ink) + L"\t" +
           (c.enabled ? L"enabled" : L"disabled") + L"\t" + c.cls + L"\t" + c.text;
}

bool ShowsText(const Control& c) {
    if (!c.visible || c.text.empty()) {
        return false;
    }
    if (c.item) {
        return true;
    }
    const std::wstring cls = ClassOf(c.window);
    if (::_wcsicmp(cls.c_str(), L"Static") == 0) {
        return (::GetWindowLongPtrW(c.window, GWL_STYLE) & SS_TYPEMASK) != SS_ICON;
    }
    return ::_wcsicmp(cls.c_str(), L"Button") == 0;
}

int PrintContrast(HWND top) {
    for (const Control& c : Controls(top)) {
        if (!ShowsText(c)) {
            continue;
        }
        RECT r = c.rect;
        if (c.item && c.cls == L"checkbox") {
            r.left += (r.bottom - r.top) + 3; // the caption, right of the check mark
        } else if (!c.item) {
            ::GetClientRect(c.window, &r);
            ::MapWindowPoints(c.window, nullptr, reinterpret_cast<POINT*>(&r), 2);
            // Inside a link's focus mark, or a button's frame.
            const int inset = IsButtonClass(c.window) ? 3 : 1;
            ::InflateRect(&r, -inset, -inset);
        }
        Print(ContrastLine(r, c));
    }
    return 0;
}

int SetColours(int argc, wchar_t** argv) {
    static const std::pair<const wchar_t*, int> names[] = {
        {L"window", COLOR_WINDOW},     {L"windowtext", COLOR_WINDOWTEXT}, {L"btnface", COLOR_BTNFACE},
        {L"btntext", COLOR_BTNTEXT},   {L"highlight", COLOR_HIGHLIGHT},   {L"highlighttext", COLOR_HIGHLIGHTTEXT},
        {L"hotlight", COLOR_HOTLIGHT}, {L"graytext", COLOR_GRAYTEXT}};
    std::vector<int> indices;
    std::vector<COLORREF> colours;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const std::size_t equals = arg.find(L'=');
        int index = -1;
        for (const auto& [name, value] : names) {
            if (equals != std::wstring::npos && arg.compare(0, equals, name) == 0) {
                index = value;
            }
        }
        unsigned r = 0;
        unsigned g = 0;
        unsigned b = 0;
        if (index < 0 || std::swscanf(arg.c_str() + equals + 1, L"%u,%u,%u", &r, &g, &b) != 3 || r > 255 || g > 255 ||
            b > 255) {
            return Usage();
        }
        indices.push_back(index);
        colours.push_back(RGB(r, g, b));
    }
    if (indices.empty()) {
        return Usage();
    }
    if (!::SetSysColors(static_cast<int>(indices.size()), indices.data(), colours.data())) {
        PrintError(L"uidriver: SetSysColors failed: " + std::to_wstring(::GetLastError()));
        return 1;
    }
    return 0;
}

int PrintResources(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<unsigned char> version(size);
    if (size == 0 || !::GetFileVersionInfoW(file.c_str(), 0, size, version.data())) {
        PrintError(L"uidriver: no version record in " + file);
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        Print(L"FileVersion(numeric)\t" + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
              std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) +
              L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS)));
    }
    for (const wchar_t* name : {L"Comments", L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (::VerQueryValueW(version.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
            Print(std::wstring(name) + L"\t" + value);
        }
    }
    HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC manifest = module ? ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
    if (!manifest) {
        PrintError(L"uidriver: no application manifest in " + file);
        return 1;
    }
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
    const std::string bytes(text, ::SizeofResource(module, manifest));
    Print(L"Manifest");
    Print(std::wstring(bytes.begin(), bytes.end()));
    ::FreeLibrary(module);
    return 0;
}

bool SplitKey(const std::wstring& path, HKEY& hive, std::wstring& subkey) {
    if (path.rfind(L"HKLM\\", 0) == 0) {
        hive = HKEY_LOCAL_MACHINE;
    } else if (path.rfind(L"HKCU\\", 0) == 0) {
        hive = HKEY_CURRENT_USER;
    } else {
        return false;
    }
    subkey = path.substr(5);
    return !subkey.empty();
}

// Gives everyone full access to the key again, so that a test's read-only key does not outlive it.
void RestoreAccess(HKEY hive, const std::wstring& subkey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(hive, subkey.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) {
        return;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                               nullptr)) {
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        ::LocalFree(descriptor);
    }
    ::RegCloseKey(key);
}

int ResetKey(const std::wstring& path, bool recreate) {
    HKEY hive = nullptr;
    std::wstring subkey;
    if (!SplitKey(path, hive, subkey)) {
        return Usage();
    }
    RestoreAccess(hive, subkey);
    LONG status = ::RegDeleteTreeW(hive, subkey.c_str());
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteKeyW(hive, subkey.c_str());
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        PrintError(L"uidriver: cannot delete " + path + L": " + std::to_wstring(status));
        return 1;
    }
    if (recreate) {
        HKEY key = nullptr;
        status = ::RegCreateKeyExW(hive, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) {
            PrintError(L"uidriver: cannot create " + path + L": " + std::to_wstring(status));
            return 1;
        }
        ::RegCloseKey(key);
    }
    return 0;
}

int TimeoutArg(int argc, wchar_t** argv, int index) {
    return argc > index ? std::wcstol(argv[index], nullptr, 10) : kDefaultTimeoutMs;
}

int NotFound(const std::wstring& what) {
    PrintError(L"uidriver: not found: " + what);
    return 1;
}

HWND WaitTopLevel(const std::wstring& caption, int timeoutMs) {
    HWND found = nullptr;
    WaitFor(timeoutMs, [&] { return (found = FindTopLevel(caption)) != nullptr; });
    return found;
}

std::wstring RectText(const RECT& r) {
    return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) + L" " +
           std::to_wstring(r.bottom - r.top);
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::wstring command = argv[1];
    if (command == L"wait" && argc >= 3) {
        HWND hwnd = WaitTopLevel(argv[2], TimeoutArg(argc, argv, 3));
        return hwnd ? 0 : NotFound(argv[2]);
    }
    if (command == L"gone" && argc >= 3) {
        const std::wstring caption = argv[2];
        return WaitFor(TimeoutArg(argc, argv, 3), [&] { return FindTopLevel(caption, false) == nullptr; })
                   ? 0
                   : NotFound(L"the end of " + caption);
    }
    if (command == L"tooltip") {
        HWND tip = nullptr;
        const auto shown = [&] {
            for (HWND hwnd : TopLevelWindows()) {
                if (::IsWindowVisible(hwnd) && ::_wcsicmp(ClassOf(hwnd).c_str(), TOOLTIPS_CLASSW) == 0) {
                    tip = hwnd;
                    return true;
                }
            }
            return false;
        };
        if (!WaitFor(TimeoutArg(argc, argv, 2), shown)) {
            return NotFound(L"a tool tip");
        }
        Print(Text(tip));
        return 0;
    }
    if (command == L"msgbox" || command == L"dismiss") {
        HWND box = nullptr;
        if (!WaitFor(TimeoutArg(argc, argv, 2), [&] { return (box = FindMessageBox()) != nullptr; })) {
            return NotFound(L"a message box");
        }
        if (command == L"msgbox") {
            Print(MessageBoxIcon(box));
            Print(MessageBoxText(box));
            return 0;
        }
        HWND ok = ::GetDlgItem(box, IDOK);
        if (!ok) {
            return NotFound(L"the OK button");
        }
        ::PostMessageW(ok, BM_CLICK, 0, 0);
        // Done when this box has gone, so the next command sees the next box, not this one.
        return WaitFor(kDefaultTimeoutMs, [&] { return !::IsWindow(box) || !::IsWindowVisible(box); })
                   ? 0
                   : NotFound(L"the end of the message box");
    }
    if (command == L"volatile-key" && argc >= 3) {
        std::wstring path = argv[2];
        if (path.rfind(L"HKLM\\", 0) != 0) {
            return Usage();
        }
        HKEY key = nullptr;
        // Its parents made lasting first: made by the volatile call, they would be volatile too, and
        // refuse every lasting key below them after this one is deleted, until Wine's server restarts.
        const std::wstring subkey = path.substr(5);
        const std::size_t lastSeparator = subkey.rfind(L'\\');
        LONG status = ERROR_SUCCESS;
        if (lastSeparator != std::wstring::npos) {
            status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.substr(0, lastSeparator).c_str(), 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &key, nullptr);
            if (status == ERROR_SUCCESS) {
                ::RegCloseKey(key);
            }
        }
        if (status == ERROR_SUCCESS) {
            status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &key, nullptr);
        }
        if (status != ERROR_SUCCESS) {
            PrintError(L"uidriver: RegCreateKeyEx failed with " + std::to_wstring(status));
            return 1;
        }
        ::RegCloseKey(key);
        return 0;
    }
    if (command == L"syscolors") {
        return SetColours(argc, argv);
    }
    if (command == L"resources" && argc >= 3) {
        return PrintResources(argv[2]);
    }
    if ((command == L"clear-key" || command == L"empty-key") && argc >= 3) {
        return ResetKey(argv[2], command == L"empty-key");
    }
    if ((command == L"read-only-key" || command == L"unreadable-key") && argc >= 3) {
        std::wstring path = argv[2];
        if (path.rfind(L"HKLM\\", 0) != 0) {
            return Usage();
        }
        HKEY key = nullptr;
        LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.substr(5).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            // Read-only: everyone may read; nobody may set values or create subkeys. Unreadable: nobody
            // may even read it, only give the access back (as the reset does).
            const wchar_t* rights = command == L"read-only-key" ? L"D:P(A;;KR;;;WD)" : L"D:P(A;;WD;;;WD)";
            if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1, &descriptor, nullptr)) {
                status = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
                ::LocalFree(descriptor);
            } else {
                status = static_cast<LONG>(::GetLastError());
            }
            ::RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            PrintError(L"uidriver: could not take the rights to the key away: " + std::to_wstring(status));
            return 1;
        }
        return 0;
    }
    if (argc < 3) {
        return Usage();
    }
    const std::wstring caption = argv[2];
    HWND top = WaitTopLevel(caption, kDefaultTimeoutMs);
    if (!top) {
        return NotFound(caption);
    }
    if (command == L"contrast") {
        return PrintContrast(top);
    }
    if (command == L"getobject") {
        for (const Control& c : Controls(top)) {
            if (!c.item && IsStartupList(c.window)) {
                DWORD_PTR result = 0;
                ::SendMessageTimeoutW(c.window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_ABORTIFHUNG,
                                      5000, &result);
            }
        }
        return 0;
    }
    if (command == L"controls") {
        for (const Control& c : Controls(top)) {
            std::wstring line = c.cls + L"\t" + c.id + L"\t" + (c.visible ? L"visible" : L"hidden") + L"\t" +
                                (c.enabled ? L"enabled" : L"disabled") + L"\t" + c.checked + L"\t" + RectText(c.rect) +
                                L"\t" + c.text;
            Print(line);
        }
        return 0;
    }
    if (command == L"rect") {
        RECT window{};
        RECT client{};
        ::GetWindowRect(top, &window);
        ::GetClientRect(top, &client);
        Print(RectText(window) + L" " + std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom));
        return 0;
    }
    if (command == L"close") {
        ::PostMessageW(top, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"enabled") {
        Print(::IsWindowEnabled(top) ? L"enabled" : L"disabled");
        return 0;
    }
    if (command == L"state") {
        Print(::IsIconic(top) ? L"minimized" : ::IsZoomed(top) ? L"maximized" : L"normal");
        return 0;
    }
    if (command == L"focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(top, nullptr), &info) || !info.hwndFocus) {
            Print(L"(none)");
            return 0;
        }
        if (IsStartupList(info.hwndFocus)) {
            for (const Control& item : ListItems(info.hwndFocus)) {
                if (item.focused == L"focused") {
                    Print(item.cls + L"\t" + item.text);
                    return 0;
                }
            }
        }
        Print(ClassOf(info.hwndFocus) + L"\t" + Text(info.hwndFocus));
        return 0;
    }
    if (command == L"syscommand" && argc >= 4) {
        const std::wstring what = argv[3];
        const WPARAM code = what == L"close"      ? SC_CLOSE
                            : what == L"minimize" ? SC_MINIMIZE
                            : what == L"maximize" ? SC_MAXIMIZE
                            : what == L"restore"  ? SC_RESTORE
                                                  : 0;
        if (code == 0) {
            return Usage();
        }
        ::PostMessageW(top, WM_SYSCOMMAND, code, 0);
        return 0;
    }
    if (command == L"resize" && argc >= 5) {
        const bool move = argc >= 7;
        ::SetWindowPos(top, nullptr, move ? std::wcstol(argv[5], nullptr, 10) : 0,
                       move ? std::wcstol(argv[6], nullptr, 10) : 0, std::wcstol(argv[3], nullptr, 10),
                       std::wcstol(argv[4], nullptr, 10), (move ? 0 : SWP_NOMOVE) | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if ((command == L"click" || command == L"mouseclick" || command == L"center") && argc >= 4) {
        const int nth = argc >= 5 ? std::wcstol(argv[4], nullptr, 10) : 0;
        std::optional<Control> control;
        WaitFor(kDefaultTimeoutMs, [&] { return (control = FindControl(top, argv[3], nth)).has_value(); });
        if (!control) {
            return NotFound(std::wstring(argv[3]) + L" #" + std::to_wstring(nth));
        }
        if (command == L"center") {
            const RECT& r = control->rect;
            Print(std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2));
        } else if (control->item) {
            PostItemClick(*control);
        } else if (command == L"click" && IsButtonClass(control->window)) {
            ::PostMessageW(control->window, BM_CLICK, 0, 0);
        } else {
            PostLeftClick(control->window);
        }
        return 0;
    }
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const int status = Run(argc, argv);
    // The tests tell a failure the driver reports from a run that never got here (Wine now and then
    // fails to start a process on a loaded machine, silently): only the first is an answer.
    if (status != 0) {
        std::fprintf(stderr, "uidriver: exit %d\n", status);
    }
    return status;
}
