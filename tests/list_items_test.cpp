#include "listbox/list_items.h"

#include "listbox/text_wrap.h"

#include "list_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace runsweep {
namespace {

using list_test::kHeight;
using list_test::kWidth;
using list_test::ListWith;

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Twips straight through as "pixels", so the rectangles can be read off the template.
std::wstring Snapshot(const ListModel& list, bool focus) {
    return FormatSnapshot(list, focus, [](const TwipsRect& r) { return PixelRect{r.left, r.top, r.width, r.height}; });
}

TEST(ListHitTest, FindsEachElementOfTheRowUnderThePoint) {
    const ListModel list = ListWith(3);
    // Row 1 starts at 885: its boxes at 885 + 120, its description at 885 + 400.
    EXPECT_EQ(HitTestRows(list, 4300, 1100), (RowHit{1, RowElement::Disable}));
    EXPECT_EQ(HitTestRows(list, 5600, 1100), (RowHit{1, RowElement::Remove}));
    EXPECT_EQ(HitTestRows(list, 8000, 1100), (RowHit{1, RowElement::NoAction}));
    EXPECT_EQ(HitTestRows(list, 900, 1100), (RowHit{1, RowElement::ValueName}));
    EXPECT_EQ(HitTestRows(list, 900, 1400), (RowHit{1, RowElement::Description}));
    EXPECT_EQ(HitTestRows(list, 200, 1100), (RowHit{1, RowElement::Icon}));
    // The name's band reaches beside the boxes, but stops where "Disable" begins.
    EXPECT_EQ(HitTestRows(list, 4199, 1005), (RowHit{1, RowElement::ValueName}));
    EXPECT_EQ(HitTestRows(list, 4200, 1005), (RowHit{1, RowElement::Disable}));
}

TEST(ListHitTest, BareBackgroundAndPointsOutsideTheRowsHitNothing) {
    const ListModel list = ListWith(3);
    EXPECT_FALSE(HitTestRows(list, 60, 60));              // above row 0's icon
    EXPECT_FALSE(HitTestRows(list, 8700, 1100));          // right of the boxes
    EXPECT_FALSE(HitTestRows(list, 4300, 885 * 3 + 200)); // below the last row
    EXPECT_FALSE(HitTestRows(list, -1, 200));
    EXPECT_FALSE(HitTestRows(list, kWidth, 200)); // on the scroll bar, not the surface
    EXPECT_FALSE(HitTestRows(ListWith(0), 4300, 200));
}

TEST(ListHitTest, WorksFarDownALongList) {
    const ListModel list = ListWith(20000);
    const long long top = 885LL * 19999;
    EXPECT_EQ(HitTestRows(list, 7000, top + 200), (RowHit{19999, RowElement::NoAction}));
}

TEST(ListItems, ChildIdsNumberFiveItemsPerRowFromOne) {
    const ListModel list = ListWith(4);
    EXPECT_EQ(ItemCount(list), 20);
    EXPECT_EQ(ChildIdOf(list, 0, RowElement::ValueName), 1);
    EXPECT_EQ(ChildIdOf(list, 0, RowElement::NoAction), 5);
    EXPECT_EQ(ChildIdOf(list, 3, RowElement::Description), 17);
    EXPECT_EQ(ChildIdOf(list, 2, RowElement::Icon), 0); // the icon is no item
    for (long id = 1; id <= ItemCount(list); ++id) {
        const auto item = ItemOfChildId(list, id);
        ASSERT_TRUE(item) << id;
        EXPECT_EQ(ChildIdOf(list, item->row, item->element), id);
    }
    EXPECT_FALSE(ItemOfChildId(list, 0));
    EXPECT_FALSE(ItemOfChildId(list, 21));
    EXPECT_FALSE(ItemOfChildId(list, -5));
}

TEST(ListItems, DescribeTextsBoxesAndTheirStates) {
    ListModel list = ListWith(3);
    list.ChooseBox(1, RowBox::Remove);
    list.SelectRow(1);

    const auto name = DescribeItem(list, ChildIdOf(list, 1, RowElement::ValueName), true);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->role, ItemRole::Text);
    EXPECT_EQ(name->name, L"value1");
    EXPECT_TRUE(name->selected);
    EXPECT_FALSE(name->focused);

    const auto remove = DescribeItem(list, ChildIdOf(list, 1, RowElement::Remove), true);
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->role, ItemRole::CheckBox);
    EXPECT_EQ(remove->name, L"Remove");
    EXPECT_TRUE(remove->checked);
    EXPECT_EQ(remove->rect, list.ElementRect(1, RowElement::Remove));
    EXPECT_FALSE(DescribeItem(list, ChildIdOf(list, 1, RowElement::Disable), true)->checked);

    // The focus cell is focused only while the list has the keyboard focus.
    list.FocusBoxOf(2, RowBox::NoAction);
    EXPECT_TRUE(DescribeItem(list, ChildIdOf(list, 2, RowElement::NoAction), true)->focused);
    EXPECT_FALSE(DescribeItem(list, ChildIdOf(list, 2, RowElement::NoAction), false)->focused);
    EXPECT_FALSE(DescribeItem(list, 99, true));
}

TEST(ListItems, RowsBelowTheViewAreNotInView) {
    ListModel list = ListWith(10);
    EXPECT_TRUE(ItemInView(list, *DescribeItem(list, ChildIdOf(list, 0, RowElement::ValueName), false)));
    EXPECT_FALSE(ItemInView(list, *DescribeItem(list, ChildIdOf(list, 9, RowElement::ValueName), false)));
    list.ScrollTo(list.Scroll().maximum);
    EXPECT_TRUE(ItemInView(list, *DescribeItem(list, ChildIdOf(list, 9, RowElement::ValueName), false)));
    EXPECT_FALSE(ItemInView(list, *DescribeItem(list, ChildIdOf(list, 0, RowElement::ValueName), false)));
}

TEST(ListSnapshot, ListsTheRowsInViewWithClippedRectangles) {
    ListModel list = ListWith(10);
    list.ChooseBox(0, RowBox::NoAction);
    const std::vector<std::wstring> lines = Lines(Snapshot(list, true));
    // 3855 twips show rows 0 to 4; row 4 only down to its name and boxes.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], L"text\t1\t-\tselected\t-\t840 120 3360 345\tvalue0");
    EXPECT_EQ(lines[2], L"checkbox\t3\tunchecked\tselected\tfocused\t4200 120 1250 195\tDisable");
    EXPECT_EQ(lines[4], L"checkbox\t5\tchecked\tselected\t-\t6840 120 1455 195\tNo action");
    EXPECT_EQ(lines[5], L"text\t6\t-\t-\t-\t840 1005 3360 345\tvalue1");
    const std::wstring last = lines.back();
    EXPECT_EQ(last.substr(0, last.find(L'\t', 9)), L"checkbox\t25");
    // Row 4's description starts at 3940 + 400 = 4340 > 3855: out of sight, so not listed.
    for (const std::wstring& line : lines) {
        EXPECT_EQ(line.find(L"description 4"), std::wstring::npos);
    }
    EXPECT_EQ(lines.size(), 24u);
}

TEST(ListSnapshot, ClipsARowCutByTheTopEdgeAndKeepsTabsInNames) {
    ListModel list;
    list.Layout(kWidth, kHeight);
    list.AddItem(L"Tab\tName", L"d");
    for (int i = 0; i < 9; ++i) {
        list.AddItem(L"v", L"d");
    }
    list.ScrollTo(200);
    const std::vector<std::wstring> lines = Lines(Snapshot(list, false));
    ASSERT_FALSE(lines.empty());
    // The name's band 120..465 is cut at 200.
    EXPECT_EQ(lines[0], L"text\t1\t-\tselected\t-\t840 200 3360 265\tTab\tName");
    for (const std::wstring& line : lines) {
        EXPECT_EQ(line.find(L"focused"), std::wstring::npos); // no focus, no focus mark
    }
}

TEST(ListSnapshot, LineBreaksInANameCannotStartAnotherLine) {
    ListModel list;
    list.Layout(kWidth, kHeight);
    list.AddItem(L"first\r\nsecond", L"description");
    const std::vector<std::wstring> lines = Lines(Snapshot(list, false));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(lines[0].rfind(L'\t') + 1), L"first  second");
    EXPECT_TRUE(Snapshot(ListWith(0), true).empty());
}

} // namespace
} // namespace runsweep

namespace runsweep {
namespace {

// Ten pixels a character, the ellipsis as wide as one.
const TextFit kTenPixels{[](std::wstring_view text, int width) {
                             return std::min<std::size_t>(text.size(), static_cast<std::size_t>(width / 10));
                         },
                         10};

TEST(ListTextWrap, BreaksAtSpacesOnlyAndEndsWhatDoesNotFitWithAnEllipsis) {
    struct Case {
        const wchar_t* text;
        int width;
        int lines;
        std::vector<std::wstring> shown;
        bool cut;
    };
    const Case cases[] = {
        // A command's argument stays whole on the next line, never "-" here and "atboottime" there.
        {L"\"C:\\QT\\qttask.exe\" -atboottime", 200, 2, {L"\"C:\\QT\\qttask.exe\"", L"-atboottime"}, false},
        {L"one two three", 130, 2, {L"one two three"}, false},
        {L"one two three", 70, 2, {L"one two", L"three"}, false},
        // The break may fall right after what fits; several spaces give no empty line.
        {L"abcde    fghij", 50, 2, {L"abcde", L"fghij"}, false},
        // Left over after the last line: ended at a space in the line's second half ...
        {L"aaaa bbbb cccccc ddddd eeee", 100, 2, {L"aaaa bbbb", L"cccccc\u2026"}, true},
        // ... or where the ellipsis fits, when the space lies too early.
        {L"ab cdefghijklmnop qr", 100, 1, {L"ab cdefgh\u2026"}, true},
        // A word wider than a line: its beginning with an ellipsis, the next word goes on.
        {L"C:\\Very\\Long\\Path\\To\\Updater.exe /silent", 100, 3, {L"C:\\Very\\L\u2026", L"/silent"}, true},
        {L"C:\\Very\\Long\\Path\\To\\Updater.exe", 100, 1, {L"C:\\Very\\L\u2026"}, true},
        {L"", 100, 2, {}, false},
        {L"   ", 100, 2, {}, false},
        {L"text", 100, 0, {}, true},
    };
    for (const Case& c : cases) {
        const WrappedText wrapped = WrapAtSpaces(c.text, c.width, c.lines, kTenPixels);
        EXPECT_EQ(wrapped.lines, c.shown) << c.text << " at " << c.width;
        EXPECT_EQ(wrapped.cut, c.cut) << c.text << " at " << c.width;
        for (const std::wstring& line : wrapped.lines) {
            EXPECT_LE(static_cast<int>(line.size()) * 10, c.width) << line;
        }
    }
    // A name: whole when it fits, else its beginning and an ellipsis on its one line.
    const std::wstring edge = L"MicrosoftEdgeAutoLaunch_0123456789ABCDEF0123456789ABCDEF";
    EXPECT_EQ(EndWithEllipsis(edge, 240, kTenPixels).lines,
              std::vector<std::wstring>{L"MicrosoftEdgeAutoLaunch\u2026"});
    EXPECT_TRUE(EndWithEllipsis(edge, 240, kTenPixels).cut);
    EXPECT_FALSE(EndWithEllipsis(L"qttask", 60, kTenPixels).cut);
    EXPECT_EQ(EndWithEllipsis(L"qttask", 60, kTenPixels).lines, std::vector<std::wstring>{L"qttask"});
    EXPECT_EQ(EndWithEllipsis(L"qttask", 5, kTenPixels).lines, std::vector<std::wstring>{L"\u2026"});
}

} // namespace
} // namespace runsweep
