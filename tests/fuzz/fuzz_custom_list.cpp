// custom.txt as bytes -> decoded text -> catalogue entries, checking what must hold for any file:
// the encoding chosen as the file's mark and bytes call for, the text encoding back to exactly the
// file's bytes where they were well formed, one slot per line (every LF ends one), nothing stored
// that a line could not hold, built-in entries untouched, and the user told once per bad line, with
// its number.
#include "base/message_sink.h"
#include "catalogue/ansi.h"
#include "catalogue/catalogue.h"
#include "catalogue/custom_list.h"
#include "catalogue/text_decoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using runsweep::Catalogue;
using runsweep::MessageIcon;

class CountingSink : public runsweep::MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override {
        if (icon != MessageIcon::Error) {
            Fail("a custom-list message without the error icon");
        }
        if (text == runsweep::kCorruptEntryMessage) {
            ++corrupt;
        } else if (text == runsweep::kCustomListEmptyMessage) {
            ++empty;
        } else {
            Fail("an unexpected message");
        }
    }
    [[noreturn]] static void Fail(const char* what) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
    void ShowLineMessage(const std::wstring& text, MessageIcon icon, std::size_t number,
                         std::wstring_view line) override {
        ShowMessage(text, icon);
        lines.emplace_back(number, std::wstring(line));
    }
    std::size_t corrupt = 0;
    std::size_t empty = 0;
    std::vector<std::pair<std::size_t, std::wstring>> lines; // every line message: its number and text
};

void Check(bool condition, const char* what) {
    if (!condition) {
        CountingSink::Fail(what);
    }
}

const Catalogue& BuiltIn() {
    static const Catalogue catalogue = [] {
        Catalogue c;
        runsweep::BuildCatalogue(c);
        return c;
    }();
    return catalogue;
}

// Independent encoders: wide text back to bytes. Where wchar_t is 16 bits a surrogate pair is one
// code point in UTF-8; elsewhere a code point beyond U+FFFF is a pair in UTF-16.
std::string EncodeUtf8(const std::wstring& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            static_cast<char32_t>(text[i + 1]) >= 0xDC00 && static_cast<char32_t>(text[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

std::string EncodeUtf16(const std::wstring& text, bool bigEndian) {
    std::string bytes;
    const auto unit = [&](char32_t u) {
        const char high = static_cast<char>(u >> 8);
        const char low = static_cast<char>(u & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    for (const wchar_t w : text) {
        const auto c = static_cast<char32_t>(w);
        if (c > 0xFFFF) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return bytes;
}

bool HasHighByte(std::string_view bytes) {
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            return true;
        }
    }
    return false;
}

// The encoding chosen, and the text against the bytes it came from.
void CheckDecoding(std::string_view bytes, const runsweep::DecodedText& decoded) {
    using runsweep::TextEncoding;
    const std::wstring& text = decoded.text;
    const bool utf8Mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const bool utf16Mark = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
    switch (decoded.encoding) {
    case TextEncoding::Utf8Mark:
        Check(utf8Mark, "read as UTF-8 after a mark that is not there");
        // Well-formed, it is the bytes exactly; otherwise something was replaced.
        Check(EncodeUtf8(text) == bytes.substr(3) || text.find(L'\uFFFD') != std::wstring::npos,
              "UTF-8 after its mark changed without a replacement character");
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool bigEndian = decoded.encoding == TextEncoding::Utf16BE;
        Check(!utf8Mark && utf16Mark && (bytes[0] == '\xFE') == bigEndian, "read as UTF-16 without its mark");
        std::string_view units = bytes.substr(2);
        std::wstring whole = text;
        if (units.size() % 2 != 0) {
            Check(!whole.empty() && whole.back() == L'\uFFFD', "an odd last byte of UTF-16 was not replaced");
            whole.pop_back();
            units.remove_suffix(1);
        }
        Check(EncodeUtf16(whole, bigEndian) == units, "UTF-16 did not decode to its units");
        break;
    }
    case TextEncoding::Utf8:
        Check(!utf8Mark && !utf16Mark, "a file with a mark read as UTF-8 without one");
        Check(HasHighByte(bytes), "ASCII read as UTF-8");
        Check(EncodeUtf8(text) == bytes, "read as UTF-8 but not well-formed UTF-8");
        break;
    case TextEncoding::Ansi:
        Check(!utf8Mark && !utf16Mark, "a file with a mark read in the ANSI code page");
        Check(text == runsweep::DecodeWindows1252(bytes), "the ANSI decoding is not Windows-1252's");
        // Well-formed UTF-8 survives the way there and back through the decoder; anything else does not.
        Check(!HasHighByte(bytes) || EncodeUtf8(runsweep::DecodeUtf8(bytes)) != bytes,
              "well-formed UTF-8 with non-ASCII characters read in the ANSI code page");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const runsweep::DecodedText decoded = runsweep::DecodeTextFile(bytes);
    CheckDecoding(bytes, decoded);
    const std::wstring& text = decoded.text;

    Catalogue catalogue;
    runsweep::BuildCatalogue(catalogue);
    CountingSink sink;
    runsweep::LoadCustomList(text, catalogue, sink);

    // Lines, counted here independently of the loader: every LF ends one.
    std::size_t lines = text.empty() ? 0 : 1;
    for (const wchar_t c : text) {
        lines += c == L'\n' ? 1 : 0;
    }
    Check(catalogue.size() == runsweep::FirstCustomIndex() + lines, "the catalogue did not grow by one slot per line");
    Check(sink.empty == (text.empty() ? 1u : 0u), "\"Custom list is empty.\" shown wrongly");

    const Catalogue& builtIn = BuiltIn();
    for (std::size_t i = 0; i < runsweep::FirstCustomIndex(); ++i) {
        Check(catalogue.StartupNames[i] == builtIn.StartupNames[i], "a built-in name changed");
        Check(catalogue.StartupDescriptions[i] == builtIn.StartupDescriptions[i], "a built-in description changed");
        Check(catalogue.IsPrefixAt(i) == builtIn.IsPrefixAt(i), "a built-in pattern flag changed");
    }

    std::size_t filled = 0;
    for (std::size_t i = runsweep::FirstCustomIndex(); i < catalogue.size(); ++i) {
        const std::wstring_view name = catalogue.StartupNames[i];
        const std::wstring_view description = catalogue.StartupDescriptions[i];
        Check(name.empty() == description.empty(), "a slot with only one of name and description");
        Check(!catalogue.IsPrefixAt(i), "a custom entry became a pattern");
        if (name.empty()) {
            continue;
        }
        ++filled;
        for (const std::wstring_view field : {name, description}) {
            Check(field.find(L',') == std::wstring_view::npos, "a stored field holds a comma");
            Check(field.find(L'\n') == std::wstring_view::npos, "a stored field holds a line end");
            Check(field.find(L'\0') == std::wstring_view::npos, "a stored field holds a NUL");
        }
    }
    // Every line is exactly one of: empty (nothing, or one CR before its LF), an entry, or reported
    // once as corrupt, with its own number and text.
    std::size_t emptyLines = 0;
    std::vector<std::wstring_view> lineTexts;
    std::size_t start = 0;
    for (std::size_t n = 0; n < lines; ++n) {
        const std::size_t end = text.find(L'\n', start);
        std::wstring_view line =
            std::wstring_view(text).substr(start, end == std::wstring::npos ? text.npos : end - start);
        if (end != std::wstring::npos && !line.empty() && line.back() == L'\r') {
            line.remove_suffix(1);
        }
        emptyLines += line.empty() ? 1 : 0;
        lineTexts.push_back(line);
        start = end == std::wstring::npos ? text.size() : end + 1;
    }
    Check(sink.lines.size() == sink.corrupt, "a corrupt entry reported without its line");
    for (std::size_t k = 0; k < sink.lines.size(); ++k) {
        const std::size_t number = sink.lines[k].first;
        Check(number >= 1 && number <= lines, "a message names a line that is not there");
        Check(k == 0 || number > sink.lines[k - 1].first, "messages out of line order");
        Check(sink.lines[k].second == lineTexts[number - 1], "a message shows another text than its line's");
        Check(catalogue.StartupNames[runsweep::FirstCustomIndex() + number - 1].empty(), "a reported line was loaded");
    }
    Check(filled + sink.corrupt + emptyLines == lines, "a line was neither loaded, reported nor empty");
    return 0;
}
