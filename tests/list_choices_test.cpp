// The list with boxes of the host's choosing: captions, count, default and precedence, and what
// the keyboard, hit testing and the accessible items make of a row with fewer than three boxes.
#include "listbox/list_items.h"
#include "listbox/list_model.h"

#include "list_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace runsweep {
namespace {

using list_test::kHeight;
using list_test::kWidth;

// Two boxes on the right, the second the default and the one that wins.
ListChoices TwoBoxes() {
    return ListChoices{
        {{L"Go", L"go", TwipsRect{5520, 120, 1250, 195}}, {L"Stay", L"stay", TwipsRect{6840, 120, 1455, 195}}},
        1,
        {1, 0}};
}

ListModel TwoBoxList(int rows) {
    ListModel list(TwoBoxes());
    list.Layout(kWidth, kHeight);
    for (int i = 0; i < rows; ++i) {
        list.AddItem(L"value" + std::to_wstring(i), L"description " + std::to_wstring(i));
    }
    return list;
}

TEST(ListChoices, TheMainListKeepsItsThreeBoxesInTheirPlaces) {
    const ListModel list = list_test::ListWith(1);
    ASSERT_EQ(list.BoxCount(), 3);
    EXPECT_EQ(list.BoxCaption(RowBox::Disable), L"Disable");
    EXPECT_EQ(list.BoxCaption(RowBox::Remove), L"Remove");
    EXPECT_EQ(list.BoxCaption(RowBox::NoAction), L"No action");
    EXPECT_EQ(list.ElementRect(0, RowElement::NoAction), (TwipsRect{6840, 120, 1455, 195}));
    EXPECT_EQ(list.ElementRect(0, RowElement::ValueName).width, 4200 - 840);
    EXPECT_EQ(ItemsPerRow(list), kItemsPerRow);
}

TEST(ListChoices, NewRowsStartWithTheDefaultAndThePrecedenceDecides) {
    ListModel list = TwoBoxList(2);
    EXPECT_EQ(list.GetChoice(0), L"stay");
    EXPECT_FALSE(list.IsChecked(0, RowBox::Disable));
    EXPECT_TRUE(list.IsChecked(0, RowBox::Remove));
    list.ChooseBox(1, RowBox::Disable);
    EXPECT_EQ(list.GetChoice(1), L"go");
    EXPECT_EQ(list.GetChoice(0), L"stay") << "another row's choice must not change";
    list.SetChecked(1, RowBox::Remove, true);
    EXPECT_EQ(list.GetChoice(1), L"stay") << "both checked: the first in the precedence wins";
    list.SetChecked(1, RowBox::Disable, false);
    list.SetChecked(1, RowBox::Remove, false);
    EXPECT_EQ(list.GetChoice(1), L"");
}

TEST(ListChoices, ABoxTheListDoesNotHaveIsNowhere) {
    ListModel list = TwoBoxList(1);
    EXPECT_THROW(list.ChooseBox(0, RowBox::NoAction), std::out_of_range);
    EXPECT_THROW(list.SetChecked(0, RowBox::NoAction, true), std::out_of_range);
    EXPECT_THROW(list.FocusBoxOf(0, RowBox::NoAction), std::out_of_range);
    EXPECT_FALSE(list.IsChecked(0, RowBox::NoAction));
    EXPECT_EQ(list.ElementRect(0, RowElement::NoAction), TwipsRect{});
    // The name reaches to the first box, which stands further right than the main list's.
    EXPECT_EQ(list.ElementRect(0, RowElement::ValueName).width, 5520 - 840);
    // Where the main list's third box would be is the second box here.
    EXPECT_EQ(HitTestRows(list, 6900, 200), (RowHit{0, RowElement::Remove}));
    EXPECT_EQ(HitTestRows(list, 5600, 200), (RowHit{0, RowElement::Disable}));
    EXPECT_EQ(HitTestRows(list, 4300, 200), (RowHit{0, RowElement::ValueName}));
}

TEST(ListChoices, TheKeyboardMovesOnlyBetweenTheBoxesThereAre) {
    ListModel list = TwoBoxList(2);
    EXPECT_EQ(list.FocusBox(), RowBox::Disable);
    EXPECT_TRUE(list.HandleKey(ListKey::Right));
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    EXPECT_FALSE(list.HandleKey(ListKey::Right));
    EXPECT_EQ(list.FocusBox(), RowBox::Remove);
    EXPECT_TRUE(list.HandleKey(ListKey::Left));
    EXPECT_TRUE(list.HandleKey(ListKey::Space));
    EXPECT_EQ(list.GetChoice(0), L"go");
}

TEST(ListChoices, AccessibleItemsNumberTheBoxesThereAreWithoutGaps) {
    const ListModel list = TwoBoxList(3);
    ASSERT_EQ(ItemsPerRow(list), 4);
    EXPECT_EQ(ItemCount(list), 12);
    EXPECT_EQ(ChildIdOf(list, 1, RowElement::ValueName), 5);
    EXPECT_EQ(ChildIdOf(list, 1, RowElement::Remove), 8);
    EXPECT_EQ(ChildIdOf(list, 1, RowElement::NoAction), 0);
    for (long id = 1; id <= ItemCount(list); ++id) {
        const auto item = DescribeItem(list, id, true);
        ASSERT_TRUE(item) << id;
        EXPECT_EQ(ChildIdOf(list, item->row, item->element), id);
    }
    EXPECT_FALSE(DescribeItem(list, 13, true));
    const auto stay = DescribeItem(list, ChildIdOf(list, 2, RowElement::Remove), false);
    EXPECT_EQ(stay->name, L"Stay");
    EXPECT_TRUE(stay->checked);

    const std::wstring snapshot = FormatSnapshot(list, false, [](const TwipsRect& r) {
        return PixelRect{r.left, r.top, r.width, r.height};
    });
    EXPECT_NE(snapshot.find(L"checkbox\t3\tunchecked\tselected\t-\t5520 120 1250 195\tGo\n"), std::wstring::npos)
        << snapshot;
    EXPECT_EQ(snapshot.find(L"No action"), std::wstring::npos);
}

TEST(ListChoices, BoxesChangeOnlyWhileTheListIsEmptyAndMustMakeSense) {
    ListModel list = list_test::ListWith(1);
    EXPECT_THROW(list.SetChoices(TwoBoxes()), std::logic_error);
    ListChoices none = TwoBoxes();
    none.boxes.clear();
    EXPECT_THROW(ListModel{none}, std::logic_error);
    ListChoices badDefault = TwoBoxes();
    badDefault.defaultBox = 2;
    EXPECT_THROW(ListModel{badDefault}, std::logic_error);
    ListChoices badOrder = TwoBoxes();
    badOrder.precedence = {1, 1};
    EXPECT_THROW(ListModel{badOrder}, std::logic_error);
}

TEST(ListChoices, ClearTakesEveryRowAwayAndTheListFillsAgainFromTheTop) {
    ListModel list = list_test::ListWith(12);
    list.SelectRow(9);
    list.ScrollRowIntoView(9);
    ASSERT_GT(list.ScrollOffset(), 0);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_FALSE(list.HighlightVisible());
    EXPECT_EQ(list.ScrollOffset(), 0);
    EXPECT_FALSE(list.Scroll().enabled);
    EXPECT_EQ(list.ControlWidth(), kWidth) << "the layout stays";

    list.SetChoices(TwoBoxes());
    list.AddItem(L"again", L"");
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_EQ(list.FocusRow(), 0);
    EXPECT_EQ(list.GetChoice(0), L"stay");
}

} // namespace
} // namespace runsweep
