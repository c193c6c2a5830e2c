#pragma once
// The shell's "open" for the program's links: a web address goes to the default browser, a program
// is started from the full path it is given.
#include "app/launches.h"

#include <windows.h>

namespace runsweep {

class Win32ShellLauncher : public ShellLauncher {
public:
    // `owner` is the main window: the shell parents any message or prompt of its own to it, also
    // for launches from the About window.
    explicit Win32ShellLauncher(HWND owner) noexcept : owner_(owner) {}
    bool Open(const wchar_t* file) override;

private:
    HWND owner_;
};

// The running system's Windows folder and its native system folder (Sysnative for a 32-bit
// program on 64-bit Windows).
SystemFolders RunningSystemFolders();

} // namespace runsweep
