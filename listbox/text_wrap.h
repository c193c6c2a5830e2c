#pragma once
// Breaking a row's text into the lines its label has room for. Lines break at spaces only, never
// inside a word or a command-line argument; what does not fit ends with an ellipsis, and the caller
// offers the whole text another way (a tool tip).
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace runsweep {

inline constexpr wchar_t kEllipsis[] = L"\u2026";

// How the label's font measures: how many leading characters of a text fit in a width, and how
// wide the ellipsis is.
struct TextFit {
    std::function<std::size_t(std::wstring_view text, int width)> fit;
    int ellipsisWidth = 0;
};

struct WrappedText {
    std::vector<std::wstring> lines;
    bool cut = false; // something of the text is not shown
};

// At most `maxLines` lines no wider than `width`. A word wider than a line has a line of its own,
// ended with an ellipsis; text left over after the last line ends that line with an ellipsis, at a
// space when one lies in the line's second half.
WrappedText WrapAtSpaces(std::wstring_view text, int width, int maxLines, const TextFit& font);

// One line: the text whole when it fits, else as much as fits followed by an ellipsis.
WrappedText EndWithEllipsis(std::wstring_view text, int width, const TextFit& font);

} // namespace runsweep
