#pragma once
// What a window shows, read back as pixels: its background and the text drawn on it. The contrast
// is measured from the pixels, as a reader meets them, whatever colours the code meant to use.
#include <windows.h>

#include <cmath>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace runsweep::test {

// The pixels of a rectangle of the window's client area once everything pending is painted, as
// 0x00BBGGRR values, row after row.
inline std::vector<COLORREF> PixelsOf(HWND window, const RECT& r) {
    ::UpdateWindow(window);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    std::vector<COLORREF> colours;
    if (width <= 0 || height <= 0) {
        return colours;
    }
    HDC dc = ::GetDC(window);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(dc);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, dc, r.left, r.top, SRCCOPY);
    const auto* bytes = static_cast<const BYTE*>(bits);
    for (int i = 0; i < width * height; ++i) {
        colours.push_back(RGB(bytes[i * 4 + 2], bytes[i * 4 + 1], bytes[i * 4]));
    }
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    ::DeleteObject(bitmap);
    ::ReleaseDC(window, dc);
    return colours;
}

// The colour most pixels have: the background behind a line of text.
inline COLORREF MostCommon(const std::vector<COLORREF>& pixels) {
    std::map<COLORREF, int> counts;
    COLORREF best = 0;
    int most = 0;
    for (const COLORREF c : pixels) {
        if (++counts[c] > most) {
            most = counts[c];
            best = c;
        }
    }
    return best;
}

// WCAG 2's contrast ratio, computed here from its definition rather than taken from the program.
inline double MeasuredContrast(COLORREF a, COLORREF b) {
    const auto luminance = [](COLORREF c) {
        const auto linear = [](BYTE v) {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) + 0.0722 * linear(GetBValue(c));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

// The pixel that stands out most from the background: the text's own colour where its strokes are
// solid, or the background itself where nothing readable was drawn.
inline COLORREF InkOf(const std::vector<COLORREF>& pixels, COLORREF background) {
    COLORREF ink = background;
    for (const COLORREF c : pixels) {
        if (MeasuredContrast(c, background) > MeasuredContrast(ink, background)) {
            ink = c;
        }
    }
    return ink;
}

// Colours of a scheme set for the test process and every window, and put back when it ends.
class SchemeForTest {
public:
    SchemeForTest(std::initializer_list<std::pair<int, COLORREF>> colours) {
        for (const auto& [index, colour] : colours) {
            indices_.push_back(index);
            saved_.push_back(::GetSysColor(index));
            wanted_.push_back(colour);
        }
        ::SetSysColors(static_cast<int>(indices_.size()), indices_.data(), wanted_.data());
    }
    SchemeForTest(const SchemeForTest&) = delete;
    SchemeForTest& operator=(const SchemeForTest&) = delete;
    ~SchemeForTest() { ::SetSysColors(static_cast<int>(indices_.size()), indices_.data(), saved_.data()); }

private:
    std::vector<int> indices_;
    std::vector<COLORREF> saved_;
    std::vector<COLORREF> wanted_;
};

} // namespace runsweep::test
