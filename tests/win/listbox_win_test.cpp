// The list window on a real window system: the child windows it keeps, what they show, and how
// mouse, keyboard and scroll bar input reach the rows.
#include "app/twips.h"
#include "listbox/listbox_win.h"

#include <gtest/gtest.h>

#include <string>

namespace runsweep {
namespace {

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    return text;
}

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

    bool Checked(int row, RowElement box) const {
        return ::SendMessageW(control_->RowWindow(row, box), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    HWND host_ = nullptr;
    HWND list_ = nullptr;
    ListboxControl* control_ = nullptr;
};

TEST_F(ListboxWindow, IsFoundByItsClassOnly) {
    wchar_t name[64] = {};
    ::GetClassNameW(list_, name, 64);
    EXPECT_STREQ(name, L"Runsweep.ctlListbox");
    EXPECT_EQ(ListboxFromWindow(host_), nullptr);
    EXPECT_EQ(ListboxFromWindow(nullptr), nullptr);
    EXPECT_EQ(control_->Window(), list_);
}

TEST_F(ListboxWindow, RowsShowTheirTextsAtTheirPlaces) {
    EXPECT_EQ(control_->SlotCount(), 0);
    EXPECT_FALSE(::IsWindowEnabled(control_->ScrollBar()));
    const std::wstring longName(120, L'x');
    control_->AddItem(L"qttask", L"first description");
    control_->AddItem(longName, L"second description");
    Pump();

    EXPECT_EQ(TextOf(control_->RowWindow(0, RowElement::ValueName)), L"qttask");
    EXPECT_EQ(TextOf(control_->RowWindow(1, RowElement::Description)), L"second description");
    EXPECT_EQ(TextOf(control_->RowWindow(1, RowElement::NoAction)), L"No action");
    EXPECT_TRUE(Checked(1, RowElement::Disable));
    EXPECT_FALSE(Checked(1, RowElement::Remove));

    // Row 1 lies one row pitch below row 0; the long name stops at the "Disable" box.
    const RECT name = InList(control_->RowWindow(1, RowElement::ValueName));
    const RECT disable = InList(control_->RowWindow(1, RowElement::Disable));
    EXPECT_EQ(name.left, Px(840));
    EXPECT_EQ(name.top, Px(885 + 120));
    EXPECT_EQ(name.right, disable.left);
    EXPECT_EQ(disable.left, Px(4200));
    EXPECT_EQ(InList(control_->RowWindow(1, RowElement::Description)).right, Px(840 + 7985));
    EXPECT_EQ(control_->GetValue(1), longName);

    // The scroll bar stands 60 twips in from the right and the bottom.
    const RECT bar = InList(control_->ScrollBar());
    EXPECT_EQ(bar.left, Px(8940));
    EXPECT_EQ(bar.right, Px(8940 + 255));
    EXPECT_EQ(bar.bottom, Px(3795));
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
    EXPECT_EQ(info.nMax - static_cast<int>(info.nPage) + 1, 630); // the largest position
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
    EXPECT_EQ(control_->ScrollOffset(), 8850 - 3795);
    Scroll(SB_PAGEDOWN); // the end of the range stops it
    EXPECT_EQ(control_->ScrollOffset(), 8850 - 3795);

    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines > 0 && lines != WHEEL_PAGESCROLL) {
        Scroll(SB_TOP);
        ::SendMessageW(list_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
        EXPECT_EQ(control_->ScrollOffset(), static_cast<int>(lines) * 300);
    }
    EXPECT_EQ(control_->SelectedItem(), 0);
}

TEST_F(ListboxWindow, TwentyThousandRowsKeepAFewWindowsAndReachTheEnd) {
    const int rows = 20000;
    AddRows(rows);
    ASSERT_EQ(control_->ListCount(), rows);
    const int slots = control_->SlotCount();
    EXPECT_LE(slots, 6); // 3855 twips show at most six rows of 885
    // The surface, the bar, and per slot a panel with six windows.
    EXPECT_EQ(DescendantCount(list_), 2 + 7 * slots);

    Scroll(SB_BOTTOM);
    Pump();
    EXPECT_EQ(control_->ScrollOffset(), 885 * rows - 3795);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_POS;
    ASSERT_TRUE(::GetScrollInfo(control_->ScrollBar(), SB_CTL, &info));
    EXPECT_EQ(info.nPos, 885 * rows - 3795); // far beyond 16 bits

    HWND lastName = control_->RowWindow(rows - 1, RowElement::ValueName);
    ASSERT_NE(lastName, nullptr);
    EXPECT_EQ(TextOf(lastName), L"row19999");
    EXPECT_TRUE(::IsWindowVisible(lastName));
    // The last row's bottom meets the scroll bar's bottom.
    EXPECT_NEAR(InList(control_->RowPanel(rows - 1)).bottom, InList(control_->ScrollBar()).bottom, 1);
    EXPECT_EQ(control_->RowWindow(0, RowElement::ValueName), nullptr);

    // A choice far down is kept while its row is out of view and shown when it comes back.
    control_->ChooseBox(rows - 2, RowBox::Remove);
    Scroll(SB_TOP);
    Pump();
    EXPECT_EQ(TextOf(control_->RowWindow(0, RowElement::ValueName)), L"row0");
    EXPECT_EQ(control_->SlotCount(), slots);
    Scroll(SB_BOTTOM);
    EXPECT_TRUE(Checked(rows - 2, RowElement::Remove));
    EXPECT_FALSE(Checked(rows - 2, RowElement::Disable));
    EXPECT_EQ(control_->GetChoice(rows - 2), StartupAction::kRemove);
}

TEST_F(ListboxWindow, BoxesChooseWithAnyButtonAndNeverToggleOff) {
    AddRows(4);
    control_->SelectRow(1);
    HWND remove = control_->RowWindow(2, RowElement::Remove);
    ::SendMessageW(remove, BM_CLICK, 0, 0);
    ::SendMessageW(remove, BM_CLICK, 0, 0); // a second click on the checked box keeps it checked
    EXPECT_EQ(control_->GetChoice(2), StartupAction::kRemove);
    EXPECT_TRUE(Checked(2, RowElement::Remove));
    EXPECT_FALSE(Checked(2, RowElement::Disable));
    EXPECT_EQ(control_->GetChoice(1), StartupAction::kDisable);
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kDisable);
    EXPECT_EQ(control_->SelectedItem(), 1);

    ::SendMessageW(control_->RowWindow(2, RowElement::NoAction), WM_RBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(control_->GetChoice(2), StartupAction::kNone);
    EXPECT_TRUE(Checked(2, RowElement::NoAction));
    EXPECT_FALSE(Checked(2, RowElement::Remove));
    ::SendMessageW(control_->RowWindow(3, RowElement::Remove), WM_MBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kRemove);
}

TEST_F(ListboxWindow, ClickingARowsDescriptionSelectsIt) {
    AddRows(5);
    control_->ChooseBox(3, RowBox::NoAction);
    HWND description = control_->RowWindow(3, RowElement::Description);
    ::SendMessageW(description, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(description, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    Pump();
    EXPECT_EQ(control_->SelectedItem(), 3);
    EXPECT_EQ(control_->Model().HighlightRect().top, 2655);
    EXPECT_EQ(control_->GetChoice(3), StartupAction::kNone);

    // The selected row's panel is the highlight band: one row pitch high, the surface's width.
    const RECT band = InList(control_->RowPanel(3));
    EXPECT_EQ(band.top, Px(2655));
    EXPECT_EQ(band.bottom, Px(3540));
    EXPECT_EQ(band.right - band.left, Px(9000));
    ::UpdateWindow(list_);
    HDC dc = ::GetDC(control_->RowPanel(3));
    const COLORREF behind = ::GetPixel(dc, Px(8700), 2);
    ::ReleaseDC(control_->RowPanel(3), dc);
    if (behind != CLR_INVALID) {
        EXPECT_EQ(behind, ::GetSysColor(COLOR_HIGHLIGHT));
    }
}

TEST_F(ListboxWindow, KeyboardMovesTheFocusOverRealBoxes) {
    AddRows(10);
    ::SetFocus(list_);
    if (::GetFocus() == nullptr) {
        GTEST_SKIP() << "no keyboard focus on this display";
    }
    // The control passes the focus on to a box of its focus row.
    EXPECT_EQ(::GetFocus(), control_->RowWindow(0, RowElement::Disable));

    auto press = [](UINT vk) {
        HWND focus = ::GetFocus();
        ::SendMessageW(focus, WM_KEYDOWN, vk, 0);
        ::SendMessageW(focus, WM_KEYUP, vk, 0xC0000000);
        Pump();
    };
    for (int i = 0; i < 6; ++i) {
        press(VK_DOWN);
    }
    EXPECT_EQ(control_->SelectedItem(), 6);
    EXPECT_EQ(control_->ScrollOffset(), 885 * 7 - 3795);
    EXPECT_EQ(::GetFocus(), control_->RowWindow(6, RowElement::Disable));
    press(VK_RIGHT);
    EXPECT_EQ(::GetFocus(), control_->RowWindow(6, RowElement::Remove));
    press(VK_SPACE); // the box's own key, reaching the list as a click
    EXPECT_EQ(control_->GetChoice(6), StartupAction::kRemove);
    EXPECT_TRUE(Checked(6, RowElement::Remove));
    press(VK_HOME);
    EXPECT_EQ(control_->SelectedItem(), 0);
    EXPECT_EQ(::GetFocus(), control_->RowWindow(0, RowElement::Remove));

    // Scrolling the focus row away takes the focus to a box still in view.
    Scroll(SB_BOTTOM);
    HWND focus = ::GetFocus();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(::IsWindowVisible(focus));
    EXPECT_EQ(TextOf(focus), L"Remove");
}

TEST_F(ListboxWindow, ABatchIsShownWhenItEnds) {
    {
        ListboxUpdateLock batch(*control_);
        AddRows(1000);
        EXPECT_EQ(control_->SlotCount(), 0); // nothing of the batch reached the windows yet
    }
    EXPECT_EQ(control_->SlotCount(), 5);
    EXPECT_EQ(TextOf(control_->RowWindow(4, RowElement::ValueName)), L"row4");
    EXPECT_TRUE(::IsWindowEnabled(control_->ScrollBar()));
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(control_->ScrollBar(), SB_CTL, &info));
    EXPECT_EQ(info.nMax - static_cast<int>(info.nPage) + 1, 885000 - 3795);
}

} // namespace
} // namespace runsweep
