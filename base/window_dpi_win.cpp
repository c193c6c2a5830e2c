#include "base/window_dpi_win.h"

#include "base/win_handles_win.h"

namespace runsweep {

unsigned WindowDpi(HWND hwnd) noexcept {
    // Looked up once: older systems lack the function, and the program must still start there.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFn getDpiForWindow = []() noexcept {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        FARPROC proc = user32 ? ::GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(proc));
    }();
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    WindowDC screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96u;
}

} // namespace runsweep
