#include "app/frm_main_win.h"

#include "app/continue_choices.h"
#include "app/frm_about_win.h"
#include "app/frm_disabled_win.h"
#include "app/launches.h"
#include "app/main_win.h"
#include "app/scan_startups.h"
#include "app/shell_launcher_win.h"
#include "catalogue/catalogue.h"
#include "listbox/listbox_win.h"
#include "registry/change_lock_win.h"
#include "registry/startup_state.h"
#include "resources/resource.h"

#include <stdexcept>

namespace runsweep {

frmMain::frmMain(const Catalogue& catalogue, Registry& registry, FolderFiles& files, MessageBoxSink& messages,
                 UniqueLibrary& hShell32)
    : catalogue_(catalogue), registry_(registry), files_(files), messages_(messages), hShell32_(hShell32) {}

frmMain::~frmMain() = default;

void frmMain::Load() {
    FormStyle style;
    style.caption = kMainCaption;
    style.clientWidth = 9495;
    style.clientHeight = 5430;
    style.outerWidth = 9735;
    style.outerHeight = 5970;
    style.sizableFrame = true;
    style.minimizeBox = true;
    style.maximizeBox = true;
    style.growable = true;
    style.placementName = L"MainWindow";
    Create(style, nullptr);
}

StartupList& frmMain::Startups() {
    if (!startups_) {
        throw std::logic_error("The startup list of the main window does not exist.");
    }
    return *startups_;
}

void frmMain::OnCreateControls() {
    messages_.SetOwner(Handle());

    // The link first: the header's box reaches into the link's top edge, where its focus mark is
    // drawn, and the window made first lies on top.
    lblMsconfig_ = AddLinkLabel(L"Re-enable disabled items", {120, 600, 2160, 195}, [this] { OnMsconfigClick(); });
    lblHeader_ = AddLabel(L"Runsweep is a lightweight program that can disable or remove all known unnecessary startup "
                          L"entries from your computer and thus quicken the startup procedure of your system.",
                          {120, 120, 9255, 495}, FontKind::Verdana, LabelSize::Wrap);
    lblDescription0_ = AddLabel(L"(uses MSConfig to re-enable all objects disabled, for advanced users).",
                                {2400, 600, 6045, 195}, FontKind::Verdana);

    // Created in tab order: the list, then the buttons from left to right.
    if (!RegisterListboxClass(::GetModuleHandleW(nullptr))) {
        throw std::runtime_error("The program could not register the window class of its startup list.");
    }
    ctlStartups_ = AddCustomControl(kListboxClassName, {120, 960, 9255, 3855}, WS_VISIBLE | WS_TABSTOP);
    ::SetWindowTextW(ctlStartups_, L"Startup entries"); // what screen readers announce the list as
    startups_ = ListboxFromWindow(ctlStartups_);
    if (!startups_) {
        throw std::runtime_error("The program could not create its startup list.");
    }
    cmdDonate_ = AddButton(L"Donate", {120, 4920, 1455, 375}, FontKind::Default, [this] { OnDonateClick(); });
    cmdAbout_ = AddButton(L"About", {1680, 4920, 1455, 375}, FontKind::Default, [this] { OnAboutClick(); });
    cmdContinue_ =
        AddButton(L"Continue", {7440, 4920, 1935, 375}, FontKind::DefaultBold, [this] { OnContinueClick(); });
    // A larger window is room for more rows; the texts above keep their places.
    SetGrowth(ctlStartups_, kFillRoom);
    SetGrowth(cmdDonate_, kFollowBottom);
    SetGrowth(cmdAbout_, kFollowBottom);
    SetGrowth(cmdContinue_, kFollowBottomRight);
}

void frmMain::CreateNothingFoundPanel() {
    // The panel that says nothing was found, over the middle of the list. Made only when the scan
    // finds nothing: its seven windows would otherwise cost every start-up time for nothing.
    picHolder_ = AddPanel({720, 2400, 8055, 1215}, false);
    SetGrowth(picHolder_, kStayCentred);
    AddImage(IDI_TICK, {960, 120, 240, 240}, picHolder_);
    lblNoItemsFound_ = AddLabel(L"No unnecessary startups found!", {1440, 120, 3480, 240}, FontKind::VerdanaLargeBold,
                                LabelSize::Auto, picHolder_);
    AddLabel(L"If you would like to submit an unnecessary startup, please,", {960, 480, 5085, 195}, FontKind::Verdana,
             LabelSize::Auto, picHolder_);
    AddLinkLabel(
        L"let us know", {6120, 480, 975, 195}, [this] { OnSubmitStartupClick(); }, picHolder_);
    AddLabel(L"For a list of startups detected by Runsweep,", {960, 720, 3840, 195}, FontKind::Verdana, LabelSize::Auto,
             picHolder_);
    AddLinkLabel(
        L"click here", {4900, 720, 825, 195}, [this] { OnDetectedClick(); }, picHolder_);

    // The panel covers the list: it stands before the list in the window order, which is also the
    // tab order, so its links come after "Re-enable disabled items" and before the buttons.
    ::SetWindowPos(picHolder_, lblDescription0_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void frmMain::OnLoad() {
    ScanIntoList();
}

void frmMain::ScanIntoList() {
    std::vector<UnreadablePlace> unreadable;
    {
        // One update of the list's windows for the whole scan instead of one per row.
        ListboxUpdateLock batch(*startups_);
        // A scan after the Disabled items window keeps what the user chose meanwhile.
        const std::vector<NamedChoice> before = ChoicesByName(Startups());
        startups_->Clear();
        std::vector<FoundStartup> found = FindStartups(catalogue_, registry_, &files_, &unreadable);
        if (KeepsStartupSwitch(RunningWindowsVersion())) {
            ReadStartupSwitches(registry_, found);
        }
        for (const FoundStartup& entry : found) {
            startups_->AddItem(entry.name, RowDescription(entry));
            if (const RowBox preset = PresetBox(entry); preset != RowBox::Disable) {
                startups_->ChooseBox(startups_->ListCount() - 1, preset);
            }
        }
        // Over those defaults: what the user chose before, and "No action" for what they just
        // re-enabled.
        const std::vector<std::wstring> preset = PresetChoices(Startups(), before, reenabled_);
        const ListChoices& boxes = startups_->Model().Choices();
        for (int row = 0; row < static_cast<int>(preset.size()); ++row) {
            for (int box = 0; box < static_cast<int>(boxes.boxes.size()); ++box) {
                if (!preset[static_cast<std::size_t>(row)].empty() &&
                    boxes.boxes[static_cast<std::size_t>(box)].choice == preset[static_cast<std::size_t>(row)]) {
                    startups_->ChooseBox(row, static_cast<RowBox>(box));
                }
            }
        }
    }
    const bool empty = Startups().ListCount() == 0;
    // "Nothing found" only where everything could be looked at.
    const bool nothing_found = empty && unreadable.empty();
    if (nothing_found && !picHolder_) {
        CreateNothingFoundPanel();
    }
    if (picHolder_) {
        SetVisible(picHolder_, nothing_found);
    }
    SetEnabled(cmdContinue_, !empty);
    if (!unreadable.empty()) {
        messages_.ShowMessage(UnreadablePlacesMessage(unreadable), MessageIcon::Error);
    }
}

HWND frmMain::InitialFocus() {
    return ctlStartups_;
}

void frmMain::OnUnload() {
    hShell32_.reset();
    // Closed, not destroyed: this may run inside the About window's own modal loop, when the main
    // window is closed from outside while the About window is shown.
    if (frmAbout_) {
        frmAbout_->Close();
    }
    ::PostQuitMessage(0);
}

void frmMain::OnContinueClick() {
    // The message boxes below pump messages; a second press must not run the actions again.
    if (continuing_) {
        return;
    }
    continuing_ = true;
    // A close from outside while a box is open would destroy the list and this window under the
    // loop; it waits until every row has been carried out and reported, then ends the program as
    // Continue does anyway.
    const CloseDeferral hold(*this);
    const SwitchClock clock =
        KeepsStartupSwitch(RunningWindowsVersion()) ? SwitchClock(FileTimeNow()) : SwitchClock(std::nullopt);
    std::vector<ActionRecord> actions;
    {
        // runsweepc, or a copy of this program started before this one, may be changing entries.
        const std::unique_ptr<ChangeLock> lock = MakeMachineChangeLock();
        const ChangeLockHold changing(lock.get(), kChangeLockWaitMs);
        if (!changing.Held()) {
            messages_.ShowMessage(kAnotherCopyChangingMessage, MessageIcon::Error);
            continuing_ = false;
            return;
        }
        actions = CarryOutChoices(Startups(), registry_, files_, messages_, clock);
    }
    const ClosingMessage closing = ComposeClosingMessage(actions);
    messages_.ShowMessage(
        FitMessageToScreen(Handle(), closing.EntryLines(), [&](std::size_t listed) { return closing.Text(listed); }),
        closing.icon);
    Close();
}

void frmMain::OnAboutClick() {
    ShowAboutWindow(frmAbout_, Handle());
}

void frmMain::OnDonateClick() {
    Win32ShellLauncher shell(Handle());
    OpenDocument(shell, WebPage::Donate);
}

void frmMain::OnMsconfigClick() {
    // The launch and its failure message pump messages; the launcher holds this window's handle.
    const CloseDeferral hold(*this);
    Win32ShellLauncher shell(Handle());
    // A close that came while MSConfig's failure message was open has the last word: the user
    // asked to end the program, not to see another window.
    if (OpenReenable(shell, messages_, RunningWindowsVersion(), RunningSystemFolders()) && !ClosePending()) {
        ShowDisabledItems();
    }
}

void frmMain::ShowDisabledItems() {
    // A click queued before the window below disabled this one must not open a second one.
    if (showingDisabled_) {
        return;
    }
    showingDisabled_ = true;
    frmDisabled disabled(registry_, files_);
    const bool changed = disabled.Show(Handle());
    showingDisabled_ = false;
    reenabled_.insert(reenabled_.end(), disabled.Reenabled().begin(), disabled.Reenabled().end());
    // Entries that came back are listed again; unless the program is ending meanwhile.
    if (changed && IsLoaded()) {
        ScanIntoList();
    }
}

void frmMain::OnSubmitStartupClick() {
    Win32ShellLauncher shell(Handle());
    OpenDocument(shell, WebPage::Contact);
}

void frmMain::OnDetectedClick() {
    Win32ShellLauncher shell(Handle());
    OpenDocument(shell, WebPage::DetectedList);
}

} // namespace runsweep
