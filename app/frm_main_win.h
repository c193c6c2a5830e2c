#pragma once
// frmMain, the program's one working window: the header, the MSConfig link, the startup list
// ctlStartups, the "No unnecessary startups found!" panel and the Donate, About and Continue
// buttons. Loading it scans the Run keys; Continue carries out the rows' choices; closing it in
// any way ends the program.
#include "app/forms_win.h"
#include "base/win_handles_win.h"

#include <memory>
#include <string>
#include <vector>

namespace runsweep {

struct Catalogue;
class FolderFiles;
class Registry;
class StartupList;
class ListboxControl;

inline constexpr const wchar_t* kMainCaption = L"Quorvane' Runsweep";

class frmMain : public Form {
public:
    // Everything the window uses lives for the whole run, in the program's start-up state.
    frmMain(const Catalogue& catalogue, Registry& registry, FolderFiles& files, MessageBoxSink& messages,
            UniqueLibrary& hShell32);
    ~frmMain() override;

    // Creates the window and loads it (the scan fills the list), hidden; ShowModeless shows it.
    void Load();

    StartupList& Startups();

    // Click handlers.
    void OnContinueClick();
    void OnAboutClick();
    void OnDonateClick();
    void OnMsconfigClick();
    void OnSubmitStartupClick();
    void OnDetectedClick();

protected:
    void OnCreateControls() override;
    void OnLoad() override;
    void OnUnload() override;
    // The list, whether or not it has rows: the links before it in the tab order are not where the
    // keyboard should start.
    HWND InitialFocus() override;

private:
    const Catalogue& catalogue_;
    Registry& registry_;
    FolderFiles& files_;
    MessageBoxSink& messages_;
    UniqueLibrary& hShell32_;

    // The About window, created on first use; unloaded with this window.
    std::unique_ptr<Form> frmAbout_;

    HWND lblHeader_ = nullptr;
    HWND lblMsconfig_ = nullptr;
    HWND lblDescription0_ = nullptr;
    HWND ctlStartups_ = nullptr;
    void CreateNothingFoundPanel();
    // Fills the list from the Run keys and shows the nothing-found panel and "Continue" to match.
    void ScanIntoList();
    void ShowDisabledItems();

    HWND picHolder_ = nullptr; // exists only when the scan found nothing
    HWND lblNoItemsFound_ = nullptr;
    HWND cmdDonate_ = nullptr;
    HWND cmdAbout_ = nullptr;
    HWND cmdContinue_ = nullptr;
    ListboxControl* startups_ = nullptr;
    // Entries brought back by the Disabled items window in this run: listed at "No action".
    std::vector<std::wstring> reenabled_;
    bool continuing_ = false;
    bool showingDisabled_ = false;
};

} // namespace runsweep
