// Times the startup list: adding N rows (as the main window's load does, before it is shown, and
// again on a shown window), then scrolling through all of them one trough click at a time, and
// jumping about as a dragged thumb does. Prints one line of figures per phase and the process's
// peak working set. Usage: listbox_bench ROWS
#include "base/twips.h"
#include "listbox/listbox_win.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

using namespace runsweep;

namespace {

constexpr std::size_t kMaxArrowSteps = 3000;

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct Host {
    HWND window = nullptr;
    HWND list = nullptr;
    ListboxControl* control = nullptr;
};

Host MakeHost(HINSTANCE instance, unsigned dpi) {
    Host host;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT frame{0, 0, TwipsToPixels(9495, dpi), TwipsToPixels(5430, dpi)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    host.window = ::CreateWindowExW(0, L"ListboxBench", L"List bench", style, 0, 0, frame.right - frame.left,
                                    frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    host.list = ::CreateWindowExW(0, kListboxClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                  TwipsToPixels(120, dpi), TwipsToPixels(960, dpi), TwipsToPixels(9255, dpi),
                                  TwipsToPixels(3855, dpi), host.window, nullptr, instance, nullptr);
    host.control = ListboxFromWindow(host.list);
    return host;
}

// Mean, median and 95th percentile: on a busy machine the mean mostly measures the neighbours.
void PrintSteps(int rows, const char* what, std::vector<double>& times) {
    if (times.empty()) {
        return;
    }
    double total = 0;
    for (double t : times) {
        total += t;
    }
    std::sort(times.begin(), times.end());
    std::printf("rows=%d %s: %zu steps, mean %.3f ms, median %.3f ms, p95 %.3f ms, worst %.3f ms\n", rows, what,
                times.size(), total * 1e3 / static_cast<double>(times.size()), times[times.size() / 2] * 1e3,
                times[times.size() * 95 / 100] * 1e3, times.back() * 1e3);
}

double AddRows(ListboxControl& control, int rows) {
    const std::wstring description = L"Checks now and then for updates of a runtime. The runtime can look for updates "
                                     L"itself when it runs, so this entry only costs start-up time.";
    const double start = Now();
    for (int i = 0; i < rows; ++i) {
        control.AddItem(L"startup" + std::to_wstring(i), description);
    }
    // The list brings its scroll bar and the rows in view up to date from the message loop once
    // the rows are in: that work belongs to adding them.
    Pump();
    return Now() - start;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int rows = argc > 1 ? std::max(1, _wtoi(argv[1])) : 1000;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterListboxClass(instance)) {
        return 1;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ListboxBench";
    ::RegisterClassExW(&wc);
    HDC screen = ::GetDC(nullptr);
    const unsigned dpi = static_cast<unsigned>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);

    // As the program does it: the rows go in before the window is first shown.
    Host hidden = MakeHost(instance, dpi);
    if (!hidden.control) {
        return 1;
    }
    const double hiddenAdd = AddRows(*hidden.control, rows);
    std::printf("rows=%d add(hidden window): total %.1f ms, %.2f us per AddItem\n", rows, hiddenAdd * 1e3,
                hiddenAdd * 1e6 / rows);
    ::DestroyWindow(hidden.window);
    Pump();

    // The worst case: every row goes in while the list is on screen.
    Host shown = MakeHost(instance, dpi);
    ::ShowWindow(shown.window, SW_SHOW);
    ::UpdateWindow(shown.window);
    Pump();
    const double shownAdd = AddRows(*shown.control, rows);
    Pump();
    std::printf("rows=%d add(shown window):  total %.1f ms, %.2f us per AddItem\n", rows, shownAdd * 1e3,
                shownAdd * 1e6 / rows);

    ListboxControl& control = *shown.control;
    const ScrollRange range = control.Model().Scroll();
    std::vector<double> times;
    while (control.ScrollOffset() < range.maximum) {
        const double t = Now();
        ::SendMessageW(shown.list, WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(control.ScrollBar()));
        Pump(); // whatever painting is left belongs to the step
        times.push_back(Now() - t);
    }
    PrintSteps(rows, "scroll by trough clicks", times);

    // Back up by arrow clicks: every step costs the same wherever it is, so a few thousand of them
    // tell as much as the sixty thousand of the longest list would.
    times.clear();
    while (control.ScrollOffset() > 0 && times.size() < kMaxArrowSteps) {
        const double t = Now();
        ::SendMessageW(shown.list, WM_VSCROLL, SB_LINEUP, reinterpret_cast<LPARAM>(control.ScrollBar()));
        Pump();
        times.push_back(Now() - t);
    }
    PrintSteps(rows, "scroll by arrow clicks", times);

    // A dragged thumb jumps to places far apart: every row in view changes.
    std::mt19937 random(4406);
    std::uniform_int_distribution<int> offsets(0, std::max(0, range.maximum));
    times.clear();
    for (int i = 0; i < 300; ++i) {
        const double t = Now();
        control.ScrollTo(offsets(random));
        Pump();
        times.push_back(Now() - t);
    }
    PrintSteps(rows, "thumb-drag jumps", times);

    int children = 0;
    ::EnumChildWindows(shown.list, CountChild, reinterpret_cast<LPARAM>(&children));
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("rows=%d child windows of the list: %d; peak working set %.1f MB\n", rows, children,
                static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
    ::DestroyWindow(shown.window);
    return 0;
}
