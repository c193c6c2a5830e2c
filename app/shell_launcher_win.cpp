#include "app/shell_launcher_win.h"

#include <shellapi.h>

namespace runsweep {

bool Win32ShellLauncher::Open(const wchar_t* file) {
    // A null operation is the file type's default action: "open" for a web address, run for a program.
    HINSTANCE result = ::ShellExecuteW(owner_ && ::IsWindow(owner_) ? owner_ : nullptr, nullptr, file, nullptr, nullptr,
                                       SW_SHOWNORMAL);
    // Only for compatibility is the result an HINSTANCE; it is a status, above 32 on success.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace runsweep
