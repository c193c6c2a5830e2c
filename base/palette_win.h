#pragma once
// The one place the windows take their colours from: the user's colour scheme, read afresh at every
// paint, so a change of scheme (high contrast among them) reaches every window with the next
// WM_SYSCOLORCHANGE repaint. Nothing here is cached: the system replaces its colour brushes when the
// colours change.
//
// Each text is drawn on one of three backgrounds, and no text falls below kLeastContrast on it. A
// link whose hot-tracking colour does not read on its background (Wine's default scheme has a light
// grey there, meant for hover fills: 1.3:1 on white) is drawn in the links' designed blue where that
// reads, else in the background's own text colour; any text whose scheme colours do not read, in
// black or white.
#include <windows.h>

#include <algorithm>
#include <cmath>

namespace runsweep {

// Where text is drawn.
enum class Surface {
    Face,      // the windows themselves: the 3-D face colour
    Window,    // the lists and the panels over them: the window colour
    Selection, // the selected row: the highlight colour
};

// What kind of text.
enum class Ink {
    Text,
    Link,     // the hot-tracking (hot-light) colour
    Disabled, // grey text
};

inline constexpr double kLeastContrast = 3.0;
// What links looked like before they followed the scheme; only a stand-in for an unreadable one.
inline constexpr COLORREF kDesignedLinkColour = RGB(0, 0, 192);

// WCAG 2's relative luminance of an sRGB colour, 0 for black to 1 for white.
inline double RelativeLuminance(COLORREF colour) noexcept {
    const auto channel = [](BYTE value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
           0.0722 * channel(GetBValue(colour));
}

// WCAG 2's contrast ratio, 1 (none) to 21 (black on white), whichever way round.
inline double ContrastRatio(COLORREF a, COLORREF b) noexcept {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// `preferred` when it reads on `background`, else `fallback`, else black or white, whichever reads
// better (one of them always reaches 4.5:1).
inline COLORREF ReadableOn(COLORREF background, COLORREF preferred, COLORREF fallback) noexcept {
    if (ContrastRatio(preferred, background) >= kLeastContrast) {
        return preferred;
    }
    if (ContrastRatio(fallback, background) >= kLeastContrast) {
        return fallback;
    }
    constexpr COLORREF black = RGB(0, 0, 0);
    constexpr COLORREF white = RGB(255, 255, 255);
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

inline int SystemColourOf(Surface surface) noexcept {
    switch (surface) {
    case Surface::Window:
        return COLOR_WINDOW;
    case Surface::Selection:
        return COLOR_HIGHLIGHT;
    case Surface::Face:
        break;
    }
    return COLOR_BTNFACE;
}

inline COLORREF BackgroundColour(Surface surface) noexcept {
    return ::GetSysColor(SystemColourOf(surface));
}

// The system's own brush: never deleted, and not kept beyond the message it was fetched for.
inline HBRUSH BackgroundBrush(Surface surface) noexcept {
    return ::GetSysColorBrush(SystemColourOf(surface));
}

inline COLORREF InkColour(Ink ink, Surface surface) noexcept {
    const COLORREF background = BackgroundColour(surface);
    const COLORREF text = ::GetSysColor(surface == Surface::Window      ? COLOR_WINDOWTEXT
                                        : surface == Surface::Selection ? COLOR_HIGHLIGHTTEXT
                                                                        : COLOR_BTNTEXT);
    switch (ink) {
    case Ink::Link:
        return ReadableOn(background, ::GetSysColor(COLOR_HOTLIGHT), ReadableOn(background, kDesignedLinkColour, text));
    case Ink::Disabled:
        return ReadableOn(background, ::GetSysColor(COLOR_GRAYTEXT), text);
    case Ink::Text:
        break;
    }
    return ReadableOn(background, text, text);
}

} // namespace runsweep
