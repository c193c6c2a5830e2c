#pragma once
// The list's rows as separate items for everything that is not a pointer on the screen: hit
// testing of clicks, and the items that screen readers and test drivers see. The rows are painted
// by one window, so these items are what stands in for a row's label and check-box controls.
#include "listbox/list_model.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {

// --- hit testing ------------------------------------------------------------------------------

struct RowHit {
    int row = 0;
    RowElement element = RowElement::Icon;

    friend bool operator==(const RowHit&, const RowHit&) = default;
};

// The element under a point given in twips on the unscrolled content (the scroll offset already
// added to y). Nothing for the bare background of a row or for a point below the last row.
std::optional<RowHit> HitTestRows(const ListModel& model, long long xTwips, long long yTwips);

// --- accessible items -------------------------------------------------------------------------

// Each row offers its value name, its description and its boxes, in that order; the icon says
// nothing a screen reader could use. Child ids count from 1 as accessibility requires, without gaps.
// The most items a row offers (the main list's three boxes); ItemsPerRow gives a list's own.
inline constexpr int kItemsPerRow = 2 + kRowBoxCount;
int ItemsPerRow(const ListModel& model);

enum class ItemRole { Text, CheckBox };

struct ListItem {
    long childId = 0;
    int row = 0;
    RowElement element = RowElement::ValueName;
    ItemRole role = ItemRole::Text;
    std::wstring name;
    bool checked = false;  // check boxes only
    bool selected = false; // the item belongs to the selected row
    bool focused = false;  // the keyboard acts on this box (when the list has the focus)
    TwipsRect rect;        // on the unscrolled content
};

long ItemCount(const ListModel& model);
// 0 for the icon and for a box the list does not have.
long ChildIdOf(const ListModel& model, int row, RowElement element);
// The row and element of a child id; nothing for the icon, out-of-range ids or CHILDID_SELF (0).
std::optional<RowHit> ItemOfChildId(const ListModel& model, long childId);
std::optional<ListItem> DescribeItem(const ListModel& model, long childId, bool listHasFocus);
// Whether any part of the item's rectangle lies inside the list's visible height.
bool ItemInView(const ListModel& model, const ListItem& item);

// --- the snapshot for test drivers ------------------------------------------------------------

// One line per item of the rows in view, in row order:
//   role \t child id \t checked|unchecked|- \t selected|- \t focused|- \t left top width height \t name
// role is "checkbox" or "text"; the rectangle is what toScreen makes of the item's rectangle
// clipped to the visible part of the list, in the caller's units. The name is the rest of the
// line, tabs and all; line breaks in it become spaces.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
std::wstring FormatSnapshot(const ListModel& model, bool listHasFocus,
                            const std::function<PixelRect(const TwipsRect& visiblePart)>& toScreen);

} // namespace runsweep
