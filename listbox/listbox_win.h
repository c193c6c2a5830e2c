#pragma once
// The startup list as a Win32 control. The host registers the class once, creates the window with
// CreateWindowExW(0, kListboxClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP, ...) at the
// size it wants, and reaches the rows through ListboxFromWindow(hwnd), which is a StartupList. The
// window's text, which the host sets, is the list's accessible name: what a screen reader announces
// when the list gets the focus.
//
// One surface window paints every row in view: icon, name, description and the three themed check
// boxes. Scrolling moves its pixels and paints only the strip that comes into view, and the window
// count stays at three however many rows there are. The rows' labels and boxes are offered as
// accessible items (WM_GETOBJECT) to screen readers, and the keyboard works on them as on boxes:
// the list is one tab stop, arrows move between boxes and rows, Space chooses.
#include <windows.h>

#include <uxtheme.h>

#include "base/win_handles_win.h"
#include "listbox/list_items.h"
#include "listbox/list_model.h"
#include "listbox/text_wrap.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

struct IAccessible;

namespace runsweep {

inline constexpr wchar_t kListboxClassName[] = L"Runsweep.ctlListbox";

// Control ids of the list's two windows: the surface the rows are painted on and the scroll bar.
inline constexpr int kListboxSurfaceId = 100;
inline constexpr int kListboxScrollBarId = 101;

// Accessibility cannot cross processes everywhere the program runs, so test drivers and other
// automation ask the list for its items directly: they send WM_COPYDATA with dwData
// kListSnapshotRequest and their own window handle in wParam, and the list answers at once with
// WM_COPYDATA to that window, dwData kListSnapshotReply, holding FormatSnapshot's UTF-16 text with
// screen pixels.
inline constexpr ULONG_PTR kListSnapshotRequest = 0x52534C51; // "RSLQ"
inline constexpr ULONG_PTR kListSnapshotReply = 0x52534C52;   // "RSLR"

// Registers the list's window classes for this module. Safe to call more than once.
bool RegisterListboxClass(HINSTANCE instance);

class ListboxAccessible;

// A memory DC with one bitmap selected into it for as long as both live, so drawing into it or
// copying from it never selects anything.
class OffscreenCanvas {
public:
    OffscreenCanvas() = default;
    OffscreenCanvas(const OffscreenCanvas&) = delete;
    OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;
    ~OffscreenCanvas();
    // At least width x height, compatible with the DC given; made anew (content lost) only when
    // smaller. False when the system refuses.
    bool Ensure(HDC compatible, int width, int height);
    void Reset() noexcept;
    HDC dc() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ original_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

class ListboxControl : public StartupList {
public:
    explicit ListboxControl(HWND hwnd) noexcept;
    ListboxControl(const ListboxControl&) = delete;
    ListboxControl& operator=(const ListboxControl&) = delete;
    ~ListboxControl() override;

    // StartupList. One AddItem costs the same however many rows there already are.
    void AddItem(const std::wstring& sValue, const std::wstring& sDescription) override;
    int ListCount() const override { return model_.ListCount(); }
    std::wstring GetChoice(int iItem) const override { return model_.GetChoice(iItem); }
    std::wstring GetValue(int iItem) const override { return model_.GetValue(iItem); }

    int SelectedItem() const { return model_.SelectedItem(); }
    // Brings the scroll bar in line with the content height at once. Scrolling does too; AddItem
    // leaves it to the message loop, once for a whole run of rows.
    void CheckScroll();

    // Batches row operations: until the matching UnlockAllWindowUpdates nothing of the control is
    // redrawn; the release shows the result at once. Calls nest. ListboxUpdateLock does both ends
    // in one scope.
    void LockAllWindowUpdates();
    void UnlockAllWindowUpdates();

    // The boxes every row offers (the main list's three unless set); only while the list has no
    // rows, std::logic_error otherwise.
    void SetChoices(ListChoices choices);
    // Takes every row away, so that the host can fill the list again.
    void Clear();

    // The icon every row shows. The control does not take ownership; the icon must outlive the
    // control or be replaced first. Null brings back the default.
    void SetRowIcon(HICON icon);

    // What the user does with the mouse and keyboard, for hosts, tests and accessibility clients
    // that act without input devices.
    void ChooseBox(int iItem, RowBox box);
    void SelectRow(int iItem);
    void ScrollTo(int offsetTwips);
    int ScrollOffset() const { return model_.ScrollOffset(); }

    const ListModel& Model() const { return model_; }
    HWND Window() const { return hwnd_; }
    HWND Surface() const { return surface_; }
    HWND ScrollBar() const { return scrollBar_; }
    unsigned Dpi() const { return dpi_; }
    bool HasFocus() const;
    // Where an element of a row is drawn now, in the surface's client pixels; it may lie partly or
    // wholly outside the surface when the row is scrolled out of view.
    RECT ElementPixels(int iItem, RowElement element) const;
    // Whether the row's whole description fits its label at the list's width, font and scale; the
    // label ends what does not with an ellipsis, and a tool tip shows it whole.
    bool DescriptionFits(int iItem) const;
    // The lines an element's label shows now (the name or the description); `cut` when its text
    // does not fit whole.
    WrappedText ShownText(int iItem, RowElement element) const;
    // The tool tip's window, for tests.
    HWND ToolTip() const { return tooltip_; }
    // The element under a point in the surface's client pixels, as a click there would find it.
    std::optional<RowHit> HitAt(POINT surfacePoint) const;
    // The accessible items' text for drivers, in screen pixels.
    std::wstring Snapshot() const;
    // The object WM_GETOBJECT hands to screen readers, with a reference for the caller; null when
    // the system has no accessibility libraries.
    IAccessible* AccessibleObject();

    // Window procedures; public only so the registration code can reach them.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleSurfaceMessage(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

private:
    // What a change may have moved, taken before it so that only the rows it touched are painted.
    struct ViewState {
        int selected = 0;
        int focusRow = 0;
        RowBox focusBox = RowBox::Disable;
        int offsetPx = 0;
        bool highlight = false;
    };
    // A box held down by a mouse button; the choice is made when that button is let go over it.
    struct Press {
        int row = 0;
        RowBox box = RowBox::Disable;
        UINT upMessage = 0;
        bool over = true;
    };

    bool Create() noexcept;
    void CreateFonts();
    void UpdateDpi();
    int Px(double twips) const;
    int OffsetPx() const;
    // A rectangle of the unscrolled content in the surface's client pixels, as now scrolled.
    RECT ContentPixels(const TwipsRect& r) const;
    void ApplyLayout();
    ViewState State() const;
    // Brings the windows in line with the model after a change that began in `before`: scrolls the
    // pixels, repaints the rows whose look changed, moves the bar and tells accessibility clients.
    void Commit(const ViewState& before, bool paintNow);
    void InvalidateRow(int row);
    bool RowInView(int row) const;
    void UpdateScrollBar();
    void ScrollView(long long targetTwips);
    void OnVScroll(int code);
    void OnMouseWheel(int delta);
    bool OnKey(UINT vk);
    void OnButtonDown(POINT at, UINT upMessage, bool left);
    void OnMouseMove(POINT at);
    void OnButtonUp(POINT at, UINT message);
    void NotifyFocusItem() const;

    void Paint(HDC dc, const RECT& area) const;
    // A row's name and description as its labels show them, measured once for a width and font.
    struct RowText {
        int nameWidth = -1;
        int descriptionWidth = -1;
        WrappedText name;
        WrappedText description;
    };
    const RowText& TextOf(HDC dc, int row) const;
    void DropTexts() const;
    // The tool tip offers the whole text of the label under the pointer when the label cuts it.
    void CreateToolTip();
    void UpdateToolTip(const MSG& mouse);
    void HideToolTip();
    // The row's band across the surface, in the surface's client pixels.
    RECT RowBand(int row) const;
    // glyphs: a memory DC to copy cached bitmaps from.
    void PaintBoxes(HDC dc, int row, bool selected) const;
    // Draws one box with its caption; source is any DC compatible with the screen.
    void DrawBox(HDC dc, HDC source, const RECT& cell, RowBox box, bool selected, bool checked, bool pressed) const;
    // Places in the atlas of the looks drawn once: check marks, the icon on either background,
    // a row's three boxes by colours and check marks. Drawn there on first use.
    struct AtlasKey {
        int kind = 0;
        bool selected = false;
        unsigned detail = 0;
        int width = 0;
        int height = 0;
        friend bool operator==(const AtlasKey&, const AtlasKey&) = default;
    };
    std::optional<POINT> AtlasSlot(HDC dc, const AtlasKey& key, bool* fresh) const;
    void PrepareAtlas(HDC dc) const;
    std::optional<POINT> GlyphAt(HDC dc, bool selected, bool checked, bool pressed) const;
    std::optional<POINT> IconAt(HDC dc, bool selected) const;
    std::optional<POINT> StripAt(HDC dc, const std::array<RECT, kRowBoxCount>& cells, bool selected,
                                 unsigned checkedMask) const;
    void DropGlyphs() const;

    LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
    LRESULT OnCopyData(HWND requester, const COPYDATASTRUCT& data) const;

    HWND hwnd_;
    HWND surface_ = nullptr;
    HWND scrollBar_ = nullptr;
    ListModel model_;
    unsigned dpi_ = 96;
    UniqueFont boldFont_;
    UniqueFont regularFont_;
    HICON rowIcon_ = nullptr;
    int lockDepth_ = 0;
    bool redrawSuspended_ = false;
    bool dirty_ = false;
    ScrollRange lastScroll_;
    int lastPosition_ = 0;
    bool scrollBarKnown_ = false;
    int wheelRemainder_ = 0;
    std::optional<Press> press_;
    bool hasFocus_ = false;
    bool barUpdatePosted_ = false;
    // The accessible object handed out, if any; it outlives the control only as a husk.
    ListboxAccessible* accessible_ = nullptr;
    UniqueLibrary oleacc_;
    // Check marks drawn once per look and copied from then on: theme drawing is dear on some
    // platforms, and a scroll step must not pay for it. Painting is const, the cache is not state.
    mutable HTHEME boxTheme_ = nullptr;
    mutable bool boxThemeOpened_ = false;
    mutable SIZE glyphSize_{};
    static constexpr size_t kAtlasSlots = 48;
    mutable OffscreenCanvas atlas_;
    mutable std::vector<AtlasKey> atlasKeys_; // slot i lies at y = i * atlasSlotHeight_
    mutable int atlasSlotWidth_ = 0;
    mutable int atlasSlotHeight_ = 0;
    mutable OffscreenCanvas backBuffer_;
    mutable std::vector<RowText> rowTexts_; // by row; measured when first painted
    mutable int lineHeight_ = 0;            // of the regular font, 0 until measured
    HWND tooltip_ = nullptr;
    std::optional<RowHit> tipAt_; // the label the tool tip now covers
};

ListboxControl* ListboxFromWindow(HWND hwnd);

class ListboxUpdateLock {
public:
    explicit ListboxUpdateLock(ListboxControl& list) : list_(list) { list_.LockAllWindowUpdates(); }
    ListboxUpdateLock(const ListboxUpdateLock&) = delete;
    ListboxUpdateLock& operator=(const ListboxUpdateLock&) = delete;
    ~ListboxUpdateLock() { list_.UnlockAllWindowUpdates(); }

private:
    ListboxControl& list_;
};

} // namespace runsweep
