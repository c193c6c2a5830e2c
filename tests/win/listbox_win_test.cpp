// The list window on a real window system: what it paints where, what it tells screen readers and
// drivers, and how mouse, keyboard and scroll bar input reach the rows.
#include "base/palette_win.h"
#include "base/twips.h"
#include "catalogue/catalogue.h"
#include "listbox/listbox_win.h"
#include "tests/win/screen_ink_win.h"

#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace runsweep {
namespace {

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int DescendantCount(HWND hwnd) {
    int count = 0;
    ::EnumChildWindows(hwnd, CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A window the size of the main window with the list where the main window has it.
class ListboxWindow : public ::testing::Test {
protected:
    void SetUp() override {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        ASSERT_TRUE(RegisterListboxClass(instance));
        ASSERT_TRUE(RegisterListboxClass(instance)); // a second registration is harmless
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = L"ListboxTestHost";
        ::RegisterClassExW(&wc);
        host_ = ::CreateWindowExW(0, wc.lpszClassName, L"list test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 700,
                                  500, nullptr, nullptr, instance, nullptr);
        ASSERT_NE(host_, nullptr);
        HDC screen = ::GetDC(nullptr);
        const unsigned dpi = static_cast<unsigned>(::GetDeviceCaps(screen, LOGPIXELSY));
        ::ReleaseDC(nullptr, screen);
        list_ = ::CreateWindowExW(0, kListboxClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                  TwipsToPixels(120, dpi), TwipsToPixels(960, dpi), TwipsToPixels(9255, dpi),
                                  TwipsToPixels(3855, dpi), host_, nullptr, instance, nullptr);
        ASSERT_NE(list_, nullptr);
        control_ = ListboxFromWindow(list_);
        ASSERT_NE(control_, nullptr);
        ::ShowWindow(host_, SW_SHOW);
        Pump();
    }

    void TearDown() override {
        if (host_) {
            ::DestroyWindow(host_);
        }
        Pump();
    }

    void AddRows(int rows) {
        for (int i = 0; i < rows; ++i) {
            control_->AddItem(L"row" + std::to_wstring(i), L"description of row " + std::to_wstring(i));
        }
        Pump();
    }

    int Px(double twips) const { return TwipsToPixels(twips, control_->Dpi()); }

    // A window's rectangle in the list's client coordinates.
    RECT InList(HWND hwnd) const {
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        ::MapWindowPoints(nullptr, list_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    void Scroll(int code) {
        ::SendMessageW(list_, WM_VSCROLL, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(control_->ScrollBar()));
    }

    // The centre of an element as painted now, in the surface's client coordinates.
    POINT Centre(int row, RowElement element) const {
        const RECT r = control_->ElementPixels(row, element);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    void Click(int row, RowElement element, UINT down, UINT up) {
        const POINT at = Centre(row, element);
        ::SendMessageW(control_->Surface(), down, 0, MAKELPARAM(at.x, at.y));
        ::SendMessageW(control_->Surface(), up, 0, MAKELPARAM(at.x, at.y));
        Pump();
    }

    // The driver's view: one line per item of the rows in view.
    std::vector<std::wstring> SnapshotLines() const {
        std::vector<std::wstring> lines;
        const std::wstring text = control_->Snapshot();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    std::wstring LineOf(const std::wstring& name) const {
        for (const std::wstring& line : SnapshotLines()) {
            if (line.size() >= name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0 &&
                line[line.size() - name.size() - 1] == L'\t') {
                return line;
            }
        }
        return L"";
    }

    // What the surface shows at a point, once everything pending is painted.
    COLORREF PixelAt(POINT at) const {
        ::UpdateWindow(list_);
        ::UpdateWindow(control_->Surface());
        HDC dc = ::GetDC(control_->Surface());
        const COLORREF colour = ::GetPixel(dc, at.x, at.y);
        ::ReleaseDC(control_->Surface(), dc);
        return colour;
    }

    // The caption of a row's box, right of its check mark.
    RECT CaptionOf(int row, RowElement box) const {
        RECT r = control_->ElementPixels(row, box);
        r.left += (r.bottom - r.top) + Px(45);
        return r;
    }

    HWND host_ = nullptr;
    HWND list_ = nullptr;
    ListboxControl* control_ = nullptr;
};

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) < 48 && std::abs(GetGValue(a) - GetGValue(b)) < 48 &&
           std::abs(GetBValue(a) - GetBValue(b)) < 48;
}

TEST_F(ListboxWindow, IsFoundByItsClassOnly) {
    wchar_t name[64] = {};
    ::GetClassNameW(list_, name, 64);
    EXPECT_STREQ(name, L"Runsweep.ctlListbox");
    EXPECT_EQ(ListboxFromWindow(host_), nullptr);
    EXPECT_EQ(ListboxFromWindow(nullptr), nullptr);
    EXPECT_EQ(control_->Window(), list_);
}

TEST_F(ListboxWindow, RowsAreDrawnAtTheirPlacesAndReportedWithTheirTexts) {
    EXPECT_TRUE(SnapshotLines().empty());
    EXPECT_FALSE(::IsWindowEnabled(control_->ScrollBar()));
    const std::wstring longName(120, L'x');
    control_->AddItem(L"qttask", L"first description");
    control_->AddItem(longName, L"second description");
    Pump();

    // Five items per row, in row order: name, description, the three boxes.
    const std::vector<std::wstring> lines = SnapshotLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].substr(0, 7), L"text\t1\t");
    EXPECT_NE(lines[0].find(L"\tqttask"), std::wstring::npos);
    EXPECT_NE(lines[0].find(L"\tselected\t"), std::wstring::npos);
    EXPECT_NE(lines[6].find(L"\tsecond description"), std::wstring::npos);
    EXPECT_EQ(lines[6].find(L"\tselected\t"), std::wstring::npos);
    EXPECT_EQ(lines[7].rfind(L"checkbox\t8\tchecked\t", 0), 0u) << lines[7];
    EXPECT_EQ(lines[8].rfind(L"checkbox\t9\tunchecked\t", 0), 0u) << lines[8];
    EXPECT_NE(lines[9].find(L"\tNo action"), std::wstring::npos);

    // Row 1 lies one row pitch below row 0; the long name stops at the "Disable" box.
    const RECT name = control_->ElementPixels(1, RowElement::ValueName);
    const RECT disable = control_->ElementPixels(1, RowElement::Disable);
    EXPECT_EQ(name.left, Px(840));
    EXPECT_EQ(name.top, Px(885 + 120));
    EXPECT_EQ(name.right, disable.left);
    EXPECT_EQ(disable.left, Px(4200));
    EXPECT_EQ(control_->ElementPixels(1, RowElement::Description).right, Px(840 + 7985));
    EXPECT_EQ(control_->GetValue(1), longName);
    // There it ends with an ellipsis; screen readers and drivers get the whole name.
    const WrappedText shown = control_->ShownText(1, RowElement::ValueName);
    ASSERT_EQ(shown.lines.size(), 1u);
    EXPECT_TRUE(shown.cut);
    EXPECT_EQ(shown.lines[0], std::wstring(shown.lines[0].size() - 1, L'x') + L"\u2026");
    EXPECT_GT(shown.lines[0].size(), 10u);
    EXPECT_FALSE(control_->ShownText(0, RowElement::ValueName).cut);
    EXPECT_NE(lines[5].find(L"\t" + longName), std::wstring::npos);

    // The snapshot's rectangles are on the screen, where the rows are painted.
    POINT origin{0, 0};
    ::ClientToScreen(control_->Surface(), &origin);
    const std::wstring expected =
        std::to_wstring(origin.x + disable.left) + L" " + std::to_wstring(origin.y + disable.top) + L" " +
        std::to_wstring(disable.right - disable.left) + L" " + std::to_wstring(disable.bottom - disable.top);
    EXPECT_NE(lines[7].find(L"\t" + expected + L"\t"), std::wstring::npos) << lines[7];

    // The scroll bar stands right of the rows and meets the list's right and bottom edges.
    const RECT bar = InList(control_->ScrollBar());
    RECT client{};
    ::GetClientRect(list_, &client);
    EXPECT_EQ(bar.left, Px(9000));
    EXPECT_EQ(bar.top, 0);
    EXPECT_EQ(bar.right, client.right);
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_EQ(InList(control_->Surface()).right, bar.left);
}

TEST_F(ListboxWindow, TheFifthRowEnablesTheScrollBar) {
    AddRows(4);
    EXPECT_FALSE(::IsWindowEnabled(control_->ScrollBar()));
    AddRows(1);
    EXPECT_TRUE(::IsWindowEnabled(control_->ScrollBar()));
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(control_->ScrollBar(), SB_CTL, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax - static_cast<int>(info.nPage) + 1, 570); // the largest position
}

TEST_F(ListboxWindow, ScrollBarMessagesMoveByTheRowPitchAndBy300Twips) {
    AddRows(10);
    Scroll(SB_PAGEDOWN);
    EXPECT_EQ(control_->ScrollOffset(), 885);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(control_->ScrollOffset(), 1185);
    Scroll(SB_LINEUP);
    Scroll(SB_LINEUP);
    EXPECT_EQ(control_->ScrollOffset(), 585);
    Scroll(SB_BOTTOM);
    EXPECT_EQ(control_->ScrollOffset(), 8850 - 3855);
    Scroll(SB_PAGEDOWN); // the end of the range stops it
    EXPECT_EQ(control_->ScrollOffset(), 8850 - 3855);

    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines > 0 && lines != WHEEL_PAGESCROLL) {
        Scroll(SB_TOP);
        ::SendMessageW(list_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
        EXPECT_EQ(control_->ScrollOffset(), static_cast<int>(lines) * 300);
    }
    EXPECT_EQ(control_->SelectedItem(), 0);
}

TEST_F(ListboxWindow, TwentyThousandRowsKeepThreeWindowsAndReachTheEnd) {
    const int rows = 20000;
    AddRows(rows);
    ASSERT_EQ(control_->ListCount(), rows);
    // The surface and the bar, however many rows there are.
    EXPECT_EQ(DescendantCount(list_), 2);
    // Only the rows in view are reported: 3855 twips show at most six rows of 885.
    EXPECT_LE(SnapshotLines().size(), 6u * kItemsPerRow);

    Scroll(SB_BOTTOM);
    Pump();
    EXPECT_EQ(control_->ScrollOffset(), 885 * rows - 3855);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_POS;
    ASSERT_TRUE(::GetScrollInfo(control_->ScrollBar(), SB_CTL, &info));
    EXPECT_EQ(info.nPos, 885 * rows - 3855); // far beyond 16 bits

    EXPECT_FALSE(LineOf(L"row19999").empty());
    EXPECT_TRUE(LineOf(L"row0").empty());
    // The last row's bottom meets the scroll bar's bottom.
    const int lastBottom = Px(885.0 * rows) - Px(885 * rows - 3855);
    EXPECT_NEAR(lastBottom, InList(control_->ScrollBar()).bottom, 1);

    // A choice far down is kept while its row is out of view and shown when it comes back.
    control_->ChooseBox(rows - 2, RowBox::Remove);
    Scroll(SB_TOP);
    Pump();
    EXPECT_FALSE(LineOf(L"row0").empty());
    Scroll(SB_BOTTOM);
    const std::vector<std::wstring> lines = SnapshotLines();
    const long removeId = ChildIdOf(control_->Model(), rows - 2, RowElement::Remove);
    bool seen = false;
    for (const std::wstring& line : lines) {
        if (line.rfind(L"checkbox\t" + std::to_wstring(removeId) + L"\t", 0) == 0) {
            EXPECT_NE(line.find(L"\tchecked\t"), std::wstring::npos) << line;
            seen = true;
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(control_->GetChoice(rows - 2), StartupAction::kRemove);
}

TEST_F(ListboxWindow, BoxesChooseWithAnyButtonAndNeverToggleOff) {
    AddRows(4);
    control_->SelectRow(1);
    Click(2, RowElement::Remove, WM_LBUTTONDOWN, WM_LBUTTONUP);
    Click(2, RowElement::Remove, WM_LBUTTONDOWN, WM_LBUTTONUP); // a second click keeps it checked
    EXPECT_EQ(control_->GetChoice(2), StartupAction::kRemove);
    EXPECT_EQ(control_->GetChoice(1), StartupAction::kDisable);
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kDisable);
    // The highlight follows the focus to the clicked row, painted there and gone from row 1.
    const POINT besideRow2{Px(8700), Px(885 * 2) + 2};
    EXPECT_EQ(control_->SelectedItem(), 2);
    EXPECT_EQ(control_->Model().FocusRow(), 2);
    EXPECT_EQ(PixelAt(besideRow2), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_NE(PixelAt(POINT{Px(8700), Px(885) + 2}), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_NE(LineOf(L"row2").find(L"\tselected\t"), std::wstring::npos) << LineOf(L"row2");

    Click(2, RowElement::NoAction, WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(control_->GetChoice(2), StartupAction::kNone);
    Click(3, RowElement::Remove, WM_MBUTTONDOWN, WM_MBUTTONUP);
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kRemove);
    EXPECT_EQ(control_->SelectedItem(), 3);

    // Let go somewhere else, and nothing is chosen: as with any box. The press took the focus and
    // the highlight there all the same.
    const POINT from = Centre(0, RowElement::NoAction);
    const POINT to = Centre(0, RowElement::Description);
    ::SendMessageW(control_->Surface(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    ::SendMessageW(control_->Surface(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    ::SendMessageW(control_->Surface(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    EXPECT_EQ(control_->GetChoice(0), StartupAction::kDisable);
    EXPECT_EQ(control_->SelectedItem(), 0);
}

TEST_F(ListboxWindow, EveryTextOfTheRowsReadsInEachSchemeAlsoWhileABoxIsHeld) {
    AddRows(4);
    struct Scheme {
        const char* name;
        std::initializer_list<std::pair<int, COLORREF>> colours;
        COLORREF window, selection; // the backgrounds it must give the rows
    };
    const Scheme schemes[] = {
        {"as the display has it", {}, ::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_HIGHLIGHT)},
        {"High Contrast Black",
         {{COLOR_WINDOW, RGB(0, 0, 0)},
          {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
          {COLOR_BTNFACE, RGB(0, 0, 0)},
          {COLOR_BTNTEXT, RGB(255, 255, 255)},
          {COLOR_HIGHLIGHT, RGB(26, 235, 255)},
          {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
          {COLOR_HOTLIGHT, RGB(255, 255, 0)}},
         RGB(0, 0, 0),
         RGB(26, 235, 255)},
    };
    for (const Scheme& scheme : schemes) {
        const test::SchemeForTest applied(scheme.colours);
        // As the main window passes it on: only top-level windows hear of a new scheme.
        ::SendMessageW(list_, WM_SYSCOLORCHANGE, 0, 0);
        control_->SelectRow(1); // painted last: the selected row's text colour is left behind
        Pump();
        for (const int row : {0, 1}) {
            const COLORREF back = row == 1 ? scheme.selection : scheme.window;
            for (const RowElement text : {RowElement::ValueName, RowElement::Description, RowElement::Disable}) {
                const RECT r = text == RowElement::Disable ? CaptionOf(row, text) : control_->ElementPixels(row, text);
                const std::vector<COLORREF> pixels = test::PixelsOf(control_->Surface(), r);
                EXPECT_EQ(test::MostCommon(pixels), back) << scheme.name << ", row " << row;
                EXPECT_GE(test::MeasuredContrast(test::InkOf(pixels, back), back), kLeastContrast)
                    << scheme.name << ", row " << row << ", element " << static_cast<int>(text);
            }
        }
        // Down and up in turn on selected and plain rows, so each press follows a paint that ended
        // in the other row's colours.
        for (const int row : {0, 1, 2, 1, 0, 0}) {
            const POINT at = Centre(row, RowElement::Remove);
            ::SendMessageW(control_->Surface(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
            const bool selected = control_->Model().HighlightVisible() && control_->SelectedItem() == row;
            const Surface surface = selected ? Surface::Selection : Surface::Window;
            const COLORREF back = BackgroundColour(surface);
            for (const RowElement box : {RowElement::Disable, RowElement::Remove, RowElement::NoAction}) {
                const COLORREF ink = test::InkOf(test::PixelsOf(control_->Surface(), CaptionOf(row, box)), back);
                const std::string where = std::string(scheme.name) + ", row " + std::to_string(row) + ", box " +
                                          std::to_string(static_cast<int>(box));
                EXPECT_GE(test::MeasuredContrast(ink, back), kLeastContrast) << where;
                EXPECT_TRUE(Near(ink, InkColour(Ink::Text, surface))) << where << ": ink " << std::hex << ink;
            }
            ::SendMessageW(control_->Surface(), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
            Pump();
            EXPECT_EQ(control_->GetChoice(row), StartupAction::kRemove);
        }
    }
    ::SendMessageW(list_, WM_SYSCOLORCHANGE, 0, 0);
}

TEST_F(ListboxWindow, ClickingARowsDescriptionSelectsItAndPaintsTheHighlight) {
    AddRows(5);
    control_->ChooseBox(3, RowBox::NoAction);
    const POINT beside{Px(8700), Px(2655) + 2}; // bare background of row 3, right of its boxes
    EXPECT_EQ(PixelAt(beside), ::GetSysColor(COLOR_WINDOW));
    Click(3, RowElement::Description, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(control_->SelectedItem(), 3);
    EXPECT_EQ(control_->Model().HighlightRect().top, 2655);
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kNone);
    EXPECT_EQ(PixelAt(beside), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(PixelAt(POINT{Px(8700), Px(885) + 2}), ::GetSysColor(COLOR_WINDOW)); // row 0 lost it

    // The bare background between elements selects nothing.
    ::SendMessageW(control_->Surface(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(beside.x, Px(885) + 2));
    ::SendMessageW(control_->Surface(), WM_LBUTTONUP, 0, MAKELPARAM(beside.x, Px(885) + 2));
    EXPECT_EQ(control_->SelectedItem(), 3);
}

TEST_F(ListboxWindow, KeyboardMovesAFocusMarkOverTheBoxes) {
    AddRows(10);
    ::SetFocus(list_);
    if (::GetFocus() != list_) {
        GTEST_SKIP() << "no keyboard focus on this display";
    }
    auto press = [&](UINT vk) {
        ::SendMessageW(list_, WM_KEYDOWN, vk, 0);
        ::SendMessageW(list_, WM_KEYUP, vk, 0xC0000000);
        Pump();
    };
    auto focused = [&]() -> std::wstring {
        for (const std::wstring& line : SnapshotLines()) {
            if (line.find(L"\tfocused\t") != std::wstring::npos) {
                return line.substr(0, line.find(L'\t', 9));
            }
        }
        return L"";
    };
    EXPECT_EQ(focused(), L"checkbox\t3");
    for (int i = 0; i < 6; ++i) {
        press(VK_DOWN);
    }
    EXPECT_EQ(control_->SelectedItem(), 6);
    EXPECT_EQ(control_->ScrollOffset(), 885 * 7 - 3855);
    EXPECT_EQ(focused(), L"checkbox\t" + std::to_wstring(ChildIdOf(control_->Model(), 6, RowElement::Disable)));
    press(VK_RIGHT);
    press(VK_SPACE);
    EXPECT_EQ(control_->GetChoice(6), StartupAction::kRemove);
    press(VK_HOME);
    EXPECT_EQ(control_->SelectedItem(), 0);
    EXPECT_EQ(focused(), L"checkbox\t" + std::to_wstring(ChildIdOf(control_->Model(), 0, RowElement::Remove)));

    // Scrolling takes the focus row out of view; the focus stays on it, and no row in view shows it.
    Scroll(SB_BOTTOM);
    EXPECT_EQ(control_->Model().FocusRow(), 0);
    EXPECT_EQ(focused(), L"");
    press(VK_DOWN);
    EXPECT_EQ(control_->SelectedItem(), 1);
    EXPECT_EQ(focused(), L"checkbox\t" + std::to_wstring(ChildIdOf(control_->Model(), 1, RowElement::Remove)));
}

TEST_F(ListboxWindow, WheelAndScrollBarLeaveTheFocusOnItsRow) {
    AddRows(12);
    ::SetFocus(list_);
    if (::GetFocus() != list_) {
        GTEST_SKIP() << "no keyboard focus on this display";
    }
    auto press = [&](UINT vk) {
        ::SendMessageW(list_, WM_KEYDOWN, vk, 0);
        ::SendMessageW(list_, WM_KEYUP, vk, 0xC0000000);
        Pump();
    };
    auto wheel = [&](int notches) {
        for (int i = 0; i < std::abs(notches); ++i) {
            const short delta = static_cast<short>(notches < 0 ? -WHEEL_DELTA : WHEEL_DELTA);
            ::SendMessageW(list_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        }
        Pump();
    };
    const std::wstring focusedMark = L"\tfocused\t";
    press(VK_HOME);
    press(VK_RIGHT); // the focus on row 0's "Remove"
    ASSERT_EQ(control_->Model().FocusBox(), RowBox::Remove);
    const POINT focusAt = Centre(0, RowElement::Remove);
    EXPECT_NE(LineOf(L"Remove").find(focusedMark), std::wstring::npos);

    // Two notches down, as the user who found the fault did: row 0 leaves the view, the focus
    // and the highlight stay on it.
    wheel(-2);
    ASSERT_GT(control_->ScrollOffset(), 885);
    EXPECT_EQ(control_->Model().FocusRow(), 0);
    EXPECT_EQ(control_->Model().FocusBox(), RowBox::Remove);
    EXPECT_EQ(control_->SelectedItem(), 0);
    for (const std::wstring& line : SnapshotLines()) {
        EXPECT_EQ(line.find(L"\tfocused\t"), std::wstring::npos) << line; // no mark on another row
    }
    // Space chooses in the row the focus is on, brought back into view, and in no other.
    press(VK_SPACE);
    EXPECT_EQ(control_->ScrollOffset(), 0);
    EXPECT_EQ(control_->GetChoice(0), StartupAction::kRemove);
    for (int row = 1; row < 12; ++row) {
        EXPECT_EQ(control_->GetChoice(row), StartupAction::kDisable) << row;
    }
    EXPECT_EQ(Centre(0, RowElement::Remove).y, focusAt.y);

    // The same for the scroll bar: the trough, the arrows and the thumb's end.
    for (int code : {SB_PAGEDOWN, SB_LINEDOWN, SB_BOTTOM}) {
        Scroll(code);
        EXPECT_EQ(control_->Model().FocusRow(), 0) << code;
        EXPECT_EQ(control_->SelectedItem(), 0) << code;
    }
    // Up from row 0 goes nowhere, but still brings the focus row back.
    press(VK_UP);
    EXPECT_EQ(control_->ScrollOffset(), 0);
    EXPECT_EQ(control_->Model().FocusRow(), 0);
}

TEST_F(ListboxWindow, ScreenReadersSeeNamesBoxesAndTheirStates) {
    AddRows(6);
    control_->ChooseBox(1, RowBox::NoAction);
    // The object WM_GETOBJECT hands out. (Taken directly: some platforms cannot marshal it, not
    // even within one process.)
    IAccessible* accessible = control_->AccessibleObject();
    ASSERT_NE(accessible, nullptr);
    long count = 0;
    EXPECT_EQ(accessible->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 6 * kItemsPerRow);

    VARIANT child;
    child.vt = VT_I4;
    child.lVal = ChildIdOf(control_->Model(), 1, RowElement::NoAction);
    BSTR name = nullptr;
    ASSERT_EQ(accessible->get_accName(child, &name), S_OK);
    EXPECT_STREQ(name, L"No action");
    ::SysFreeString(name);
    BSTR description = nullptr;
    ASSERT_EQ(accessible->get_accDescription(child, &description), S_OK);
    EXPECT_STREQ(description, L"row1"); // which entry the box acts on
    ::SysFreeString(description);
    VARIANT role;
    ASSERT_EQ(accessible->get_accRole(child, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_CHECKBUTTON);
    VARIANT state;
    ASSERT_EQ(accessible->get_accState(child, &state), S_OK);
    EXPECT_TRUE(state.lVal & STATE_SYSTEM_CHECKED);

    // The last row lies below the view.
    child.lVal = ChildIdOf(control_->Model(), 5, RowElement::ValueName);
    ASSERT_EQ(accessible->get_accState(child, &state), S_OK);
    EXPECT_TRUE(state.lVal & STATE_SYSTEM_OFFSCREEN);

    // The default action of a box chooses it, as a click does.
    child.lVal = ChildIdOf(control_->Model(), 4, RowElement::Remove);
    EXPECT_EQ(accessible->accDoDefaultAction(child), S_OK);
    EXPECT_EQ(control_->GetChoice(4), StartupAction::kRemove);

    // A hit test at a box's centre on the screen finds that box.
    POINT at = Centre(2, RowElement::Disable);
    ::ClientToScreen(control_->Surface(), &at);
    VARIANT hit;
    ASSERT_EQ(accessible->accHitTest(at.x, at.y, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, ChildIdOf(control_->Model(), 2, RowElement::Disable));

    child.lVal = 6 * kItemsPerRow + 1;
    EXPECT_EQ(accessible->get_accName(child, &name), E_INVALIDARG);

    // The list itself: a list, named as its host named its window.
    ::SetWindowTextW(list_, L"Startup entries");
    child.lVal = CHILDID_SELF;
    ASSERT_EQ(accessible->get_accName(child, &name), S_OK);
    EXPECT_STREQ(name, L"Startup entries");
    ::SysFreeString(name);
    ASSERT_EQ(accessible->get_accRole(child, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_LIST);

    // An object still held when the list goes away answers with an error, not a crash.
    ::DestroyWindow(host_);
    host_ = nullptr;
    EXPECT_TRUE(FAILED(accessible->get_accChildCount(&count)));
    accessible->Release();
}

TEST_F(ListboxWindow, AListWithTwoBoxesOffersThemToClicksScreenReadersAndDrivers) {
    EXPECT_THROW(
        {
            AddRows(1);
            control_->SetChoices(ListChoices{});
        },
        std::logic_error);
    control_->Clear();
    control_->SetChoices(ListChoices{
        {{L"Go", L"go", TwipsRect{5280, 120, 1350, 195}}, {L"Stay", L"stay", TwipsRect{6720, 120, 1800, 195}}},
        1,
        {1, 0}});
    AddRows(3);
    EXPECT_EQ(control_->GetChoice(2), L"stay");
    Click(2, RowElement::Disable, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(control_->GetChoice(2), L"go");

    IAccessible* accessible = control_->AccessibleObject();
    ASSERT_NE(accessible, nullptr);
    long count = 0;
    EXPECT_EQ(accessible->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 3 * 4);
    VARIANT child;
    child.vt = VT_I4;
    child.lVal = ChildIdOf(control_->Model(), 1, RowElement::Remove);
    BSTR name = nullptr;
    ASSERT_EQ(accessible->get_accName(child, &name), S_OK);
    EXPECT_STREQ(name, L"Stay");
    ::SysFreeString(name);
    child.lVal = ChildIdOf(control_->Model(), 0, RowElement::Disable);
    EXPECT_EQ(accessible->accDoDefaultAction(child), S_OK);
    EXPECT_EQ(control_->GetChoice(0), L"go");
    accessible->Release();

    const std::wstring stay = LineOf(L"Stay");
    // Row 0, chosen "go" by a screen reader; the click on row 2 took the highlight there.
    EXPECT_EQ(stay.rfind(L"checkbox\t4\tunchecked\t-\t", 0), 0u) << stay;
    EXPECT_EQ(control_->SelectedItem(), 2);
    EXPECT_EQ(SnapshotLines().size(), 3u * 4);

    // Emptied, the list fills again from the top with the same boxes.
    control_->Clear();
    Pump();
    EXPECT_EQ(control_->ListCount(), 0);
    EXPECT_TRUE(SnapshotLines().empty());
    EXPECT_FALSE(::IsWindowEnabled(control_->ScrollBar()));
    AddRows(1);
    EXPECT_EQ(control_->GetChoice(0), L"stay");
}

TEST_F(ListboxWindow, ABatchIsShownWhenItEnds) {
    {
        ListboxUpdateLock batch(*control_);
        AddRows(1000);
        EXPECT_FALSE(::IsWindowEnabled(control_->ScrollBar())); // nothing of the batch shown yet
    }
    EXPECT_FALSE(LineOf(L"row4").empty());
    EXPECT_TRUE(::IsWindowEnabled(control_->ScrollBar()));
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(control_->ScrollBar(), SB_CTL, &info));
    EXPECT_EQ(info.nMax - static_cast<int>(info.nPage) + 1, 885000 - 3855);
}

TEST_F(ListboxWindow, ALabelThatCutsItsTextShowsItWholeInAToolTipAndNoOtherDoes) {
    const std::wstring edge = L"MicrosoftEdgeAutoLaunch_0123456789ABCDEF0123456789ABCDEF";
    std::wstring command = L"Back to HKLM: \"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime";
    for (int i = 0; i < 12; ++i) {
        command += L" --option-" + std::to_wstring(i);
    }
    control_->AddItem(L"qttask", L"Fits on one line.");
    control_->AddItem(edge, command);
    Pump();
    // The command breaks at spaces only: every argument whole on its line, the last ending with an
    // ellipsis.
    const WrappedText description = control_->ShownText(1, RowElement::Description);
    EXPECT_TRUE(description.cut);
    ASSERT_EQ(description.lines.size(), 2u);
    EXPECT_EQ(description.lines[0].rfind(L"Back to HKLM: \"C:\\Program Files\\QuickTime\\qttask.exe\"", 0), 0u);
    EXPECT_EQ(description.lines[1].back(), L'\u2026');
    std::wstring shown = description.lines[0] + L" " + description.lines[1];
    shown.pop_back();
    EXPECT_EQ(command.rfind(shown, 0), 0u) << "no argument split across lines";

    HWND tip = control_->ToolTip();
    ASSERT_NE(tip, nullptr);
    const auto hover = [&](int row, RowElement element, int waits = 100) -> std::wstring {
        POINT at = Centre(row, element);
        POINT onScreen = at;
        ::ClientToScreen(control_->Surface(), &onScreen);
        ::SetCursorPos(onScreen.x, onScreen.y);
        ::SendMessageW(control_->Surface(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        for (int i = 0; i < waits && !::IsWindowVisible(tip); ++i) {
            Pump();
            ::Sleep(20);
        }
        if (!::IsWindowVisible(tip)) {
            return L"";
        }
        wchar_t text[512] = {};
        ::SendMessageW(tip, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        return text;
    };
    POINT cursor{};
    const POINT probe = [&] {
        POINT p = Centre(0, RowElement::Icon);
        ::ClientToScreen(control_->Surface(), &p);
        return p;
    }();
    ::SetCursorPos(probe.x, probe.y);
    if (!::GetCursorPos(&cursor) || cursor.x != probe.x || cursor.y != probe.y) {
        GTEST_SKIP() << "the pointer cannot be moved on this display";
    }
    EXPECT_EQ(hover(1, RowElement::ValueName), edge);
    EXPECT_EQ(hover(1, RowElement::Description), command);
    // A label that shows its text whole has no tip, and scrolling takes a tip away.
    EXPECT_EQ(hover(0, RowElement::ValueName, 40), L"");
    EXPECT_EQ(hover(0, RowElement::Description, 40), L"");
    EXPECT_EQ(hover(1, RowElement::ValueName), edge);
    AddRows(10);
    Scroll(SB_LINEDOWN);
    Pump();
    EXPECT_FALSE(::IsWindowVisible(tip));
}

TEST_F(ListboxWindow, EveryDescriptionOfTodaysProgramsFitsItsTwoLines) {
    // The label shows two lines and cuts off the rest; the last words of these descriptions say
    // whether the program is needed, exactly what a cut would lose.
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    for (std::size_t i = kBuiltInCount; i < FirstCustomIndex(); ++i) {
        control_->AddItem(std::wstring(catalogue.StartupNames[i]), std::wstring(catalogue.StartupDescriptions[i]));
    }
    const std::wstring tooLong(60, L'x');
    control_->AddItem(L"three lines", tooLong + L" " + tooLong + L" " + tooLong + L" " + tooLong);
    Pump();
    const int last = control_->ListCount() - 1;
    EXPECT_FALSE(control_->DescriptionFits(last)) << "a description of four long words needs four lines";
    std::wstring cut;
    for (int row = 0; row < last; ++row) {
        if (!control_->DescriptionFits(row)) {
            cut += L"\n  " + control_->GetValue(row) + L": " + control_->Model().GetDescription(row);
        }
    }
    std::string ascii; // the table is ASCII
    for (const wchar_t c : cut) {
        ascii += static_cast<char>(c);
    }
    EXPECT_TRUE(cut.empty()) << "cut off at " << control_->Dpi() << " dpi:" << ascii;
}

} // namespace
} // namespace runsweep
