// custom.txt as bytes -> decoded text -> catalogue entries, checking what must hold for any file:
// one slot per line, nothing stored that a line could not hold, built-in entries untouched, and the
// user told once per bad line.
#include "base/message_sink.h"
#include "catalogue/ansi.h"
#include "catalogue/catalogue.h"
#include "catalogue/custom_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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
    std::size_t corrupt = 0;
    std::size_t empty = 0;
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = runsweep::DecodeWindows1252(bytes);
    Check(text.size() == bytes.size(), "the 1252 decoding changed the number of characters");

    Catalogue catalogue;
    runsweep::BuildCatalogue(catalogue);
    CountingSink sink;
    runsweep::LoadCustomList(text, catalogue, sink);

    // Lines, counted here independently of the loader: pieces between CR LF pairs.
    std::size_t lines = 0;
    if (!text.empty()) {
        lines = 1;
        for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2)) {
            ++lines;
        }
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
            Check(field.find(L"\r\n") == std::wstring_view::npos, "a stored field holds CR LF");
        }
    }
    // Every line is exactly one of: empty, an entry, or reported once as corrupt.
    std::size_t emptyLines = 0;
    std::size_t start = 0;
    for (std::size_t n = 0; n < lines; ++n) {
        const std::size_t end = text.find(L"\r\n", start);
        const std::size_t length = (end == std::wstring::npos ? text.size() : end) - start;
        if (length == 0) {
            ++emptyLines;
        }
        start = end == std::wstring::npos ? text.size() : end + 2;
    }
    Check(filled + sink.corrupt + emptyLines == lines, "a line was neither loaded, reported nor empty");
    return 0;
}
