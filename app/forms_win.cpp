#include "app/forms_win.h"

#include "app/common_controls_win.h"
#include "base/palette_win.h"
#include "base/system_library_win.h"
#include "base/twips.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace runsweep {

namespace {

constexpr const wchar_t* kPanelClass = L"Runsweep.Panel";
// Pixels round a link's text that hold its focus mark: the window is that much larger on every
// side, and the text stays where it was designed.
constexpr int kLinkFocusMargin = 1;

std::exception_ptr& PendingFatalError() noexcept {
    static std::exception_ptr error;
    return error;
}

// Functions that only newer systems have, looked up once so the program still starts on older ones.
template <typename Fn> Fn User32Function(const char* name) noexcept {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 ? ::GetProcAddress(user32, name) : nullptr;
    // Through the generic function-pointer type, which every compiler accepts without a warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// The DPI a window on that monitor gets; the screen's when the system cannot tell per monitor.
unsigned MonitorDpi(HMONITOR monitor) noexcept {
    static const GetDpiForMonitorFn getDpiForMonitor = []() noexcept {
        // Kept loaded for the life of the process, as the lookup is.
        HMODULE shcore = LoadSystemLibrary(L"shcore.dll");
        FARPROC proc = shcore ? ::GetProcAddress(shcore, "GetDpiForMonitor") : nullptr;
        return reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void (*)()>(proc));
    }();
    UINT dpiX = 0;
    UINT dpiY = 0;
    constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI
    if (getDpiForMonitor && monitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY)) && dpiY != 0) {
        return dpiY;
    }
    return WindowDpi(nullptr);
}

// The top-left corner that centres a window of that size in the work area, its caption kept on screen.
POINT CentredIn(const RECT& area, SIZE size) noexcept {
    const LONG left = area.left + ((area.right - area.left) - size.cx) / 2;
    const LONG top = area.top + ((area.bottom - area.top) - size.cy) / 2;
    return POINT{left, top > area.top ? top : area.top};
}

struct FontDesign {
    const wchar_t* face;
    double points;
    bool bold;
    bool underline;
};

constexpr std::array<FontDesign, kFontKindCount> kFontDesigns = {{
    {L"MS Sans Serif", 8.25, false, false},
    {L"MS Sans Serif", 8.25, true, false},
    {L"Verdana", 8.25, false, false},
    {L"Verdana", 8.25, true, false},
    {L"Verdana", 8.25, false, true},
    {L"Verdana", 9.75, true, false},
}};

struct ForwardedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

BOOL CALLBACK ForwardToChild(HWND child, LPARAM data) noexcept {
    const auto* forwarded = reinterpret_cast<const ForwardedMessage*>(data);
    ::SendMessageW(child, forwarded->message, forwarded->wParam, forwarded->lParam);
    return TRUE;
}

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

// The frame round a client area of that style at that DPI.
RECT FrameAt(unsigned dpi, DWORD windowStyle, DWORD exStyle) noexcept {
    RECT rect{0, 0, 0, 0};
    static const AdjustWindowRectExForDpiFn adjustForDpi =
        User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&rect, windowStyle, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(&rect, windowStyle, FALSE, exStyle);
    }
    return rect;
}

long long Area(const RECT& a, const RECT& b) noexcept {
    const long long width = std::min(a.right, b.right) - std::max(a.left, b.left);
    const long long height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoW(monitor, &info)) {
        auto* monitors = reinterpret_cast<std::vector<MonitorArea>*>(data);
        const MonitorArea area{info.rcWork, MonitorDpi(monitor)};
        if (info.dwFlags & MONITORINFOF_PRIMARY) {
            monitors->insert(monitors->begin(), area);
        } else {
            monitors->push_back(area);
        }
    }
    return TRUE;
}

std::optional<SavedPlacement> ReadPlacement(const std::wstring& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kWindowPlacementKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::array<wchar_t, 96> text{};
    DWORD type = 0;
    DWORD size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    const LSTATUS status =
        ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring_view value(text.data(), size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.remove_suffix(1);
    }
    return ParsePlacement(value);
}

} // namespace

std::wstring FormatPlacement(const SavedPlacement& placement) {
    const RECT& r = placement.rect;
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
           std::to_wstring(r.bottom - r.top) + L"," + std::to_wstring(placement.dpi) + L"," +
           (placement.maximized ? L"1" : L"0");
}

std::optional<SavedPlacement> ParsePlacement(std::wstring_view text) {
    std::array<long long, 6> numbers{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != L',') {
                return std::nullopt;
            }
            ++at;
        }
        const bool negative = at < text.size() && text[at] == L'-';
        at += negative ? 1 : 0;
        const std::size_t digits = at;
        long long value = 0;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && at - digits < 7) {
            value = value * 10 + (text[at] - L'0');
            ++at;
        }
        if (at == digits) {
            return std::nullopt;
        }
        numbers[i] = negative ? -value : value;
    }
    // Wider than any desktop, or a DPI no system uses: not a place this program kept.
    constexpr long long kLargest = 100000;
    const auto [left, top, width, height, dpi, maximized] = numbers;
    if (at != text.size() || std::llabs(left) > kLargest || std::llabs(top) > kLargest || width <= 0 ||
        width > kLargest || height <= 0 || height > kLargest || dpi < 48 || dpi > 1920 || maximized < 0 ||
        maximized > 1) {
        return std::nullopt;
    }
    SavedPlacement placement;
    placement.rect = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + width),
                          static_cast<LONG>(top + height)};
    placement.dpi = static_cast<unsigned>(dpi);
    placement.maximized = maximized == 1;
    return placement;
}

RECT RestoredRect(const SavedPlacement& saved, const std::vector<MonitorArea>& monitors,
                  const std::function<SIZE(unsigned dpi)>& minimumAt) {
    if (monitors.empty()) {
        return saved.rect;
    }
    std::size_t best = 0;
    long long shown = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (const long long area = Area(saved.rect, monitors[i].work); area > shown) {
            shown = area;
            best = i;
        }
    }
    const MonitorArea& monitor = monitors[best];
    const RECT& work = monitor.work;
    const SIZE minimum = minimumAt(monitor.dpi);
    const auto fit = [](long long saved, unsigned savedDpi, unsigned dpi, LONG least, LONG room) {
        const long long scaled = saved * dpi / (savedDpi ? savedDpi : dpi);
        return static_cast<LONG>(std::max<long long>(least, std::min<long long>(scaled, room)));
    };
    const LONG width =
        fit(saved.rect.right - saved.rect.left, saved.dpi, monitor.dpi, minimum.cx, work.right - work.left);
    const LONG height =
        fit(saved.rect.bottom - saved.rect.top, saved.dpi, monitor.dpi, minimum.cy, work.bottom - work.top);
    POINT corner{saved.rect.left, saved.rect.top};
    if (shown == 0) {
        corner = CentredIn(work, SIZE{width, height});
    }
    // Inside the work area, its top-left corner first: the caption is what the user grabs.
    corner.x = std::max(work.left, std::min(corner.x, work.right - width));
    corner.y = std::max(work.top, std::min(corner.y, work.bottom - height));
    return RECT{corner.x, corner.y, corner.x + width, corner.y + height};
}

int FontHeightForPoints(double points, unsigned dpi) noexcept {
    return -static_cast<int>(std::lround(points * static_cast<double>(dpi) / 72.0));
}

void FontSet::Create(unsigned dpi) {
    // Every control selects its font at each paint.
    const BYTE quality = FontSmoothingQuality();
    std::array<UniqueFont, kFontKindCount> created;
    for (std::size_t i = 0; i < kFontKindCount; ++i) {
        const FontDesign& design = kFontDesigns[i];
        created[i].reset(::CreateFontW(FontHeightForPoints(design.points, dpi), 0, 0, 0,
                                       design.bold ? FW_BOLD : FW_NORMAL, FALSE, design.underline ? TRUE : FALSE, FALSE,
                                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality,
                                       DEFAULT_PITCH | FF_SWISS, design.face));
        if (!created[i]) {
            throw std::runtime_error("The program could not create the fonts of its windows.");
        }
    }
    fonts_ = std::move(created);
    dpi_ = dpi;
}

void ReportFatalError(std::exception_ptr error) noexcept {
    if (!PendingFatalError()) {
        PendingFatalError() = std::move(error);
    }
    ::PostQuitMessage(1);
}

void RethrowFatalError() {
    if (std::exception_ptr error = std::exchange(PendingFatalError(), nullptr)) {
        std::rethrow_exception(error);
    }
}

namespace {

struct ModalDisabled {
    HWND self;
    std::vector<HWND> windows;
};

// A named callback: a lambda does not convert to the calling convention of 32-bit Windows.
BOOL CALLBACK CollectInputWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<ModalDisabled*>(param);
    if (window != state->self && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        state->windows.push_back(window);
    }
    return TRUE;
}

// One message through dialog navigation of its top-level window, or translated and dispatched.
void ProcessMessage(MSG& msg) noexcept {
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && ::IsDialogMessageW(root, &msg)) {
        return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

} // namespace

int RunMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            throw std::runtime_error("The program's message queue failed.");
        }
        if (got == 0) {
            break;
        }
        ProcessMessage(msg);
    }
    RethrowFatalError();
    return static_cast<int>(msg.wParam);
}

// --- Form ---------------------------------------------------------------------------------------

Form::~Form() {
    if (hwnd_) {
        // No virtual handler may run from here on: the derived part is gone.
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
}

void Form::RegisterClasses() {
    static bool registered = false;
    if (registered) {
        return;
    }
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW form{};
    form.cbSize = sizeof(form);
    form.lpfnWndProc = &Form::WindowProc;
    form.hInstance = instance;
    form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    form.lpszClassName = kFormClassName;
    // Every form shows the program's icon. Given to the class, the window has it from the start:
    // setting it on the window afterwards makes the system pass both icon images to the window
    // manager once per icon.
    form.hIcon =
        static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                        ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    form.hIconSm =
        static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof(panel);
    panel.lpfnWndProc = &Form::PanelProc;
    panel.hInstance = instance;
    panel.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    panel.lpszClassName = kPanelClass;
    if (!::RegisterClassExW(&form) || !::RegisterClassExW(&panel)) {
        throw std::runtime_error("The program could not register its window classes.");
    }
    registered = true;
}

void Form::Create(const FormStyle& style, HWND owner) {
    if (hwnd_) {
        return;
    }
    RegisterClasses();
    style_ = style;
    unloaded_ = false;
    DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (style.sizableFrame) {
        windowStyle |= WS_THICKFRAME;
    }
    if (style.minimizeBox) {
        windowStyle |= WS_MINIMIZEBOX;
    }
    if (style.maximizeBox) {
        windowStyle |= WS_MAXIMIZEBOX;
    }
    // Made where it will stand and at its final size, at that monitor's DPI: moving and sizing a
    // window once it exists costs a round of messages each.
    constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
    RECT restored{};
    unsigned plannedDpi = 0;
    const bool restoring = PlanRestoredPlacement(windowStyle, kExStyle, restored, plannedDpi);
    SIZE plannedSize{restored.right - restored.left, restored.bottom - restored.top};
    POINT plannedCorner{restored.left, restored.top};
    if (!restoring) {
        // The window that opened it may stand on another monitor than the primary one: the user
        // looks there.
        HMONITOR monitor = owner ? ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                                 : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        plannedDpi = MonitorDpi(monitor);
        plannedSize = OuterSizeAt(plannedDpi, windowStyle, kExStyle);
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        plannedCorner = POINT{static_cast<LONG>(CW_USEDEFAULT), static_cast<LONG>(CW_USEDEFAULT)};
        if (::GetMonitorInfoW(monitor, &info)) {
            plannedCorner = CentredIn(info.rcWork, plannedSize);
        }
    }
    HWND created = ::CreateWindowExW(kExStyle, kFormClassName, style.caption.c_str(), windowStyle, plannedCorner.x,
                                     plannedCorner.y, plannedSize.cx, plannedSize.cy, owner, nullptr,
                                     ::GetModuleHandleW(nullptr), this);
    if (!created) {
        throw std::runtime_error("The program could not create one of its windows.");
    }
    const unsigned dpi = WindowDpi(hwnd_);
    fonts_.Create(dpi);
    if (restoring && dpi != plannedDpi) {
        // The system scales windows of this program its own way: the kept place stays, the size is
        // at least the designed one at the DPI the window got.
        const SIZE outer = OuterSizePx();
        ::SetWindowPos(hwnd_, nullptr, 0, 0, std::max<LONG>(plannedSize.cx, outer.cx),
                       std::max<LONG>(plannedSize.cy, outer.cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (!restoring && (dpi != plannedDpi || plannedCorner.x == CW_USEDEFAULT)) {
        // The system put the window elsewhere than planned: size it for where it is.
        const SIZE outer = OuterSizePx();
        ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        CenterOnScreen();
    }
    ::GetWindowRect(hwnd_, &normalRect_);
    // Each control is placed as it is made, at this DPI and size: nothing to lay out again here.
    OnCreateControls();
    OnLoad();
    loaded_ = true;
}

bool Form::PlanRestoredPlacement(DWORD windowStyle, DWORD exStyle, RECT& rect, unsigned& dpi) {
    openMaximized_ = false;
    if (style_.placementName.empty()) {
        return false;
    }
    const std::optional<SavedPlacement> saved = ReadPlacement(style_.placementName);
    std::vector<MonitorArea> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (!saved || monitors.empty()) {
        return false;
    }
    rect = RestoredRect(*saved, monitors,
                        [&](unsigned monitorDpi) { return OuterSizeAt(monitorDpi, windowStyle, exStyle); });
    dpi = MonitorDpi(::MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY));
    openMaximized_ = saved->maximized && (windowStyle & WS_MAXIMIZEBOX);
    return true;
}

int Form::ShowCommand() const noexcept {
    return openMaximized_ ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
}

void Form::TrackPlacement() noexcept {
    if (!hwnd_ || !shown_ || ::IsIconic(hwnd_)) {
        return;
    }
    maximized_ = ::IsZoomed(hwnd_) != FALSE;
    if (!maximized_) {
        ::GetWindowRect(hwnd_, &normalRect_);
    }
}

void Form::SavePlacement() noexcept {
    if (style_.placementName.empty() || !shown_ || !hwnd_ || ::IsRectEmpty(&normalRect_)) {
        return;
    }
    try {
        SavedPlacement placement;
        placement.rect = normalRect_;
        placement.dpi = Dpi();
        placement.maximized = maximized_;
        const std::wstring text = FormatPlacement(placement);
        HKEY key = nullptr;
        // A place on the screen is not worth a word to the user when it cannot be kept.
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kWindowPlacementKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExW(key, style_.placementName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(key);
        }
    } catch (...) {
    }
}

void Form::ShowModeless() {
    if (!hwnd_) {
        return;
    }
    ::ShowWindow(hwnd_, ShowCommand());
    shown_ = true;
    TrackPlacement();
    RaiseResize();
    ::UpdateWindow(hwnd_);
}

void Form::ShowModal() {
    if (!hwnd_) {
        return;
    }
    // Every other window of the thread that takes input now, re-enabled when this one unloads.
    ModalDisabled disabled{hwnd_, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectInputWindow, reinterpret_cast<LPARAM>(&disabled));
    for (HWND window : disabled.windows) {
        ::EnableWindow(window, FALSE);
    }
    modalDisabled_ = std::move(disabled.windows);
    modal_ = true;
    ::ShowWindow(hwnd_, ShowCommand());
    shown_ = true;
    TrackPlacement();
    RaiseResize();
    ::UpdateWindow(hwnd_);
    MSG msg{};
    while (hwnd_) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        ProcessMessage(msg);
    }
    if (hwnd_) {
        // Left by WM_QUIT: the program is ending; leave nothing disabled behind.
        Close();
    }
    modal_ = false;
}

void Form::Close() noexcept {
    if (hwnd_) {
        const bool outer = closingItself_;
        closingItself_ = true;
        ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
        closingItself_ = outer;
    }
}

Form::CloseDeferral::CloseDeferral(Form& form) noexcept : form_(form) {
    ++form_.closeDeferrals_;
}

Form::CloseDeferral::~CloseDeferral() {
    if (--form_.closeDeferrals_ == 0 && form_.closePending_) {
        form_.closePending_ = false;
        form_.Close();
    }
}

int Form::Px(double twips) const noexcept {
    return TwipsToPixels(twips, Dpi());
}

SIZE Form::OuterSizePx() const noexcept {
    return OuterSizeAt(Dpi() ? Dpi() : WindowDpi(hwnd_), static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                       static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
}

SIZE Form::OuterSizeAt(unsigned dpi, DWORD windowStyle, DWORD exStyle) const noexcept {
    if (style_.outerWidth > 0 && style_.outerHeight > 0) {
        return SIZE{TwipsToPixels(style_.outerWidth, dpi), TwipsToPixels(style_.outerHeight, dpi)};
    }
    const RECT frame = FrameAt(dpi, windowStyle, exStyle);
    return SIZE{TwipsToPixels(style_.clientWidth, dpi) + (frame.right - frame.left),
                TwipsToPixels(style_.clientHeight, dpi) + (frame.bottom - frame.top)};
}

SIZE Form::DesignClientPx() const noexcept {
    const unsigned dpi = Dpi() ? Dpi() : WindowDpi(hwnd_);
    if (style_.outerWidth > 0 && style_.outerHeight > 0) {
        const RECT frame = FrameAt(dpi, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                                   static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
        const SIZE outer = OuterSizePx();
        return SIZE{outer.cx - (frame.right - frame.left), outer.cy - (frame.bottom - frame.top)};
    }
    return SIZE{TwipsToPixels(style_.clientWidth, dpi), TwipsToPixels(style_.clientHeight, dpi)};
}

SIZE Form::GrowthPx() const noexcept {
    if (!style_.growable || !hwnd_ || ::IsIconic(hwnd_)) {
        return SIZE{0, 0};
    }
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const SIZE design = DesignClientPx();
    return SIZE{std::max<LONG>(0, client.right - design.cx), std::max<LONG>(0, client.bottom - design.cy)};
}

void Form::PlaceGrowing() {
    for (auto& control : controls_) {
        const Growth& g = control->growth;
        if (!control->container && (g.left != 0 || g.top != 0 || g.width != 0 || g.height != 0)) {
            PlaceControl(*control);
        }
    }
}

COLORREF Form::BackColor() noexcept {
    return BackgroundColour(Surface::Face);
}

bool Form::HoldsOuterSize() const noexcept {
    // A sizable window of a fixed outer size springs back; a fixed frame cannot be dragged anyway.
    return style_.outerWidth > 0 && style_.outerHeight > 0 && !style_.growable;
}

bool Form::HasMinimumSize() const noexcept {
    return HoldsOuterSize() || style_.growable;
}

void Form::CenterOnScreen() noexcept {
    RECT window{};
    ::GetWindowRect(hwnd_, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        return;
    }
    const POINT corner = CentredIn(monitor.rcWork, SIZE{window.right - window.left, window.bottom - window.top});
    ::SetWindowPos(hwnd_, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Controls -------------------------------------------------------------------------------------

Form::Control& Form::NewControl(ControlKind kind, HWND container, const ControlRect& rect, FontKind font) {
    auto control = std::make_unique<Control>();
    control->kind = kind;
    control->container = container;
    control->rect = rect;
    control->font = font;
    controls_.push_back(std::move(control));
    return *controls_.back();
}

HWND Form::CreateChild(Control& control, const wchar_t* className, const std::wstring& text, DWORD style,
                       DWORD exStyle) {
    HWND parent = control.container ? control.container : hwnd_;
    const int id = nextControlId_++;
    // Made in its place and at its size: moving it afterwards costs a round of messages.
    const RECT bounds = ControlBounds(control, text);
    HWND child =
        ::CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, bounds.left, bounds.top,
                          bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!child) {
        controls_.pop_back();
        throw std::runtime_error("The program could not create a control of its window.");
    }
    control.hwnd = child;
    SetControlFont(control);
    return child;
}

HWND Form::AddLabel(const std::wstring& text, const ControlRect& rect, FontKind font, LabelSize size, HWND container) {
    Control& control = NewControl(ControlKind::Label, container, rect, font);
    control.size = size;
    const DWORD align = size == LabelSize::Auto ? SS_LEFTNOWORDWRAP : SS_LEFT;
    return CreateChild(control, WC_STATICW, text, WS_VISIBLE | align | SS_NOPREFIX);
}

HWND Form::AddLinkLabel(const std::wstring& text, const ControlRect& rect, std::function<void()> onClick,
                        HWND container) {
    Control& control = NewControl(ControlKind::LinkLabel, container, rect, FontKind::VerdanaUnderline);
    control.onClick = std::move(onClick);
    // SS_NOTIFY: without it a static control lets the mouse through and never reports a click.
    HWND hwnd =
        CreateChild(control, WC_STATICW, text, WS_VISIBLE | WS_TABSTOP | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY);
    // A static control knows nothing of keys or of a focus mark; the link learns both here.
    const CommonControlsApi& controls = CommonControls();
    if (!controls.Loaded() || !controls.setWindowSubclass(hwnd, &Form::LinkLabelProc, 0, 0)) {
        throw std::runtime_error("The program could not make a link of its window reachable by keyboard.");
    }
    return hwnd;
}

HWND Form::AddButton(const std::wstring& text, const ControlRect& rect, FontKind font, std::function<void()> onClick,
                     HWND container) {
    Control& control = NewControl(ControlKind::Button, container, rect, font);
    control.onClick = std::move(onClick);
    // BS_NOTIFY: the form hears when the button gains and loses the focus, and moves the default
    // button's border with it.
    return CreateChild(control, WC_BUTTONW, text, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY);
}

HWND Form::AddPanel(const ControlRect& rect, bool visible, HWND container) {
    Control& control = NewControl(ControlKind::Panel, container, rect, FontKind::Default);
    // WS_EX_CONTROLPARENT: Tab goes on into the panel's own controls.
    HWND hwnd =
        CreateChild(control, kPanelClass, L"", WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0), WS_EX_CONTROLPARENT);
    // The panel covers whatever lies below it, so it sits on top of its siblings.
    ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hwnd;
}

HWND Form::AddImage(int iconResource, const ControlRect& rect, HWND container) {
    Control& control = NewControl(ControlKind::Image, container, rect, FontKind::Default);
    control.iconResource = iconResource;
    HWND hwnd = CreateChild(control, WC_STATICW, L"", WS_VISIBLE | SS_ICON | SS_CENTERIMAGE);
    LoadImageFor(control);
    // An icon may size the control to itself: it takes its box again.
    PlaceControl(control);
    return hwnd;
}

HWND Form::AddCustomControl(const wchar_t* className, const ControlRect& rect, DWORD style, HWND container) {
    Control& control = NewControl(ControlKind::Custom, container, rect, FontKind::Default);
    return CreateChild(control, className, L"", style);
}

void Form::SetGrowth(HWND hwnd, const Growth& growth) {
    if (Control* control = FindControl(hwnd)) {
        control->growth = growth;
        PlaceControl(*control);
    }
}

void Form::SetVisible(HWND control, bool visible) noexcept {
    ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void Form::SetEnabled(HWND control, bool enabled) noexcept {
    ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void Form::LoadImageFor(Control& control) {
    const int width = Px(control.rect.width);
    const int height = Px(control.rect.height);
    UniqueIcon icon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(control.iconResource),
                                                    IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
    ::SendMessageW(control.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
    control.icon = std::move(icon);
}

RECT Form::ControlBounds(const Control& control, const std::wstring& text) const {
    const int left = Px(control.rect.left);
    const int top = Px(control.rect.top);
    int width = Px(control.rect.width);
    int height = Px(control.rect.height);
    const bool autoSize = (control.kind == ControlKind::Label && control.size == LabelSize::Auto) ||
                          control.kind == ControlKind::LinkLabel;
    if (autoSize) {
        // The label takes the size of its text in its own font. A memory DC measures as the
        // label's own would, and needs no window.
        UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
        if (dc) {
            SelectObjectScope font(dc.get(), fonts_.Get(control.font));
            RECT measured{0, 0, 0, 0};
            ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measured,
                        DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
            width = measured.right - measured.left;
            height = measured.bottom - measured.top;
        }
    }
    RECT bounds{left, top, left + width, top + height};
    if (!control.container) {
        const SIZE growth = GrowthPx();
        const Growth& g = control.growth;
        ::OffsetRect(&bounds, static_cast<int>(std::lround(growth.cx * g.left)),
                     static_cast<int>(std::lround(growth.cy * g.top)));
        bounds.right += static_cast<LONG>(std::lround(growth.cx * g.width));
        bounds.bottom += static_cast<LONG>(std::lround(growth.cy * g.height));
    }
    if (control.kind == ControlKind::LinkLabel) {
        ::InflateRect(&bounds, kLinkFocusMargin, kLinkFocusMargin);
    }
    return bounds;
}

void Form::PlaceControl(Control& control) {
    const RECT bounds = ControlBounds(control, WindowText(control.hwnd));
    ::SetWindowPos(control.hwnd, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::PlaceAll() {
    for (auto& control : controls_) {
        SetControlFont(*control);
        if (control->kind == ControlKind::Image) {
            LoadImageFor(*control);
        }
        PlaceControl(*control);
    }
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form::SetControlFont(const Control& control) noexcept {
    // Panels and custom controls choose their own fonts.
    if (control.kind == ControlKind::Label || control.kind == ControlKind::LinkLabel ||
        control.kind == ControlKind::Button) {
        ::SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.Get(control.font)), FALSE);
    }
}

Form::Control* Form::FindControl(HWND hwnd) noexcept {
    for (auto& control : controls_) {
        if (control->hwnd == hwnd) {
            return control.get();
        }
    }
    return nullptr;
}

Surface Form::ContainerSurface(HWND container) const noexcept {
    if (container) {
        for (const auto& control : controls_) {
            if (control->hwnd == container && control->kind == ControlKind::Panel) {
                return Surface::Window;
            }
        }
    }
    return Surface::Face;
}

HBRUSH Form::ContainerBrush(HWND container) const noexcept {
    return BackgroundBrush(ContainerSurface(container));
}

// --- Messages -------------------------------------------------------------------------------------

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Form* form = nullptr;
    if (message == WM_NCCREATE) {
        form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!form) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK Form::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND root = ::GetAncestor(hwnd, GA_ROOT);
    auto* form = root ? reinterpret_cast<Form*>(::GetWindowLongPtrW(root, GWLP_USERDATA)) : nullptr;
    if (form) {
        switch (message) {
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(hwnd, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, form->ContainerBrush(hwnd));
            return 1;
        }
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_DRAWITEM:
            // The panel's children belong to the form, which handles their notifications.
            return form->HandleMessage(message, wParam, lParam);
        default:
            break;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    HWND hwnd = hwnd_;
    try {
        return Dispatch(message, wParam, lParam);
    } catch (...) {
        ReportFatalError(std::current_exception());
    }
    return hwnd && ::IsWindow(hwnd) ? ::DefWindowProcW(hwnd, message, wParam, lParam) : 0;
}

bool Form::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK Form::LinkLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter belongs to the link that has the focus, not to the window's default button.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        const LRESULT code = CommonControls().defSubclassProc(hwnd, message, wParam, lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
            return code | DLGC_WANTMESSAGE;
        }
        return code;
    }
    case WM_KEYDOWN:
        if ((wParam == VK_RETURN || wParam == VK_SPACE) && !(lParam & (1L << 30))) {
            // The same notification as a click, so the form runs the same handler. Held down, the
            // key opens the page once.
            ::SendMessageW(::GetParent(hwnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd), STN_CLICKED),
                           reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L' ' || wParam == L'\r') {
            return 0;
        }
        break;
    case WM_PAINT: {
        // The text as the static control draws it, moved in by the margin that holds the focus mark,
        // so that the mark never runs over the text or its underline.
        PAINTSTRUCT ps{};
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT client{};
        ::GetClientRect(hwnd, &client);
        auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
            ::GetParent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
        ::FillRect(dc, &client, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
        POINT origin{};
        ::SetViewportOrgEx(dc, kLinkFocusMargin, kLinkFocusMargin, &origin);
        CommonControls().defSubclassProc(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        ::SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        if (::GetFocus() == hwnd && !(::SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
            ::DrawFocusRect(dc, &client);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        const LRESULT result = CommonControls().defSubclassProc(hwnd, message, wParam, lParam);
        if (message == WM_SETFOCUS) {
            // Only the keyboard brings the focus to a link, so its mark is wanted from now on.
            ::SendMessageW(::GetAncestor(hwnd, GA_ROOT), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        }
        ::InvalidateRect(hwnd, nullptr, FALSE);
        return result;
    }
    case WM_UPDATEUISTATE:
        ::InvalidateRect(hwnd, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        CommonControls().removeWindowSubclass(hwnd, &Form::LinkLabelProc, id);
        break;
    default:
        break;
    }
    return CommonControls().defSubclassProc(hwnd, message, wParam, lParam);
}

HWND Form::InitialFocus() {
    return ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
}

void Form::SaveFocus() noexcept {
    HWND focus = ::GetFocus();
    if (focus == hwnd_) {
        focus_ = nullptr;
    } else if (focus && ::IsChild(hwnd_, focus)) {
        focus_ = focus;
    }
    // No focus at all says nothing: the system takes it away on the way to a minimized window.
}

void Form::RestoreFocus() noexcept {
    HWND target = focus_ && ::IsWindow(focus_) && ::IsChild(hwnd_, focus_) && ::IsWindowVisible(focus_) &&
                          ::IsWindowEnabled(focus_)
                      ? focus_
                      : nullptr;
    if (!target) {
        try {
            target = InitialFocus();
        } catch (...) {
            target = nullptr;
        }
    }
    if (!target) {
        target = hwnd_;
    }
    if (::GetFocus() != target) {
        ::SetFocus(target);
    }
}

void Form::ShowDefaultButton(HWND focused) noexcept {
    for (const auto& control : controls_) {
        if (control->kind != ControlKind::Button) {
            continue;
        }
        const bool wanted = focused ? control->hwnd == focused : ::GetDlgCtrlID(control->hwnd) == defaultId_;
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(control->hwnd, GWL_STYLE));
        const bool shown = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        if (wanted != shown) {
            const DWORD type = wanted ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            ::SendMessageW(control->hwnd, BM_SETSTYLE, (LOWORD(style) & ~BS_TYPEMASK) | type, TRUE);
        }
    }
}

LRESULT Form::DefaultButtonId() const noexcept {
    // The button with the focus, whatever its style says at this moment: the system's Tab handling
    // takes every button's default style away and then asks which one should have it.
    HWND focus = ::GetFocus();
    for (const auto& control : controls_) {
        if (control->kind == ControlKind::Button && control->hwnd == focus) {
            return MAKELRESULT(::GetDlgCtrlID(control->hwnd), DC_HASDEFID);
        }
    }
    return defaultId_ ? MAKELRESULT(defaultId_, DC_HASDEFID) : 0;
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
    case WM_COMMAND: {
        Control* source = lParam != 0 ? FindControl(reinterpret_cast<HWND>(lParam)) : nullptr;
        if (source && source->kind == ControlKind::Button &&
            (HIWORD(wParam) == BN_SETFOCUS || HIWORD(wParam) == BN_KILLFOCUS)) {
            ShowDefaultButton(HIWORD(wParam) == BN_SETFOCUS ? source->hwnd : nullptr);
            return 0;
        }
        // BN_CLICKED and STN_CLICKED are both 0. BS_NOTIFY turns a button's second click of a
        // double click into BN_DOUBLECLICKED; it is a click all the same.
        const bool clicked = HIWORD(wParam) == BN_CLICKED ||
                             (HIWORD(wParam) == BN_DOUBLECLICKED && source && source->kind == ControlKind::Button);
        if (clicked && lParam != 0) {
            if (Control* control = source; control && control->onClick) {
                // A copy: the handler may close the window, which destroys the control.
                const std::function<void()> onClick = control->onClick;
                onClick();
            }
            return 0;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const Control* control = FindControl(reinterpret_cast<HWND>(lParam));
        if (!control) {
            break;
        }
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetBkMode(dc, TRANSPARENT);
        const Ink ink = !::IsWindowEnabled(control->hwnd)         ? Ink::Disabled
                        : control->kind == ControlKind::LinkLabel ? Ink::Link
                                                                  : Ink::Text;
        ::SetTextColor(dc, InkColour(ink, ContainerSurface(control->container)));
        return reinterpret_cast<LRESULT>(ContainerBrush(control->container));
    }
    case WM_SETCURSOR: {
        const Control* control = FindControl(reinterpret_cast<HWND>(wParam));
        if (control && control->kind == ControlKind::LinkLabel && LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_GETMINMAXINFO: {
        if (HasMinimumSize() && Dpi() != 0) {
            const SIZE outer = OuterSizePx();
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{outer.cx, outer.cy};
            if (HoldsOuterSize()) {
                info->ptMaxTrackSize = POINT{outer.cx, outer.cy};
            }
            return 0;
        }
        break;
    }
    case WM_WINDOWPOSCHANGING: {
        // Whatever asks for another size (a drag, a program, a restore), the window keeps its own,
        // or at least its designed one: the system holds only drags to the tracking sizes.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (HasMinimumSize() && Dpi() != 0 && !(pos->flags & SWP_NOSIZE) && !::IsIconic(hwnd_) && !::IsZoomed(hwnd_)) {
            const SIZE outer = OuterSizePx();
            pos->cx = HoldsOuterSize() ? outer.cx : std::max<int>(pos->cx, outer.cx);
            pos->cy = HoldsOuterSize() ? outer.cy : std::max<int>(pos->cy, outer.cy);
        }
        break;
    }
    case WM_MOVE:
        TrackPlacement();
        break;
    case WM_SIZE:
        TrackPlacement();
        if (wParam != SIZE_MINIMIZED && style_.growable && loaded_) {
            PlaceGrowing();
        }
        if (wParam != SIZE_MINIMIZED && ::GetActiveWindow() == hwnd_) {
            // Restored while active: some systems give the focus to no window at all then.
            HWND focus = ::GetFocus();
            if (!focus || focus == hwnd_) {
                RestoreFocus();
            }
        }
        if (loaded_ && ::IsWindowVisible(hwnd_)) {
            OnResize();
        }
        break;
    case WM_DPICHANGED: {
        // The old fonts stay alive until every control has been given the new ones.
        FontSet previous = std::move(fonts_);
        fonts_.Create(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        PlaceAll();
        OnDpiChanged();
        return 0;
    }
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE: {
        // Only top-level windows hear of these, and the controls keep fonts and colours of their own.
        ForwardedMessage forwarded{message, wParam, lParam};
        ::EnumChildWindows(hwnd_, &ForwardToChild, reinterpret_cast<LPARAM>(&forwarded));
        if (message == WM_SETTINGCHANGE && (wParam == SPI_SETFONTSMOOTHING || wParam == SPI_SETFONTSMOOTHINGTYPE)) {
            // The fonts carry the smoothing they were made with.
            FontSet previous = std::move(fonts_);
            fonts_.Create(previous.Dpi());
            PlaceAll();
        } else if (message == WM_SYSCOLORCHANGE) {
            // Labels and panels paint with the colours of the moment, but only when asked to.
            ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        }
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            SaveFocus();
            break;
        }
        if (HIWORD(wParam) != 0 || ::IsIconic(hwnd_)) {
            // Minimized: the focus comes back when the window is restored (WM_SETFOCUS or WM_SIZE).
            break;
        }
        RestoreFocus();
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            // Before the system takes the focus away from a window going to its minimized state.
            SaveFocus();
        }
        break;
    case WM_SETFOCUS:
        // The system gives an activated or restored window the focus itself; it belongs to a control.
        if (!::IsIconic(hwnd_)) {
            RestoreFocus();
        }
        return 0;
    case DM_GETDEFID:
        return DefaultButtonId();
    case DM_SETDEFID: {
        defaultId_ = static_cast<int>(wParam);
        HWND focus = ::GetFocus();
        const Control* focused = focus ? FindControl(focus) : nullptr;
        ShowDefaultButton(focused && focused->kind == ControlKind::Button ? focus : nullptr);
        return TRUE;
    }
    case WM_CLOSE:
        if (closeDeferrals_ > 0 && !closingItself_) {
            closePending_ = true;
            return 0;
        }
        closePending_ = false;
        Unload();
        ::DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        Unload();
        break;
    case WM_NCDESTROY: {
        const LRESULT done = ::DefWindowProcW(hwnd_, message, wParam, lParam);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        loaded_ = false;
        focus_ = nullptr;
        controls_.clear();
        return done;
    }
    default:
        break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form::RaiseResize() noexcept {
    try {
        OnResize();
    } catch (...) {
        ReportFatalError(std::current_exception());
    }
}

void Form::Unload() noexcept {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    SavePlacement();
    if (modal_) {
        // Before the window goes, so activation returns to the program's window and not elsewhere.
        for (HWND window : modalDisabled_) {
            ::EnableWindow(window, TRUE);
        }
        modalDisabled_.clear();
    }
    try {
        OnUnload();
    } catch (...) {
        ReportFatalError(std::current_exception());
    }
}

// --- Message boxes ----------------------------------------------------------------------------------

UINT MessageBoxStyle(MessageIcon icon) noexcept {
    switch (icon) {
    case MessageIcon::Information:
        return MB_OK | MB_ICONINFORMATION;
    case MessageIcon::Error:
        return MB_OK | MB_ICONERROR;
    case MessageIcon::None:
        break;
    }
    return MB_OK;
}

std::wstring FitMessageToScreen(HWND owner, std::size_t total,
                                const std::function<std::wstring(std::size_t)>& compose) {
    const std::wstring whole = compose(total);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    HMONITOR handle = owner ? ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                            : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        // Systems before Vista know the structure without its last member.
        metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    }
    if (!::GetMonitorInfoW(handle, &monitor)) {
        return whole;
    }
    const UniqueFont font(::CreateFontIndirectW(&metrics.lfMessageFont));
    const UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    if (!font || !dc) {
        return whole;
    }
    const SelectObjectScope selected(dc.get(), font.get());
    const unsigned dpi = WindowDpi(nullptr);
    const RECT& work = monitor.rcWork;
    // Measured at least as narrow as message boxes lay their text out (Wine's wraps it at about 250
    // pixels), so lines wrap here at least as often as there; the rest of the box (caption, margins,
    // the band with OK) is allowed for generously.
    const int width = std::min<int>((work.right - work.left) / 2, ::MulDiv(220, static_cast<int>(dpi), 96));
    const int room = (work.bottom - work.top) - ::GetSystemMetrics(SM_CYCAPTION) -
                     2 * ::GetSystemMetrics(SM_CYFIXEDFRAME) - ::MulDiv(120, static_cast<int>(dpi), 96);
    const auto fits = [&](const std::wstring& text) {
        RECT bounds{0, 0, width, 0};
        ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &bounds,
                    DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        return bounds.bottom <= room;
    };
    if (fits(whole)) {
        return whole;
    }
    // The most entries that fit: compose(0) names none and has to do when even that is too tall.
    std::size_t low = 0;
    std::size_t high = total;
    while (low + 1 < high) {
        const std::size_t middle = low + (high - low) / 2;
        (fits(compose(middle)) ? low : high) = middle;
    }
    return compose(low);
}

void MessageBoxSink::ShowMessage(const std::wstring& text, MessageIcon icon) {
    HWND owner = owner_ && ::IsWindow(owner_) ? owner_ : nullptr;
    // Whatever the message, its box and OK button stay on the screen.
    std::vector<std::wstring> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L'\n', start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end + 1 - start));
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    const std::wstring shown = FitMessageToScreen(owner, lines.size(), [&](std::size_t count) {
        std::wstring kept;
        for (std::size_t i = 0; i < count; ++i) {
            kept += lines[i];
        }
        return count < lines.size() ? kept + L"\u2026" : kept;
    });
    ::MessageBoxW(owner, shown.c_str(), kApplicationTitle, MessageBoxStyle(icon) | (owner ? 0 : MB_TASKMODAL));
}

} // namespace runsweep
