#pragma once
// frmAbout: the program's name, version and credits, the custom-list hint, and two links: the
// version history (a message) and the corporate-licensing page. It has no buttons; its close box,
// Esc or Enter unload it, and the next "About" loads it again. Tab reaches the two links.
#include "app/forms_win.h"
#include "app/launches.h"
#include "base/win_handles_win.h"

#include <memory>

namespace runsweep {

inline constexpr const wchar_t* kAboutCaption = L"About Quorvane' Runsweep";
inline constexpr const wchar_t* kAboutCreator = L"Written by Orrin Valdecasa for Quorvane";
inline constexpr const wchar_t* kAboutThanks = L"Special thanks to Wendeline, Pascoe, Ilvy and Marten.";
inline constexpr const wchar_t* kAboutCustomList = L"For a custom list, simply create custom.txt in the same folder as "
                                                   L"Runsweep. Format: Startup,Description (no space).";
inline constexpr const wchar_t* kVersionHistoryTip = L"Version History";
inline constexpr const wchar_t* kCorporateLicensingTip = L"Corporate licensing";

class frmAbout : public Form {
public:
    // `shell` opens the corporate-licensing page on behalf of the main window. `messages` shows the
    // version history; without one, the window shows it in message boxes of its own, so that the
    // box keeps this window, not only the main window, from taking input.
    explicit frmAbout(std::unique_ptr<ShellLauncher> shell, std::unique_ptr<MessageSink> messages = nullptr);
    ~frmAbout() override;

    // Creates and loads the window, hidden and centred on the screen, unless it is loaded.
    void Load(HWND owner);
    // Loads the window if need be, shows it and returns when it has been closed. Until then no other
    // window of the program takes input. A second call while it is shown does nothing.
    void Show(HWND owner);

    // Click handlers.
    void OnVersionHistoryClick();
    void OnCorporateLicensingClick();

    // The window's tool-tip control while it is loaded.
    HWND ToolTips() const noexcept { return toolTips_; }

protected:
    void OnCreateControls() override;
    void OnUnload() override;
    void OnDpiChanged() override;
    // No control: Enter closes the window until Tab has taken the focus to a link.
    HWND InitialFocus() override { return Handle(); }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    MessageSink& Messages() noexcept;
    void LoadPicture();
    void AddToolTip(HWND control, const wchar_t* text);

    std::unique_ptr<ShellLauncher> shell_;
    std::unique_ptr<MessageSink> messages_;
    MessageBoxSink ownMessages_;
    bool showing_ = false;

    UniqueBitmap picture_;
    HWND toolTips_ = nullptr;
    HWND picAbout_ = nullptr;
    HWND lblVersionHistory_ = nullptr;
    HWND lblCorporateLicensing_ = nullptr;
};

// The main window's "About": creates the About window in `slot` on first use, with launches owned
// by `mainWindow`, and shows it modally.
void ShowAboutWindow(std::unique_ptr<Form>& slot, HWND mainWindow);

} // namespace runsweep
