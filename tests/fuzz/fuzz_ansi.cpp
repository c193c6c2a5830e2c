// The Windows-1252 decoder against an independent statement of the code page: one character per
// byte, ASCII and Latin-1 unchanged, 0x80-0x9F through the table, and no two bytes alike.
#include "catalogue/ansi.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// 0x80 to 0x9F as Windows decodes them; the five undefined bytes stay as C1 controls.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t Expected(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : char32_t{byte};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = runsweep::DecodeWindows1252(bytes);
    if (text.size() != bytes.size()) {
        std::fprintf(stderr, "decoded %zu bytes to %zu characters\n", bytes.size(), text.size());
        std::abort();
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char32_t>(text[i]) != Expected(data[i])) {
            std::fprintf(stderr, "byte 0x%02X at %zu decoded to U+%04X\n", data[i], i, static_cast<unsigned>(text[i]));
            std::abort();
        }
    }
    return 0;
}
