// Decoding custom.txt's bytes: the portable Windows-1252 decoder.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/ansi.h"

namespace runsweep {
namespace {

// Every byte against the code page as Windows decodes it: 0x80 to 0x9F through this table (from
// https://www.unicode.org/Public/MAPPINGS/VENDORS/MICSFT/WINDOWS/CP1252.TXT, the five undefined
// bytes kept as C1 controls), every other byte unchanged. The decoder works byte by byte, so the
// 256 bytes alone and in one text (a NUL among them) are every case there is.
TEST(DecodeWindows1252, EveryByteAsWindowsDecodesItOneCharacterEach) {
    const char32_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::string bytes;
    std::wstring expected;
    for (int b = 0; b < 256; ++b) {
        const char32_t c = b >= 0x80 && b <= 0x9F ? high[b - 0x80] : static_cast<char32_t>(b);
        bytes += static_cast<char>(b);
        expected += static_cast<wchar_t>(c);
        EXPECT_EQ(DecodeWindows1252(std::string(1, static_cast<char>(b))), std::wstring(1, static_cast<wchar_t>(c)))
            << std::hex << b;
    }
    EXPECT_EQ(DecodeWindows1252(bytes), expected);
    EXPECT_TRUE(DecodeWindows1252("").empty());
}

#ifndef _WIN32
TEST(DecodeAnsi, IsWindows1252InTheNativeBuild) {
    EXPECT_EQ(DecodeAnsi("caf\xE9 \x80"), L"caf\u00E9 \u20AC");
}
#endif

} // namespace
} // namespace runsweep
