#pragma once
// The DPI a window is drawn at, for the forms layer and the startup list alike.
#include <windows.h>

namespace runsweep {

// GetDpiForWindow where the system has it (Windows 10 1607 and later), otherwise the screen's
// logical DPI; null asks for the screen's. Never 0.
unsigned WindowDpi(HWND hwnd) noexcept;

} // namespace runsweep
