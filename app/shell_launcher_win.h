#pragma once
// The shell's "open" for the program's links: a web address goes to the default browser, a program
// name is started from the system's search path.
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

} // namespace runsweep
