#include "listbox/list_model.h"

#include "listbox/list_items.h"

#include "list_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace runsweep {
namespace {

using list_test::kHeight;
using list_test::kWidth;
using list_test::ListWith;

std::wstring Boxes(const ListModel& list, int row) {
    std::wstring s;
    for (RowBox box : {RowBox::Disable, RowBox::Remove, RowBox::NoAction}) {
        s += list.IsChecked(row, box) ? L'1' : L'0';
    }
    return s;
}

TEST(ListModelRows, NewRowsReportDisableAndKeepTheirTexts) {
    ListModel list = ListWith(0);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_FALSE(list.HighlightVisible());

    const std::wstring longName(300, L'q');
    list.AddItem(longName, L"first");
    list.AddItem(L"jusched", L"second");
    list.ChooseBox(0, RowBox::Remove); // a changed row 0 must not leak into later rows
    list.AddItem(L"qttask", L"third");

    ASSERT_EQ(list.ListCount(), 3);
    EXPECT_EQ(list.GetChoice(1), StartupAction::kDisable);
    EXPECT_EQ(list.GetChoice(2), StartupAction::kDisable);
    EXPECT_EQ(Boxes(list, 2), L"100");
    EXPECT_EQ(list.GetValue(0), longName); // shown cut off, returned whole
    EXPECT_EQ(list.GetValue(2), L"qttask");
    EXPECT_EQ(list.GetDescription(1), L"second");
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_TRUE(list.HighlightVisible());
}

TEST(ListModelRows, IndicesWithoutARowAreErrors) {
    ListModel list = ListWith(2);
    EXPECT_THROW(list.GetValue(2), std::out_of_range);
    EXPECT_THROW(list.GetChoice(-1), std::out_of_range);
    EXPECT_THROW(list.SelectRow(2), std::out_of_range);
    EXPECT_THROW(list.ChooseBox(5, RowBox::Remove), std::out_of_range);
    EXPECT_EQ(list.SelectedItem(), 0);
}

TEST(ListModelChoice, ClickOnABoxOfRowTwoChangesRowTwoOnlyAndHighlightsIt) {
    ListModel list = ListWith(4);
    list.SelectRow(1);
    list.PressBox(2, RowBox::Remove);
    list.MouseUpOnBox(2, RowBox::Remove, MouseButton::Left);

    EXPECT_EQ(Boxes(list, 2), L"010");
    EXPECT_EQ(list.GetChoice(2), StartupAction::kRemove);
    for (int row : {0, 1, 3}) {
        EXPECT_EQ(Boxes(list, row), L"100") << row;
    }
    // The highlight goes with the focus to the clicked row, and the keys go on from there.
    EXPECT_EQ(list.SelectedItem(), 2);
    EXPECT_EQ(list.HighlightRect().top, 885 * 2);
    EXPECT_EQ(list.FocusRow(), 2);
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    list.HandleKey(ListKey::Down);
    EXPECT_EQ(list.SelectedItem(), 3);
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    // A press alone chooses nothing: the button may yet be let go elsewhere.
    list.PressBox(0, RowBox::NoAction);
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_EQ(Boxes(list, 0), L"100");
}

TEST(ListModelChoice, ClickOnACheckedBoxLeavesItChecked) {
    ListModel list = ListWith(1);
    list.MouseUpOnBox(0, RowBox::NoAction, MouseButton::Left);
    list.MouseUpOnBox(0, RowBox::NoAction, MouseButton::Left);
    EXPECT_EQ(Boxes(list, 0), L"001");
    list.MouseUpOnBox(0, RowBox::Disable, MouseButton::Left);
    list.MouseUpOnBox(0, RowBox::Disable, MouseButton::Left);
    EXPECT_EQ(Boxes(list, 0), L"100");
}

TEST(ListModelChoice, EveryMouseButtonChooses) {
    ListModel list = ListWith(3);
    list.MouseUpOnBox(0, RowBox::NoAction, MouseButton::Right);
    list.MouseUpOnBox(1, RowBox::Remove, MouseButton::Middle);
    EXPECT_EQ(list.GetChoice(0), StartupAction::kNone);
    EXPECT_EQ(list.GetChoice(1), StartupAction::kRemove);
    EXPECT_EQ(list.GetChoice(2), StartupAction::kDisable);
}

TEST(ListModelChoice, PrecedenceIsNoneThenDisableThenRemove) {
    ListModel list = ListWith(1);
    auto set = [&](bool disable, bool remove, bool noAction) {
        list.SetChecked(0, RowBox::Disable, disable);
        list.SetChecked(0, RowBox::Remove, remove);
        list.SetChecked(0, RowBox::NoAction, noAction);
        return list.GetChoice(0);
    };
    EXPECT_EQ(set(true, true, true), L"none");
    EXPECT_EQ(set(true, false, true), L"none");
    EXPECT_EQ(set(false, true, true), L"none");
    EXPECT_EQ(set(true, true, false), L"disable");
    EXPECT_EQ(set(false, true, false), L"remove");
    EXPECT_EQ(set(false, false, false), L"");
}

TEST(ListModelSelection, SelectingRowThreeMovesTheHighlightOnly) {
    ListModel list = ListWith(5);
    list.ChooseBox(3, RowBox::NoAction);
    list.SelectRow(3);
    EXPECT_EQ(list.SelectedItem(), 3);
    EXPECT_EQ(list.HighlightRect(), (TwipsRect{0, 2655, 9000, 885}));
    EXPECT_EQ(list.GetChoice(3), StartupAction::kNone);
    EXPECT_EQ(list.GetChoice(2), StartupAction::kDisable);
}

TEST(ListModelLayout, FollowsTheControlsSize) {
    ListModel list = ListWith(0);
    EXPECT_EQ(list.SurfaceWidth(), 9000);
    EXPECT_EQ(list.ScrollBarLeft(), 9000);
    EXPECT_EQ(list.ScrollBarHeight(), 3855);
    EXPECT_EQ(list.DescriptionWidth(), 7985);
    EXPECT_EQ(list.HighlightWidth(), 9000);

    list.Layout(6000, 2000);
    EXPECT_EQ(list.SurfaceWidth(), 5745);
    EXPECT_EQ(list.ScrollBarLeft(), 5745);
    EXPECT_EQ(list.ScrollBarHeight(), 2000);
    EXPECT_EQ(list.DescriptionWidth(), 4730);
}

TEST(ListModelLayout, AWiderListGivesTheNameTheRoomAndKeepsTheBoxesAtItsRightEdge) {
    ListModel list = ListWith(3);
    list.SelectRow(2);
    list.ScrollTo(885);
    // As the window grows: the boxes keep their distance from the right edge, the name ends where
    // the first box starts, the description and the highlight span the width; narrower than
    // designed, the boxes stay where they were designed.
    struct Case {
        int width;
        int boxShift;
    };
    for (const Case c : {Case{9255, 0}, Case{14255, 5000}, Case{9000, 0}}) {
        list.Layout(c.width, 9000);
        const int surface = c.width - 255;
        const TwipsRect disable = list.ElementRect(2, RowElement::Disable);
        const TwipsRect noAction = list.ElementRect(2, RowElement::NoAction);
        const TwipsRect name = list.ElementRect(2, RowElement::ValueName);
        EXPECT_EQ(disable, (TwipsRect{4200 + c.boxShift, 120 + 885 * 2, 1250, 195})) << c.width;
        EXPECT_EQ(noAction.left, 6840 + c.boxShift) << c.width;
        EXPECT_EQ(name.left + name.width, disable.left) << c.width;
        EXPECT_EQ(list.DescriptionWidth(), surface - 615 - 400) << c.width;
        EXPECT_EQ(list.HighlightRect(), (TwipsRect{0, 885 * 2, surface, 885})) << c.width;
        // Every row fits now: nothing to scroll, the selection kept.
        EXPECT_EQ(list.ScrollOffset(), 0) << c.width;
        EXPECT_EQ(list.SelectedItem(), 2) << c.width;
        // A click finds the boxes where they are drawn.
        const std::optional<RowHit> hit = HitTestRows(list, disable.left + 10, disable.top + 10);
        ASSERT_TRUE(hit.has_value()) << c.width;
        EXPECT_EQ(hit->element, RowElement::Disable) << c.width;
    }
}

TEST(ListModelLayout, RowsStandOneRowPitchApart) {
    ListModel list = ListWith(3);
    EXPECT_EQ(list.ElementRect(0, RowElement::Icon), (TwipsRect{120, 120, 615, 615}));
    EXPECT_EQ(list.ElementRect(2, RowElement::Icon), (TwipsRect{120, 1890, 615, 615}));
    EXPECT_EQ(list.ElementRect(1, RowElement::Description), (TwipsRect{840, 1285, 7985, 485}));
    EXPECT_EQ(list.ElementRect(1, RowElement::Disable), (TwipsRect{4200, 1005, 1250, 195}));
    EXPECT_EQ(list.ElementRect(2, RowElement::Remove), (TwipsRect{5520, 1890, 1250, 195}));
    EXPECT_EQ(list.ElementRect(0, RowElement::NoAction), (TwipsRect{6840, 120, 1455, 195}));
    // A long name stops where the "Disable" box starts.
    const TwipsRect name = list.ElementRect(1, RowElement::ValueName);
    EXPECT_EQ(name.left + name.width, list.ElementRect(1, RowElement::Disable).left);
    EXPECT_EQ(name.top, 1005);
}

TEST(ListModelLayout, EveryRowIsDrawnAlikeAtAnyScale) {
    using list_geometry::ContentPixelY;
    const ListModel list = ListWith(41);
    const long long pitch = list_geometry::kRowPitch;
    for (unsigned dpi : {96u, 120u, 144u, 168u, 192u, 240u}) {
        // A check mark is 13 pixels at 96 dpi and grows with the scale; a box's cell must hold it.
        const long long glyph = std::lround(13.0 * dpi / 96);
        for (int row = 0; row < list.ListCount(); ++row) {
            const long long rowTop = ContentPixelY(pitch * row, dpi);
            const long long rowBottom = ContentPixelY(pitch * (row + 1), dpi);
            // Bands meet without a gap; their heights differ by no more than the pitch's fraction.
            EXPECT_LE(std::llabs((rowBottom - rowTop) - std::llround(pitch * dpi / 1440.0)), 1) << dpi << " " << row;
            for (int e = 0; e < kRowElementCount; ++e) {
                const auto element = static_cast<RowElement>(e);
                const TwipsRect first = list.ElementRect(0, element);
                const TwipsRect here = list.ElementRect(row, element);
                const long long top = ContentPixelY(here.top, dpi) - rowTop;
                const long long height =
                    ContentPixelY(static_cast<long long>(here.top) + here.height, dpi) - ContentPixelY(here.top, dpi);
                EXPECT_EQ(top, ContentPixelY(first.top, dpi)) << dpi << " dpi, row " << row << ", element " << e;
                if (here.top + here.height == pitch * (row + 1)) {
                    // The description reaches the row's end: it ends where the band does.
                    EXPECT_EQ(ContentPixelY(static_cast<long long>(here.top) + here.height, dpi), rowBottom);
                    continue;
                }
                EXPECT_EQ(height, ContentPixelY(static_cast<long long>(first.top) + first.height, dpi) -
                                      ContentPixelY(first.top, dpi))
                    << dpi << " dpi, row " << row << ", element " << e;
                if (element >= RowElement::Disable) {
                    EXPECT_GE(height, glyph) << dpi << " dpi, row " << row << ", element " << e;
                }
            }
        }
    }
    // Rounding the whole distance instead gives 19 and 20 pixels in turn at 144 dpi.
    EXPECT_EQ(ContentPixelY(885 + 120 + 195, 144) - ContentPixelY(885 + 120, 144), 20);
    EXPECT_EQ(ContentPixelY(885 * 3 + 120 + 195, 144) - ContentPixelY(885 * 3 + 120, 144), 20);
    EXPECT_EQ(ContentPixelY(885, 144), 89);
    EXPECT_EQ(ContentPixelY(885 * 2, 144), 177);
}

TEST(ListModelScroll, FifthRowEnablesTheScrollBar) {
    ListModel list = ListWith(4);
    EXPECT_EQ(list.ContentHeight(), 3540);
    EXPECT_FALSE(list.Scroll().enabled);
    EXPECT_FALSE(list.ScrollTo(100));
    EXPECT_EQ(list.ScrollOffset(), 0);

    list.AddItem(L"fifth", L"");
    EXPECT_EQ(list.Scroll(), (ScrollRange{true, 570, 885, 300}));
}

TEST(ListModelScroll, ThirtySevenRowsAndBeyond) {
    ListModel list = ListWith(37);
    EXPECT_EQ(list.ContentHeight(), 32745);
    EXPECT_EQ(list.Scroll().maximum, 28890);

    // The 38th row: past what 16 bits hold, and the list simply goes on.
    list.AddItem(L"row38", L"");
    EXPECT_EQ(list.ListCount(), 38);
    EXPECT_EQ(list.ContentHeight(), 33630);
    EXPECT_EQ(list.Scroll().maximum, 33630 - 3855);
    list.ScrollTo(1LL << 40);
    EXPECT_EQ(list.ScrollOffset(), 29775);
    const RowSpan span = list.RowsInView();
    EXPECT_EQ(span.end, 38);
    EXPECT_EQ(list.GetValue(37), L"row38");
}

TEST(ListModelScroll, ThousandsOfRowsScrollIn32Bits) {
    for (int rows : {5000, 20000}) {
        ListModel list = ListWith(rows);
        ASSERT_EQ(list.ListCount(), rows);
        EXPECT_EQ(list.Scroll().maximum, 885 * rows - 3855) << rows;

        list.ScrollTo(885LL * (rows - 100));
        EXPECT_EQ(list.ScrollOffset(), 885 * (rows - 100));
        EXPECT_EQ(list.RowsInView().first, rows - 100);
        list.ScrollBy(-300);
        EXPECT_EQ(list.ScrollOffset(), 885 * (rows - 100) - 300);
        EXPECT_EQ(list.RowsInView().first, rows - 101);

        list.SelectRow(rows - 1);
        EXPECT_EQ(list.HighlightRect().top, 885 * (rows - 1));
        list.ChooseBox(rows - 1, RowBox::Remove);
        EXPECT_EQ(list.GetChoice(rows - 1), StartupAction::kRemove);
        EXPECT_EQ(list.GetValue(rows - 1), L"value" + std::to_wstring(rows - 1));
    }
}

TEST(ListModelScroll, RowsInViewFollowTheOffset) {
    ListModel list = ListWith(10);
    EXPECT_EQ(list.RowsInView().first, 0);
    EXPECT_EQ(list.RowsInView().end, 5); // 3855 twips show rows 0..4, the 5th in part
    list.ScrollTo(884);
    EXPECT_EQ(list.RowsInView().first, 0);
    EXPECT_EQ(list.RowsInView().end, 6);
    list.ScrollTo(885);
    EXPECT_EQ(list.RowsInView().first, 1);
    EXPECT_EQ(list.RowsInView().end, 6);
    // At the end the last row's bottom meets the scroll bar's bottom.
    list.ScrollTo(list.Scroll().maximum);
    EXPECT_EQ(list.ScrollOffset() + list.ScrollBarHeight(), list.ContentHeight());
    EXPECT_EQ(list.RowsInView().end, 10);
    // Scrolling never touches the selection.
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_EQ(list.HighlightRect().top, 0);
}

TEST(ListModelScroll, ResizingKeepsTheOffsetInRange) {
    ListModel list = ListWith(6);
    list.ScrollTo(list.Scroll().maximum);
    EXPECT_EQ(list.ScrollOffset(), 885 * 6 - 3855);
    list.Layout(kWidth, 8000);
    EXPECT_FALSE(list.Scroll().enabled);
    EXPECT_EQ(list.ScrollOffset(), 0);
    list.Layout(kWidth, 2000);
    EXPECT_EQ(list.Scroll().maximum, 885 * 6 - 2000);
}

class ListModelKeyboard : public ::testing::Test {
protected:
    ListModel list = ListWith(10);
};

TEST_F(ListModelKeyboard, ArrowsMoveSelectionAndBringItIntoView) {
    EXPECT_FALSE(list.HandleKey(ListKey::Up)); // already at the top
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(list.HandleKey(ListKey::Down));
    }
    EXPECT_EQ(list.SelectedItem(), 5);
    EXPECT_EQ(list.FocusRow(), 5);
    // Row 5 ends at 5310; the bar shows 3855 twips.
    EXPECT_EQ(list.ScrollOffset(), 5310 - 3855);
    list.HandleKey(ListKey::Up);
    list.HandleKey(ListKey::Up);
    list.HandleKey(ListKey::Up);
    list.HandleKey(ListKey::Up);
    EXPECT_EQ(list.SelectedItem(), 1);
    EXPECT_EQ(list.ScrollOffset(), 885);
    // Moving the selection by keyboard never touches a choice.
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(list.GetChoice(row), StartupAction::kDisable);
    }
}

TEST_F(ListModelKeyboard, LeftRightAndSpaceChooseInTheFocusRow) {
    list.HandleKey(ListKey::Down);
    list.HandleKey(ListKey::Down);
    EXPECT_EQ(list.FocusBox(), RowBox::Disable);
    EXPECT_FALSE(list.HandleKey(ListKey::Left));
    list.HandleKey(ListKey::Right);
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    list.HandleKey(ListKey::Space);
    EXPECT_EQ(Boxes(list, 2), L"010");
    list.HandleKey(ListKey::Right);
    list.HandleKey(ListKey::Right);
    EXPECT_FALSE(list.HandleKey(ListKey::Right));
    list.HandleKey(ListKey::Space);
    list.HandleKey(ListKey::Space); // choosing again keeps it chosen
    EXPECT_EQ(Boxes(list, 2), L"001");
    EXPECT_EQ(Boxes(list, 1), L"100");
}

TEST_F(ListModelKeyboard, ABoxTakingFocusMovesTheFocusCellNotTheSelection) {
    list.FocusBoxOf(7, RowBox::NoAction);
    EXPECT_EQ(list.SelectedItem(), 0);
    list.HandleKey(ListKey::Space);
    EXPECT_EQ(list.GetChoice(7), StartupAction::kNone);
    EXPECT_EQ(list.ScrollOffset(), 885 * 8 - 3855);
    list.HandleKey(ListKey::Up);
    EXPECT_EQ(list.SelectedItem(), 6);
    EXPECT_EQ(list.FocusBox(), RowBox::NoAction);
    // A click on a row label brings the focus cell to that row.
    list.SelectRow(2);
    EXPECT_EQ(list.FocusRow(), 2);
}

TEST_F(ListModelKeyboard, ScrollingLeavesTheFocusOnItsRowAndTheNextKeyBringsItBack) {
    list.FocusBoxOf(1, RowBox::Remove);
    list.ScrollTo(885 * 3 + 100); // row 1 out of sight
    EXPECT_EQ(list.FocusRow(), 1);
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_FALSE(list.RowsInView().Contains(1));

    // Space chooses in the row the focus was left on, brought back into view first.
    list.HandleKey(ListKey::Space);
    EXPECT_EQ(Boxes(list, 1), L"010");
    EXPECT_EQ(Boxes(list, 4), L"100");
    EXPECT_EQ(list.ScrollOffset(), 885);

    // Left and Right act on the focus row too, and bring it back when scrolled away.
    list.ScrollTo(list.Scroll().maximum);
    EXPECT_TRUE(list.HandleKey(ListKey::Right));
    EXPECT_EQ(list.FocusRow(), 1);
    EXPECT_EQ(list.FocusBox(), RowBox::NoAction);
    EXPECT_EQ(list.ScrollOffset(), 885);
    // At the last box nothing moves, but scrolling the row back in is still a change.
    list.ScrollTo(list.Scroll().maximum);
    EXPECT_TRUE(list.HandleKey(ListKey::Right));
    EXPECT_FALSE(list.HandleKey(ListKey::Right));

    // Down moves from the focus row, not from the rows on screen.
    list.ScrollTo(list.Scroll().maximum);
    list.HandleKey(ListKey::Down);
    EXPECT_EQ(list.SelectedItem(), 2);
    EXPECT_EQ(list.FocusRow(), 2);
    EXPECT_TRUE(list.RowsInView().Contains(2));
}

TEST(ListModelScroll, NeitherScrollingNorResizingMovesTheFocusOrTheSelection) {
    ListModel list = ListWith(40);
    list.SelectRow(2);
    list.FocusBoxOf(2, RowBox::NoAction);
    for (long long offset : {300LL, 900LL, 885LL * 20, 1LL << 40, 0LL}) {
        list.ScrollTo(offset);
        EXPECT_EQ(list.FocusRow(), 2) << offset;
        EXPECT_EQ(list.FocusBox(), RowBox::NoAction) << offset;
        EXPECT_EQ(list.SelectedItem(), 2) << offset;
    }
    list.ScrollTo(885 * 30);
    list.Layout(kWidth, 1000);
    list.AddItem(L"one more", L"");
    EXPECT_EQ(list.FocusRow(), 2);
    EXPECT_EQ(list.SelectedItem(), 2);
}

TEST_F(ListModelKeyboard, PageAndHomeEndJump) {
    EXPECT_EQ(list.RowsPerPage(), 4);
    list.HandleKey(ListKey::PageDown);
    EXPECT_EQ(list.SelectedItem(), 4);
    list.HandleKey(ListKey::End);
    EXPECT_EQ(list.SelectedItem(), 9);
    EXPECT_EQ(list.ScrollOffset(), list.Scroll().maximum);
    list.HandleKey(ListKey::PageUp);
    EXPECT_EQ(list.SelectedItem(), 5);
    list.HandleKey(ListKey::Home);
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_EQ(list.ScrollOffset(), 0);
}

TEST(ListModelKeyboardEmpty, KeysOnAnEmptyListDoNothing) {
    ListModel list = ListWith(0);
    for (ListKey key : {ListKey::Down, ListKey::Space, ListKey::End, ListKey::Right}) {
        EXPECT_FALSE(list.HandleKey(key));
    }
    EXPECT_EQ(list.ListCount(), 0);
}

} // namespace
} // namespace runsweep
