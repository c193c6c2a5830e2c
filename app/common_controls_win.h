#pragma once
// The common controls' functions the windows use, looked up at run time rather than imported. An
// imported library is loaded before the program's first line runs, by a search that begins in the
// program's own folder, and so are the libraries it imports in turn (on some systems the theme
// library among them); looked up here, it is loaded after the program has confined that search to
// the system folder. Version 6, which the programs' manifest names, comes from the system's
// side-by-side store.
#include <windows.h>

#include <commctrl.h>

namespace runsweep {

struct CommonControlsApi {
    decltype(&::InitCommonControlsEx) initCommonControlsEx = nullptr;
    decltype(&::SetWindowSubclass) setWindowSubclass = nullptr;
    decltype(&::DefSubclassProc) defSubclassProc = nullptr;
    decltype(&::RemoveWindowSubclass) removeWindowSubclass = nullptr;

    bool Loaded() const noexcept {
        return initCommonControlsEx && setWindowSubclass && defSubclassProc && removeWindowSubclass;
    }
};

// Loaded on first use and kept; every function null when the system has no such library.
const CommonControlsApi& CommonControls() noexcept;

} // namespace runsweep
