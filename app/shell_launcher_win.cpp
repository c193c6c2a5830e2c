#include "app/shell_launcher_win.h"

#include "base/system_library_win.h"

#include <objbase.h>
#include <shellapi.h>

namespace runsweep {

namespace {

// The shell may hand a launch to extensions that need COM in a single-threaded apartment on the
// calling thread. Entered once, on first use, and kept for the thread's life: objects the shell
// made may still be alive. ole32 is loaded then, so programs that never follow a link never load it.
void EnterComApartment() noexcept {
    static const bool entered = [] {
        using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
        HMODULE ole32 = LoadSystemLibrary(L"ole32.dll");
        FARPROC proc = ole32 ? ::GetProcAddress(ole32, "CoInitializeEx") : nullptr;
        const auto coInitializeEx = reinterpret_cast<CoInitializeExFn>(reinterpret_cast<void (*)()>(proc));
        // A thread already in another apartment (RPC_E_CHANGED_MODE) launches as it is.
        return coInitializeEx && SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    }();
    static_cast<void>(entered);
}

std::wstring WindowsFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    // The system's own Windows folder, not a Terminal Services user's private one.
    const UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

bool IsWow64() noexcept {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel32 ? ::GetProcAddress(kernel32, "IsWow64Process") : nullptr;
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(proc));
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

} // namespace

bool Win32ShellLauncher::Open(const wchar_t* file) {
    // Looked up rather than imported, as the common controls are (app/common_controls_win.h): the
    // shell's library imports others in turn.
    static const auto shellExecute = []() noexcept {
        HMODULE shell32 = LoadSystemLibrary(L"shell32.dll");
        FARPROC proc = shell32 ? ::GetProcAddress(shell32, "ShellExecuteW") : nullptr;
        return reinterpret_cast<decltype(&::ShellExecuteW)>(reinterpret_cast<void (*)()>(proc));
    }();
    if (!shellExecute) {
        return false;
    }
    EnterComApartment();
    // A null operation is the file type's default action: "open" for a web address, run for a program.
    HINSTANCE result =
        shellExecute(owner_ && ::IsWindow(owner_) ? owner_ : nullptr, nullptr, file, nullptr, nullptr, SW_SHOWNORMAL);
    // Only for compatibility is the result an HINSTANCE; it is a status, above 32 on success.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

SystemFolders RunningSystemFolders() {
    SystemFolders folders;
    folders.windows = WindowsFolder();
    if (IsWow64()) {
        // Its System32 shows a 32-bit program the 32-bit twin folder; Sysnative is the real one.
        folders.system = folders.windows.empty() ? std::wstring() : folders.windows + L"\\Sysnative";
    } else {
        folders.system = SystemFolder();
    }
    return folders;
}

} // namespace runsweep
