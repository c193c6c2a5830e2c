#pragma once
// Decoding of custom.txt's bytes: the file may be written in the ANSI code page, as UTF-8 (with or
// without a byte-order mark) or as UTF-16 with a mark, as the editors in use write it.
#include <string>
#include <string_view>

namespace runsweep {

enum class TextEncoding {
    Ansi,     // the system's ANSI code page (DecodeAnsi)
    Utf8,     // UTF-8 without a mark: valid throughout, with at least one multi-byte sequence
    Utf8Mark, // UTF-8 after the mark EF BB BF
    Utf16LE,  // UTF-16 little-endian after the mark FF FE
    Utf16BE,  // UTF-16 big-endian after the mark FE FF
};

struct DecodedText {
    TextEncoding encoding = TextEncoding::Ansi;
    std::wstring text;
};

// Chooses the encoding and decodes, the mark not included in the text:
// - a UTF-8 mark: UTF-8, each ill-formed part of a sequence U+FFFD (as the system's own conversion);
// - a UTF-16 mark: UTF-16 of that byte order; unpaired surrogates are kept as they are (the registry
//   holds any UTF-16 units, so such a name can still match), and an odd last byte becomes U+FFFD;
// - no mark, valid UTF-8 holding at least one multi-byte sequence: UTF-8;
// - anything else: the ANSI code page, as ever. (Text of ASCII only reads the same in either.)
// Where wchar_t holds whole code points (not on Windows) surrogate pairs become one code point.
DecodedText DecodeTextFile(std::string_view bytes);

// UTF-8 to wide text, each ill-formed part of a sequence (a maximal subpart, as Unicode recommends)
// to one U+FFFD. Sets wellFormed, when given, to whether there was none.
std::wstring DecodeUtf8(std::string_view bytes, bool* wellFormed = nullptr);

// UTF-16 units, two bytes each in the given byte order, to wide text; an odd last byte to U+FFFD.
std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian);

} // namespace runsweep
