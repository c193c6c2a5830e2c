#pragma once
// The startup list as a Win32 control. The host registers the class once, creates the window with
// CreateWindowExW(0, kListboxClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP, ...) at the
// size it wants, and reaches the rows through ListboxFromWindow(hwnd), which is a StartupList.
//
// The control keeps real child windows (icon, two labels, three check boxes) only for the rows
// that are in view and hands them to other rows as the list scrolls, so its window handles do not
// grow with the number of rows. Texts and check states of those children are always those of the
// rows they show, so screen readers and test drivers can read them.
#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include "app/win_handles_win.h"
#include "listbox/list_model.h"

#include <array>
#include <string>
#include <vector>

namespace runsweep {

inline constexpr wchar_t kListboxClassName[] = L"Runsweep.ctlListbox";

// Control ids. The list window holds its surface and its scroll bar; the surface holds one panel
// per row in view, and each panel that row's six windows. Slot k (the k-th set of row windows, not
// row k) has the ids kListboxSlotIdBase + k * kListboxSlotIdStride + element for its windows
// (element as in RowElement) and + kRowElementCount for its panel. Drivers may rely on these.
inline constexpr int kListboxSurfaceId = 100;
inline constexpr int kListboxScrollBarId = 101;
inline constexpr int kListboxSlotIdBase = 1000;
inline constexpr int kListboxSlotIdStride = 8;

// Registers the list's window classes for this module. Safe to call more than once.
bool RegisterListboxClass(HINSTANCE instance);

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
    // Brings the scroll bar in line with the content height; AddItem and scrolling call it.
    void CheckScroll();

    // Batches row operations: until the matching UnlockAllWindowUpdates nothing of the control is
    // redrawn and the child windows are not brought up to date; the release shows the result at
    // once. Calls nest. ListboxUpdateLock does both ends in one scope.
    void LockAllWindowUpdates();
    void UnlockAllWindowUpdates();

    // The icon every row shows. The control does not take ownership; the icon must outlive the
    // control or be replaced first. Null brings back the default.
    void SetRowIcon(HICON icon);

    // What the user does with the mouse and keyboard, for hosts and tests that drive the list
    // without input devices.
    void ChooseBox(int iItem, RowBox box);
    void SelectRow(int iItem);
    void ScrollTo(int offsetTwips);
    int ScrollOffset() const { return model_.ScrollOffset(); }

    const ListModel& Model() const { return model_; }
    HWND Window() const { return hwnd_; }
    HWND ScrollBar() const { return scrollBar_; }
    unsigned Dpi() const { return dpi_; }
    // The windows of the row in view, or null when the row is scrolled out of view.
    HWND RowWindow(int iItem, RowElement element) const;
    HWND RowPanel(int iItem) const;
    // How many row slots (sets of six child windows) exist; bounded by what fits in view.
    int SlotCount() const { return static_cast<int>(slots_.size()); }

    // Window procedures; public only so the registration code can reach them.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleSurfaceMessage(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleRowMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleBoxMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

private:
    // The windows of one row in view: a panel as wide as the surface and one row pitch high, which
    // shows the highlight colour behind a selected row, and the row's six windows on it. Slots
    // pass from row to row as the list scrolls; scrolling moves the panels only.
    struct Slot {
        int row = -1; // -1: free
        HWND panel = nullptr;
        std::array<HWND, kRowElementCount> windows{};
        int topPx = 0;         // where the panel stands now on the surface
        int heightPx = 0;      // the panel's height now
        int layoutSerial = -1; // the layout its windows were last placed for
        std::array<int, kRowElementCount> childTopPx{};
        bool shown = false;   // the panel is visible
        bool painted = false; // shown in the selected colours
        std::array<bool, kRowBoxCount> checks{};
    };

    bool Create() noexcept;
    void CreateFonts();
    void UpdateDpi();
    int Px(double twips) const;
    int OffsetPx() const;
    int RowTopPx(int row) const;
    void ApplyLayout();
    void Sync();
    Slot& NewSlot();
    void FillSlot(Slot& slot, int row);
    void PlaceSlot(Slot& slot, HDWP& defer);
    void PlaceChildren(Slot& slot);
    void UpdateScrollBar();
    void ScrollView(long long targetTwips);
    void AfterOffsetChange(int oldOffsetPx);
    void OnVScroll(int code);
    void OnMouseWheel(int delta);
    bool OnKey(UINT vk);
    void FocusCurrentCell();
    LRESULT OnCtlColor(HDC dc, HWND child) const;
    LRESULT OnCustomDrawBox(NMCUSTOMDRAW& draw) const;
    void OnDrawIcon(const DRAWITEMSTRUCT& draw) const;
    HTHEME BoxTheme() const;
    void CloseBoxTheme() const;
    Slot* SlotOfWindow(HWND window, RowElement* element);
    const Slot* SlotOfWindow(HWND window, RowElement* element) const;
    Slot* SlotOfPanel(HWND panel);
    Slot* SlotOfRow(int row);
    const Slot* SlotOfRow(int row) const;
    bool ContainsFocus() const;

    HWND hwnd_;
    HWND surface_ = nullptr;
    HWND scrollBar_ = nullptr;
    ListModel model_;
    std::vector<Slot> slots_;
    unsigned dpi_ = 96;
    UniqueFont boldFont_;
    UniqueFont regularFont_;
    HICON rowIcon_ = nullptr;
    int layoutSerial_ = 0;
    int lockDepth_ = 0;
    bool redrawSuspended_ = false;
    bool dirty_ = false;
    bool syncing_ = false;
    ScrollRange lastScroll_;
    int lastPosition_ = 0;
    bool scrollBarKnown_ = false;
    int wheelRemainder_ = 0;
    int lastFocusRow_ = -1;
    RowBox lastFocusBox_ = RowBox::Disable;
    // Opened on first use by a themed box; painting is const, the cache is not part of the state.
    mutable HTHEME boxTheme_ = nullptr;
    mutable bool boxThemeOpened_ = false;
    mutable SIZE glyphSize_{};
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
