// The decoders behind custom.txt's encodings, on sequences where decoders commonly go wrong.
#include "catalogue/text_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace runsweep {
namespace {

constexpr wchar_t kBad = 0xFFFD;

// Wide text from code points: on Windows those beyond U+FFFF take two units.
std::wstring Wide(std::u32string_view codePoints) {
    std::wstring text;
    for (const char32_t c : codePoints) {
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
    }
    return text;
}

TEST(DecodeUtf8, EachIllFormedPartBecomesOneReplacementCharacter) {
    // Unicode's own example of maximal subparts: 61 F1 80 80 E1 80 C2 62 80 63 80 BF 64.
    bool wellFormed = true;
    EXPECT_EQ(DecodeUtf8("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", &wellFormed),
              (std::wstring{L'a', kBad, kBad, kBad, L'b', kBad, L'c', kBad, kBad, L'd'}));
    EXPECT_FALSE(wellFormed);

    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"overlong two-byte NUL", "\xC0\x80", {kBad, kBad}},
        {"overlong three-byte slash", "\xE0\x80\xAF", {kBad, kBad, kBad}},
        {"overlong four-byte", "\xF0\x8F\xBF\xBF", {kBad, kBad, kBad, kBad}},
        {"encoded surrogate", "\xED\xA0\x80", {kBad, kBad, kBad}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {kBad, kBad, kBad, kBad}},
        {"bytes that never occur", "\xF5\xFE\xFF", {kBad, kBad, kBad}},
        {"cut by the end", "a\xE2\x82", {L'a', kBad}},
        {"lone continuation",
         "\x80"
         "a",
         {kBad, L'a'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wellFormed = true;
        EXPECT_EQ(DecodeUtf8(c.bytes, &wellFormed), c.text);
        EXPECT_FALSE(wellFormed);
    }
}

TEST(DecodeUtf8, TheEdgesOfEachLengthDecode) {
    bool wellFormed = false;
    const std::wstring text = DecodeUtf8("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"
                                         "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
                                         &wellFormed);
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(text, Wide(U"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF"));
    if constexpr (sizeof(wchar_t) == 2) {
        EXPECT_EQ(text.substr(7), (std::wstring{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDC00),
                                                static_cast<wchar_t>(0xDBFF), static_cast<wchar_t>(0xDFFF)}));
    }
}

TEST(DecodeUtf16, ByteOrderPairsAndLoneHalves) {
    EXPECT_EQ(DecodeUtf16(std::string("\x14\x04"
                                      "a\0",
                                      4),
                          false),
              L"\u0414a");
    EXPECT_EQ(DecodeUtf16(std::string("\x04\x14\0a", 4), true), L"\u0414a");
    const std::wstring pair = DecodeUtf16(std::string("\x3D\xD8\x00\xDE", 4), false);
    EXPECT_EQ(pair, Wide(U"\U0001F600"));
    EXPECT_EQ(pair.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    // Halves out of order or alone stay as they are.
    EXPECT_EQ(DecodeUtf16(std::string("\x00\xDE\x3D\xD8", 4), false),
              (std::wstring{static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)}));
    EXPECT_EQ(DecodeUtf16("a", false), std::wstring(1, kBad));
    EXPECT_EQ(DecodeUtf16("", true), L"");
}

TEST(DecodeTextFile, ChoosesByMarkThenByWhetherTheBytesAreUtf8) {
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF"
                             "a")
                  .encoding,
              TextEncoding::Utf8Mark);
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF"
                             "a")
                  .text,
              L"a");
    EXPECT_EQ(DecodeTextFile(std::string("\xFF\xFE"
                                         "a\0",
                                         4))
                  .encoding,
              TextEncoding::Utf16LE);
    EXPECT_EQ(DecodeTextFile(std::string("\xFE\xFF\0a", 4)).encoding, TextEncoding::Utf16BE);
    EXPECT_EQ(DecodeTextFile(std::string("\xFE\xFF\0a", 4)).text, L"a");
    EXPECT_EQ(DecodeTextFile("caf\xC3\xA9").encoding, TextEncoding::Utf8);
    EXPECT_EQ(DecodeTextFile("caf\xC3\xA9").text, L"caf\u00E9");
    EXPECT_EQ(DecodeTextFile("caf\xE9").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DecodeTextFile("plain").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DecodeTextFile("").text, L"");
    // A mark in the middle is text, not a mark.
    EXPECT_EQ(DecodeTextFile("a\xEF\xBB\xBF").text, L"a\uFEFF");
}

} // namespace
} // namespace runsweep
