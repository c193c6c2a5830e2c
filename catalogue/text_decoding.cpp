#include "catalogue/text_decoding.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "catalogue/ansi.h"

namespace runsweep {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

void Append(std::wstring& text, char32_t codePoint) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint > 0xFFFF) {
            codePoint -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
            text += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
            return;
        }
    }
    text += static_cast<wchar_t>(codePoint);
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

std::wstring DecodeUtf8(std::string_view bytes, bool* wellFormed) {
    std::wstring text;
    text.reserve(bytes.size());
    bool clean = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        // The sequence's length and the range its second byte must lie in, which excludes overlong
        // forms, surrogates and code points beyond U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        char32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t taken = 1;
        bool complete = length != 0;
        while (complete && taken < length) {
            if (i + taken >= bytes.size()) {
                complete = false;
                break;
            }
            const auto next = static_cast<unsigned char>(bytes[i + taken]);
            const bool fits = taken == 1 ? next >= low && next <= high : IsContinuation(next);
            if (!fits) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
            ++taken;
        }
        if (complete) {
            Append(text, codePoint);
        } else {
            clean = false;
            Append(text, kReplacement);
        }
        i += taken;
    }
    if (wellFormed) {
        *wellFormed = clean;
    }
    return text;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text;
    text.reserve(bytes.size() / 2 + 1);
    const auto unitAt = [&](std::size_t at) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (char32_t{first} << 8) | second : (char32_t{second} << 8) | first;
    };
    std::size_t i = 0;
    while (i + 1 < bytes.size()) {
        const char32_t unit = unitAt(i);
        i += 2;
        if constexpr (sizeof(wchar_t) != 2) {
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < bytes.size()) {
                const char32_t next = unitAt(i);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                    i += 2;
                    continue;
                }
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    if (i < bytes.size()) {
        text += static_cast<wchar_t>(kReplacement);
    }
    return text;
}

DecodedText DecodeTextFile(std::string_view bytes) {
    DecodedText decoded;
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        decoded.encoding = TextEncoding::Utf8Mark;
        decoded.text = DecodeUtf8(bytes.substr(kUtf8Mark.size()));
        return decoded;
    }
    if (bytes.substr(0, kUtf16LEMark.size()) == kUtf16LEMark || bytes.substr(0, kUtf16BEMark.size()) == kUtf16BEMark) {
        const bool bigEndian = bytes[0] == kUtf16BEMark[0];
        decoded.encoding = bigEndian ? TextEncoding::Utf16BE : TextEncoding::Utf16LE;
        decoded.text = DecodeUtf16(bytes.substr(2), bigEndian);
        return decoded;
    }
    bool multiByte = false;
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            multiByte = true;
            break;
        }
    }
    if (multiByte) {
        bool wellFormed = false;
        std::wstring text = DecodeUtf8(bytes, &wellFormed);
        if (wellFormed) {
            decoded.encoding = TextEncoding::Utf8;
            decoded.text = std::move(text);
            return decoded;
        }
    }
    decoded.text = DecodeAnsi(bytes);
    return decoded;
}

} // namespace runsweep
