#include "app/frm_about_win.h"

#include "app/shell_launcher_win.h"
#include "resources/resource.h"
#include "resources/version.h"

#include <commctrl.h>

#include <stdexcept>
#include <utility>

namespace runsweep {

namespace {

constexpr ControlRect kPictureBox{120, 120, 810, 810};

} // namespace

frmAbout::frmAbout(std::unique_ptr<ShellLauncher> shell, std::unique_ptr<MessageSink> messages)
    : shell_(std::move(shell)), messages_(std::move(messages)) {
    if (!shell_) {
        throw std::invalid_argument("The About window needs a way to open its links.");
    }
}

frmAbout::~frmAbout() {
    // The base class destroys a window that is still open; the picture must outlive the control that
    // shows it.
    if (IsLoaded()) {
        Close();
    }
}

void frmAbout::Load(HWND owner) {
    if (IsLoaded()) {
        return;
    }
    FormStyle style;
    style.caption = kAboutCaption;
    style.clientWidth = 6615;
    style.clientHeight = 3255;
    style.sizableFrame = false;
    style.minimizeBox = false;
    style.maximizeBox = false;
    Create(style, owner);
}

void frmAbout::Show(HWND owner) {
    // A click queued on the main window before it was disabled must not start a second modal loop.
    if (showing_) {
        return;
    }
    Load(owner);
    showing_ = true;
    ShowModal();
    showing_ = false;
}

MessageSink& frmAbout::Messages() noexcept {
    return messages_ ? *messages_ : ownMessages_;
}

void frmAbout::OnCreateControls() {
    ownMessages_.SetOwner(Handle());

    picAbout_ = AddCustomControl(WC_STATICW, kPictureBox, WS_VISIBLE | SS_BITMAP);
    LoadPicture();
    AddLabel(L"Runsweep", {1080, 120, 1230, 240}, FontKind::VerdanaLargeBold);
    AddLabel(L"" RUNSWEEP_VERSION_LABEL, {1080, 360, 1080, 195}, FontKind::Verdana);
    lblVersionHistory_ = AddLinkLabel(L"Version History", {1080, 600, 1305, 195}, [this] { OnVersionHistoryClick(); });
    AddLabel(kAboutCreator, {120, 1080, 5790, 195}, FontKind::VerdanaBold);
    AddLabel(kAboutThanks, {120, 1305, 5955, 195}, FontKind::Verdana);
    AddLabel(kAboutCustomList, {120, 1680, 5865, 435}, FontKind::Verdana, LabelSize::Wrap);
    AddLabel(L"", {120, 2280, 6375, 495}, FontKind::Verdana, LabelSize::Wrap);
    lblCorporateLicensing_ =
        AddLinkLabel(kCorporateAddress, {120, 2880, 3840, 195}, [this] { OnCorporateLicensingClick(); });

    toolTips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (!toolTips_) {
        throw std::runtime_error("The program could not create the tool tips of its About window.");
    }
    AddToolTip(lblVersionHistory_, kVersionHistoryTip);
    AddToolTip(lblCorporateLicensing_, kCorporateLicensingTip);
}

void frmAbout::AddToolTip(HWND control, const wchar_t* text) {
    TTTOOLINFOW tool{};
    // The size every version of the common controls accepts.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    // TTF_SUBCLASS: the tool-tip control watches the label's mouse messages itself.
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text);
    if (!::SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
        throw std::runtime_error("The program could not add a tool tip to its About window.");
    }
}

void frmAbout::LoadPicture() {
    // Drawn for 96 dpi and stretched to the box at any other DPI, as the rest of the window grows.
    const int side = Px(kPictureBox.width);
    UniqueBitmap picture(static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_ABOUT),
                                                           IMAGE_BITMAP, side, side, LR_DEFAULTCOLOR)));
    ::SendMessageW(picAbout_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
    // The control resizes itself to its bitmap; keep the designed box even when the image is missing.
    ::SetWindowPos(picAbout_, nullptr, 0, 0, side, side, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    picture_ = std::move(picture);
}

void frmAbout::OnDpiChanged() {
    LoadPicture();
}

void frmAbout::OnUnload() {
    ::SendMessageW(picAbout_, STM_SETIMAGE, IMAGE_BITMAP, 0);
    picture_.reset();
    // Owned by this window, the tool-tip control goes with it.
    toolTips_ = nullptr;
    picAbout_ = nullptr;
    lblVersionHistory_ = nullptr;
    lblCorporateLicensing_ = nullptr;
}

bool frmAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // Esc and Enter reach the window as the commands IDCANCEL and IDOK, as in every dialog; with no
    // buttons, both close it.
    if (message == WM_COMMAND && lParam == 0 && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        Close();
        result = 0;
        return true;
    }
    return false;
}

// The box and the launch pump messages: a close from outside waits until they are done. The main
// window's own unload still closes this window at once.
void frmAbout::OnVersionHistoryClick() {
    const CloseDeferral hold(*this);
    ShowVersionHistory(Messages());
}

void frmAbout::OnCorporateLicensingClick() {
    const CloseDeferral hold(*this);
    OpenDocument(*shell_, WebPage::CorporateLicensing);
}

void ShowAboutWindow(std::unique_ptr<Form>& slot, HWND mainWindow) {
    if (!slot) {
        slot = std::make_unique<frmAbout>(std::make_unique<Win32ShellLauncher>(mainWindow));
    }
    auto* about = dynamic_cast<frmAbout*>(slot.get());
    if (!about) {
        throw std::logic_error("The main window holds something other than the About window.");
    }
    about->Show(mainWindow);
}

} // namespace runsweep
