#pragma once
// frmDisabled, "Disabled items": every record of a disabled startup entry, whoever wrote it, and
// every entry only switched off in Task Manager, as a row of the startup list with the boxes "Re-enable" and "Keep
// disabled". "Re-enable chosen" puts the chosen entries back and says what came of each; closing the window (its close
// box, "Close", Esc) carries out nothing. It is modal to the main window and made afresh each time it opens.
#include "app/disabled_items.h"
#include "app/forms_win.h"

#include <vector>

namespace runsweep {

class FolderFiles;
class Registry;
class ListboxControl;

class frmDisabled : public Form {
public:
    frmDisabled(Registry& registry, FolderFiles& files);
    ~frmDisabled() override;

    // Creates and loads the window (the records are read), shows it modal to `owner` and returns
    // when it has been closed: true when re-enabling was carried out, so the owner's list may have
    // changed.
    bool Show(HWND owner);
    // The Run values that came back while the window was open.
    const std::vector<std::wstring>& Reenabled() const { return reenabled_; }

    void OnReenableClick();
    void OnCloseClick();

protected:
    void OnCreateControls() override;
    void OnLoad() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CreateEmptyPanel(const std::wstring& detail);

    Registry& registry_;
    FolderFiles& files_;
    MessageBoxSink messages_;
    DisabledItems items_; // row i stands for item i
    std::vector<std::wstring> reenabled_;
    ListboxControl* list_ = nullptr;
    HWND ctlDisabled_ = nullptr;
    HWND picEmpty_ = nullptr;
    HWND cmdClose_ = nullptr;
    HWND cmdReenable_ = nullptr;
    bool carrying_out_ = false;
    bool carried_out_ = false;
};

} // namespace runsweep
