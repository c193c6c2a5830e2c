#pragma once
// Start-up: the program's state for the run and Main, which prepares the process, fills the
// catalogue and shows the main window.
#include "app/forms_win.h"
#include "app/launches.h"
#include "base/win_handles_win.h"
#include "catalogue/catalogue.h"

#include <memory>
#include <string>

namespace runsweep {

class FolderFiles;
class Registry;
class frmMain;

class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Preloads the shell library, initialises the common controls, warns on a system outside the
    // NT family, builds the catalogue (with custom.txt when the program's folder has one), then
    // creates, loads and shows the main window and returns true. Throws when a step fails for good.
    // False when this user's session already runs the window: that one is brought to the front,
    // and this copy has nothing to show.
    bool Main();

private:
    UniqueKernelHandle firstCopy_; // held for the whole run: tells later starts that this one runs
    UniqueLibrary hShell32_;
    Catalogue catalogue_;
    std::wstring CustomListText_;
    MessageBoxSink messages_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<FolderFiles> files_;
    std::unique_ptr<frmMain> frmMain_;
};

// The platform identifier of the running system, as GetVersionEx reports it; 0 when it cannot be
// asked.
unsigned long PlatformId() noexcept;

} // namespace runsweep
