#include "listbox/list_items.h"

#include <algorithm>
#include <array>

namespace runsweep {

namespace {

namespace g = list_geometry;

// Item k of a row, in the order the items are numbered.
constexpr std::array<RowElement, kItemsPerRow> kItemElements{
    RowElement::ValueName, RowElement::Description, RowElement::Disable, RowElement::Remove, RowElement::NoAction};

bool Contains(const TwipsRect& r, long long x, long long y) {
    return x >= r.left && x < static_cast<long long>(r.left) + r.width && y >= r.top &&
           y < static_cast<long long>(r.top) + r.height;
}

bool IsBoxElement(RowElement element) {
    return element == RowElement::Disable || element == RowElement::Remove || element == RowElement::NoAction;
}

RowBox BoxOfElement(RowElement element) {
    return static_cast<RowBox>(static_cast<int>(element) - static_cast<int>(RowElement::Disable));
}

// The visible part of the content, in content twips.
TwipsRect VisibleContent(const ListModel& model) {
    return TwipsRect{0, model.ScrollOffset(), model.SurfaceWidth(), model.ControlHeight()};
}

TwipsRect Intersect(const TwipsRect& a, const TwipsRect& b) {
    const long long left = std::max(a.left, b.left);
    const long long top = std::max(a.top, b.top);
    const long long right =
        std::min<long long>(static_cast<long long>(a.left) + a.width, static_cast<long long>(b.left) + b.width);
    const long long bottom =
        std::min<long long>(static_cast<long long>(a.top) + a.height, static_cast<long long>(b.top) + b.height);
    if (right <= left || bottom <= top) {
        return TwipsRect{static_cast<int>(left), static_cast<int>(top), 0, 0};
    }
    return TwipsRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                     static_cast<int>(bottom - top)};
}

} // namespace

std::optional<RowHit> HitTestRows(const ListModel& model, long long xTwips, long long yTwips) {
    if (yTwips < 0 || xTwips < 0 || xTwips >= model.SurfaceWidth()) {
        return std::nullopt;
    }
    const long long row = yTwips / g::kRowPitch;
    if (row >= model.ListCount()) {
        return std::nullopt;
    }
    const int r = static_cast<int>(row);
    // The boxes first: the value name's band reaches down beside them.
    for (RowElement element : {RowElement::Disable, RowElement::Remove, RowElement::NoAction, RowElement::ValueName,
                               RowElement::Description, RowElement::Icon}) {
        if (IsBoxElement(element) && static_cast<int>(BoxOfElement(element)) >= model.BoxCount()) {
            continue;
        }
        if (Contains(model.ElementRect(r, element), xTwips, yTwips)) {
            return RowHit{r, element};
        }
    }
    return std::nullopt;
}

int ItemsPerRow(const ListModel& model) {
    return 2 + model.BoxCount();
}

long ItemCount(const ListModel& model) {
    return static_cast<long>(model.ListCount()) * ItemsPerRow(model);
}

long ChildIdOf(const ListModel& model, int row, RowElement element) {
    const auto at = std::find(kItemElements.begin(), kItemElements.end(), element);
    const long index = static_cast<long>(at - kItemElements.begin());
    if (at == kItemElements.end() || index >= ItemsPerRow(model)) {
        return 0;
    }
    return static_cast<long>(row) * ItemsPerRow(model) + index + 1;
}

std::optional<RowHit> ItemOfChildId(const ListModel& model, long childId) {
    if (childId < 1 || childId > ItemCount(model)) {
        return std::nullopt;
    }
    const long index = childId - 1;
    const long perRow = ItemsPerRow(model);
    return RowHit{static_cast<int>(index / perRow), kItemElements[static_cast<size_t>(index % perRow)]};
}

std::optional<ListItem> DescribeItem(const ListModel& model, long childId, bool listHasFocus) {
    const std::optional<RowHit> hit = ItemOfChildId(model, childId);
    if (!hit) {
        return std::nullopt;
    }
    ListItem item;
    item.childId = childId;
    item.row = hit->row;
    item.element = hit->element;
    item.rect = model.ElementRect(hit->row, hit->element);
    item.selected = model.HighlightVisible() && hit->row == model.SelectedItem();
    if (IsBoxElement(hit->element)) {
        const RowBox box = BoxOfElement(hit->element);
        item.role = ItemRole::CheckBox;
        item.name = model.BoxCaption(box);
        item.checked = model.IsChecked(hit->row, box);
        item.focused = listHasFocus && model.FocusRow() == hit->row && model.FocusBox() == box;
    } else {
        item.name = hit->element == RowElement::ValueName ? model.GetValue(hit->row) : model.GetDescription(hit->row);
    }
    return item;
}

bool ItemInView(const ListModel& model, const ListItem& item) {
    const TwipsRect visible = Intersect(item.rect, VisibleContent(model));
    return visible.width > 0 && visible.height > 0;
}

std::wstring FormatSnapshot(const ListModel& model, bool listHasFocus,
                            const std::function<PixelRect(const TwipsRect& visiblePart)>& toScreen) {
    std::wstring out;
    const RowSpan span = model.RowsInView();
    const TwipsRect content = VisibleContent(model);
    for (int row = span.first; row < span.end; ++row) {
        for (int k = 0; k < ItemsPerRow(model); ++k) {
            const std::optional<ListItem> item =
                DescribeItem(model, ChildIdOf(model, row, kItemElements[static_cast<size_t>(k)]), listHasFocus);
            const TwipsRect visible = Intersect(item->rect, content);
            if (visible.width <= 0 || visible.height <= 0) {
                continue;
            }
            const PixelRect r = toScreen(visible);
            out += item->role == ItemRole::CheckBox ? L"checkbox\t" : L"text\t";
            out += std::to_wstring(item->childId) + L'\t';
            out += item->role == ItemRole::CheckBox ? (item->checked ? L"checked\t" : L"unchecked\t") : L"-\t";
            out += item->selected ? L"selected\t" : L"-\t";
            out += item->focused ? L"focused\t" : L"-\t";
            out += std::to_wstring(r.left) + L' ' + std::to_wstring(r.top) + L' ' + std::to_wstring(r.width) + L' ' +
                   std::to_wstring(r.height) + L'\t';
            // A line per item: a name cannot be allowed to start another one. Tabs stay: the name
            // is the last field, so everything after the sixth tab is the name.
            for (wchar_t c : item->name) {
                out += (c == L'\n' || c == L'\r') ? L' ' : c;
            }
            out += L'\n';
        }
    }
    return out;
}

} // namespace runsweep
