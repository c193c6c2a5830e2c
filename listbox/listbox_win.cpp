#include "listbox/listbox_win.h"

#include "app/twips.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <new>

#if __has_include("resources/resource.h")
#include "resources/resource.h"
#endif

namespace runsweep {

namespace {

constexpr wchar_t kSurfaceClassName[] = L"Runsweep.ctlListbox.Surface";
constexpr wchar_t kRowClassName[] = L"Runsweep.ctlListbox.Row";
constexpr UINT_PTR kBoxSubclassId = 1;
constexpr double kFontPoints = 8.25;
constexpr wchar_t kFontFace[] = L"MS Sans Serif";
constexpr int kIconSize = 32; // pixels at 96 dpi
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
#ifndef WM_DPICHANGED_AFTERPARENT
constexpr UINT WM_DPICHANGED_AFTERPARENT = 0x02E3;
#endif

bool IsBox(RowElement element) {
    return element == RowElement::Disable || element == RowElement::Remove || element == RowElement::NoAction;
}

RowBox BoxOf(RowElement element) {
    return static_cast<RowBox>(static_cast<int>(element) - static_cast<int>(RowElement::Disable));
}

RowElement ElementOf(RowBox box) {
    return static_cast<RowElement>(static_cast<int>(RowElement::Disable) + static_cast<int>(box));
}

unsigned WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = [] {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                            reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")))
                      : nullptr;
    }();
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    WindowDC dc(hwnd);
    const int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96u;
}

LRESULT CALLBACK ListboxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = reinterpret_cast<ListboxControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        control = new (std::nothrow) ListboxControl(hwnd);
        if (!control) {
            return FALSE;
        }
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    }
    if (!control) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const LRESULT result = control->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete control;
    }
    return result;
}

// The surface and the row panels belong to the control named in their creation parameter.
ListboxControl* OwnerOf(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<ListboxControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
    return control;
}

LRESULT CALLBACK SurfaceWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ListboxControl* control = OwnerOf(hwnd, message, lParam);
    return control ? control->HandleSurfaceMessage(hwnd, message, wParam, lParam)
                   : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK RowWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ListboxControl* control = OwnerOf(hwnd, message, lParam);
    return control ? control->HandleRowMessage(hwnd, message, wParam, lParam)
                   : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK BoxSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                 DWORD_PTR refData) {
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, BoxSubclassProc, kBoxSubclassId);
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return reinterpret_cast<ListboxControl*>(refData)->HandleBoxMessage(hwnd, message, wParam, lParam);
}

} // namespace

bool RegisterListboxClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(instance, kListboxClassName, &existing)) {
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ListboxWndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kListboxClassName;
    if (!::RegisterClassExW(&wc)) {
        return false;
    }
    struct Part {
        const wchar_t* name;
        WNDPROC proc;
    };
    for (const Part& p : {Part{kSurfaceClassName, SurfaceWndProc}, Part{kRowClassName, RowWndProc}}) {
        WNDCLASSEXW part{};
        part.cbSize = sizeof(part);
        part.lpfnWndProc = p.proc;
        part.hInstance = instance;
        part.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        part.lpszClassName = p.name;
        if (!::RegisterClassExW(&part) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            ::UnregisterClassW(kListboxClassName, instance);
            return false;
        }
    }
    return true;
}

ListboxControl* ListboxFromWindow(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    wchar_t name[64] = {};
    if (!::GetClassNameW(hwnd, name, static_cast<int>(std::size(name))) ||
        std::wstring_view(name) != kListboxClassName) {
        return nullptr;
    }
    return reinterpret_cast<ListboxControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

ListboxControl::ListboxControl(HWND hwnd) noexcept : hwnd_(hwnd) {}

ListboxControl::~ListboxControl() = default;

namespace {

COLORREF TextColour(bool selected) {
    return selected ? kWhite : kBlack;
}

HBRUSH BackBrush(bool selected) {
    return selected ? ::GetSysColorBrush(COLOR_HIGHLIGHT) : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

HMENU ChildId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

} // namespace

// --- the host's interface ---------------------------------------------------------------------

void ListboxControl::AddItem(const std::wstring& sValue, const std::wstring& sDescription) {
    model_.AddItem(sValue, sDescription);
    Sync();
}

void ListboxControl::CheckScroll() {
    model_.CheckScroll();
    Sync();
}

void ListboxControl::LockAllWindowUpdates() {
    if (lockDepth_++ == 0 && ::IsWindowVisible(hwnd_)) {
        ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
        redrawSuspended_ = true;
    }
}

void ListboxControl::UnlockAllWindowUpdates() {
    if (lockDepth_ == 0 || --lockDepth_ > 0) {
        return;
    }
    if (redrawSuspended_) {
        redrawSuspended_ = false;
        ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    }
    if (dirty_) {
        Sync();
    }
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void ListboxControl::SetRowIcon(HICON icon) {
    rowIcon_ = icon;
#ifdef IDI_ROWDEFAULT
    if (!rowIcon_) {
        rowIcon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ROWDEFAULT),
                                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    }
#endif
    if (!rowIcon_) {
        rowIcon_ = ::LoadIconW(nullptr, IDI_APPLICATION);
    }
    for (const Slot& slot : slots_) {
        ::InvalidateRect(slot.windows[static_cast<size_t>(RowElement::Icon)], nullptr, TRUE);
    }
}

void ListboxControl::ChooseBox(int iItem, RowBox box) {
    model_.ChooseBox(iItem, box);
    Sync();
}

void ListboxControl::SelectRow(int iItem) {
    model_.SelectRow(iItem);
    Sync();
}

void ListboxControl::ScrollTo(int offsetTwips) {
    ScrollView(offsetTwips);
}

HWND ListboxControl::RowWindow(int iItem, RowElement element) const {
    const Slot* slot = SlotOfRow(iItem);
    return slot ? slot->windows[static_cast<size_t>(element)] : nullptr;
}

HWND ListboxControl::RowPanel(int iItem) const {
    const Slot* slot = SlotOfRow(iItem);
    return slot ? slot->panel : nullptr;
}

// --- creation and layout ----------------------------------------------------------------------

bool ListboxControl::Create() noexcept {
    try {
        // The surface and the bar paint themselves; the control must not paint under them.
        ::SetWindowLongPtrW(hwnd_, GWL_STYLE, ::GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_CLIPCHILDREN);
        UpdateDpi();
        CreateFonts();
        SetRowIcon(nullptr);
        auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
        surface_ =
            ::CreateWindowExW(0, kSurfaceClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                              0, 0, 0, 0, hwnd_, ChildId(kListboxSurfaceId), instance, this);
        scrollBar_ = ::CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_VERT, 0,
                                       0, 0, 0, hwnd_, ChildId(kListboxScrollBarId), instance, nullptr);
        if (!surface_ || !scrollBar_) {
            return false;
        }
        // The bar overlaps the surface's right edge and must stay on top of it.
        ::SetWindowPos(scrollBar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ApplyLayout();
        return true;
    } catch (...) {
        return false;
    }
}

void ListboxControl::UpdateDpi() {
    dpi_ = WindowDpi(hwnd_);
}

void ListboxControl::CreateFonts() {
    const int height = -static_cast<int>(std::lround(kFontPoints * dpi_ / 72.0));
    auto make = [&](int weight) {
        return UniqueFont(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                        DEFAULT_PITCH | FF_SWISS, kFontFace));
    };
    UniqueFont bold = make(FW_BOLD);
    UniqueFont regular = make(FW_NORMAL);
    for (const Slot& slot : slots_) {
        for (int e = 0; e < kRowElementCount; ++e) {
            const bool isDescription = static_cast<RowElement>(e) == RowElement::Description;
            ::SendMessageW(slot.windows[static_cast<size_t>(e)], WM_SETFONT,
                           reinterpret_cast<WPARAM>(isDescription ? regular.get() : bold.get()), TRUE);
        }
    }
    // The old fonts go only once no child uses them any longer.
    boldFont_ = std::move(bold);
    regularFont_ = std::move(regular);
}

int ListboxControl::Px(double twips) const {
    return TwipsToPixels(twips, dpi_);
}

int ListboxControl::OffsetPx() const {
    return Px(model_.ScrollOffset());
}

int ListboxControl::RowTopPx(int row) const {
    return Px(static_cast<double>(list_geometry::kRowPitch) * row) - OffsetPx();
}

void ListboxControl::ApplyLayout() {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int width = static_cast<int>(std::lround(PixelsToTwips(client.right, dpi_)));
    const int height = static_cast<int>(std::lround(PixelsToTwips(client.bottom, dpi_)));
    model_.Layout(width, height);
    ::MoveWindow(surface_, 0, 0, Px(model_.SurfaceWidth()), Px(height), TRUE);
    const int barLeft = Px(model_.ScrollBarLeft());
    ::MoveWindow(scrollBar_, barLeft, 0, Px(model_.ScrollBarLeft() + list_geometry::kScrollBarWidth) - barLeft,
                 Px(model_.ScrollBarHeight()), TRUE);
    // Every row window takes its place anew, and the bar its range.
    ++layoutSerial_;
    for (Slot& slot : slots_) {
        slot.topPx = INT_MIN;
    }
    scrollBarKnown_ = false;
    Sync();
    ::InvalidateRect(surface_, nullptr, TRUE);
}

// --- keeping the row windows in step with the model -------------------------------------------

ListboxControl::Slot* ListboxControl::SlotOfRow(int row) {
    for (Slot& slot : slots_) {
        if (slot.row == row) {
            return &slot;
        }
    }
    return nullptr;
}

const ListboxControl::Slot* ListboxControl::SlotOfRow(int row) const {
    return const_cast<ListboxControl*>(this)->SlotOfRow(row);
}

ListboxControl::Slot* ListboxControl::SlotOfWindow(HWND window, RowElement* element) {
    const int id = ::GetDlgCtrlID(window) - kListboxSlotIdBase;
    if (id < 0) {
        return nullptr;
    }
    const auto index = static_cast<size_t>(id / kListboxSlotIdStride);
    const int e = id % kListboxSlotIdStride;
    if (index >= slots_.size() || e >= kRowElementCount || slots_[index].windows[static_cast<size_t>(e)] != window) {
        return nullptr;
    }
    if (element) {
        *element = static_cast<RowElement>(e);
    }
    return &slots_[index];
}

const ListboxControl::Slot* ListboxControl::SlotOfWindow(HWND window, RowElement* element) const {
    return const_cast<ListboxControl*>(this)->SlotOfWindow(window, element);
}

ListboxControl::Slot* ListboxControl::SlotOfPanel(HWND panel) {
    for (Slot& slot : slots_) {
        if (slot.panel == panel) {
            return &slot;
        }
    }
    return nullptr;
}

bool ListboxControl::ContainsFocus() const {
    const HWND focus = ::GetFocus();
    return focus && (focus == hwnd_ || ::IsChild(hwnd_, focus));
}

ListboxControl::Slot& ListboxControl::NewSlot() {
    const int idBase = kListboxSlotIdBase + static_cast<int>(slots_.size()) * kListboxSlotIdStride;
    auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    Slot slot;
    slot.panel = ::CreateWindowExW(0, kRowClassName, nullptr, WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, surface_,
                                   ChildId(idBase + kRowElementCount), instance, this);
    if (!slot.panel) {
        throw std::bad_alloc();
    }
    for (int e = 0; e < kRowElementCount; ++e) {
        const auto element = static_cast<RowElement>(e);
        const wchar_t* windowClass = IsBox(element) ? L"BUTTON" : L"STATIC";
        const wchar_t* text = IsBox(element) ? BoxCaption(BoxOf(element)) : L"";
        DWORD style = WS_CHILD | WS_VISIBLE;
        switch (element) {
        case RowElement::Icon:
            style |= SS_OWNERDRAW | SS_NOTIFY;
            break;
        case RowElement::ValueName:
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY;
            break;
        case RowElement::Description:
            style |= SS_LEFT | SS_EDITCONTROL | SS_NOPREFIX | SS_NOTIFY;
            break;
        default:
            // Not an automatic check box: the choice alone decides the check marks, so the box's
            // own toggling can never undo it.
            style |= BS_CHECKBOX;
            break;
        }
        HWND child = ::CreateWindowExW(0, windowClass, text, style, 0, 0, 0, 0, slot.panel, ChildId(idBase + e),
                                       instance, nullptr);
        if (!child) {
            ::DestroyWindow(slot.panel);
            throw std::bad_alloc();
        }
        slot.windows[static_cast<size_t>(e)] = child;
        if (element != RowElement::Icon) {
            HFONT font = element == RowElement::Description ? regularFont_.get() : boldFont_.get();
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        if (IsBox(element)) {
            ::SetWindowSubclass(child, BoxSubclassProc, kBoxSubclassId, reinterpret_cast<DWORD_PTR>(this));
        }
    }
    slots_.push_back(slot);
    return slots_.back();
}

void ListboxControl::FillSlot(Slot& slot, int row) {
    slot.row = row;
    slot.topPx = INT_MIN;
    ::SetWindowTextW(slot.windows[static_cast<size_t>(RowElement::ValueName)], model_.GetValue(row).c_str());
    ::SetWindowTextW(slot.windows[static_cast<size_t>(RowElement::Description)], model_.GetDescription(row).c_str());
    // Check marks follow in Sync, which only touches the boxes whose state differs.
    slot.painted = model_.HighlightVisible() && row == model_.SelectedItem();
    ::RedrawWindow(slot.panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ListboxControl::PlaceChildren(Slot& slot) {
    // Rows start at whole twips but not always at whole pixels, so the rounding of the windows'
    // places within a panel can differ by a pixel from row to row.
    const double rowTop = static_cast<double>(list_geometry::kRowPitch) * slot.row;
    const int rowTopPx = Px(rowTop);
    for (int e = 0; e < kRowElementCount; ++e) {
        const TwipsRect r = model_.ElementRect(slot.row, static_cast<RowElement>(e));
        const int top = Px(r.top) - rowTopPx;
        if (slot.layoutSerial == layoutSerial_ && slot.childTopPx[static_cast<size_t>(e)] == top) {
            continue;
        }
        const int left = Px(r.left);
        ::SetWindowPos(slot.windows[static_cast<size_t>(e)], nullptr, left, top, Px(r.left + r.width) - left,
                       Px(static_cast<double>(r.top) + r.height) - rowTopPx - top, SWP_NOZORDER | SWP_NOACTIVATE);
        slot.childTopPx[static_cast<size_t>(e)] = top;
    }
    slot.layoutSerial = layoutSerial_;
}

void ListboxControl::PlaceSlot(Slot& slot, HDWP& defer) {
    PlaceChildren(slot);
    const int topPx = RowTopPx(slot.row);
    const int heightPx = RowTopPx(slot.row + 1) - topPx;
    if (slot.shown && slot.topPx == topPx && slot.heightPx == heightPx) {
        return;
    }
    const int widthPx = Px(model_.SurfaceWidth());
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;
    if (defer) {
        defer = ::DeferWindowPos(defer, slot.panel, nullptr, 0, topPx, widthPx, heightPx, flags);
    }
    if (!defer) {
        ::SetWindowPos(slot.panel, nullptr, 0, topPx, widthPx, heightPx, flags);
    }
    slot.topPx = topPx;
    slot.heightPx = heightPx;
    slot.shown = true;
}

void ListboxControl::Sync() {
    if (lockDepth_ > 0) {
        dirty_ = true;
        return;
    }
    dirty_ = false;
    syncing_ = true;
    // Every call below that reaches the window system costs a round trip under some platforms,
    // and AddItem comes here once per row: with the view unchanged, only the bar is touched.
    const RowSpan span = model_.RowsInView();
    bool slotsChanged = false;

    // Rows that left the view give their windows up.
    HWND focus = nullptr;
    bool focusKnown = false;
    bool focusLost = false;
    for (Slot& slot : slots_) {
        if (slot.row >= 0 && !span.Contains(slot.row)) {
            slot.row = -1;
            slotsChanged = true;
            if (!focusKnown) {
                focus = ::GetFocus();
                focusKnown = true;
            }
            if (focus && ::IsChild(slot.panel, focus)) {
                focusLost = true;
            }
        }
    }
    if (focusLost) {
        // Focus must not stay on a window that is about to be hidden or show another row.
        ::SetFocus(hwnd_);
    }
    // Rows that came into view take free windows, or new ones while the view needs more.
    for (int row = span.first; row < span.end; ++row) {
        if (SlotOfRow(row)) {
            continue;
        }
        auto free = std::find_if(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.row < 0; });
        FillSlot(free != slots_.end() ? *free : NewSlot(), row);
        slotsChanged = true;
    }

    const bool anyToPlace = std::any_of(slots_.begin(), slots_.end(), [&](const Slot& slot) {
        if (slot.row < 0) {
            return slot.shown;
        }
        return !slot.shown || slot.layoutSerial != layoutSerial_ || slot.topPx != RowTopPx(slot.row) ||
               slot.heightPx != RowTopPx(slot.row + 1) - RowTopPx(slot.row);
    });
    if (anyToPlace) {
        HDWP defer = ::BeginDeferWindowPos(static_cast<int>(slots_.size()));
        for (Slot& slot : slots_) {
            if (slot.row >= 0) {
                PlaceSlot(slot, defer);
            } else if (slot.shown) {
                const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW;
                if (defer) {
                    defer = ::DeferWindowPos(defer, slot.panel, nullptr, 0, 0, 0, 0, flags);
                }
                if (!defer) {
                    ::ShowWindow(slot.panel, SW_HIDE);
                }
                slot.shown = false;
                slot.topPx = INT_MIN;
            }
        }
        if (defer) {
            ::EndDeferWindowPos(defer);
        }
    }

    // Check marks and colours of the rows in view.
    for (Slot& slot : slots_) {
        if (slot.row < 0) {
            continue;
        }
        for (int b = 0; b < kRowBoxCount; ++b) {
            const bool checked = model_.IsChecked(slot.row, static_cast<RowBox>(b));
            if (slot.checks[static_cast<size_t>(b)] != checked) {
                ::SendMessageW(slot.windows[static_cast<size_t>(ElementOf(static_cast<RowBox>(b)))], BM_SETCHECK,
                               checked ? BST_CHECKED : BST_UNCHECKED, 0);
                slot.checks[static_cast<size_t>(b)] = checked;
            }
        }
        const bool selected = model_.HighlightVisible() && slot.row == model_.SelectedItem();
        if (slot.painted != selected) {
            slot.painted = selected;
            ::RedrawWindow(slot.panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
    }
    UpdateScrollBar();
    syncing_ = false;
    const bool focusCellMoved = model_.FocusRow() != lastFocusRow_ || model_.FocusBox() != lastFocusBox_;
    lastFocusRow_ = model_.FocusRow();
    lastFocusBox_ = model_.FocusBox();
    if ((slotsChanged || focusCellMoved || focusLost) && ContainsFocus()) {
        FocusCurrentCell();
    }
}

void ListboxControl::UpdateScrollBar() {
    const ScrollRange& range = model_.Scroll();
    const int position = model_.ScrollOffset();
    const bool rangeChanged = !scrollBarKnown_ || range != lastScroll_;
    if (!rangeChanged && position == lastPosition_) {
        return;
    }
    // Drawing the bar is dear (a themed bar takes milliseconds), so it is never drawn here: a new
    // range marks it for the next paint, which comes once however many rows were added meanwhile,
    // and a new position only when the thumb has moved by a pixel, which with many rows most
    // steps do not.
    SCROLLBARINFO before{};
    before.cbSize = sizeof(before);
    const bool probe = !rangeChanged && ::GetScrollBarInfo(scrollBar_, OBJID_CLIENT, &before);

    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    if (rangeChanged) {
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        if (range.enabled) {
            // The thumb stands for the part of the rows in view; with that page the largest
            // position is exactly the range's maximum.
            info.nPage = static_cast<UINT>(model_.ScrollBarHeight());
            info.nMax = range.maximum + model_.ScrollBarHeight() - 1;
        }
    } else {
        info.fMask = SIF_POS;
    }
    info.nPos = position;
    ::SetScrollInfo(scrollBar_, SB_CTL, &info, FALSE);
    if (!scrollBarKnown_ || range.enabled != lastScroll_.enabled) {
        ::EnableWindow(scrollBar_, range.enabled ? TRUE : FALSE);
    }
    SCROLLBARINFO after{};
    after.cbSize = sizeof(after);
    const bool thumbStill = probe && ::GetScrollBarInfo(scrollBar_, OBJID_CLIENT, &after) &&
                            before.xyThumbTop == after.xyThumbTop && before.xyThumbBottom == after.xyThumbBottom;
    if (!thumbStill) {
        ::InvalidateRect(scrollBar_, nullptr, TRUE);
    }
    lastScroll_ = range;
    lastPosition_ = position;
    scrollBarKnown_ = true;
}

void ListboxControl::ScrollView(long long targetTwips) {
    const int oldOffsetPx = OffsetPx();
    if (!model_.ScrollTo(targetTwips)) {
        return;
    }
    AfterOffsetChange(oldOffsetPx);
    Sync();
    if (lockDepth_ == 0) {
        // While the thumb is dragged the rows must follow at once, not when the drag ends.
        ::UpdateWindow(surface_);
        ::UpdateWindow(scrollBar_);
    }
}

void ListboxControl::AfterOffsetChange(int oldOffsetPx) {
    const int dy = oldOffsetPx - OffsetPx();
    if (dy == 0 || lockDepth_ > 0 || !::IsWindowVisible(surface_)) {
        // The panels are placed afresh by the next Sync.
        return;
    }
    RECT client{};
    ::GetClientRect(surface_, &client);
    if (std::abs(dy) >= client.bottom) {
        // Nothing in view stays in view: moving pixels and panels would only be undone.
        ::InvalidateRect(surface_, nullptr, FALSE);
        return;
    }
    // Moves the pixels and every row panel together; only the strip that comes into view and the
    // rows that take over panels are painted anew.
    ::ScrollWindowEx(surface_, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE);
    for (Slot& slot : slots_) {
        if (slot.topPx != INT_MIN) {
            slot.topPx += dy;
        }
    }
}

void ListboxControl::FocusCurrentCell() {
    if (syncing_) {
        return;
    }
    const Slot* slot = model_.ListCount() > 0 ? SlotOfRow(model_.FocusRow()) : nullptr;
    const HWND target = slot ? slot->windows[static_cast<size_t>(ElementOf(model_.FocusBox()))] : hwnd_;
    if (::GetFocus() != target) {
        ::SetFocus(target);
    }
    if (target == hwnd_) {
        // The control's own focus mark, drawn on the surface.
        ::InvalidateRect(surface_, nullptr, FALSE);
    }
}

// --- input ------------------------------------------------------------------------------------

void ListboxControl::OnVScroll(int code) {
    const long long offset = model_.ScrollOffset();
    switch (code) {
    case SB_LINEUP:
        ScrollView(offset - list_geometry::kSmallChange);
        break;
    case SB_LINEDOWN:
        ScrollView(offset + list_geometry::kSmallChange);
        break;
    case SB_PAGEUP:
        ScrollView(offset - list_geometry::kLargeChange);
        break;
    case SB_PAGEDOWN:
        ScrollView(offset + list_geometry::kLargeChange);
        break;
    case SB_TOP:
        ScrollView(0);
        break;
    case SB_BOTTOM:
        ScrollView(model_.Scroll().maximum);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The 16-bit position in the message would wrap beyond 65535 twips; the 32-bit one does not.
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        if (::GetScrollInfo(scrollBar_, SB_CTL, &info)) {
            ScrollView(info.nTrackPos);
        }
        break;
    }
    default:
        break;
    }
}

void ListboxControl::OnMouseWheel(int delta) {
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    wheelRemainder_ += delta;
    const int notches = wheelRemainder_ / WHEEL_DELTA;
    wheelRemainder_ -= notches * WHEEL_DELTA;
    if (notches == 0 || lines == 0) {
        return;
    }
    const long long step = lines == WHEEL_PAGESCROLL ? list_geometry::kLargeChange
                                                     : static_cast<long long>(lines) * list_geometry::kSmallChange;
    ScrollView(model_.ScrollOffset() - notches * step);
}

bool ListboxControl::OnKey(UINT vk) {
    ListKey key;
    switch (vk) {
    case VK_UP:
        key = ListKey::Up;
        break;
    case VK_DOWN:
        key = ListKey::Down;
        break;
    case VK_LEFT:
        key = ListKey::Left;
        break;
    case VK_RIGHT:
        key = ListKey::Right;
        break;
    case VK_SPACE:
        key = ListKey::Space;
        break;
    case VK_PRIOR:
        key = ListKey::PageUp;
        break;
    case VK_NEXT:
        key = ListKey::PageDown;
        break;
    case VK_HOME:
        key = ListKey::Home;
        break;
    case VK_END:
        key = ListKey::End;
        break;
    case VK_TAB: {
        // The list is one tab stop however many boxes it shows.
        const HWND host = ::GetParent(hwnd_);
        const bool back = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        const HWND next = host ? ::GetNextDlgTabItem(host, hwnd_, back ? TRUE : FALSE) : nullptr;
        if (next && next != hwnd_) {
            ::SetFocus(next);
        }
        return true;
    }
    default:
        return false;
    }
    const int oldOffsetPx = OffsetPx();
    if (model_.HandleKey(key)) {
        AfterOffsetChange(oldOffsetPx);
        Sync();
        FocusCurrentCell();
        if (lockDepth_ == 0) {
            ::UpdateWindow(surface_);
            ::UpdateWindow(scrollBar_);
        }
    }
    // The keyboard is in use: show where the focus is.
    ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return true;
}

// --- painting ---------------------------------------------------------------------------------

LRESULT ListboxControl::OnCtlColor(HDC dc, HWND child) const {
    const Slot* slot = SlotOfWindow(child, nullptr);
    const bool selected = slot && slot->painted;
    ::SetTextColor(dc, TextColour(selected));
    ::SetBkColor(dc, selected ? ::GetSysColor(COLOR_HIGHLIGHT) : kWhite);
    // Labels and boxes have no colour of their own: they show their row's, which is white, or the
    // highlight colour behind the selected row.
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(BackBrush(selected));
}

LRESULT ListboxControl::OnCustomDrawBox(NMCUSTOMDRAW& draw) const {
    // Unthemed boxes take their colours from WM_CTLCOLORSTATIC; themed ones ignore the text colour
    // there, so they are drawn here with the theme's check mark and the row's colours.
    if (draw.dwDrawStage != CDDS_PREPAINT) {
        return CDRF_DODEFAULT;
    }
    RowElement element = RowElement::Icon;
    const Slot* slot = SlotOfWindow(draw.hdr.hwndFrom, &element);
    if (!slot || slot->row < 0 || !IsBox(element)) {
        return CDRF_DODEFAULT;
    }
    HTHEME theme = BoxTheme();
    if (!theme) {
        return CDRF_DODEFAULT;
    }
    const bool selected = slot->painted;
    const bool checked = slot->checks[static_cast<size_t>(BoxOf(element))];
    int state = checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL;
    if (draw.uItemState & CDIS_SELECTED) {
        state = checked ? CBS_CHECKEDPRESSED : CBS_UNCHECKEDPRESSED;
    } else if (draw.uItemState & CDIS_HOT) {
        state = checked ? CBS_CHECKEDHOT : CBS_UNCHECKEDHOT;
    }
    HDC dc = draw.hdc;
    const RECT client = draw.rc;
    ::FillRect(dc, &client, BackBrush(selected));
    if (glyphSize_.cx == 0) {
        glyphSize_ = SIZE{Px(195), Px(195)};
        ::GetThemePartSize(theme, dc, BP_CHECKBOX, state, nullptr, TS_DRAW, &glyphSize_);
    }
    const SIZE glyph = glyphSize_;
    RECT box{client.left, client.top + (client.bottom - client.top - glyph.cy) / 2, client.left + glyph.cx, 0};
    box.bottom = box.top + glyph.cy;
    ::DrawThemeBackground(theme, dc, BP_CHECKBOX, state, &box, nullptr);

    wchar_t text[32] = {};
    ::GetWindowTextW(draw.hdr.hwndFrom, text, static_cast<int>(std::size(text)));
    SelectObjectScope font(dc, boldFont_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, TextColour(selected));
    RECT label{box.right + Px(45), client.top, client.right, client.bottom};
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX;
    ::DrawTextW(dc, text, -1, &label, format);
    if ((draw.uItemState & CDIS_FOCUS) &&
        !(::SendMessageW(draw.hdr.hwndFrom, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
        RECT focus = label;
        ::DrawTextW(dc, text, -1, &focus, format | DT_CALCRECT);
        focus.top = client.top;
        focus.bottom = client.bottom;
        ::InflateRect(&focus, 1, 0);
        ::DrawFocusRect(dc, &focus);
    }
    return CDRF_SKIPDEFAULT;
}

HTHEME ListboxControl::BoxTheme() const {
    if (!boxThemeOpened_) {
        boxThemeOpened_ = true;
        boxTheme_ = ::OpenThemeData(hwnd_, L"BUTTON");
        glyphSize_ = SIZE{};
    }
    return boxTheme_;
}

void ListboxControl::CloseBoxTheme() const {
    if (boxTheme_) {
        ::CloseThemeData(boxTheme_);
    }
    boxTheme_ = nullptr;
    boxThemeOpened_ = false;
}

void ListboxControl::OnDrawIcon(const DRAWITEMSTRUCT& draw) const {
    const Slot* slot = SlotOfWindow(draw.hwndItem, nullptr);
    const bool selected = slot && slot->painted;
    ::FillRect(draw.hDC, &draw.rcItem, BackBrush(selected));
    if (rowIcon_) {
        const int size = ::MulDiv(kIconSize, static_cast<int>(dpi_), 96);
        ::DrawIconEx(draw.hDC, draw.rcItem.left, draw.rcItem.top, rowIcon_, size, size, 0, nullptr, DI_NORMAL);
    }
}

// --- window procedures ------------------------------------------------------------------------

LRESULT ListboxControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
        case WM_CREATE:
            return Create() ? 0 : -1;
        case WM_SIZE:
            if (surface_) {
                ApplyLayout();
            }
            return 0;
        case WM_DPICHANGED_AFTERPARENT:
            CloseBoxTheme();
            UpdateDpi();
            CreateFonts();
            ApplyLayout();
            return 0;
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(hwnd_, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
            return 1;
        }
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lParam) == scrollBar_) {
                OnVScroll(LOWORD(wParam));
            }
            return 0;
        case WM_MOUSEWHEEL:
            OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            ::SetFocus(hwnd_);
            return 0;
        case WM_SETFOCUS:
            if (!syncing_) {
                FocusCurrentCell();
            }
            return 0;
        case WM_KILLFOCUS:
            if (surface_) {
                ::InvalidateRect(surface_, nullptr, FALSE);
            }
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTTAB;
        case WM_KEYDOWN:
            if (OnKey(static_cast<UINT>(wParam))) {
                return 0;
            }
            break;
        case WM_THEMECHANGED:
            CloseBoxTheme();
            ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            break;
        case WM_DESTROY:
            CloseBoxTheme();
            break;
        case WM_SYSCOLORCHANGE:
            ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        default:
            break;
        }
    } catch (...) {
        // Nothing may unwind through the system's code; a failed step leaves the list as it was.
        return message == WM_CREATE ? -1 : 0;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT ListboxControl::HandleSurfaceMessage(HWND surface, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers everything
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = ::BeginPaint(surface, &ps);
        ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        if (::GetFocus() == hwnd_) {
            RECT client{};
            ::GetClientRect(surface, &client);
            client.right = Px(model_.ScrollBarLeft());
            ::InflateRect(&client, -1, -1);
            ::DrawFocusRect(dc, &client);
        }
        ::EndPaint(surface, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        ::SetFocus(hwnd_);
        return 0;
    default:
        return ::DefWindowProcW(surface, message, wParam, lParam);
    }
}

LRESULT ListboxControl::HandleRowMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
        case WM_ERASEBKGND: {
            // The selected row's panel is the highlight band behind it.
            const Slot* slot = SlotOfPanel(panel);
            RECT client{};
            ::GetClientRect(panel, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, BackBrush(slot && slot->painted));
            return 1;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (draw->CtlType == ODT_STATIC) {
                OnDrawIcon(*draw);
                return TRUE;
            }
            break;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == NM_CUSTOMDRAW) {
                return OnCustomDrawBox(*reinterpret_cast<NMCUSTOMDRAW*>(lParam));
            }
            break;
        }
        case WM_COMMAND: {
            RowElement element = RowElement::Icon;
            const Slot* slot = SlotOfWindow(reinterpret_cast<HWND>(lParam), &element);
            if (!slot || slot->row < 0) {
                break;
            }
            const int row = slot->row;
            const WORD code = HIWORD(wParam);
            if (IsBox(element) && code == BN_CLICKED) {
                // A left button let go over the box, the space bar on it, or BM_CLICK.
                model_.FocusBoxOf(row, BoxOf(element));
                ChooseBox(row, BoxOf(element));
            } else if (!IsBox(element) && (code == STN_CLICKED || code == STN_DBLCLK)) {
                SelectRow(row);
                ::SetFocus(hwnd_);
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
            ::SetFocus(hwnd_);
            return 0;
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcW(panel, message, wParam, lParam);
}

LRESULT ListboxControl::HandleBoxMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        RowElement element = RowElement::Icon;
        const Slot* slot = SlotOfWindow(box, &element);
        if (slot && slot->row >= 0 && IsBox(element)) {
            switch (message) {
            case WM_RBUTTONUP:
            case WM_MBUTTONUP:
                // Any button chooses, not only the left one the box reacts to by itself.
                ChooseBox(slot->row, BoxOf(element));
                return 0;
            case WM_SETFOCUS:
                if (!syncing_) {
                    model_.FocusBoxOf(slot->row, BoxOf(element));
                }
                break;
            case WM_GETDLGCODE:
                return ::DefSubclassProc(box, message, wParam, lParam) | DLGC_WANTARROWS | DLGC_WANTTAB;
            case WM_KEYDOWN:
                if (wParam != VK_SPACE && OnKey(static_cast<UINT>(wParam))) {
                    return 0;
                }
                break;
            case WM_CHAR:
                if (wParam == L'\t') {
                    return 0;
                }
                break;
            default:
                break;
            }
        }
    } catch (...) {
        return 0;
    }
    return ::DefSubclassProc(box, message, wParam, lParam);
}

} // namespace runsweep
