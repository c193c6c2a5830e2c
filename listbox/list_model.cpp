#include "listbox/list_model.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace runsweep {

namespace g = list_geometry;

long long g::ContentPixelY(long long yTwips, unsigned dpi) {
    const long long row = yTwips >= 0 ? yTwips / kRowPitch : -((-yTwips + kRowPitch - 1) / kRowPitch);
    const long long rowTop = row * kRowPitch;
    return TwipsToPixels(static_cast<double>(rowTop), dpi) + TwipsToPixels(static_cast<double>(yTwips - rowTop), dpi);
}

namespace {

void CheckChoices(const ListChoices& choices) {
    const int count = static_cast<int>(choices.boxes.size());
    if (count < 1 || count > kRowBoxCount || choices.defaultBox < 0 || choices.defaultBox >= count) {
        throw std::logic_error("a list needs 1 to 3 boxes and a default among them");
    }
    std::vector<int> order = choices.precedence;
    std::sort(order.begin(), order.end());
    for (int b = 0; b < count; ++b) {
        if (order.size() != static_cast<size_t>(count) || order[static_cast<size_t>(b)] != b) {
            throw std::logic_error("the precedence must name every box once");
        }
    }
}

} // namespace

ListChoices StartupChoices() {
    return ListChoices{
        {{list_text::kDisable, StartupAction::kDisable, g::kDisable},
         {list_text::kRemove, StartupAction::kRemove, g::kRemove},
         {list_text::kNoAction, StartupAction::kNone, g::kNoAction}},
        static_cast<int>(RowBox::Disable),
        {static_cast<int>(RowBox::NoAction), static_cast<int>(RowBox::Disable), static_cast<int>(RowBox::Remove)}};
}

ListModel::ListModel(ListChoices choices) : choices_(std::move(choices)) {
    CheckChoices(choices_);
    CheckScroll();
}

void ListModel::SetChoices(ListChoices choices) {
    if (!rows_.empty()) {
        throw std::logic_error("the boxes of a list with rows cannot change");
    }
    CheckChoices(choices);
    choices_ = std::move(choices);
    focusBox_ = RowBox::Disable;
}

const std::wstring& ListModel::BoxCaption(RowBox box) const {
    return choices_.boxes.at(static_cast<size_t>(box)).caption;
}

void ListModel::Clear() {
    rows_.clear();
    iListIndex_ = 0;
    focusRow_ = 0;
    focusBox_ = RowBox::Disable;
    offset_ = 0;
    CheckScroll();
}

const ListModel::Row& ListModel::At(int iItem) const {
    if (iItem < 0 || static_cast<size_t>(iItem) >= rows_.size()) {
        throw std::out_of_range("the list has no row " + std::to_string(iItem));
    }
    return rows_[static_cast<size_t>(iItem)];
}

ListModel::Row& ListModel::At(int iItem) {
    return const_cast<Row&>(static_cast<const ListModel&>(*this).At(iItem));
}

void ListModel::AddItem(const std::wstring& sValue, const std::wstring& sDescription) {
    if (static_cast<long long>(rows_.size()) >= kMaxRows) {
        throw std::length_error("the list cannot hold more rows");
    }
    Row row{sValue, sDescription, {}};
    row.checked[static_cast<size_t>(choices_.defaultBox)] = true;
    rows_.push_back(std::move(row));
    CheckScroll();
}

int ListModel::ListCount() const {
    return static_cast<int>(rows_.size());
}

std::wstring ListModel::GetChoice(int iItem) const {
    const Row& row = At(iItem);
    for (const int box : choices_.precedence) {
        if (row.checked[static_cast<size_t>(box)]) {
            return choices_.boxes[static_cast<size_t>(box)].choice;
        }
    }
    return std::wstring();
}

std::wstring ListModel::GetValue(int iItem) const {
    return At(iItem).value;
}

const std::wstring& ListModel::GetDescription(int iItem) const {
    return At(iItem).description;
}

bool ListModel::IsChecked(int iItem, RowBox box) const {
    const Row& row = At(iItem);
    return static_cast<int>(box) < BoxCount() && row.checked[static_cast<size_t>(box)];
}

void ListModel::SetChecked(int iItem, RowBox box, bool checked) {
    Row& row = At(iItem);
    if (static_cast<int>(box) >= BoxCount()) {
        throw std::out_of_range("the list has no box " + std::to_string(static_cast<int>(box)));
    }
    row.checked[static_cast<size_t>(box)] = checked;
}

void ListModel::MouseUpOnBox(int iItem, RowBox box, MouseButton /*button*/) {
    ChooseBox(iItem, box);
}

void ListModel::ChooseBox(int iItem, RowBox box) {
    Row& row = At(iItem);
    if (static_cast<int>(box) >= BoxCount()) {
        throw std::out_of_range("the list has no box " + std::to_string(static_cast<int>(box)));
    }
    for (int b = 0; b < kRowBoxCount; ++b) {
        row.checked[static_cast<size_t>(b)] = b == static_cast<int>(box);
    }
}

void ListModel::SelectRow(int iItem) {
    At(iItem);
    iListIndex_ = iItem;
    focusRow_ = iItem;
}

TwipsRect ListModel::HighlightRect() const {
    return TwipsRect{0, g::kRowPitch * iListIndex_, surfaceWidth_, g::kRowPitch};
}

void ListModel::FocusBoxOf(int iItem, RowBox box) {
    At(iItem);
    if (static_cast<int>(box) >= BoxCount()) {
        throw std::out_of_range("the list has no box " + std::to_string(static_cast<int>(box)));
    }
    focusRow_ = iItem;
    focusBox_ = box;
}

void ListModel::PressBox(int iItem, RowBox box) {
    FocusBoxOf(iItem, box);
    iListIndex_ = iItem;
}

bool ListModel::HandleKey(ListKey key) {
    if (rows_.empty()) {
        return false;
    }
    const int last = ListCount() - 1;
    const int offsetBefore = offset_;
    // Scrolling may have left the focus row out of sight; the key acts where the user can see it,
    // as in the system's own lists.
    ScrollRowIntoView(focusRow_);
    const bool revealed = offset_ != offsetBefore;
    auto moveTo = [&](long long row) {
        const int target = static_cast<int>(std::clamp<long long>(row, 0, last));
        const bool moved = target != iListIndex_ || target != focusRow_;
        SelectRow(target);
        ScrollRowIntoView(target);
        return moved || offsetBefore != offset_;
    };
    switch (key) {
    case ListKey::Up:
        return moveTo(static_cast<long long>(focusRow_) - 1);
    case ListKey::Down:
        return moveTo(static_cast<long long>(focusRow_) + 1);
    case ListKey::PageUp:
        return moveTo(static_cast<long long>(focusRow_) - RowsPerPage());
    case ListKey::PageDown:
        return moveTo(static_cast<long long>(focusRow_) + RowsPerPage());
    case ListKey::Home:
        return moveTo(0);
    case ListKey::End:
        return moveTo(last);
    case ListKey::Left:
    case ListKey::Right: {
        const int step = key == ListKey::Left ? -1 : 1;
        const int box = std::clamp(static_cast<int>(focusBox_) + step, 0, BoxCount() - 1);
        const bool moved = box != static_cast<int>(focusBox_);
        focusBox_ = static_cast<RowBox>(box);
        return moved || revealed;
    }
    case ListKey::Space:
        ChooseBox(focusRow_, focusBox_);
        return true;
    }
    return false;
}

void ListModel::Layout(int width, int height) {
    controlWidth_ = width;
    controlHeight_ = height;
    // The bar stands in the strip right of the surface and meets the control's right and bottom
    // edges: anything left between them shows as a white seam.
    surfaceWidth_ = width - g::kScrollBarWidth;
    scrollBarLeft_ = surfaceWidth_;
    scrollBarHeight_ = height;
    descriptionWidth_ = surfaceWidth_ - g::kIcon.width - g::kDescriptionMargin;
    // Unlike a fixed surface, the content height here follows the rows, so sizing the control
    // after rows exist keeps them all reachable; the range has to follow the new bar height.
    CheckScroll();
}

long long ListModel::ContentHeight() const {
    return static_cast<long long>(g::kRowPitch) * ListCount();
}

TwipsRect ListModel::ElementRect(int iItem, RowElement element) const {
    TwipsRect rect;
    const int boxShift = std::max(0, surfaceWidth_ - g::kBoxesSurfaceWidth);
    switch (element) {
    case RowElement::Icon:
        rect = g::kIcon;
        break;
    case RowElement::ValueName:
        rect = g::kValueName;
        rect.width = std::max(0, choices_.boxes.front().rect.left + boxShift - rect.left);
        break;
    case RowElement::Description:
        rect = g::kDescription;
        rect.width = descriptionWidth_;
        break;
    case RowElement::Disable:
    case RowElement::Remove:
    case RowElement::NoAction: {
        const auto box = static_cast<size_t>(static_cast<int>(element) - static_cast<int>(RowElement::Disable));
        if (box >= choices_.boxes.size()) {
            return TwipsRect{};
        }
        rect = choices_.boxes[box].rect;
        rect.left += boxShift;
        break;
    }
    }
    rect.top += g::kRowPitch * iItem;
    return rect;
}

void ListModel::CheckScroll() {
    const long long content = ContentHeight();
    if (content > scrollBarHeight_) {
        scroll_.enabled = true;
        scroll_.maximum = static_cast<int>(content - scrollBarHeight_);
        scroll_.largeChange = g::kLargeChange;
        scroll_.smallChange = g::kSmallChange;
    } else {
        scroll_.enabled = false;
    }
    ClampOffset();
}

void ListModel::ClampOffset() {
    const int maximum = scroll_.enabled ? scroll_.maximum : 0;
    offset_ = std::clamp(offset_, 0, maximum);
}

bool ListModel::ScrollTo(long long offset) {
    const int maximum = scroll_.enabled ? scroll_.maximum : 0;
    const int target = static_cast<int>(std::clamp<long long>(offset, 0, maximum));
    if (target == offset_) {
        return false;
    }
    offset_ = target;
    return true;
}

void ListModel::ScrollRowIntoView(int iItem) {
    const long long top = static_cast<long long>(g::kRowPitch) * iItem;
    const long long bottom = top + g::kRowPitch;
    if (top < offset_) {
        ScrollTo(top);
    } else if (bottom > static_cast<long long>(offset_) + scrollBarHeight_) {
        ScrollTo(bottom - scrollBarHeight_);
    }
}

RowSpan ListModel::RowsInView() const {
    if (rows_.empty() || controlHeight_ <= 0) {
        return RowSpan{};
    }
    const long long top = offset_;
    const long long bottom = top + controlHeight_; // exclusive
    const int first = static_cast<int>(top / g::kRowPitch);
    const long long end = (bottom + g::kRowPitch - 1) / g::kRowPitch;
    return RowSpan{std::min(first, ListCount()), static_cast<int>(std::min<long long>(end, ListCount()))};
}

int ListModel::RowsPerPage() const {
    return std::max(1, scrollBarHeight_ / g::kRowPitch);
}

} // namespace runsweep
