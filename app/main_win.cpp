#include "app/main_win.h"

#include "app/frm_main_win.h"
#include "app/program_folder.h"
#include "app/windows_version.h"
#include "catalogue/custom_list.h"
#include "catalogue/file_system.h"
#include "registry/registry_win.h"

#include <commctrl.h>

#include <stdexcept>

namespace runsweep {

Program::Program() = default;

Program::~Program() = default;

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw std::runtime_error("The program could not find out which folder it was started from.");
        }
        if (length < path.size()) {
            path.resize(length);
            return FolderOfPath(path);
        }
        path.resize(path.size() * 2);
    }
}

unsigned long PlatformId() noexcept {
    // Looked up by name: the function is deprecated for new code, and only the platform is needed.
    using GetVersionExWFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel32 ? ::GetProcAddress(kernel32, "GetVersionExW") : nullptr;
    const auto getVersionEx = reinterpret_cast<GetVersionExWFn>(reinterpret_cast<void (*)()>(proc));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!getVersionEx || !getVersionEx(&info)) {
        return 0;
    }
    return info.dwPlatformId;
}

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

void Program::Main() {
    // Held until the main window unloads; nothing else uses it.
    hShell32_.reset(::LoadLibraryW(L"shell32.dll"));

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);

    CheckWindowsVersion(PlatformId(), messages_);

    BuildCatalogue(catalogue_);
    CustomListText_ = LoadCustomListAtStartup(ProgramFolder(), catalogue_, NativeFileSystem(), messages_);

    registry_ = MakeWin32Registry();
    frmMain_ = std::make_unique<frmMain>(catalogue_, *registry_, messages_, hShell32_);
    frmMain_->Load();
    frmMain_->ShowModeless();
}

} // namespace runsweep
