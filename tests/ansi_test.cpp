// Decoding custom.txt's bytes: the portable Windows-1252 decoder.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/ansi.h"

namespace runsweep {
namespace {

TEST(DecodeWindows1252, AsciiAndLatin1BytesKeepTheirValue) {
    for (int b = 0; b < 256; ++b) {
        if (b >= 0x80 && b <= 0x9F) {
            continue;
        }
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(DecodeWindows1252(byte), std::wstring(1, static_cast<wchar_t>(b))) << b;
    }
    EXPECT_EQ(DecodeWindows1252("\xE9"), L"\u00E9");
    EXPECT_EQ(DecodeWindows1252(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(DecodeWindows1252, TheHighControlRangeAsWindowsDecodesIt) {
    const wchar_t expected[32] = {
        L'\u20AC', L'\u0081', L'\u201A', L'\u0192', L'\u201E', L'\u2026', L'\u2020', L'\u2021',
        L'\u02C6', L'\u2030', L'\u0160', L'\u2039', L'\u0152', L'\u008D', L'\u017D', L'\u008F',
        L'\u0090', L'\u2018', L'\u2019', L'\u201C', L'\u201D', L'\u2022', L'\u2013', L'\u2014',
        L'\u02DC', L'\u2122', L'\u0161', L'\u203A', L'\u0153', L'\u009D', L'\u017E', L'\u0178',
    };
    for (int b = 0x80; b <= 0x9F; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(DecodeWindows1252(byte), std::wstring(1, expected[b - 0x80])) << std::hex << b;
    }
}

TEST(DecodeWindows1252, TheFiveUndefinedBytesBecomeC1Controls) {
    EXPECT_EQ(DecodeWindows1252("\x81\x8D\x8F\x90\x9D"), L"\u0081\u008D\u008F\u0090\u009D");
}

TEST(DecodeWindows1252, OneCharacterPerByte) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    EXPECT_EQ(DecodeWindows1252(bytes).size(), 256u);
    EXPECT_TRUE(DecodeWindows1252("").empty());
}

#ifndef _WIN32
TEST(DecodeAnsi, IsWindows1252InTheNativeBuild) {
    EXPECT_EQ(DecodeAnsi("caf\xE9 \x80"), L"caf\u00E9 \u20AC");
}
#endif

} // namespace
} // namespace runsweep
