#include "app/common_controls_win.h"

#include "base/system_library_win.h"

namespace runsweep {

namespace {

template <typename Function> void Find(HMODULE module, Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

} // namespace

const CommonControlsApi& CommonControls() noexcept {
    static const CommonControlsApi api = [] {
        // By name, so that the manifest's version 6 is what loads; never from the program's folder.
        HMODULE comctl32 = LoadSystemLibraryByName(L"comctl32.dll");
        CommonControlsApi loaded;
        if (comctl32) {
            Find(comctl32, loaded.initCommonControlsEx, "InitCommonControlsEx");
            Find(comctl32, loaded.setWindowSubclass, "SetWindowSubclass");
            Find(comctl32, loaded.defSubclassProc, "DefSubclassProc");
            Find(comctl32, loaded.removeWindowSubclass, "RemoveWindowSubclass");
        }
        return loaded.Loaded() ? loaded : CommonControlsApi{};
    }();
    return api;
}

} // namespace runsweep
