#include "base/windows_version.h"

#include <windows.h>

namespace runsweep {

WindowsVersion RunningWindowsVersion() noexcept {
    // From ntdll: GetVersionEx reports Windows 8 to every program whose manifest names no later
    // system.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    FARPROC proc = ntdll ? ::GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(proc));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) {
        return WindowsVersion{};
    }
    return WindowsVersion{info.dwMajorVersion, info.dwMinorVersion};
}

} // namespace runsweep
