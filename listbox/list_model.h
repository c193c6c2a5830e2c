#pragma once
// Everything the startup list knows, kept apart from any window: the rows and their choices, the
// selection, the keyboard focus cell, the geometry in twips and the scroll range. The Win32 view
// draws from it and forwards input to it, so every rule of the list is testable without a display.
#include "base/twips.h"
#include "listbox/startup_list.h"

#include <array>
#include <string>
#include <vector>

namespace runsweep {

// A row's boxes by their place from left to right; the main list's three are named. Other lists
// offer fewer (ListChoices), numbered the same way.
enum class RowBox { Disable = 0, Remove = 1, NoAction = 2 };
// The most boxes a row can have.
inline constexpr int kRowBoxCount = 3;

// The parts of a row that are shown, in the order the view creates them. Box b of a row is element
// Disable + b.
enum class RowElement { Icon = 0, ValueName = 1, Description = 2, Disable = 3, Remove = 4, NoAction = 5 };
inline constexpr int kRowElementCount = 6;

enum class MouseButton { Left, Right, Middle };

// Keys the list reacts to while it has the focus.
enum class ListKey { Up, Down, Left, Right, Space, PageUp, PageDown, Home, End };

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

struct ScrollRange {
    bool enabled = false;
    int maximum = 0; // the minimum is always 0
    int largeChange = 0;
    int smallChange = 0;

    friend bool operator==(const ScrollRange&, const ScrollRange&) = default;
};

// Rows [first, end) intersect the visible part of the surface.
struct RowSpan {
    int first = 0;
    int end = 0;

    bool Contains(int row) const { return row >= first && row < end; }
    int Count() const { return end - first; }
};

namespace list_geometry {
inline constexpr int kRowPitch = 885;
inline constexpr int kLargeChange = kRowPitch;
inline constexpr int kSmallChange = 300;
inline constexpr int kScrollBarWidth = 255;
// Room kept between the icon box and the description's right end.
inline constexpr int kDescriptionMargin = 400;

// Where each element of row 0 sits on the surface; row i lies kRowPitch * i lower.
inline constexpr TwipsRect kIcon{120, 120, 615, 615};
inline constexpr TwipsRect kValueName{840, 120, 7755, 345};
inline constexpr TwipsRect kDescription{840, 400, 7815, 485};
inline constexpr TwipsRect kDisable{4200, 120, 1250, 195};
inline constexpr TwipsRect kRemove{5520, 120, 1250, 195};
inline constexpr TwipsRect kNoAction{6840, 120, 1455, 195};

// The surface width the boxes' places are designed for: the windows' lists at their smallest. In a
// wider list the boxes keep their distance from its right edge, and the name takes the room.
inline constexpr int kBoxesSurfaceWidth = 9000;

// The control's parts as designed, before its host first sizes it.
inline constexpr int kDesignSurfaceWidth = 8775;
inline constexpr int kDesignSurfaceHeight = 4215;
inline constexpr int kDesignScrollBarLeft = kDesignSurfaceWidth;
inline constexpr int kDesignScrollBarHeight = kDesignSurfaceHeight;

// A vertical place on the unscrolled content, in pixels at `dpi`. The row's top is rounded once and
// the distance below it on its own, so that every row comes out the same at any scale: rounding
// the whole distance from the top would give a box a pixel less in every other row wherever the
// row pitch falls between pixels (at 144 dpi it is 88.5).
long long ContentPixelY(long long yTwips, unsigned dpi);
} // namespace list_geometry

namespace list_text {
inline constexpr const wchar_t* kDisable = L"Disable";
inline constexpr const wchar_t* kRemove = L"Remove";
inline constexpr const wchar_t* kNoAction = L"No action";
} // namespace list_text

// One box of a row: its caption, where row 0's box lies, and what GetChoice reports when it is the
// box that counts.
struct ChoiceBox {
    std::wstring caption;
    std::wstring choice;
    TwipsRect rect;
};

// The boxes a list offers in each row, the one every new row starts with, and which one counts
// when several are checked (the first checked box in `precedence`).
struct ListChoices {
    std::vector<ChoiceBox> boxes; // 1 to kRowBoxCount, left to right
    int defaultBox = 0;
    std::vector<int> precedence;
};

// "Disable" (the default), "Remove" and "No action", reported as "disable", "remove" and "none",
// with "none" winning over "disable" and "disable" over "remove".
ListChoices StartupChoices();

class ListModel : public StartupList {
public:
    explicit ListModel(ListChoices choices = StartupChoices());

    // The boxes can change only while there are no rows; std::logic_error otherwise, and for a
    // set of boxes that breaks the rules above.
    void SetChoices(ListChoices choices);
    const ListChoices& Choices() const { return choices_; }
    int BoxCount() const { return static_cast<int>(choices_.boxes.size()); }
    const std::wstring& BoxCaption(RowBox box) const;
    // Takes every row away, with the selection, the focus and the scroll offset; the layout stays.
    void Clear();

    // StartupList. Indices outside 0 .. ListCount() - 1 throw std::out_of_range.
    void AddItem(const std::wstring& sValue, const std::wstring& sDescription) override;
    int ListCount() const override;
    std::wstring GetChoice(int iItem) const override;
    std::wstring GetValue(int iItem) const override;

    const std::wstring& GetDescription(int iItem) const;
    int SelectedItem() const { return iListIndex_; }

    // --- choice -------------------------------------------------------------------------------
    bool IsChecked(int iItem, RowBox box) const;
    // Sets one box alone, as a check box's own value would be set; the other two are untouched.
    void SetChecked(int iItem, RowBox box, bool checked);
    // A button released over a box: that box ends checked and the other two unchecked, whatever
    // their states were and whichever button it was. The selection does not move.
    void MouseUpOnBox(int iItem, RowBox box, MouseButton button);
    void ChooseBox(int iItem, RowBox box);

    // --- selection ----------------------------------------------------------------------------
    // A click on the row's icon, value name or description. Choices are untouched.
    void SelectRow(int iItem);
    bool HighlightVisible() const { return !rows_.empty(); }
    TwipsRect HighlightRect() const;

    // --- keyboard -----------------------------------------------------------------------------
    // The cell that keyboard input acts on. Selecting a row moves it to that row; FocusBoxOf moves
    // it to a box without selecting its row.
    int FocusRow() const { return focusRow_; }
    RowBox FocusBox() const { return focusBox_; }
    void FocusBoxOf(int iItem, RowBox box);
    // A mouse button pressed on a box: the focus goes to that box and the highlight to its row, so
    // the row the user acts on is the one shown selected. The choice waits for the release.
    void PressBox(int iItem, RowBox box);
    // Up/Down move the selection one row, Page Up/Down one screenful of whole rows, Home/End to
    // the first and last row; each brings the row into view. Left/Right move between the three
    // boxes of the focus row; Space chooses the focus box. A key first brings the focus row back
    // into view when scrolling took it away. Returns whether anything changed.
    bool HandleKey(ListKey key);

    // --- layout and scrolling -----------------------------------------------------------------
    // The host sized the control to width x height twips.
    void Layout(int width, int height);
    int ControlWidth() const { return controlWidth_; }
    int ControlHeight() const { return controlHeight_; }
    int SurfaceWidth() const { return surfaceWidth_; }
    int ScrollBarLeft() const { return scrollBarLeft_; }
    int ScrollBarHeight() const { return scrollBarHeight_; }
    int DescriptionWidth() const { return descriptionWidth_; }
    int HighlightWidth() const { return surfaceWidth_; }
    // 885 twips per row.
    long long ContentHeight() const;

    // Where an element of a row lies on the surface, unscrolled. The value name ends at the left
    // edge of the first box, so the boxes never sit on top of its text. A box element the list does
    // not have lies nowhere (an empty rectangle).
    TwipsRect ElementRect(int iItem, RowElement element) const;

    // Recomputes the scroll range from the content height and the scroll bar's height.
    void CheckScroll();
    const ScrollRange& Scroll() const { return scroll_; }
    int ScrollOffset() const { return offset_; }
    // Clamped to 0 .. maximum; returns whether the offset changed. Neither the selection nor the
    // focus cell moves: the focus stays on its row out of sight, and the next key brings it back.
    bool ScrollTo(long long offset);
    bool ScrollBy(long long delta) { return ScrollTo(static_cast<long long>(offset_) + delta); }
    void ScrollRowIntoView(int iItem);
    RowSpan RowsInView() const;
    // Whole rows that fit above the scroll bar's bottom: what Page Up/Down move by.
    int RowsPerPage() const;

    // Rows beyond this would take the surface past what 32-bit scroll positions can address.
    static constexpr int kMaxRows = 0x7FFFFFFF / list_geometry::kRowPitch - 1;

private:
    struct Row {
        std::wstring value;
        std::wstring description;
        std::array<bool, kRowBoxCount> checked{};
    };

    const Row& At(int iItem) const;
    Row& At(int iItem);
    void ClampOffset();

    ListChoices choices_;
    std::vector<Row> rows_;
    int iListIndex_ = 0;
    int focusRow_ = 0;
    RowBox focusBox_ = RowBox::Disable;

    int controlWidth_ = list_geometry::kDesignSurfaceWidth + list_geometry::kScrollBarWidth;
    int controlHeight_ = list_geometry::kDesignSurfaceHeight;
    int surfaceWidth_ = list_geometry::kDesignSurfaceWidth;
    int scrollBarLeft_ = list_geometry::kDesignScrollBarLeft;
    int scrollBarHeight_ = list_geometry::kDesignScrollBarHeight;
    int descriptionWidth_ = list_geometry::kDescription.width;

    ScrollRange scroll_;
    int offset_ = 0;
};

} // namespace runsweep
