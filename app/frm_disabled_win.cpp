#include "app/frm_disabled_win.h"

#include "app/disabled_items.h"
#include "base/windows_version.h"
#include "listbox/listbox_win.h"
#include "registry/change_lock_win.h"
#include "resources/resource.h"

#include <stdexcept>

namespace runsweep {

frmDisabled::frmDisabled(Registry& registry, FolderFiles& files) : registry_(registry), files_(files) {}

frmDisabled::~frmDisabled() = default;

bool frmDisabled::Show(HWND owner) {
    FormStyle style;
    style.caption = kDisabledItemsCaption;
    style.clientWidth = 9495;
    style.clientHeight = 5430;
    style.sizableFrame = true;
    style.maximizeBox = true;
    style.growable = true;
    style.placementName = L"DisabledItemsWindow";
    Create(style, owner);
    ShowModal();
    return carried_out_;
}

void frmDisabled::OnCreateControls() {
    messages_.SetOwner(Handle());
    AddLabel(kDisabledItemsHeader, {120, 120, 9255, 495}, FontKind::Verdana, LabelSize::Wrap);

    // In tab order: the list, then the buttons from left to right.
    if (!RegisterListboxClass(::GetModuleHandleW(nullptr))) {
        throw std::runtime_error("The program could not register the window class of its startup list.");
    }
    ctlDisabled_ = AddCustomControl(kListboxClassName, {120, 720, 9255, 4095}, WS_VISIBLE | WS_TABSTOP);
    ::SetWindowTextW(ctlDisabled_, L"Disabled items"); // what screen readers announce the list as
    list_ = ListboxFromWindow(ctlDisabled_);
    if (!list_) {
        throw std::runtime_error("The program could not create the list of disabled items.");
    }
    list_->SetChoices(ReenableChoices());
    cmdClose_ = AddButton(kCloseButton, {120, 4920, 1455, 375}, FontKind::Default, [this] { OnCloseClick(); });
    cmdReenable_ =
        AddButton(kReenableButton, {7440, 4920, 1935, 375}, FontKind::DefaultBold, [this] { OnReenableClick(); });
    SetGrowth(ctlDisabled_, kFillRoom);
    SetGrowth(cmdClose_, kFollowBottom);
    SetGrowth(cmdReenable_, kFollowBottomRight);
}

void frmDisabled::CreateEmptyPanel(const std::wstring& detail) {
    picEmpty_ = AddPanel({720, 2160, 8055, 975}, false);
    SetGrowth(picEmpty_, kStayCentred);
    AddImage(IDI_TICK, {960, 120, 240, 240}, picEmpty_);
    AddLabel(kNoDisabledItems, {1440, 120, 3480, 240}, FontKind::VerdanaLargeBold, LabelSize::Auto, picEmpty_);
    AddLabel(detail, {960, 480, 6855, 390}, FontKind::Verdana, LabelSize::Wrap, picEmpty_);
    ::SetWindowPos(picEmpty_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetVisible(picEmpty_, true);
}

void frmDisabled::OnLoad() {
    const long status = ReadDisabledItems(registry_, KeepsStartupSwitch(RunningWindowsVersion()), items_);
    {
        ListboxUpdateLock batch(*list_);
        for (const StartupRecord& record : items_.records) {
            list_->AddItem(RecordTitle(record), RecordDescription(record));
        }
        for (const FolderRecord& record : items_.folder_records) {
            list_->AddItem(FolderRecordTitle(record), FolderRecordDescription(record));
        }
        for (const SwitchedOff& entry : items_.switched_off) {
            list_->AddItem(entry.name, SwitchedOffDescription(entry));
        }
    }
    if (items_.size() == 0) {
        CreateEmptyPanel(status == kSuccess
                             ? L"Entries disabled by Runsweep or by the System Configuration utility are listed here."
                             : L"The records of disabled entries could not be read (error " + std::to_wstring(status) +
                                   L").");
        SetEnabled(cmdReenable_, false);
    }
}

bool frmDisabled::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // Esc, which dialog navigation turns into IDCANCEL: closes the window like its close box.
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && lParam == 0) {
        Close();
        result = 0;
        return true;
    }
    return false;
}

void frmDisabled::OnCloseClick() {
    Close();
}

void frmDisabled::OnReenableClick() {
    // The message box pumps messages; a second press must not carry the choices out again.
    if (carrying_out_) {
        return;
    }
    carrying_out_ = true;
    std::vector<EnableRecord> results;
    {
        const std::unique_ptr<ChangeLock> lock = MakeMachineChangeLock();
        const ChangeLockHold changing(lock.get(), kChangeLockWaitMs);
        if (!changing.Held()) {
            messages_.ShowMessage(kAnotherCopyChangingMessage, MessageIcon::Error);
            carrying_out_ = false;
            return;
        }
        results = CarryOutReenable(*list_, items_, registry_, files_, KeepsStartupSwitch(RunningWindowsVersion()));
    }
    carried_out_ = !results.empty();
    reenabled_ = ReenabledNames(results);
    const ClosingMessage closing = ComposeReenableMessage(results);
    messages_.ShowMessage(
        FitMessageToScreen(Handle(), closing.EntryLines(), [&](std::size_t listed) { return closing.Text(listed); }),
        closing.icon);
    Close();
}

} // namespace runsweep
