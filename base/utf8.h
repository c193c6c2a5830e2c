#pragma once
// Wide text to UTF-8 without a byte-order mark: what runsweepc writes to files and pipes, and the
// file names the native build hands to the C library.
#include <string>
#include <string_view>

namespace runsweep {

// UTF-16 surrogate pairs become one character; a surrogate without its partner, or a unit beyond
// U+10FFFF, becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);

} // namespace runsweep
