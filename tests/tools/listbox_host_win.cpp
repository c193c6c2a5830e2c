// A window that hosts the startup list the way the main window does (client area 9495 x 5430
// twips, the list at 120, 960, 9255 x 3855), for looking at the list before and apart from the
// program. Command line:
//   listbox_host [--rows N] [--select ROW] [--scroll TWIPS] [--choose ROW:disable|remove|none]...
//                [--long-name ROW] [--focus]
#include "base/twips.h"
#include "listbox/listbox_win.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

using namespace runsweep;

namespace {

constexpr int kClientWidth = 9495;
constexpr int kClientHeight = 5430;

const wchar_t* const kNames[] = {L"qttask",      L"jusched",     L"RealTray",   L"NeroCheck", L"ctfmon",
                                 L"SunJavaUpdt", L"AdobeUpdate", L"iTunesHelp", L"MSMSGS",    L"Acrotray"};
const wchar_t* const kDescriptions[] = {
    L"Keeps a media player's icon in the tray so it opens a little faster. Not needed; the player "
    L"starts fine without it.",
    L"Checks now and then for updates of a runtime. The runtime can look for updates itself when it runs.",
    L"Tray icon of a media player. Not needed for playing files.",
    L"Looks for drivers that could disturb a disc burning program. Safe to take out of the start-up.",
};

struct Options {
    int rows = 12;
    int select = -1;
    int scroll = 0;
    int longName = -1;
    bool focus = false;
    std::vector<std::pair<int, RowBox>> choices;
};

Options ParseOptions() {
    Options options;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        const wchar_t* next = i + 1 < argc ? argv[i + 1] : L"0";
        if (arg == L"--rows") {
            options.rows = _wtoi(next);
            ++i;
        } else if (arg == L"--select") {
            options.select = _wtoi(next);
            ++i;
        } else if (arg == L"--scroll") {
            options.scroll = _wtoi(next);
            ++i;
        } else if (arg == L"--long-name") {
            options.longName = _wtoi(next);
            ++i;
        } else if (arg == L"--focus") {
            options.focus = true;
        } else if (arg == L"--choose") {
            const std::wstring choice = next;
            const size_t colon = choice.find(L':');
            const std::wstring what = colon == std::wstring::npos ? L"" : choice.substr(colon + 1);
            const RowBox box = what == L"remove" ? RowBox::Remove
                               : what == L"none" ? RowBox::NoAction
                                                 : RowBox::Disable;
            options.choices.emplace_back(_wtoi(choice.c_str()), box);
            ++i;
        }
    }
    ::LocalFree(argv);
    return options;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const Options options = ParseOptions();
    if (!RegisterListboxClass(instance)) {
        return 1;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ListboxHost";
    ::RegisterClassExW(&wc);

    HDC screen = ::GetDC(nullptr);
    const unsigned dpi = static_cast<unsigned>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    HWND host = ::CreateWindowExW(0, wc.lpszClassName, L"List host", style, 0, 0, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    HWND list = ::CreateWindowExW(0, kListboxClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                  TwipsToPixels(120, dpi), TwipsToPixels(960, dpi), TwipsToPixels(9255, dpi),
                                  TwipsToPixels(3855, dpi), host, nullptr, instance, nullptr);
    ListboxControl* control = ListboxFromWindow(list);
    if (!host || !control) {
        return 1;
    }
    for (int i = 0; i < options.rows; ++i) {
        std::wstring name = kNames[i % std::size(kNames)];
        if (i >= static_cast<int>(std::size(kNames))) {
            name += std::to_wstring(i / static_cast<int>(std::size(kNames)));
        }
        if (i == options.longName) {
            name = L"AVeryLongStartupValueNameThatRunsOnUnderTheCheckBoxes_" + name;
        }
        control->AddItem(name, kDescriptions[i % std::size(kDescriptions)]);
    }
    for (const auto& [row, box] : options.choices) {
        if (row >= 0 && row < control->ListCount()) {
            control->ChooseBox(row, box);
        }
    }
    if (options.select >= 0 && options.select < control->ListCount()) {
        control->SelectRow(options.select);
    }
    control->ScrollTo(options.scroll);
    ::ShowWindow(host, SW_SHOW);
    if (options.focus) {
        ::SetFocus(list);
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(host, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}
