#include "listbox/listbox_win.h"

#include "base/palette_win.h"
#include "base/system_library_win.h"
#include "base/twips.h"
#include "base/window_dpi_win.h"
#include "listbox/listbox_accessible_win.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#if __has_include("resources/resource.h")
#include "resources/resource.h"
#endif

namespace runsweep {

namespace {

constexpr wchar_t kSurfaceClassName[] = L"Runsweep.ctlListbox.Surface";
constexpr double kFontPoints = 8.25;
constexpr wchar_t kFontFace[] = L"MS Sans Serif";
constexpr int kIconSize = 32;   // pixels at 96 dpi
constexpr int kCaptionGap = 45; // twips between a box's check mark and its caption
// The list's own message: brings the scroll bar up to date after a run of AddItem calls.
constexpr UINT kUpdateScrollBarMessage = WM_USER + 0x100;
constexpr UINT kCaptionFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX;
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

Surface RowSurface(bool selected) {
    return selected ? Surface::Selection : Surface::Window;
}

COLORREF TextColour(bool selected) {
    return InkColour(Ink::Text, RowSurface(selected));
}

HBRUSH BackBrush(bool selected) {
    return BackgroundBrush(RowSurface(selected));
}

// The theme functions the boxes are drawn with, from the system folder on first use. Without them
// (a system without themes) the boxes are drawn classic.
struct ThemeApi {
    decltype(&::IsAppThemed) isAppThemed = nullptr;
    decltype(&::OpenThemeData) openThemeData = nullptr;
    decltype(&::CloseThemeData) closeThemeData = nullptr;
    decltype(&::GetThemePartSize) getThemePartSize = nullptr;
    decltype(&::DrawThemeBackground) drawThemeBackground = nullptr;
};

const ThemeApi& Themes() {
    static const ThemeApi api = [] {
        ThemeApi loaded;
        // Kept for the life of the process: theme handles may outlive any one list.
        HMODULE uxtheme = LoadSystemLibrary(L"uxtheme.dll");
        if (!uxtheme) {
            return loaded;
        }
        const auto find = [uxtheme](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void (*)()>(::GetProcAddress(uxtheme, name)));
        };
        find(loaded.isAppThemed, "IsAppThemed");
        find(loaded.openThemeData, "OpenThemeData");
        find(loaded.closeThemeData, "CloseThemeData");
        find(loaded.getThemePartSize, "GetThemePartSize");
        find(loaded.drawThemeBackground, "DrawThemeBackground");
        if (!loaded.isAppThemed || !loaded.openThemeData || !loaded.closeThemeData || !loaded.getThemePartSize ||
            !loaded.drawThemeBackground) {
            return ThemeApi{};
        }
        return loaded;
    }();
    return api;
}

// The tool tip's one tool: moved over whichever label is under the pointer.
constexpr UINT_PTR kTipTool = 1;
// Longer texts are no use in a tool tip: a registry name may be 16,383 characters without a space.
constexpr std::size_t kLongestTip = 1024;

std::size_t FitIn(HDC dc, std::wstring_view text, int width) {
    INT fit = 0;
    SIZE size{};
    if (text.empty() ||
        !::GetTextExtentExPointW(dc, text.data(), static_cast<int>(text.size()), width, &fit, nullptr, &size)) {
        return 0;
    }
    return static_cast<std::size_t>(std::max(0, fit));
}

int EllipsisWidth(HDC dc) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, kEllipsis, 1, &size);
    return size.cx;
}

std::wstring TipText(const std::wstring& text) {
    if (text.size() <= kLongestTip) {
        return text;
    }
    std::size_t cut = kLongestTip;
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) {
        --cut; // not half a surrogate pair
    }
    return text.substr(0, cut) + kEllipsis + L" (" + std::to_wstring(text.size()) + L" characters)";
}

HMENU ChildId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
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

// The surface belongs to the control named in its creation parameter.
LRESULT CALLBACK SurfaceWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<ListboxControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
    return control ? control->HandleSurfaceMessage(hwnd, message, wParam, lParam)
                   : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

bool RegisterListboxClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(instance, kListboxClassName, &existing)) {
        return true;
    }
    const auto classOf = [instance](WNDPROC proc, const wchar_t* name) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = name;
        return wc;
    };
    const WNDCLASSEXW list = classOf(ListboxWndProc, kListboxClassName);
    if (!::RegisterClassExW(&list)) {
        return false;
    }
    const WNDCLASSEXW surface = classOf(SurfaceWndProc, kSurfaceClassName);
    if (!::RegisterClassExW(&surface) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ::UnregisterClassW(kListboxClassName, instance);
        return false;
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

ListboxControl::~ListboxControl() {
    if (accessible_) {
        accessible_->Disconnect();
        accessible_->Release();
    }
    if (boxTheme_) {
        Themes().closeThemeData(boxTheme_);
    }
}

// --- the host's interface ---------------------------------------------------------------------

void ListboxControl::AddItem(const std::wstring& sValue, const std::wstring& sDescription) {
    const ViewState before = State();
    model_.AddItem(sValue, sDescription);
    if (lockDepth_ > 0) {
        dirty_ = true;
        return;
    }
    // Only a row that lands in view is painted, and the bar follows once for a run of rows: the
    // caller adds them without letting messages through, and the bar's update waits in the queue.
    InvalidateRow(model_.ListCount() - 1);
    if (before.highlight != model_.HighlightVisible()) {
        InvalidateRow(model_.SelectedItem());
    }
    if (!barUpdatePosted_) {
        barUpdatePosted_ = ::PostMessageW(hwnd_, kUpdateScrollBarMessage, 0, 0) != FALSE;
        if (!barUpdatePosted_) {
            UpdateScrollBar();
        }
    }
}

void ListboxControl::CheckScroll() {
    const ViewState before = State();
    model_.CheckScroll();
    Commit(before, false);
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
    dirty_ = false;
    UpdateScrollBar();
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void ListboxControl::SetChoices(ListChoices choices) {
    model_.SetChoices(std::move(choices));
    // The atlas holds rows of the old boxes.
    DropGlyphs();
    if (surface_) {
        ::InvalidateRect(surface_, nullptr, FALSE);
    }
}

void ListboxControl::Clear() {
    model_.Clear();
    press_.reset();
    DropTexts();
    HideToolTip();
    UpdateScrollBar();
    if (surface_) {
        ::InvalidateRect(surface_, nullptr, FALSE);
    }
    // Every item is gone: screen readers ask for the children again.
    ::NotifyWinEvent(EVENT_OBJECT_REORDER, hwnd_, OBJID_CLIENT, CHILDID_SELF);
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
    // The atlas holds the old icon.
    DropGlyphs();
    if (surface_) {
        ::InvalidateRect(surface_, nullptr, FALSE);
    }
}

void ListboxControl::ChooseBox(int iItem, RowBox box) {
    const ViewState before = State();
    const bool wasChecked = model_.IsChecked(iItem, box);
    model_.ChooseBox(iItem, box);
    InvalidateRow(iItem);
    Commit(before, false);
    for (int b = 0; b < model_.BoxCount(); ++b) {
        // Whatever changed state, for screen readers: the chosen box and the one it unchecked.
        if (b != static_cast<int>(box) || !wasChecked) {
            ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd_, OBJID_CLIENT,
                             ChildIdOf(model_, iItem, ElementOf(static_cast<RowBox>(b))));
        }
    }
}

void ListboxControl::SelectRow(int iItem) {
    const ViewState before = State();
    model_.SelectRow(iItem);
    Commit(before, false);
    ::NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd_, OBJID_CLIENT, ChildIdOf(model_, iItem, RowElement::ValueName));
}

void ListboxControl::ScrollTo(int offsetTwips) {
    ScrollView(offsetTwips);
}

bool ListboxControl::HasFocus() const {
    // Kept from WM_SETFOCUS and WM_KILLFOCUS: asking the system costs a round trip on some
    // platforms, and painting asks for every strip.
    return hasFocus_;
}

RECT ListboxControl::ContentPixels(const TwipsRect& r) const {
    const long long offset = OffsetPx();
    return RECT{
        Px(r.left), static_cast<LONG>(list_geometry::ContentPixelY(r.top, dpi_) - offset),
        Px(static_cast<double>(r.left) + r.width),
        static_cast<LONG>(list_geometry::ContentPixelY(static_cast<long long>(r.top) + r.height, dpi_) - offset)};
}

RECT ListboxControl::ElementPixels(int iItem, RowElement element) const {
    return ContentPixels(model_.ElementRect(iItem, element));
}

bool ListboxControl::DescriptionFits(int iItem) const {
    return !ShownText(iItem, RowElement::Description).cut;
}

WrappedText ListboxControl::ShownText(int iItem, RowElement element) const {
    model_.GetValue(iItem); // an index without a row is an error here as everywhere
    const WindowDC dc(surface_);
    const RowText& text = TextOf(dc.get(), iItem);
    return element == RowElement::Description ? text.description : text.name;
}

const ListboxControl::RowText& ListboxControl::TextOf(HDC dc, int row) const {
    if (rowTexts_.size() < static_cast<std::size_t>(model_.ListCount())) {
        rowTexts_.resize(static_cast<std::size_t>(model_.ListCount()));
    }
    RowText& text = rowTexts_[static_cast<std::size_t>(row)];
    const RECT name = ElementPixels(row, RowElement::ValueName);
    const RECT description = ElementPixels(row, RowElement::Description);
    const int nameWidth = name.right - name.left;
    const int descriptionWidth = description.right - description.left;
    if (text.nameWidth == nameWidth && text.descriptionWidth == descriptionWidth) {
        return text;
    }
    const auto fit = [dc](std::wstring_view part, int width) { return FitIn(dc, part, width); };
    {
        const SelectObjectScope font(dc, boldFont_.get());
        text.name = EndWithEllipsis(model_.GetValue(row), nameWidth, TextFit{fit, EllipsisWidth(dc)});
    }
    {
        const SelectObjectScope font(dc, regularFont_.get());
        if (lineHeight_ <= 0) {
            TEXTMETRICW metrics{};
            lineHeight_ = ::GetTextMetricsW(dc, &metrics) && metrics.tmHeight > 0 ? metrics.tmHeight : Px(195);
        }
        // Whole lines only: a line cut through the middle says less than an ellipsis.
        const int lines = std::max(1, static_cast<int>((description.bottom - description.top) / lineHeight_));
        text.description =
            WrapAtSpaces(model_.GetDescription(row), descriptionWidth, lines, TextFit{fit, EllipsisWidth(dc)});
    }
    text.nameWidth = nameWidth;
    text.descriptionWidth = descriptionWidth;
    return text;
}

void ListboxControl::DropTexts() const {
    rowTexts_.clear();
    lineHeight_ = 0;
}

// --- the tool tip -------------------------------------------------------------------------------

void ListboxControl::CreateToolTip() {
    auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance,
                                 nullptr);
    if (!tooltip_) {
        return; // a list without tool tips still shows every row
    }
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = surface_;
    tool.uId = kTipTool;
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Long texts wrap in the tip rather than running off the screen.
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(8000));
}

void ListboxControl::HideToolTip() {
    if (!tooltip_ || !tipAt_) {
        return;
    }
    tipAt_.reset();
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = surface_;
    tool.uId = kTipTool;
    ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(tooltip_, TTM_POP, 0, 0);
}

void ListboxControl::UpdateToolTip(const MSG& mouse) {
    if (!tooltip_) {
        return;
    }
    const POINT at{static_cast<short>(LOWORD(mouse.lParam)), static_cast<short>(HIWORD(mouse.lParam))};
    std::optional<RowHit> hit = press_ ? std::nullopt : HitAt(at);
    if (hit && hit->element != RowElement::ValueName && hit->element != RowElement::Description) {
        hit.reset();
    }
    if (hit && !ShownText(hit->row, hit->element).cut) {
        hit.reset();
    }
    if (hit != tipAt_) {
        if (!hit) {
            HideToolTip();
        } else {
            ::SendMessageW(tooltip_, TTM_POP, 0, 0);
            tipAt_ = hit;
            const std::wstring text = TipText(hit->element == RowElement::Description ? model_.GetDescription(hit->row)
                                                                                      : model_.GetValue(hit->row));
            TTTOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = surface_;
            tool.uId = kTipTool;
            tool.rect = ElementPixels(hit->row, hit->element);
            tool.lpszText = const_cast<wchar_t*>(text.c_str());
            ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
            ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    // After the tool has moved, so the tip counts this very move towards showing.
    MSG relayed = mouse;
    ::SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

std::wstring ListboxControl::Snapshot() const {
    return FormatSnapshot(model_, HasFocus(), [this](const TwipsRect& r) {
        RECT px = ContentPixels(r);
        ::MapWindowPoints(surface_, nullptr, reinterpret_cast<POINT*>(&px), 2);
        return PixelRect{px.left, px.top, px.right - px.left, px.bottom - px.top};
    });
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
        surface_ = ::CreateWindowExW(0, kSurfaceClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                                     hwnd_, ChildId(kListboxSurfaceId), instance, this);
        scrollBar_ = ::CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_VERT, 0,
                                       0, 0, 0, hwnd_, ChildId(kListboxScrollBarId), instance, nullptr);
        if (!surface_ || !scrollBar_) {
            return false;
        }
        // The bar stays above the surface, whatever rounding makes of their shared edge.
        ::SetWindowPos(scrollBar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        CreateToolTip();
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
    // Selected several times per painted row. WM_SETTINGCHANGE makes the fonts anew.
    const BYTE quality = FontSmoothingQuality();
    auto make = [&](int weight) {
        return UniqueFont(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH | FF_SWISS,
                                        kFontFace));
    };
    boldFont_ = make(FW_BOLD);
    regularFont_ = make(FW_NORMAL);
    // Measured in the old fonts.
    DropTexts();
}

int ListboxControl::Px(double twips) const {
    return TwipsToPixels(twips, dpi_);
}

int ListboxControl::OffsetPx() const {
    return Px(model_.ScrollOffset());
}

void ListboxControl::ApplyLayout() {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int width = static_cast<int>(std::lround(PixelsToTwips(client.right, dpi_)));
    const int height = static_cast<int>(std::lround(PixelsToTwips(client.bottom, dpi_)));
    model_.Layout(width, height);
    // In the list's own pixels, so that no rounding of twips leaves a seam at an edge.
    const int barLeft = std::min<int>(Px(model_.ScrollBarLeft()), client.right);
    ::MoveWindow(surface_, 0, 0, barLeft, client.bottom, TRUE);
    ::MoveWindow(scrollBar_, barLeft, 0, client.right - barLeft, client.bottom, TRUE);
    scrollBarKnown_ = false;
    UpdateScrollBar();
    HideToolTip();
    ::InvalidateRect(surface_, nullptr, FALSE);
}

// --- keeping the windows in step with the model -----------------------------------------------

ListboxControl::ViewState ListboxControl::State() const {
    return ViewState{model_.SelectedItem(), model_.FocusRow(), model_.FocusBox(), OffsetPx(),
                     model_.HighlightVisible()};
}

bool ListboxControl::RowInView(int row) const {
    return row >= 0 && model_.RowsInView().Contains(row);
}

void ListboxControl::InvalidateRow(int row) {
    if (lockDepth_ > 0 || !surface_ || !RowInView(row)) {
        return;
    }
    const RECT band = RowBand(row);
    ::InvalidateRect(surface_, &band, FALSE);
}

void ListboxControl::Commit(const ViewState& before, bool paintNow) {
    if (lockDepth_ > 0) {
        dirty_ = true;
        return;
    }
    const ViewState now = State();
    const int dy = before.offsetPx - now.offsetPx;
    if (dy != 0 && ::IsWindowVisible(surface_)) {
        RECT client{};
        ::GetClientRect(surface_, &client);
        if (std::abs(dy) >= client.bottom) {
            // Nothing in view stays in view.
            ::InvalidateRect(surface_, nullptr, FALSE);
        } else {
            // Moves the pixels; only the strip that comes into view is painted anew.
            ::ScrollWindowEx(surface_, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
        }
    }
    if (now.selected != before.selected || now.highlight != before.highlight) {
        InvalidateRow(before.selected);
        InvalidateRow(now.selected);
    }
    const bool focusMoved = now.focusRow != before.focusRow || now.focusBox != before.focusBox;
    if (focusMoved && hasFocus_) {
        // Without the focus there is no focus mark to move.
        InvalidateRow(before.focusRow);
        InvalidateRow(now.focusRow);
    }
    UpdateScrollBar();
    if (focusMoved) {
        NotifyFocusItem();
    }
    if (paintNow) {
        // While the thumb is dragged or a key held, the rows must follow at once.
        ::UpdateWindow(surface_);
        ::UpdateWindow(scrollBar_);
    }
}

void ListboxControl::NotifyFocusItem() const {
    if (HasFocus() && model_.ListCount() > 0) {
        ::NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd_, OBJID_CLIENT,
                         ChildIdOf(model_, model_.FocusRow(), ElementOf(model_.FocusBox())));
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
    const ViewState before = State();
    if (!model_.ScrollTo(targetTwips)) {
        return;
    }
    // The label it stood over has moved away from the pointer.
    HideToolTip();
    Commit(before, true);
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
    // The keyboard is in use: show where the focus is.
    ::SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    const ViewState before = State();
    const int selected = model_.SelectedItem();
    const int focusRow = model_.FocusRow();
    if (!model_.HandleKey(key)) {
        return true;
    }
    Commit(before, false);
    if (key == ListKey::Space) {
        // After any scrolling, so the row is painted where it now stands.
        InvalidateRow(focusRow);
        for (int b = 0; b < model_.BoxCount(); ++b) {
            ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd_, OBJID_CLIENT,
                             ChildIdOf(model_, focusRow, ElementOf(static_cast<RowBox>(b))));
        }
    }
    if (model_.SelectedItem() != selected) {
        ::NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd_, OBJID_CLIENT,
                         ChildIdOf(model_, model_.SelectedItem(), RowElement::ValueName));
    }
    if (lockDepth_ == 0) {
        ::UpdateWindow(surface_);
        ::UpdateWindow(scrollBar_);
    }
    return true;
}

std::optional<RowHit> ListboxControl::HitAt(POINT at) const {
    // Pixels back to twips on the unscrolled content; a hit is taken from the pixel's centre so
    // that rounding at the elements' edges agrees with where they are painted.
    const double half = PixelsToTwips(1, dpi_) / 2;
    const long long x = std::llround(PixelsToTwips(at.x, dpi_) + half);
    const long long y = std::llround(PixelsToTwips(at.y, dpi_) + half) + model_.ScrollOffset();
    std::optional<RowHit> hit = HitTestRows(model_, x, y);
    if (hit) {
        const RECT r = ElementPixels(hit->row, hit->element);
        if (!::PtInRect(&r, at)) {
            hit.reset();
        }
    }
    return hit;
}

void ListboxControl::OnButtonDown(POINT at, UINT upMessage, bool left) {
    ::SetFocus(hwnd_);
    const std::optional<RowHit> hit = HitAt(at);
    if (!hit) {
        return;
    }
    if (IsBox(hit->element)) {
        // As a box does: the choice waits for the button to be let go over it.
        const ViewState before = State();
        model_.PressBox(hit->row, BoxOf(hit->element));
        press_ = Press{hit->row, BoxOf(hit->element), upMessage, true};
        ::SetCapture(surface_);
        InvalidateRow(hit->row);
        Commit(before, false);
        if (before.selected != hit->row) {
            ::NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd_, OBJID_CLIENT,
                             ChildIdOf(model_, hit->row, RowElement::ValueName));
        }
    } else if (left) {
        SelectRow(hit->row);
    }
}

void ListboxControl::OnMouseMove(POINT at) {
    if (!press_) {
        return;
    }
    const std::optional<RowHit> hit = HitAt(at);
    const bool over = hit && hit->row == press_->row && IsBox(hit->element) && BoxOf(hit->element) == press_->box;
    if (over != press_->over) {
        press_->over = over;
        InvalidateRow(press_->row);
    }
}

void ListboxControl::OnButtonUp(POINT at, UINT message) {
    if (!press_ || press_->upMessage != message) {
        return;
    }
    const Press press = *press_;
    press_.reset();
    if (::GetCapture() == surface_) {
        ::ReleaseCapture();
    }
    InvalidateRow(press.row);
    const std::optional<RowHit> hit = HitAt(at);
    if (hit && hit->row == press.row && IsBox(hit->element) && BoxOf(hit->element) == press.box &&
        press.row < model_.ListCount()) {
        ChooseBox(press.row, press.box);
    }
}

// --- painting ---------------------------------------------------------------------------------

OffscreenCanvas::~OffscreenCanvas() {
    Reset();
}

void OffscreenCanvas::Reset() noexcept {
    if (dc_) {
        ::SelectObject(dc_, original_);
        ::DeleteDC(dc_);
    }
    if (bitmap_) {
        ::DeleteObject(bitmap_);
    }
    dc_ = nullptr;
    bitmap_ = nullptr;
    original_ = nullptr;
    width_ = height_ = 0;
}

bool OffscreenCanvas::Ensure(HDC compatible, int width, int height) {
    if (dc_ && width <= width_ && height <= height_) {
        return true;
    }
    Reset();
    if (width <= 0 || height <= 0) {
        return false;
    }
    dc_ = ::CreateCompatibleDC(compatible);
    bitmap_ = dc_ ? ::CreateCompatibleBitmap(compatible, width, height) : nullptr;
    if (!bitmap_) {
        Reset();
        return false;
    }
    original_ = ::SelectObject(dc_, bitmap_);
    width_ = width;
    height_ = height;
    return true;
}

std::optional<POINT> ListboxControl::AtlasSlot(HDC dc, const AtlasKey& key, bool* fresh) const {
    *fresh = false;
    for (size_t i = 0; i < atlasKeys_.size(); ++i) {
        if (atlasKeys_[i] == key) {
            return POINT{0, static_cast<LONG>(i) * atlasSlotHeight_};
        }
    }
    if (atlasKeys_.size() >= kAtlasSlots || key.width > atlasSlotWidth_ || key.height > atlasSlotHeight_ ||
        !atlas_.Ensure(dc, atlasSlotWidth_, atlasSlotHeight_ * kAtlasSlots)) {
        return std::nullopt;
    }
    atlasKeys_.push_back(key);
    *fresh = true;
    return POINT{0, static_cast<LONG>(atlasKeys_.size() - 1) * atlasSlotHeight_};
}

void ListboxControl::PrepareAtlas(HDC dc) const {
    if (!boxThemeOpened_) {
        boxThemeOpened_ = true;
        const ThemeApi& themes = Themes();
        boxTheme_ = themes.isAppThemed && themes.isAppThemed() ? themes.openThemeData(hwnd_, L"BUTTON") : nullptr;
    }
    if (glyphSize_.cx == 0) {
        const int fallback = ::MulDiv(13, static_cast<int>(dpi_), 96);
        glyphSize_ = SIZE{fallback, fallback};
        if (boxTheme_) {
            Themes().getThemePartSize(boxTheme_, dc, BP_CHECKBOX, CBS_UNCHECKEDNORMAL, nullptr, TS_DRAW, &glyphSize_);
        }
    }
    const TwipsRect first = model_.Choices().boxes.front().rect;
    const TwipsRect last = model_.Choices().boxes.back().rect;
    const int iconSize = ::MulDiv(kIconSize, static_cast<int>(dpi_), 96);
    atlasSlotWidth_ = std::max({Px(static_cast<double>(last.left) + last.width) - Px(first.left) + 2, iconSize,
                                static_cast<int>(glyphSize_.cx)});
    atlasSlotHeight_ = std::max({Px(first.height) + 2, iconSize, static_cast<int>(glyphSize_.cy)});
    // A full atlas starts again; between paints nothing in it is in use.
    if (atlasKeys_.size() + 12 > kAtlasSlots) {
        atlasKeys_.clear();
    }
}

std::optional<POINT> ListboxControl::GlyphAt(HDC dc, bool selected, bool checked, bool pressed) const {
    bool fresh = false;
    const std::optional<POINT> at =
        AtlasSlot(dc, AtlasKey{0, selected, (checked ? 2u : 0u) + (pressed ? 1u : 0u), 0, 0}, &fresh);
    if (at && fresh) {
        const int state = checked ? (pressed ? CBS_CHECKEDPRESSED : CBS_CHECKEDNORMAL)
                                  : (pressed ? CBS_UNCHECKEDPRESSED : CBS_UNCHECKEDNORMAL);
        RECT r{at->x, at->y, at->x + glyphSize_.cx, at->y + glyphSize_.cy};
        ::FillRect(atlas_.dc(), &r, BackBrush(selected));
        if (boxTheme_) {
            Themes().drawThemeBackground(boxTheme_, atlas_.dc(), BP_CHECKBOX, state, &r, nullptr);
        } else {
            ::DrawFrameControl(atlas_.dc(), &r, DFC_BUTTON,
                               DFCS_BUTTONCHECK | (checked ? DFCS_CHECKED : 0) | (pressed ? DFCS_PUSHED : 0));
        }
    }
    return at;
}

std::optional<POINT> ListboxControl::IconAt(HDC dc, bool selected) const {
    if (!rowIcon_) {
        return std::nullopt;
    }
    bool fresh = false;
    const std::optional<POINT> at = AtlasSlot(dc, AtlasKey{1, selected, 0, 0, 0}, &fresh);
    if (at && fresh) {
        // Drawn once on each background: an icon with an alpha channel is blended pixel by pixel.
        const int size = ::MulDiv(kIconSize, static_cast<int>(dpi_), 96);
        RECT r{at->x, at->y, at->x + size, at->y + size};
        ::FillRect(atlas_.dc(), &r, BackBrush(selected));
        ::DrawIconEx(atlas_.dc(), at->x, at->y, rowIcon_, size, size, 0, nullptr, DI_NORMAL);
    }
    return at;
}

RECT ListboxControl::RowBand(int row) const {
    const long long pitch = list_geometry::kRowPitch;
    const long long offset = OffsetPx();
    return RECT{0, static_cast<LONG>(list_geometry::ContentPixelY(pitch * row, dpi_) - offset),
                Px(model_.SurfaceWidth()),
                static_cast<LONG>(list_geometry::ContentPixelY(pitch * (row + 1), dpi_) - offset)};
}

void ListboxControl::DropGlyphs() const {
    atlasKeys_.clear();
    atlas_.Reset();
    if (boxTheme_) {
        Themes().closeThemeData(boxTheme_);
    }
    boxTheme_ = nullptr;
    boxThemeOpened_ = false;
    glyphSize_ = SIZE{};
}

void ListboxControl::DrawBox(HDC dc, HDC source, const RECT& cell, RowBox box, bool selected, bool checked,
                             bool pressed) const {
    const int glyphTop = cell.top + (cell.bottom - cell.top - glyphSize_.cy) / 2;
    if (const std::optional<POINT> glyph = GlyphAt(source, selected, checked, pressed)) {
        ::BitBlt(dc, cell.left, glyphTop, glyphSize_.cx, glyphSize_.cy, atlas_.dc(), glyph->x, glyph->y, SRCCOPY);
    }
    RECT label{cell.left + glyphSize_.cx + Px(kCaptionGap), cell.top, cell.right, cell.bottom};
    // Set here, not by the callers: a held box is drawn straight onto the back buffer, which still
    // holds whatever colour the last row painted there left behind.
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, TextColour(selected));
    const HGDIOBJ previous = ::SelectObject(dc, boldFont_.get());
    ::DrawTextW(dc, model_.BoxCaption(box).c_str(), -1, &label, kCaptionFormat);
    ::SelectObject(dc, previous);
}

std::optional<POINT> ListboxControl::StripAt(HDC dc, const std::array<RECT, kRowBoxCount>& cells, bool selected,
                                             unsigned checkedMask) const {
    const int count = model_.BoxCount();
    const int width = cells[static_cast<size_t>(count - 1)].right - cells.front().left;
    const int height = cells.front().bottom - cells.front().top;
    bool fresh = false;
    const std::optional<POINT> at = AtlasSlot(dc, AtlasKey{2, selected, checkedMask, width, height}, &fresh);
    if (at && fresh) {
        HDC atlas = atlas_.dc();
        RECT all{at->x, at->y, at->x + width, at->y + height};
        ::FillRect(atlas, &all, BackBrush(selected));
        for (int b = 0; b < count; ++b) {
            RECT cell = cells[static_cast<size_t>(b)];
            ::OffsetRect(&cell, at->x - cells.front().left, at->y - cells.front().top);
            DrawBox(atlas, dc, cell, static_cast<RowBox>(b), selected, (checkedMask >> b) & 1u, false);
        }
    }
    return at;
}

void ListboxControl::PaintBoxes(HDC dc, int row, bool selected) const {
    std::array<RECT, kRowBoxCount> cells{};
    unsigned checkedMask = 0;
    const int count = model_.BoxCount();
    for (int b = 0; b < count; ++b) {
        cells[static_cast<size_t>(b)] = ElementPixels(row, ElementOf(static_cast<RowBox>(b)));
        if (model_.IsChecked(row, static_cast<RowBox>(b))) {
            checkedMask |= 1u << b;
        }
    }
    const bool pressedHere = press_ && press_->over && press_->row == row;
    // A row's boxes look one of a handful of ways; each look is drawn once and copied from then
    // on, which keeps theme drawing and text out of scrolling.
    const std::optional<POINT> strip = pressedHere ? std::nullopt : StripAt(dc, cells, selected, checkedMask);
    if (strip) {
        ::BitBlt(dc, cells.front().left, cells.front().top,
                 cells[static_cast<size_t>(count - 1)].right - cells.front().left,
                 cells.front().bottom - cells.front().top, atlas_.dc(), strip->x, strip->y, SRCCOPY);
        return;
    }
    for (int b = 0; b < count; ++b) {
        const auto box = static_cast<RowBox>(b);
        DrawBox(dc, dc, cells[static_cast<size_t>(b)], box, selected, (checkedMask >> b) & 1u,
                pressedHere && press_->box == box);
    }
}

void ListboxControl::Paint(HDC dc, const RECT& area) const {
    ::FillRect(dc, &area, BackBrush(false));
    ::SetBkMode(dc, TRANSPARENT);
    const bool focused = HasFocus();
    const bool focusShown = focused && !(::SendMessageW(hwnd_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    if (model_.ListCount() == 0) {
        if (focused) {
            // With no box to carry it, the focus mark goes round the list.
            RECT client{};
            ::GetClientRect(surface_, &client);
            client.right = Px(model_.ScrollBarLeft());
            ::InflateRect(&client, -1, -1);
            ::DrawFocusRect(dc, &client);
        }
        return;
    }
    // The rows the area meets: found in twips with a pixel to spare, then kept only if their bands
    // in pixels really meet it, so a strip scrolled into view costs the rows it shows and no more.
    const long long offset = model_.ScrollOffset();
    const long long top = std::llround(PixelsToTwips(area.top - 1, dpi_)) + offset;
    const long long bottom = std::llround(PixelsToTwips(area.bottom + 1, dpi_)) + offset;
    const long long pitch = list_geometry::kRowPitch;
    const int first = static_cast<int>(std::max<long long>(0, top / pitch));
    const int end = static_cast<int>(std::min<long long>(model_.ListCount(), (bottom + pitch - 1) / pitch));
    std::vector<int> rows;
    for (int row = first; row < end; ++row) {
        const RECT band = RowBand(row);
        if (band.bottom > area.top && band.top < area.bottom) {
            rows.push_back(row);
        }
    }
    // In passes by font: selecting a font costs settings lookups on some platforms, so each font
    // is selected once per paint, not once per row.
    // Icons and boxes come from one bitmap that stays selected in its own DC: selecting a bitmap
    // costs settings lookups on some platforms, as selecting a font does.
    PrepareAtlas(dc);
    for (int row : rows) {
        const bool selected = model_.HighlightVisible() && row == model_.SelectedItem();
        const RECT band = RowBand(row);
        ::FillRect(dc, &band, BackBrush(selected));
        if (const std::optional<POINT> icon = IconAt(dc, selected)) {
            const RECT at = ElementPixels(row, RowElement::Icon);
            const int size = ::MulDiv(kIconSize, static_cast<int>(dpi_), 96);
            ::BitBlt(dc, at.left, at.top, size, size, atlas_.dc(), icon->x, icon->y, SRCCOPY);
        }
        PaintBoxes(dc, row, selected);
    }
    const HGDIOBJ previousFont = ::SelectObject(dc, boldFont_.get());
    for (int row : rows) {
        ::SetTextColor(dc, TextColour(model_.HighlightVisible() && row == model_.SelectedItem()));
        // Ended with an ellipsis before the boxes when long; the whole name is still the row's value.
        RECT name = ElementPixels(row, RowElement::ValueName);
        ::DrawTextW(dc, TextOf(dc, row).name.lines.front().c_str(), -1, &name, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX);
        if (focusShown && model_.FocusRow() == row) {
            const RECT cell = ElementPixels(row, ElementOf(model_.FocusBox()));
            RECT focus{cell.left + glyphSize_.cx + Px(kCaptionGap), cell.top, cell.right, cell.bottom};
            ::DrawTextW(dc, model_.BoxCaption(model_.FocusBox()).c_str(), -1, &focus, kCaptionFormat | DT_CALCRECT);
            focus.top = cell.top;
            focus.bottom = cell.bottom;
            ::InflateRect(&focus, 1, 0);
            ::DrawFocusRect(dc, &focus);
        }
    }
    ::SelectObject(dc, regularFont_.get());
    for (int row : rows) {
        ::SetTextColor(dc, TextColour(model_.HighlightVisible() && row == model_.SelectedItem()));
        // Wrapped at spaces, ended with an ellipsis where the label is full.
        const RECT description = ElementPixels(row, RowElement::Description);
        RECT line = description;
        for (const std::wstring& text : TextOf(dc, row).description.lines) {
            line.bottom = line.top + lineHeight_;
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX);
            line.top = line.bottom;
        }
    }
    ::SelectObject(dc, previousFont);
}

// --- accessibility and drivers ----------------------------------------------------------------

IAccessible* ListboxControl::AccessibleObject() {
    const AccessibilityApi* api = LoadAccessibilityApi();
    if (!api) {
        return nullptr;
    }
    if (!accessible_) {
        IAccessible* standard = nullptr;
        if (FAILED(api->createStdAccessibleObject(hwnd_, OBJID_CLIENT, __uuidof(IAccessible),
                                                  reinterpret_cast<void**>(&standard)))) {
            standard = nullptr;
        }
        accessible_ = new (std::nothrow) ListboxAccessible(this, standard, *api);
        if (standard) {
            standard->Release();
        }
        if (!accessible_) {
            return nullptr;
        }
    }
    accessible_->AddRef();
    return accessible_;
}

LRESULT ListboxControl::OnGetObject(WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT)) {
        return ::DefWindowProcW(hwnd_, WM_GETOBJECT, wParam, lParam);
    }
    IAccessible* object = AccessibleObject();
    if (!object) {
        return 0;
    }
    const LRESULT result = LoadAccessibilityApi()->lresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release();
    return result;
}

LRESULT ListboxControl::OnCopyData(HWND requester, const COPYDATASTRUCT& data) const {
    if (data.dwData != kListSnapshotRequest || !::IsWindow(requester)) {
        return FALSE;
    }
    const std::wstring text = Snapshot();
    COPYDATASTRUCT reply{};
    reply.dwData = kListSnapshotReply;
    reply.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    reply.lpData = const_cast<wchar_t*>(text.data());
    // A driver that hangs must not hang the program with it.
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(requester, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd_), reinterpret_cast<LPARAM>(&reply),
                          SMTO_ABORTIFHUNG, 5000, &result);
    return TRUE;
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
            DropGlyphs();
            UpdateDpi();
            CreateFonts();
            ApplyLayout();
            return 0;
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(hwnd_, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, BackBrush(false));
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
        case WM_KILLFOCUS:
            hasFocus_ = message == WM_SETFOCUS;
            // The focus mark comes and goes with the focus.
            if (surface_) {
                if (model_.ListCount() == 0) {
                    ::InvalidateRect(surface_, nullptr, FALSE);
                } else {
                    InvalidateRow(model_.FocusRow());
                }
            }
            if (message == WM_SETFOCUS) {
                NotifyFocusItem();
            }
            return 0;
        case WM_UPDATEUISTATE:
            if (surface_) {
                ::InvalidateRect(surface_, nullptr, FALSE);
            }
            break;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTTAB;
        case WM_KEYDOWN:
            if (OnKey(static_cast<UINT>(wParam))) {
                return 0;
            }
            break;
        case WM_CHAR:
            // Space and Tab are keys of the list, not characters.
            if (wParam == L' ' || wParam == L'\t') {
                return 0;
            }
            break;
        case WM_GETOBJECT:
            return OnGetObject(wParam, lParam);
        case kUpdateScrollBarMessage:
            barUpdatePosted_ = false;
            if (lockDepth_ == 0) {
                UpdateScrollBar();
            }
            return 0;
        case WM_COPYDATA:
            return OnCopyData(reinterpret_cast<HWND>(wParam), *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETFONTSMOOTHING || wParam == SPI_SETFONTSMOOTHINGTYPE || wParam == 0) {
                DropGlyphs();
                CreateFonts();
                ::InvalidateRect(surface_, nullptr, FALSE);
            }
            break;
        case WM_THEMECHANGED:
        case WM_SYSCOLORCHANGE:
            // The cached check marks carry the old theme and the old highlight colour.
            DropGlyphs();
            ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            break;
        case WM_DESTROY:
            DropGlyphs();
            if (tooltip_) {
                ::DestroyWindow(tooltip_);
                tooltip_ = nullptr;
            }
            if (accessible_) {
                accessible_->Disconnect();
                accessible_->Release();
                accessible_ = nullptr;
            }
            break;
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
    try {
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONUP && message != WM_MOUSEWHEEL) {
            MSG mouse{};
            mouse.hwnd = surface;
            mouse.message = message;
            mouse.wParam = wParam;
            mouse.lParam = lParam;
            UpdateToolTip(mouse);
        }
        switch (message) {
        case WM_ERASEBKGND:
            return 1; // WM_PAINT covers everything
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            HDC dc = ::BeginPaint(surface, &ps);
            const int width = ps.rcPaint.right - ps.rcPaint.left;
            const int height = ps.rcPaint.bottom - ps.rcPaint.top;
            RECT client{};
            ::GetClientRect(surface, &client);
            // Drawn off screen and copied in one piece, so a row never shows half painted. The
            // buffer is kept from paint to paint: making one costs more than painting a strip.
            if (width > 0 && height > 0 && backBuffer_.Ensure(dc, client.right, client.bottom)) {
                HDC back = backBuffer_.dc();
                ::SetViewportOrgEx(back, -ps.rcPaint.left, -ps.rcPaint.top, nullptr);
                Paint(back, ps.rcPaint);
                ::SetViewportOrgEx(back, 0, 0, nullptr);
                ::BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, width, height, back, 0, 0, SRCCOPY);
            } else if (width > 0 && height > 0) {
                Paint(dc, ps.rcPaint);
            }
            ::EndPaint(surface, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            OnButtonDown(at, WM_LBUTTONUP, true);
            return 0;
        case WM_RBUTTONDOWN:
            OnButtonDown(at, WM_RBUTTONUP, false);
            return 0;
        case WM_MBUTTONDOWN:
            OnButtonDown(at, WM_MBUTTONUP, false);
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(at);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            OnButtonUp(at, message);
            return 0;
        case WM_CAPTURECHANGED:
            if (press_ && reinterpret_cast<HWND>(lParam) != surface_) {
                InvalidateRow(press_->row);
                press_.reset();
            }
            return 0;
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcW(surface, message, wParam, lParam);
}

} // namespace runsweep
