#include "app/main_win.h"

#include "app/common_controls_win.h"
#include "app/frm_main_win.h"
#include "app/windows_version.h"
#include "base/system_library_win.h"
#include "catalogue/custom_list.h"
#include "catalogue/file_system.h"
#include "catalogue/program_folder.h"
#include "registry/folder_files_win.h"
#include "registry/registry_win.h"

#include <commctrl.h>

#include <stdexcept>

namespace runsweep {

Program::Program() = default;

Program::~Program() = default;

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

namespace {

constexpr const wchar_t* kFirstCopyName = L"Local\\Runsweep.Window";

// Brings the first copy's main window, or the box or window it shows above it, to the front; a
// first copy still starting gets a moment to show its window.
void ShowFirstCopy() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND first = ::FindWindowW(kFormClassName, kMainCaption)) {
            if (::IsIconic(first)) {
                ::ShowWindow(first, SW_RESTORE);
            }
            ::SetForegroundWindow(::GetLastActivePopup(first));
            return;
        }
        ::Sleep(100);
    }
}

} // namespace

bool Program::Main() {
    // Two windows over the same entries would each carry out choices the other has already
    // changed: a second start shows the first and ends.
    firstCopy_.reset(::CreateMutexW(nullptr, FALSE, kFirstCopyName));
    if (firstCopy_ && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowFirstCopy();
        return false;
    }

    // Held until the main window unloads; nothing else uses it.
    hShell32_.reset(LoadSystemLibrary(L"shell32.dll"));

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
    if (!CommonControls().Loaded()) {
        throw std::runtime_error("The program could not load the system's common controls.");
    }
    CommonControls().initCommonControlsEx(&controls);

    CheckWindowsVersion(PlatformId(), messages_);

    BuildCatalogue(catalogue_);
    CustomListText_ = LoadCustomListAtStartup(ProgramFolder(), catalogue_, NativeFileSystem(), messages_);

    registry_ = MakeWin32Registry();
    files_ = MakeWin32FolderFiles();
    frmMain_ = std::make_unique<frmMain>(catalogue_, *registry_, *files_, messages_, hShell32_);
    frmMain_->Load();
    frmMain_->ShowModeless();
    return true;
}

} // namespace runsweep
