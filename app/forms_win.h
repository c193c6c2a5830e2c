#pragma once
// A thin forms layer over Win32 for the program's windows.
//
// A window is a class derived from Form. It describes its controls in twips (1440 to the inch)
// relative to their container; the layer converts them to pixels with the window's own DPI, and
// again whenever the window moves to a monitor of another DPI (WM_DPICHANGED). A form sees its
// life as events:
//
//     class frmExample : public Form {
//         void OnCreateControls() override {          // build the controls (once)
//             lblHello_ = AddLabel(L"Hello", {120, 120, 0, 0}, FontKind::Verdana);
//             AddButton(L"OK", {120, 480, 1455, 375}, FontKind::Default, [this] { Close(); });
//         }
//         void OnLoad() override {}                   // before the window is first drawn
//         void OnResize() override {}                 // after load, and at every change of size or state
//         void OnUnload() override {}                 // whatever closed the window
//         HWND lblHello_ = nullptr;
//     };
//
//     frmExample form;
//     form.Create(style, nullptr);   // creates the window hidden, then its controls, then OnLoad
//     form.ShowModeless();           // or form.ShowModal(owner) for a modal window
//
// Handlers run inside the window procedure. An exception thrown by a handler never crosses it: the
// layer records the first one, ends the message loop, and RunMessageLoop rethrows it to the caller,
// so that the program's entry can tell the user what failed and end.
//
// Labels have a transparent background (their container's colour shows through). A label either
// sizes itself to its text on one line (LabelSize::Auto: the width and height of its ControlRect are
// not used) or has a fixed box in which the text wraps (LabelSize::Wrap). Every colour comes from the
// user's scheme through base/palette_win.h: text in the text colour of its container (the face, or a
// panel's window colour), links in the hot-tracking colour. Link labels are labels in
// Verdana 8.25 underlined, with the system's hand cursor, that raise their click handler; they are tab stops with a
// focus mark round them (their window is a pixel larger than the text on every side, for the mark), and Enter or
// Space raises the handler too. Fonts are created once per DPI and shared by
// every control of the form.
//
// Focus as in the system's dialogs: a form gives the focus back to the control that had it when it
// is activated or restored again; a push button shows as the default one while it has the focus,
// and otherwise the button named by DM_SETDEFID does (none unless set).
#include "base/message_sink.h"
#include "base/palette_win.h"
#include "base/win_handles_win.h"
#include "base/window_dpi_win.h"

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace runsweep {

// The window class of every form; a second start finds the first one's main window by it.
inline constexpr const wchar_t* kFormClassName = L"Runsweep.Form";

// The fonts the program's windows use.
enum class FontKind {
    Default,          // "MS Sans Serif" 8.25 pt: for controls that set no font of their own
    DefaultBold,      // "MS Sans Serif" 8.25 pt bold
    Verdana,          // Verdana 8.25 pt
    VerdanaBold,      // Verdana 8.25 pt bold
    VerdanaUnderline, // Verdana 8.25 pt underlined: link labels
    VerdanaLargeBold, // Verdana 9.75 pt bold
};
inline constexpr std::size_t kFontKindCount = 6;

// A control's place in its container, in twips.
struct ControlRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// How much of a form's growth beyond its designed size a control takes, as shares of the growth in
// width and height: its left and top edges move, its width and height grow. All 0 keeps the control
// where it was designed. Only controls placed on the form itself grow; a panel's keep their places
// in the panel.
struct Growth {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};
inline constexpr Growth kFillRoom{0, 0, 1, 1};
inline constexpr Growth kFollowBottom{0, 1, 0, 0};
inline constexpr Growth kFollowBottomRight{1, 1, 0, 0};
inline constexpr Growth kStayCentred{0.5, 0.5, 0, 0};

enum class LabelSize {
    Auto, // the label takes the size of its text on one line
    Wrap, // fixed box; the text wraps inside it and is cut at its bottom edge
};

// The height in pixels of a font of `points` points at `dpi`, as CreateFont wants it (negative:
// character height, not cell height).
int FontHeightForPoints(double points, unsigned dpi) noexcept;

// The fonts of one form, for one DPI. Created together, released together.
class FontSet {
public:
    // Creates every font for `dpi`; throws std::runtime_error when the system cannot create one.
    void Create(unsigned dpi);
    HFONT Get(FontKind kind) const noexcept { return fonts_[static_cast<std::size_t>(kind)].get(); }
    unsigned Dpi() const noexcept { return dpi_; }

private:
    std::array<UniqueFont, kFontKindCount> fonts_;
    unsigned dpi_ = 0;
};

// The first unhandled exception of a window handler, kept until the message loop rethrows it.
void ReportFatalError(std::exception_ptr error) noexcept;
// Rethrows and clears a recorded exception, if any.
void RethrowFatalError();

// Processes messages until WM_QUIT, with dialog-style keyboard navigation (Tab, Shift+Tab, arrow
// keys between WS_TABSTOP controls) in every top-level window. Returns the WM_QUIT exit code, or
// rethrows the exception that a handler reported.
int RunMessageLoop();

// How a form's window looks. Sizes in twips.
struct FormStyle {
    std::wstring caption;
    double clientWidth = 0; // the designed client area
    double clientHeight = 0;
    double outerWidth = 0;  // the outer size the window keeps, frame included; 0 = as the client
    double outerHeight = 0; //   area and the frame make it, and the window may not be resized
    bool sizableFrame = false;
    bool minimizeBox = false;
    bool maximizeBox = false;
    // The designed size is the smallest: the window may be made larger and maximized, and its
    // controls follow by their Growth. Otherwise an outer size given above is held.
    bool growable = false;
    // The window's place, size and maximized state are kept for the user under this name when it
    // closes, and it opens there the next time. Empty: it always opens centred at its designed size.
    std::wstring placementName;
};

// Where the user's windows are kept: HKCU, one REG_SZ value per window.
inline constexpr wchar_t kWindowPlacementKey[] = L"Software\\Quorvane\\Runsweep";

// A window's outer rectangle in screen pixels at the DPI it had, and whether it was maximized (the
// rectangle is then where it comes back to when restored).
struct SavedPlacement {
    RECT rect{};
    unsigned dpi = 96;
    bool maximized = false;
};
// "left,top,width,height,dpi,maximized", as kept in the registry.
std::wstring FormatPlacement(const SavedPlacement& placement);
// Nothing for text that is not a placement this program wrote: the window then opens as the first
// time.
std::optional<SavedPlacement> ParsePlacement(std::wstring_view text);

// A monitor's work area (the screen without task bars) and its DPI.
struct MonitorArea {
    RECT work{};
    unsigned dpi = 96;
};
// Where a window saved at `saved` opens on the monitors of now (the primary first): on the one that
// shows most of it, or centred on the primary when none shows any; its size scaled to that
// monitor's DPI, no smaller than `minimumAt` that DPI, and no larger than the work area while the
// minimum allows; moved wholly inside the work area where it fits.
RECT RestoredRect(const SavedPlacement& saved, const std::vector<MonitorArea>& monitors,
                  const std::function<SIZE(unsigned dpi)>& minimumAt);

class Form {
public:
    Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    // Creates the window, hidden and centred on the screen its owner is on (the primary one when
    // `owner` is null, and unless a kept place is restored), builds its controls (OnCreateControls)
    // and raises OnLoad. Throws std::runtime_error when the window cannot be created.
    void Create(const FormStyle& style, HWND owner);
    // Shows the window and returns.
    void ShowModeless();
    // Shows the window and returns when it has been closed. Until then no other window of the
    // program's thread takes input. A WM_QUIT that arrives meanwhile ends the wait and is posted
    // again for the outer loop.
    void ShowModal();
    // Closes the window as its close box would: OnUnload runs, then the window is destroyed. Never
    // held back by a CloseDeferral.
    void Close() noexcept;

    // While one lives, a close that reaches the window from outside (WM_CLOSE: the close box, a task
    // manager's "End task", another program) is held back, and carried out when the last one ends.
    // A handler that shows a message box or runs a modal loop pumps messages meanwhile; holding one
    // keeps its window and controls alive until it returns.
    class CloseDeferral {
    public:
        explicit CloseDeferral(Form& form) noexcept;
        ~CloseDeferral();
        CloseDeferral(const CloseDeferral&) = delete;
        CloseDeferral& operator=(const CloseDeferral&) = delete;

    private:
        Form& form_;
    };
    // A close arrived while a CloseDeferral held it back, and has not been carried out yet.
    bool ClosePending() const noexcept { return closePending_; }

    HWND Handle() const noexcept { return hwnd_; }
    bool IsLoaded() const noexcept { return hwnd_ != nullptr; }
    unsigned Dpi() const noexcept { return fonts_.Dpi(); }
    int Px(double twips) const noexcept;

protected:
    // Events. Each runs inside the window procedure; exceptions are reported as described above.
    virtual void OnCreateControls() {}
    virtual void OnLoad() {}
    virtual void OnResize() {}
    virtual void OnUnload() {}
    // After the layer has placed the controls for a new DPI.
    virtual void OnDpiChanged() {}
    // Where the focus goes when the window is activated and no control of it had the focus yet:
    // a control, or the window itself to leave every control without it. The first tab stop unless
    // a form says otherwise.
    virtual HWND InitialFocus();
    // Any message the layer does not handle itself; return true and set `result` to consume it.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Controls. `container` is the form (nullptr) or a panel made by AddPanel. Return the
    // control's window; it belongs to the form and is destroyed with it.
    HWND AddLabel(const std::wstring& text, const ControlRect& rect, FontKind font, LabelSize size = LabelSize::Auto,
                  HWND container = nullptr);
    HWND AddLinkLabel(const std::wstring& text, const ControlRect& rect, std::function<void()> onClick,
                      HWND container = nullptr);
    HWND AddButton(const std::wstring& text, const ControlRect& rect, FontKind font, std::function<void()> onClick,
                   HWND container = nullptr);
    // A plain panel in the window colour, as the lists are, whose children are clipped to it. Starts
    // hidden when `visible` is false.
    HWND AddPanel(const ControlRect& rect, bool visible, HWND container = nullptr);
    // An icon from the program's resources, drawn at the size of its box.
    HWND AddImage(int iconResource, const ControlRect& rect, HWND container = nullptr);
    // A window of any registered class, placed like the other controls. Throws when it cannot be
    // created.
    HWND AddCustomControl(const wchar_t* className, const ControlRect& rect, DWORD style, HWND container = nullptr);

    // How the control follows the form when the form grows; placed again at once.
    void SetGrowth(HWND control, const Growth& growth);

    static void SetVisible(HWND control, bool visible) noexcept;
    static void SetEnabled(HWND control, bool enabled) noexcept;

    // The outer size of the window in pixels that the style's twips give at the current DPI.
    SIZE OuterSizePx() const noexcept;
    // The form's background colour (the system's 3-D face colour).
    static COLORREF BackColor() noexcept;

private:
    enum class ControlKind { Label, LinkLabel, Button, Panel, Image, Custom };
    struct Control {
        HWND hwnd = nullptr;
        HWND container = nullptr; // null: the form itself
        ControlKind kind = ControlKind::Label;
        ControlRect rect;
        FontKind font = FontKind::Default;
        LabelSize size = LabelSize::Auto;
        int iconResource = 0;
        UniqueIcon icon;
        std::function<void()> onClick;
        Growth growth;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LinkLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR data);
    static void RegisterClasses();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    Control& NewControl(ControlKind kind, HWND container, const ControlRect& rect, FontKind font);
    Control* FindControl(HWND hwnd) noexcept;
    HWND CreateChild(Control& control, const wchar_t* className, const std::wstring& text, DWORD style,
                     DWORD exStyle = 0);
    void SetControlFont(const Control& control) noexcept;
    RECT ControlBounds(const Control& control, const std::wstring& text) const;
    void PlaceControl(Control& control);
    void PlaceAll();
    void LoadImageFor(Control& control);
    Surface ContainerSurface(HWND container) const noexcept;
    HBRUSH ContainerBrush(HWND container) const noexcept;
    bool HoldsOuterSize() const noexcept;
    bool HasMinimumSize() const noexcept;
    SIZE OuterSizeAt(unsigned dpi, DWORD windowStyle, DWORD exStyle) const noexcept;
    // The client area at the designed outer size, and how far the window has grown beyond it.
    SIZE DesignClientPx() const noexcept;
    SIZE GrowthPx() const noexcept;
    void PlaceGrowing();
    // Where a remembered window opens: false when it is not remembered or nothing was kept.
    bool PlanRestoredPlacement(DWORD windowStyle, DWORD exStyle, RECT& rect, unsigned& dpi);
    void TrackPlacement() noexcept;
    void SavePlacement() noexcept;
    int ShowCommand() const noexcept;
    void CenterOnScreen() noexcept;
    void Unload() noexcept;
    void RaiseResize() noexcept;
    void SaveFocus() noexcept;
    void RestoreFocus() noexcept;
    // Shows `focused` as the default push button, or the DM_SETDEFID one when the focus is on no button.
    void ShowDefaultButton(HWND focused) noexcept;
    LRESULT DefaultButtonId() const noexcept;

    HWND hwnd_ = nullptr;
    FormStyle style_;
    FontSet fonts_;
    std::vector<std::unique_ptr<Control>> controls_;
    int nextControlId_ = 100;         // below 100: IDOK and IDCANCEL, which dialog navigation sends
    HWND focus_ = nullptr;            // the control that had the focus when the window was deactivated
    int defaultId_ = 0;               // DM_SETDEFID's button: the default while no button has the focus
    std::vector<HWND> modalDisabled_; // the windows ShowModal disabled
    bool loaded_ = false;             // OnLoad has run: resize events are raised from now on
    bool unloaded_ = false;
    bool modal_ = false;
    int closeDeferrals_ = 0;     // CloseDeferrals alive
    bool closePending_ = false;  // a WM_CLOSE they held back
    bool closingItself_ = false; // Close() is sending WM_CLOSE
    bool shown_ = false;         // on the screen at least once: its placement is worth keeping
    RECT normalRect_{};          // the outer rectangle when last neither minimized nor maximized
    bool maximized_ = false;     // maximized, or minimized from maximized
    bool openMaximized_ = false; // as it was when it last closed
};

// Shows the core's messages as modal message boxes titled "Runsweep", owned by the program's main
// window once it exists. A text too tall for the screen is cut after the lines that fit.
class MessageBoxSink : public MessageSink {
public:
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;

private:
    HWND owner_ = nullptr;
};

// The text of a message naming as many of its `total` entries as let its box stand whole in the
// work area of the monitor of `owner` (the primary one when null): `compose(n)` is the text naming
// the first n. With room for all of them, compose(total).
std::wstring FitMessageToScreen(HWND owner, std::size_t total, const std::function<std::wstring(std::size_t)>& compose);

// MessageBoxW's style for an icon: MB_OK and the matching icon flag.
UINT MessageBoxStyle(MessageIcon icon) noexcept;

inline constexpr const wchar_t* kApplicationTitle = L"Runsweep";

} // namespace runsweep
