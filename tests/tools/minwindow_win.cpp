// The floor for start-up timing: the least a Win32 program does to put a window on the screen.
// Shows one window captioned "Runsweep start-up floor" and runs until it is closed.
//
// Built with RUNSWEEP_THEMED_FLOOR, it is the least a program with the common controls 6 manifest
// does: the same window with one push button on it, so the visual styles are loaded and used.
#include <windows.h>
#ifdef RUNSWEEP_THEMED_FLOOR
#include <commctrl.h>
#endif

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW window{};
    window.lpfnWndProc = &WindowProc;
    window.hInstance = instance;
    window.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window.lpszClassName = L"RunsweepFloor";
    ::RegisterClassW(&window);
    HWND hwnd = ::CreateWindowExW(0, L"RunsweepFloor", L"Runsweep start-up floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 649, 398, nullptr, nullptr, instance, nullptr);
#ifdef RUNSWEEP_THEMED_FLOOR
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    ::CreateWindowExW(0, L"BUTTON", L"Continue", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 496, 328, 129, 25,
                      hwnd, nullptr, instance, nullptr);
#endif
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd);
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
