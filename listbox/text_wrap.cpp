#include "listbox/text_wrap.h"

#include <algorithm>

namespace runsweep {

namespace {

std::wstring_view TrimSpaces(std::wstring_view text, bool front) {
    if (front) {
        const std::size_t first = text.find_first_not_of(L' ');
        return first == std::wstring_view::npos ? std::wstring_view() : text.substr(first);
    }
    const std::size_t last = text.find_last_not_of(L' ');
    return last == std::wstring_view::npos ? std::wstring_view() : text.substr(0, last + 1);
}

// Never more than the text, whatever the measure says.
std::size_t Fits(const TextFit& font, std::wstring_view text, int width) {
    return width <= 0 ? 0 : std::min(font.fit(text, width), text.size());
}

// As much of `text` as fits before an ellipsis, cut at a space when one lies in the second half.
std::wstring Shortened(std::wstring_view text, int width, const TextFit& font, bool atSpace) {
    const std::size_t fits = Fits(font, text, width - font.ellipsisWidth);
    std::size_t end = fits;
    if (atSpace && fits > 0) {
        const std::size_t space = text.substr(0, fits + 1).find_last_of(L' ');
        if (space != std::wstring_view::npos && space > 0 && space * 2 >= fits) {
            end = space;
        }
    }
    return std::wstring(TrimSpaces(text.substr(0, end), false)) + kEllipsis;
}

} // namespace

WrappedText WrapAtSpaces(std::wstring_view text, int width, int maxLines, const TextFit& font) {
    WrappedText wrapped;
    std::wstring_view rest = TrimSpaces(text, true);
    while (!rest.empty()) {
        if (static_cast<int>(wrapped.lines.size()) >= maxLines) {
            wrapped.cut = true;
            break;
        }
        const std::size_t fits = Fits(font, rest, width);
        if (fits >= rest.size()) {
            wrapped.lines.emplace_back(rest);
            break;
        }
        if (static_cast<int>(wrapped.lines.size()) + 1 == maxLines) {
            wrapped.lines.push_back(Shortened(rest, width, font, true));
            wrapped.cut = true;
            break;
        }
        // The last space at which the line can end: the one right after what fits counts too.
        const std::size_t space = rest.substr(0, fits + 1).find_last_of(L' ');
        if (space != std::wstring_view::npos && space > 0) {
            wrapped.lines.emplace_back(TrimSpaces(rest.substr(0, space), false));
            rest = TrimSpaces(rest.substr(space), true);
            continue;
        }
        // One word wider than the line: its beginning, and the next word on the next line.
        const std::size_t wordEnd = std::min(rest.find(L' '), rest.size());
        wrapped.lines.push_back(Shortened(rest.substr(0, wordEnd), width, font, false));
        wrapped.cut = true;
        rest = TrimSpaces(rest.substr(wordEnd), true);
    }
    return wrapped;
}

WrappedText EndWithEllipsis(std::wstring_view text, int width, const TextFit& font) {
    WrappedText one;
    if (Fits(font, text, width) >= text.size()) {
        one.lines.emplace_back(text);
        return one;
    }
    one.lines.push_back(Shortened(text, width, font, false));
    one.cut = true;
    return one;
}

} // namespace runsweep
