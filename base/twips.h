#pragma once
// Window and control geometry is designed in twips (1440 to the inch, 15 to the pixel at 96 dpi).
// Every conversion to device pixels goes through this one function, with the window's own DPI.
#include <cmath>

namespace runsweep {

inline constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(double twips, unsigned dpi) {
    return static_cast<int>(std::lround(twips * static_cast<double>(dpi) / kTwipsPerInch));
}

inline double PixelsToTwips(int pixels, unsigned dpi) {
    return dpi == 0 ? 0.0 : static_cast<double>(pixels) * kTwipsPerInch / static_cast<double>(dpi);
}

} // namespace runsweep
