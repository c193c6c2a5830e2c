// The system's ANSI code page through the platform's own conversion (CP_ACP).
#include <windows.h>

#include <climits>
#include <cstddef>

#include "catalogue/ansi.h"

namespace runsweep {

namespace {

// The largest piece handed to MultiByteToWideChar at once (its counts are int).
constexpr std::size_t kMaxPiece = 1u << 30;

// Where to cut a piece of at most kMaxPiece bytes: after its last line feed, which is never the
// second byte of a double-byte character, so the cut cannot split a character; the full piece when
// it has none.
std::size_t PieceLength(std::string_view rest) {
    if (rest.size() <= kMaxPiece) {
        return rest.size();
    }
    const std::size_t lastLineFeed = rest.substr(0, kMaxPiece).rfind('\n');
    return lastLineFeed == std::string_view::npos ? kMaxPiece : lastLineFeed + 1;
}

} // namespace

std::wstring DecodeAnsi(std::string_view bytes) {
    std::wstring text;
    while (!bytes.empty()) {
        const std::size_t length = PieceLength(bytes);
        const std::string_view piece = bytes.substr(0, length);
        const int pieceLength = static_cast<int>(piece.size());
        const int needed = ::MultiByteToWideChar(CP_ACP, 0, piece.data(), pieceLength, nullptr, 0);
        if (needed <= 0) {
            return std::wstring(); // not decodable: read as no text
        }
        const std::size_t before = text.size();
        text.resize(before + static_cast<std::size_t>(needed));
        const int written = ::MultiByteToWideChar(CP_ACP, 0, piece.data(), pieceLength, text.data() + before, needed);
        if (written <= 0) {
            return std::wstring();
        }
        text.resize(before + static_cast<std::size_t>(written));
        bytes.remove_prefix(length);
    }
    return text;
}

} // namespace runsweep
