// The forms layer on the real window system: the order of a window's events, twips placement at
// the window's DPI (and again after a DPI change), link labels, the held outer size, modal windows,
// and exceptions that must not cross a window procedure.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/forms_win.h"
#include "base/twips.h"
#include "base/win_handles_win.h"
#include "tests/win/screen_ink_win.h"

namespace runsweep {
namespace {

constexpr UINT kProbe = WM_APP + 1;

class TestForm : public Form {
public:
    std::vector<std::string> events;
    HWND label = nullptr;
    HWND wrapped = nullptr;
    HWND link = nullptr;
    HWND button = nullptr;
    HWND panel = nullptr;
    HWND panelLabel = nullptr;
    HWND panelLink = nullptr;
    HWND other = nullptr;
    int linkClicks = 0;
    int panelLinkClicks = 0;
    int buttonClicks = 0;
    bool throwOnClick = false;
    bool visibleDuringLoad = true;
    std::function<void()> onProbe;
    bool growable = false;
    std::wstring placementName;

    void Open(double outerWidth = 9735, double outerHeight = 5970) {
        FormStyle style;
        style.caption = L"Forms layer test";
        style.clientWidth = 9495;
        style.clientHeight = 5430;
        style.outerWidth = outerWidth;
        style.outerHeight = outerHeight;
        style.sizableFrame = true;
        style.minimizeBox = true;
        style.maximizeBox = growable;
        style.growable = growable;
        style.placementName = placementName;
        Create(style, nullptr);
    }

protected:
    void OnCreateControls() override {
        events.push_back("controls");
        label = AddLabel(L"A label", {120, 600, 0, 0}, FontKind::Verdana);
        wrapped = AddLabel(L"A long text that wraps inside its fixed box", {120, 120, 2400, 495}, FontKind::Verdana,
                           LabelSize::Wrap);
        link = AddLinkLabel(L"a link", {2400, 600, 0, 0}, [this] { ++linkClicks; });
        button = AddButton(L"Press", {7440, 4920, 1935, 375}, FontKind::DefaultBold, [this] {
            ++buttonClicks;
            if (throwOnClick) {
                throw std::runtime_error("handler failed");
            }
        });
        panel = AddPanel({720, 2400, 8055, 1215}, false);
        panelLabel = AddLabel(L"On the panel", {960, 480, 0, 0}, FontKind::Verdana, LabelSize::Auto, panel);
        panelLink = AddLinkLabel(
            L"panel link", {4800, 480, 0, 0}, [this] { ++panelLinkClicks; }, panel);
        other = AddButton(L"Other", {120, 4920, 1455, 375}, FontKind::Default, [] {});
        SetGrowth(button, kFollowBottomRight);
        SetGrowth(other, kFollowBottom);
        SetGrowth(panel, kFillRoom);
    }
    void OnLoad() override {
        events.push_back("load");
        visibleDuringLoad = ::IsWindowVisible(Handle()) != FALSE;
    }
    void OnResize() override { events.push_back("resize"); }
    void OnUnload() override { events.push_back("unload"); }
    bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message == kProbe && onProbe) {
            onProbe();
            result = 0;
            return true;
        }
        return false;
    }
};

RECT RectInParent(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE OuterSize(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// Handles what is already queued, without waiting for more.
void Pump() {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A key pressed and let go with the focus where it is, through dialog navigation as the program's
// message loop takes it.
void PressKey(HWND window, UINT vk, bool repeated = false) {
    for (const UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG msg{};
        HWND focus = ::GetFocus();
        msg.hwnd = focus ? focus : window;
        msg.message = message;
        msg.wParam = vk;
        msg.lParam = message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001u) : (repeated ? (1L << 30) | 1 : 1);
        if (!::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        Pump();
    }
}

bool IsDefaultButton(HWND button) {
    return (::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

// Pixels of the control's outermost ring that differ from its background.
int RingPixelsDrawn(HWND control, COLORREF background) {
    ::UpdateWindow(control);
    RECT r{};
    ::GetClientRect(control, &r);
    HDC dc = ::GetDC(control);
    int drawn = 0;
    for (int x = 0; x < r.right; ++x) {
        drawn += ::GetPixel(dc, x, 0) != background;
        drawn += ::GetPixel(dc, x, r.bottom - 1) != background;
    }
    ::ReleaseDC(control, dc);
    return drawn;
}

// A form shown and active, as the user meets it.
void OpenActive(TestForm& form) {
    form.Open();
    form.ShowModeless();
    ::SetForegroundWindow(form.Handle());
    ::SetActiveWindow(form.Handle());
    Pump();
}

TEST(FormsLayer, LoadsHiddenBeforeShowingAndUnloadsOnceWhateverClosesIt) {
    TestForm form;
    form.Open();
    ASSERT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.visibleDuringLoad);
    EXPECT_EQ(form.events, (std::vector<std::string>{"controls", "load"}));

    form.ShowModeless();
    EXPECT_TRUE(::IsWindowVisible(form.Handle()));
    ASSERT_GE(form.events.size(), 3u);
    EXPECT_EQ(form.events[2], "resize");

    form.events.clear();
    ::SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_EQ(form.events, (std::vector<std::string>{"unload"}));
    EXPECT_FALSE(form.IsLoaded());

    // Destroyed by the program instead of closed: unload still runs, once.
    TestForm other;
    other.Open();
    other.events.clear();
    ::DestroyWindow(other.Handle());
    EXPECT_EQ(other.events, (std::vector<std::string>{"unload"}));
    EXPECT_FALSE(other.IsLoaded());
}

// A handler that shows a message box holds its window open: a close from outside (posted, or the
// system menu's) waits for the last deferral, then happens once; the program's own Close does not wait.
TEST(FormsLayer, ACloseFromOutsideWaitsForTheLastDeferralAndHappensOnce) {
    TestForm form;
    form.Open();
    form.ShowModeless();
    form.events.clear();
    {
        const Form::CloseDeferral outer(form);
        {
            const Form::CloseDeferral inner(form);
            ::PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
            ::SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
            Pump();
            EXPECT_TRUE(form.IsLoaded());
            EXPECT_TRUE(::IsWindow(form.button)) << "the controls must outlive the handler";
            EXPECT_TRUE(form.ClosePending());
            EXPECT_TRUE(form.events.empty());
        }
        EXPECT_TRUE(form.IsLoaded()) << "an outer deferral still holds the close";
    }
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_FALSE(form.ClosePending());
    EXPECT_EQ(form.events, (std::vector<std::string>{"unload"}));

    TestForm own;
    own.Open();
    {
        const Form::CloseDeferral hold(own);
        own.Close();
        EXPECT_FALSE(own.IsLoaded());
    }
    EXPECT_EQ(own.events.back(), "unload");

    TestForm untouched;
    untouched.Open();
    { const Form::CloseDeferral hold(untouched); }
    EXPECT_TRUE(untouched.IsLoaded()) << "a deferral that met no close closes nothing";
}

TEST(FormsLayer, PlacesControlsInTwipsAtTheWindowsDpiAndAgainAfterADpiChange) {
    TestForm form;
    form.Open();
    for (const unsigned dpi : {form.Dpi(), 144u}) {
        if (dpi != form.Dpi()) {
            RECT suggested{};
            ::GetWindowRect(form.Handle(), &suggested);
            ::SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        }
        ASSERT_EQ(form.Dpi(), dpi);
        const RECT wrapped = RectInParent(form.wrapped);
        EXPECT_EQ(wrapped.left, TwipsToPixels(120, dpi));
        EXPECT_EQ(wrapped.top, TwipsToPixels(120, dpi));
        EXPECT_EQ(wrapped.right - wrapped.left, TwipsToPixels(2400, dpi));
        EXPECT_EQ(wrapped.bottom - wrapped.top, TwipsToPixels(495, dpi));
        const RECT button = RectInParent(form.button);
        EXPECT_EQ(button.left, TwipsToPixels(7440, dpi));
        EXPECT_EQ(button.right - button.left, TwipsToPixels(1935, dpi));
        // Relative to the panel, not to the window.
        const RECT onPanel = RectInParent(form.panelLabel);
        EXPECT_EQ(onPanel.left, TwipsToPixels(960, dpi));
        EXPECT_EQ(onPanel.top, TwipsToPixels(480, dpi));

        // A self-sizing label is exactly as large as its text in its font.
        const RECT label = RectInParent(form.label);
        EXPECT_EQ(label.left, TwipsToPixels(120, dpi));
        HDC dc = ::GetDC(form.label);
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(form.label, WM_GETFONT, 0, 0)));
        SIZE text{};
        ::GetTextExtentPoint32W(dc, L"A label", 7, &text);
        ::SelectObject(dc, old);
        ::ReleaseDC(form.label, dc);
        EXPECT_EQ(label.right - label.left, text.cx);
        EXPECT_EQ(label.bottom - label.top, text.cy);

        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form.button, WM_GETFONT, 0, 0)), sizeof(font), &font);
        EXPECT_EQ(font.lfHeight, FontHeightForPoints(8.25, dpi));
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
        const SIZE outer = OuterSize(form.Handle());
        EXPECT_EQ(outer.cx, TwipsToPixels(9735, dpi));
        EXPECT_EQ(outer.cy, TwipsToPixels(5970, dpi));
    }
}

TEST(FormsLayer, OpensCentredOnThePrimaryMonitorAtItsSize) {
    for (const double outerWidth : {9735.0, 0.0}) {
        TestForm form;
        // With no outer size the frame is added to the designed client area.
        form.Open(outerWidth, outerWidth > 0 ? 5970 : 0);
        RECT window{};
        ::GetWindowRect(form.Handle(), &window);
        RECT client{};
        ::GetClientRect(form.Handle(), &client);
        if (outerWidth > 0) {
            EXPECT_EQ(window.right - window.left, TwipsToPixels(9735, form.Dpi()));
        } else {
            EXPECT_EQ(client.right, TwipsToPixels(9495, form.Dpi()));
            EXPECT_EQ(client.bottom, TwipsToPixels(5430, form.Dpi()));
        }
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor));
        const RECT& area = monitor.rcWork;
        EXPECT_LE(std::abs((window.left - area.left) - (area.right - window.right)), 1);
        EXPECT_LE(std::abs((window.top - area.top) - (area.bottom - window.bottom)), 1);

        ::DestroyWindow(form.Handle());
    }
}

TEST(FormsLayer, FontsFollowThePointSizes) {
    EXPECT_EQ(FontHeightForPoints(8.25, 96), -11);
    EXPECT_EQ(FontHeightForPoints(9.75, 96), -13);
    FontSet fonts;
    fonts.Create(96);
    LOGFONTW link{};
    ::GetObjectW(fonts.Get(FontKind::VerdanaUnderline), sizeof(link), &link);
    EXPECT_EQ(std::wstring(link.lfFaceName), L"Verdana");
    EXPECT_TRUE(link.lfUnderline);
    EXPECT_EQ(link.lfHeight, -11);
    LOGFONTW large{};
    ::GetObjectW(fonts.Get(FontKind::VerdanaLargeBold), sizeof(large), &large);
    EXPECT_EQ(large.lfHeight, -13);
    EXPECT_EQ(large.lfWeight, FW_BOLD);
    EXPECT_FALSE(large.lfUnderline);
}

std::vector<UINT>& RecordedMessages() {
    static std::vector<UINT> messages;
    return messages;
}

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE || message == WM_SYSCOLORCHANGE) {
        RecordedMessages().push_back(message);
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(FormsLayer, SettingAndColourChangesReachTheControlsAndRemakeTheFonts) {
    TestForm form;
    form.Open();
    // A control of its own inside the panel: only the top-level window hears of the changes.
    WNDCLASSW recorderClass{};
    recorderClass.lpfnWndProc = &RecorderProc;
    recorderClass.hInstance = ::GetModuleHandleW(nullptr);
    recorderClass.lpszClassName = L"FormsTest.Recorder";
    ::RegisterClassW(&recorderClass);
    HWND recorder = ::CreateWindowExW(0, L"FormsTest.Recorder", L"", WS_CHILD, 0, 0, 10, 10, form.panel, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(recorder, nullptr);
    RecordedMessages().clear();

    const auto fontOf = [](HWND control) {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
        return font;
    };
    const HFONT before = reinterpret_cast<HFONT>(::SendMessageW(form.link, WM_GETFONT, 0, 0));
    // Made with the smoothing spelled out, so that no paint has to look the settings up.
    EXPECT_EQ(fontOf(form.link).lfQuality, FontSmoothingQuality());
    const RECT placed = RectInParent(form.link);

    ::SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
    ::SendMessageW(form.Handle(), WM_SETTINGCHANGE, SPI_SETFONTSMOOTHING, 0);
    EXPECT_EQ(RecordedMessages(), (std::vector<UINT>{WM_SYSCOLORCHANGE, WM_SETTINGCHANGE}));

    const HFONT after = reinterpret_cast<HFONT>(::SendMessageW(form.link, WM_GETFONT, 0, 0));
    EXPECT_NE(after, before);
    const LOGFONTW remade = fontOf(form.link);
    EXPECT_EQ(remade.lfQuality, FontSmoothingQuality());
    EXPECT_EQ(std::wstring(remade.lfFaceName), L"Verdana");
    EXPECT_TRUE(remade.lfUnderline);
    const RECT again = RectInParent(form.link);
    EXPECT_EQ(again.left, placed.left);
    EXPECT_EQ(again.right, placed.right);

    // Other settings leave the fonts alone.
    ::SendMessageW(form.Handle(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(form.link, WM_GETFONT, 0, 0)), after);
    ::DestroyWindow(form.Handle());
}

TEST(FormsLayer, LinkLabelsLookLikeLinksAndReportClicks) {
    TestForm form;
    form.Open();
    form.ShowModeless();

    HDC dc = ::GetDC(form.Handle());
    const auto linkBrush = reinterpret_cast<HBRUSH>(::SendMessageW(
        form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(form.link)));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    // A label on the panel shows the panel's colour through it; one on the window, the window's.
    const auto panelBrush = reinterpret_cast<HBRUSH>(::SendMessageW(
        form.panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(form.panelLabel)));
    ::ReleaseDC(form.Handle(), dc);
    LOGBRUSH brush{};
    ASSERT_TRUE(::GetObjectW(panelBrush, sizeof(brush), &brush));
    EXPECT_EQ(brush.lbColor, ::GetSysColor(COLOR_WINDOW));
    ASSERT_TRUE(::GetObjectW(linkBrush, sizeof(brush), &brush));
    EXPECT_EQ(brush.lbColor, ::GetSysColor(COLOR_BTNFACE));

    EXPECT_EQ(::SendMessageW(form.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form.link),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
    EXPECT_EQ(::SendMessageW(form.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form.label),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              FALSE);

    // A real click on the link: the static control reports it only with SS_NOTIFY.
    ::SendMessageW(form.link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::SendMessageW(form.link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    Pump();
    EXPECT_EQ(form.linkClicks, 1);
}

TEST(FormsLayer, TheContrastFormulaGivesTheFiguresMeasuredInHighContrast) {
    // White text on High Contrast Black's highlight, and the old fixed link blue on its black.
    EXPECT_NEAR(ContrastRatio(RGB(255, 255, 255), RGB(26, 235, 255)), 1.46, 0.01);
    EXPECT_NEAR(ContrastRatio(RGB(0, 0, 0), RGB(0, 0, 192)), 1.76, 0.01);
    EXPECT_NEAR(ContrastRatio(RGB(0, 0, 0), RGB(255, 255, 255)), 21.0, 1e-9);
    EXPECT_DOUBLE_EQ(ContrastRatio(RGB(120, 30, 200), RGB(120, 30, 200)), 1.0);
    // Past the preferred colour and the background's own text colour, black or white.
    EXPECT_EQ(ReadableOn(RGB(255, 255, 255), RGB(0, 0, 192), RGB(0, 0, 0)), RGB(0, 0, 192));
    EXPECT_EQ(ReadableOn(RGB(255, 255, 255), RGB(224, 224, 224), RGB(0, 0, 0)), RGB(0, 0, 0));
    EXPECT_EQ(ReadableOn(RGB(20, 20, 20), RGB(40, 40, 40), RGB(0, 0, 0)), RGB(255, 255, 255));
    EXPECT_EQ(ReadableOn(RGB(230, 230, 230), RGB(200, 200, 200), RGB(255, 255, 255)), RGB(0, 0, 0));
}

TEST(FormsLayer, EveryLabelAndLinkReadsOnItsBackgroundInEachSchemeAsTheSchemeChanges) {
    TestForm form;
    form.Open();
    form.ShowModeless();
    ::ShowWindow(form.panel, SW_SHOW);
    struct Expected {
        COLORREF face, faceText, faceLink, window, windowText, windowLink;
    };
    struct Scheme {
        const char* name;
        std::initializer_list<std::pair<int, COLORREF>> colours;
        Expected expected;
    };
    const Scheme schemes[] = {
        {"High Contrast Black",
         {{COLOR_WINDOW, RGB(0, 0, 0)},
          {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
          {COLOR_BTNFACE, RGB(0, 0, 0)},
          {COLOR_BTNTEXT, RGB(255, 255, 255)},
          {COLOR_HIGHLIGHT, RGB(26, 235, 255)},
          {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
          {COLOR_HOTLIGHT, RGB(255, 255, 0)}},
         {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 0), RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 0)}},
        // Windows' own default scheme.
        {"Windows default",
         {{COLOR_WINDOW, RGB(255, 255, 255)},
          {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
          {COLOR_BTNFACE, RGB(240, 240, 240)},
          {COLOR_BTNTEXT, RGB(0, 0, 0)},
          {COLOR_HOTLIGHT, RGB(0, 102, 204)}},
         {RGB(240, 240, 240), RGB(0, 0, 0), RGB(0, 102, 204), RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 102, 204)}},
        // Wine's default: a hot-tracking grey for hover fills, unreadable as text on either background,
        // so the links keep their designed blue.
        {"Wine default",
         {{COLOR_WINDOW, RGB(255, 255, 255)},
          {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
          {COLOR_BTNFACE, RGB(245, 245, 245)},
          {COLOR_BTNTEXT, RGB(0, 0, 0)},
          {COLOR_HOTLIGHT, RGB(224, 224, 224)}},
         {RGB(245, 245, 245), RGB(0, 0, 0), RGB(0, 0, 192), RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 0, 192)}},
        // A dark scheme of the user's own where neither the hot-tracking colour nor that blue reads.
        {"dark, unreadable links",
         {{COLOR_WINDOW, RGB(30, 30, 60)},
          {COLOR_WINDOWTEXT, RGB(230, 230, 230)},
          {COLOR_BTNFACE, RGB(20, 20, 20)},
          {COLOR_BTNTEXT, RGB(250, 250, 210)},
          {COLOR_HOTLIGHT, RGB(60, 60, 90)}},
         {RGB(20, 20, 20), RGB(250, 250, 210), RGB(250, 250, 210), RGB(30, 30, 60), RGB(230, 230, 230),
          RGB(230, 230, 230)}},
    };
    // One window, open throughout: each scheme reaches it as a change while it runs.
    for (const Scheme& scheme : schemes) {
        const test::SchemeForTest applied(scheme.colours);
        Pump();
        const Expected& e = scheme.expected;
        const struct {
            HWND control;
            COLORREF background, ink;
        } texts[] = {{form.label, e.face, e.faceText},
                     {form.link, e.face, e.faceLink},
                     {form.panelLabel, e.window, e.windowText},
                     {form.panelLink, e.window, e.windowLink}};
        for (const auto& text : texts) {
            RECT client{};
            ::GetClientRect(text.control, &client);
            ::InflateRect(&client, -1, -1); // inside a link's focus mark
            const std::vector<COLORREF> pixels = test::PixelsOf(text.control, client);
            const COLORREF background = test::MostCommon(pixels);
            const COLORREF ink = test::InkOf(pixels, background);
            const std::string where =
                std::string(scheme.name) + ", control " + std::to_string(::GetDlgCtrlID(text.control));
            EXPECT_EQ(background, text.background) << where;
            EXPECT_GE(test::MeasuredContrast(ink, background), kLeastContrast) << where;
            EXPECT_LE(std::abs(GetRValue(ink) - GetRValue(text.ink)) + std::abs(GetGValue(ink) - GetGValue(text.ink)) +
                          std::abs(GetBValue(ink) - GetBValue(text.ink)),
                      60)
                << where << ": ink " << std::hex << ink;
        }
    }
    ::DestroyWindow(form.Handle());
}

TEST(FormsLayer, HoldsItsOuterSizeButMinimizesAndRestores) {
    TestForm form;
    form.Open();
    form.ShowModeless();
    const SIZE held = OuterSize(form.Handle());
    ::SetWindowPos(form.Handle(), nullptr, 0, 0, held.cx + 200, held.cy + 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(OuterSize(form.Handle()).cx, held.cx);
    EXPECT_EQ(OuterSize(form.Handle()).cy, held.cy);

    ::ShowWindow(form.Handle(), SW_MINIMIZE);
    EXPECT_TRUE(::IsIconic(form.Handle()));
    ::ShowWindow(form.Handle(), SW_RESTORE);
    EXPECT_FALSE(::IsIconic(form.Handle()));
    EXPECT_EQ(OuterSize(form.Handle()).cx, held.cx);
    EXPECT_EQ(OuterSize(form.Handle()).cy, held.cy);
}

bool SameRect(const RECT& a, const RECT& b) {
    return ::EqualRect(&a, &b) != FALSE;
}

RECT Moved(RECT r, LONG dx, LONG dy, LONG growX = 0, LONG growY = 0) {
    ::OffsetRect(&r, dx, dy);
    r.right += growX;
    r.bottom += growY;
    return r;
}

TEST(FormsLayer, AGrowableWindowIsNeverSmallerThanDesignedAndGivesItsRoomToTheControlsThatTakeIt) {
    TestForm form;
    form.growable = true;
    form.Open();
    form.ShowModeless();
    const SIZE design = OuterSize(form.Handle());
    EXPECT_EQ(design.cx, TwipsToPixels(9735, form.Dpi()));
    const RECT label = RectInParent(form.wrapped);
    const RECT link = RectInParent(form.link);
    const RECT button = RectInParent(form.button);
    const RECT other = RectInParent(form.other);
    const RECT panel = RectInParent(form.panel);
    const RECT onPanel = RectInParent(form.panelLabel);
    struct Case {
        int dx;
        int dy;
        LONG grownX;
        LONG grownY;
    };
    // Larger; smaller than designed (held at the design); taller only; larger again after that.
    for (const Case c : {Case{300, 200, 300, 200}, Case{-100, -50, 0, 0}, Case{0, 150, 0, 150}, Case{41, 7, 41, 7}}) {
        ::SetWindowPos(form.Handle(), nullptr, 0, 0, design.cx + c.dx, design.cy + c.dy, SWP_NOMOVE | SWP_NOZORDER);
        Pump();
        const SIZE now = OuterSize(form.Handle());
        EXPECT_EQ(now.cx, design.cx + c.grownX) << c.dx;
        EXPECT_EQ(now.cy, design.cy + c.grownY) << c.dy;
        EXPECT_TRUE(SameRect(RectInParent(form.wrapped), label)) << c.dx;
        EXPECT_TRUE(SameRect(RectInParent(form.link), link)) << c.dx;
        EXPECT_TRUE(SameRect(RectInParent(form.button), Moved(button, c.grownX, c.grownY))) << c.dx;
        EXPECT_TRUE(SameRect(RectInParent(form.other), Moved(other, 0, c.grownY))) << c.dx;
        EXPECT_TRUE(SameRect(RectInParent(form.panel), Moved(panel, 0, 0, c.grownX, c.grownY))) << c.dx;
        EXPECT_TRUE(SameRect(RectInParent(form.panelLabel), onPanel)) << c.dx;
    }
    // The frame's drag stops at the designed size, and nothing holds it larger.
    MINMAXINFO limits{};
    limits.ptMaxTrackSize = POINT{12345, 12345};
    ::SendMessageW(form.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, design.cx);
    EXPECT_EQ(limits.ptMinTrackSize.y, design.cy);
    EXPECT_EQ(limits.ptMaxTrackSize.x, 12345);

    // Maximized, the buttons stand at the bottom of the larger client area; restored, as before.
    const SIZE before = OuterSize(form.Handle());
    RECT client{};
    ::GetClientRect(form.Handle(), &client);
    const LONG bottomGap = client.bottom - RectInParent(form.button).bottom;
    const LONG rightGap = client.right - RectInParent(form.button).right;
    ::ShowWindow(form.Handle(), SW_MAXIMIZE);
    Pump();
    EXPECT_TRUE(::IsZoomed(form.Handle()));
    ::GetClientRect(form.Handle(), &client);
    EXPECT_GT(client.right, before.cx);
    EXPECT_EQ(client.bottom - RectInParent(form.button).bottom, bottomGap);
    EXPECT_EQ(client.right - RectInParent(form.button).right, rightGap);
    EXPECT_TRUE(SameRect(RectInParent(form.wrapped), label));
    ::ShowWindow(form.Handle(), SW_RESTORE);
    Pump();
    EXPECT_EQ(OuterSize(form.Handle()).cx, before.cx);
    EXPECT_EQ(OuterSize(form.Handle()).cy, before.cy);
    EXPECT_TRUE(SameRect(RectInParent(form.button), Moved(button, 41, 7)));
}

// The user's kept places of windows, emptied of the test's own before and after.
class KeptPlacement : public ::testing::Test {
protected:
    static constexpr const wchar_t* kName = L"FormsLayerTestWindow";
    void SetUp() override { Delete(); }
    void TearDown() override { Delete(); }
    static void Delete() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kWindowPlacementKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key, kName);
            ::RegCloseKey(key);
        }
    }
    static void Write(const std::wstring& text) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kWindowPlacementKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, kName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    static std::wstring Read() {
        wchar_t text[128] = {};
        DWORD size = sizeof(text) - sizeof(wchar_t);
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kWindowPlacementKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return L"";
        }
        ::RegQueryValueExW(key, kName, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
        ::RegCloseKey(key);
        return text;
    }
    static RECT WindowRect(HWND hwnd) {
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        return r;
    }
};

TEST_F(KeptPlacement, AWindowOpensWhereItWasClosedMaximizedOrNotAndOnAMonitorThatShowsIt) {
    MONITORINFO primary{};
    primary.cbSize = sizeof(primary);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary));
    const RECT& work = primary.rcWork;
    SIZE design{};
    {
        // The first time: centred at its designed size, as a window that is not kept.
        TestForm first;
        first.growable = true;
        first.placementName = kName;
        first.Open();
        design = OuterSize(first.Handle());
        const RECT at = WindowRect(first.Handle());
        EXPECT_LE(std::abs((at.left - work.left) - (work.right - at.right)), 1);
        first.ShowModeless();
        ::SetWindowPos(first.Handle(), nullptr, work.left + 20, work.top + 30, design.cx + 120, design.cy + 80,
                       SWP_NOZORDER);
        Pump();
        first.Close();
    }
    const RECT kept{work.left + 20, work.top + 30, work.left + 20 + design.cx + 120, work.top + 30 + design.cy + 80};
    std::optional<SavedPlacement> saved = ParsePlacement(Read());
    ASSERT_TRUE(saved.has_value()) << Read();
    EXPECT_TRUE(SameRect(saved->rect, kept));
    EXPECT_FALSE(saved->maximized);
    {
        // Comes back there, is closed maximized ...
        TestForm second;
        second.growable = true;
        second.placementName = kName;
        second.Open();
        EXPECT_TRUE(SameRect(WindowRect(second.Handle()), kept));
        second.ShowModeless();
        EXPECT_FALSE(::IsZoomed(second.Handle()));
        ::ShowWindow(second.Handle(), SW_MAXIMIZE);
        Pump();
        second.Close();
    }
    saved = ParsePlacement(Read());
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->maximized);
    EXPECT_TRUE(SameRect(saved->rect, kept)) << "the place it is restored to";
    {
        // ... and opens maximized, restoring to the kept place; minimized on closing, it keeps that.
        TestForm third;
        third.growable = true;
        third.placementName = kName;
        third.Open();
        third.ShowModeless();
        Pump();
        EXPECT_TRUE(::IsZoomed(third.Handle()));
        ::ShowWindow(third.Handle(), SW_RESTORE);
        Pump();
        EXPECT_TRUE(SameRect(WindowRect(third.Handle()), kept));
        ::ShowWindow(third.Handle(), SW_MAXIMIZE);
        ::ShowWindow(third.Handle(), SW_MINIMIZE);
        Pump();
        third.Close();
    }
    saved = ParsePlacement(Read());
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->maximized);
    EXPECT_TRUE(SameRect(saved->rect, kept));

    // Kept on a monitor that is gone: centred on the primary monitor at the kept size. Text that is
    // not a kept place: as the first time.
    Write(L"-30000,-30000," + std::to_wstring(design.cx + 50) + L"," + std::to_wstring(design.cy + 40) + L",96,0");
    for (const std::wstring& text : {std::wstring(), std::wstring(L"20,30,garbage")}) {
        if (!text.empty()) {
            Write(text);
        }
        TestForm form;
        form.growable = true;
        form.placementName = kName;
        form.Open();
        const RECT at = WindowRect(form.Handle());
        const LONG extra = text.empty() ? 50 : 0;
        EXPECT_EQ(at.right - at.left, design.cx + extra) << text;
        EXPECT_LE(std::abs((at.left - work.left) - (work.right - at.right)), 1) << text;
        EXPECT_LE(std::abs((at.top - work.top) - (work.bottom - at.bottom)), 1) << text;
        ::DestroyWindow(form.Handle());
    }
}

TEST(FormsLayer, AKeptPlaceComesBackOnTheMonitorsOfNow) {
    const auto minimum = [](unsigned dpi) {
        return SIZE{static_cast<LONG>(649 * dpi / 96), static_cast<LONG>(398 * dpi / 96)};
    };
    const MonitorArea left{RECT{0, 0, 1920, 1040}, 96};
    const MonitorArea right{RECT{1920, 0, 3200, 984}, 144};
    const auto saved = [](LONG l, LONG t, LONG w, LONG h, unsigned dpi = 96) {
        return SavedPlacement{RECT{l, t, l + w, t + h}, dpi, false};
    };
    struct Case {
        const char* what;
        SavedPlacement kept;
        std::vector<MonitorArea> monitors;
        RECT expected;
    };
    const Case cases[] = {
        {"where it was", saved(100, 50, 1000, 760), {left, right}, RECT{100, 50, 1100, 810}},
        {"on the second monitor, at its DPI",
         saved(2000, 100, 1000, 700, 144),
         {left, right},
         RECT{2000, 100, 3000, 800}},
        {"moved there from a 96 dpi one: scaled, and moved up to fit",
         saved(2000, 100, 800, 600, 96),
         {left, right},
         RECT{2000, 84, 3200, 984}},
        {"half off the right edge: moved in", saved(1500, 900, 1000, 760), {left}, RECT{920, 280, 1920, 1040}},
        {"on a monitor that is gone: centred on the primary",
         saved(4000, 100, 1000, 760),
         {left},
         RECT{460, 140, 1460, 900}},
        {"larger than the work area: the work area", saved(-10, -10, 3000, 2000), {left}, RECT{0, 0, 1920, 1040}},
        {"smaller than designed: the design", saved(10, 10, 300, 200), {left}, RECT{10, 10, 659, 408}},
        {"no monitor known: as kept", saved(10, 10, 300, 200), {}, RECT{10, 10, 310, 210}},
    };
    for (const Case& c : cases) {
        const RECT r = RestoredRect(c.kept, c.monitors, minimum);
        EXPECT_TRUE(SameRect(r, c.expected))
            << c.what << ": " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
        // The text kept in the registry gives back what was written.
        const std::optional<SavedPlacement> back = ParsePlacement(FormatPlacement(c.kept));
        ASSERT_TRUE(back.has_value()) << c.what;
        EXPECT_TRUE(SameRect(back->rect, c.kept.rect)) << c.what;
        EXPECT_EQ(back->dpi, c.kept.dpi) << c.what;
    }
    EXPECT_EQ(FormatPlacement(SavedPlacement{RECT{-1280, 5, -280, 765}, 120, true}), L"-1280,5,1000,760,120,1");
    for (const wchar_t* bad : {L"", L"1,2,3,4,96", L"1,2,3,4,96,0,7", L"1,2,0,4,96,0", L"1,2,3,4,96,2", L"1,2,3,4,10,0",
                               L"1,,3,4,96,0", L"1 ,2,3,4,96,0", L"99999999,2,3,4,96,0", L"1,2,3,4,96,0x"}) {
        EXPECT_FALSE(ParsePlacement(bad).has_value()) << bad;
    }
}

// The message box of this thread titled "Runsweep", once it is on the screen.
struct ShownBox {
    RECT rect{};
    std::wstring text;
};

BOOL CALLBACK FindRunsweepBox(HWND hwnd, LPARAM found) {
    wchar_t title[32] = {};
    ::GetWindowTextW(hwnd, title, 32);
    if (::IsWindowVisible(hwnd) && std::wstring(title) == kApplicationTitle) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

ShownBox g_shown;

// A named callback: a lambda does not convert to the calling convention of 32-bit Windows.
void CALLBACK MeasureAndClose(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindRunsweepBox, reinterpret_cast<LPARAM>(&box));
    if (!box) {
        return;
    }
    ::KillTimer(nullptr, id);
    ::GetWindowRect(box, &g_shown.rect);
    wchar_t buffer[8192] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), buffer, 8192);
    g_shown.text = buffer;
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// Shows the message through the sink; a timer of the box's own loop measures the box and presses OK.
ShownBox ShowAndMeasure(const std::wstring& text) {
    g_shown = ShownBox{};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, &MeasureAndClose);
    MessageBoxSink sink;
    sink.ShowMessage(text, MessageIcon::Error);
    ::KillTimer(nullptr, timer);
    return g_shown;
}

TEST(FormsLayer, NoMessageBoxIsTallerThanTheWorkArea) {
    MONITORINFO primary{};
    primary.cbSize = sizeof(primary);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary));
    const RECT& work = primary.rcWork;
    // A list of a few entries is shown whole; one of three hundred stops where the screen does.
    struct Case {
        int lines;
        bool whole;
    };
    for (const Case c : {Case{5, true}, Case{300, false}}) {
        std::wstring text = L"Not every item could be re-enabled:";
        for (int i = 0; i < c.lines; ++i) {
            text += L"\r\nentry " + std::to_wstring(i) + L": HKLM";
        }
        const ShownBox box = ShowAndMeasure(text);
        ASSERT_FALSE(::IsRectEmpty(&box.rect)) << c.lines << " lines: no box was seen";
        EXPECT_GE(box.rect.top, work.top) << c.lines;
        EXPECT_LE(box.rect.bottom, work.bottom) << c.lines;
        if (c.whole) {
            EXPECT_EQ(box.text, text);
        } else {
            EXPECT_EQ(box.text.rfind(L"\u2026"), box.text.size() - 1) << "a cut message ends with an ellipsis";
            EXPECT_EQ(text.rfind(box.text.substr(0, box.text.size() - 1), 0), 0u) << "its first lines kept";
            EXPECT_GT(box.text.size(), 200u) << "as many lines as fit, not a few";
        }
    }
    // The closing messages name as many entries as fit, counted by their caller.
    std::size_t asked = 0;
    const std::wstring fitted = FitMessageToScreen(nullptr, 1000, [&](std::size_t listed) {
        asked = std::max(asked, listed);
        return std::wstring(listed, L'\n');
    });
    EXPECT_EQ(asked, 1000u);
    EXPECT_GT(fitted.size(), 10u);
    EXPECT_LT(fitted.size(), 1000u);
    EXPECT_EQ(FitMessageToScreen(nullptr, 3, [](std::size_t listed) { return std::wstring(listed, L'x'); }), L"xxx");
}

TEST(FormsLayer, AModalWindowBlocksTheOthersUntilItCloses) {
    TestForm main;
    main.Open();
    main.ShowModeless();
    TestForm modal;
    modal.Open(0, 0);
    bool mainEnabledMeanwhile = true;
    modal.onProbe = [&] {
        mainEnabledMeanwhile = ::IsWindowEnabled(main.Handle()) != FALSE;
        modal.Close();
    };
    ::PostMessageW(modal.Handle(), kProbe, 0, 0);
    modal.ShowModal();

    EXPECT_FALSE(mainEnabledMeanwhile);
    EXPECT_FALSE(modal.IsLoaded());
    EXPECT_TRUE(::IsWindowEnabled(main.Handle()));
    EXPECT_EQ(modal.events.back(), "unload");
}

TEST(FormsLayer, AnExceptionInAHandlerEndsTheLoopAndReachesItsCaller) {
    TestForm form;
    form.Open();
    form.ShowModeless();
    form.throwOnClick = true;
    ::PostMessageW(form.button, BM_CLICK, 0, 0);
    try {
        RunMessageLoop();
        ADD_FAILURE() << "the loop ended without the handler's exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "handler failed");
    }
    // Reported once: the next loop runs normally.
    ::PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoop(), 7);
}

TEST(FormsLayer, TabReachesLinksWhichShowAFocusMarkAndFollowEnterOrSpace) {
    TestForm form;
    OpenActive(form);
    ::ShowWindow(form.panel, SW_SHOW);
    if (::GetActiveWindow() != form.Handle()) {
        GTEST_SKIP() << "no active window on this display";
    }
    // The link's window leaves a pixel round its text for the mark; the text stands where designed.
    const RECT link = RectInParent(form.link);
    EXPECT_EQ(link.left, TwipsToPixels(2400, form.Dpi()) - 1);
    EXPECT_EQ(link.top, TwipsToPixels(600, form.Dpi()) - 1);
    EXPECT_TRUE(::GetWindowLongPtrW(form.link, GWL_STYLE) & WS_TABSTOP);

    // In window order, into the panel and out of it again: the panel lies on top of the others.
    ::SetFocus(form.button);
    std::vector<HWND> order;
    for (int i = 0; i < 4; ++i) {
        PressKey(form.Handle(), VK_TAB);
        order.push_back(::GetFocus());
        if (::GetFocus() == form.other) {
            // Tab leaves the button it reaches the default one, so that Enter presses it.
            EXPECT_TRUE(IsDefaultButton(form.other));
            EXPECT_FALSE(IsDefaultButton(form.button));
        }
    }
    EXPECT_EQ(order, (std::vector<HWND>{form.other, form.panelLink, form.link, form.button}));

    ::SetFocus(form.link);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    EXPECT_GT(RingPixelsDrawn(form.link, face), 0) << "no focus mark round the focused link";
    PressKey(form.Handle(), VK_RETURN);
    EXPECT_EQ(form.linkClicks, 1);
    PressKey(form.Handle(), VK_SPACE);
    EXPECT_EQ(form.linkClicks, 2);
    PressKey(form.Handle(), VK_SPACE, true); // held down: once is enough
    EXPECT_EQ(form.linkClicks, 2);
    EXPECT_EQ(form.buttonClicks, 0) << "Enter on a link went to a button";

    ::SetFocus(form.panelLink);
    PressKey(form.Handle(), VK_RETURN);
    EXPECT_EQ(form.panelLinkClicks, 1);
    EXPECT_EQ(RingPixelsDrawn(form.link, face), 0) << "the mark stayed after the focus left";
}

TEST(FormsLayer, TheFocusedButtonIsTheDefaultOneAndEnterPressesIt) {
    TestForm form;
    OpenActive(form);
    ::SetFocus(form.button);
    EXPECT_TRUE(IsDefaultButton(form.button));
    EXPECT_FALSE(IsDefaultButton(form.other));
    EXPECT_EQ(::SendMessageW(form.Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(::GetDlgCtrlID(form.button), DC_HASDEFID));
    PressKey(form.Handle(), VK_RETURN);
    EXPECT_EQ(form.buttonClicks, 1);

    ::SetFocus(form.other);
    EXPECT_FALSE(IsDefaultButton(form.button));
    EXPECT_TRUE(IsDefaultButton(form.other));
    // Away from the buttons, none keeps the border.
    ::SetFocus(form.link);
    EXPECT_FALSE(IsDefaultButton(form.button));
    EXPECT_FALSE(IsDefaultButton(form.other));
    EXPECT_EQ(::SendMessageW(form.Handle(), DM_GETDEFID, 0, 0), 0);

    // A default of the form's own comes back whenever the focus leaves the buttons.
    ::SendMessageW(form.Handle(), DM_SETDEFID, static_cast<WPARAM>(::GetDlgCtrlID(form.other)), 0);
    EXPECT_TRUE(IsDefaultButton(form.other));
    ::SetFocus(form.button);
    EXPECT_TRUE(IsDefaultButton(form.button));
    EXPECT_FALSE(IsDefaultButton(form.other));
    ::SetFocus(form.link);
    EXPECT_TRUE(IsDefaultButton(form.other));
    EXPECT_FALSE(IsDefaultButton(form.button));
}

TEST(FormsLayer, TheFocusComesBackAfterMinimizeAndRestore) {
    TestForm form;
    OpenActive(form);
    if (::GetActiveWindow() != form.Handle()) {
        GTEST_SKIP() << "no active window on this display";
    }
    // Deactivated once with the focus on the button, so the form has a focus of its own to
    // remember; the focus then moves on while the form is active.
    ::SetFocus(form.button);
    TestForm other;
    OpenActive(other);
    ::SetForegroundWindow(form.Handle());
    ::SetActiveWindow(form.Handle());
    Pump();
    EXPECT_EQ(::GetFocus(), form.button);
    ::SetFocus(form.link);

    for (int round = 0; round < 2; ++round) {
        ::SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Pump();
        EXPECT_TRUE(::IsIconic(form.Handle()));
        ::SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
        ::SetForegroundWindow(form.Handle());
        Pump();
        EXPECT_FALSE(::IsIconic(form.Handle()));
        EXPECT_EQ(::GetFocus(), form.link) << "round " << round;
    }
}

} // namespace
} // namespace runsweep
