#include "registry/name_case.h"

#include <cstdint>

namespace runsweep {

namespace {

// Upper case for U+0100 to U+017F, where pairs alternate in three runs of different parity.
std::uint32_t UpcaseLatinExtendedA(std::uint32_t c) noexcept {
    const bool odd = (c & 1u) != 0;
    if ((c <= 0x012F || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177)) && odd) {
        return c - 1;
    }
    if (((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) && !odd) {
        return c - 1;
    }
    return c;
}

} // namespace

wchar_t RegistryUpcase(wchar_t ch) noexcept {
    const auto c = static_cast<std::uint32_t>(ch);
    std::uint32_t upper = c;
    if (c >= 'a' && c <= 'z') {
        upper = c - 0x20;
    } else if (c < 0x80) {
        upper = c;
    } else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        upper = c - 0x20;
    } else if (c == 0xFF) {
        upper = 0x0178;
    } else if (c >= 0x0100 && c <= 0x017E) {
        upper = UpcaseLatinExtendedA(c);
    } else if ((c >= 0x03B1 && c <= 0x03C1) || (c >= 0x03C3 && c <= 0x03CB)) {
        upper = c - 0x20;
    } else if (c == 0x03AC) {
        upper = 0x0386;
    } else if (c >= 0x03AD && c <= 0x03AF) {
        upper = c - 0x25;
    } else if (c == 0x03CC) {
        upper = 0x038C;
    } else if (c == 0x03CD || c == 0x03CE) {
        upper = c - 0x3F;
    } else if (c >= 0x0430 && c <= 0x044F) {
        upper = c - 0x20;
    } else if (c >= 0x0450 && c <= 0x045F) {
        upper = c - 0x50;
    } else if (c >= 0xFF41 && c <= 0xFF5A) {
        upper = c - 0x20;
    }
    return static_cast<wchar_t>(upper);
}

std::wstring RegistryUpcase(std::wstring_view name) {
    std::wstring upper(name);
    for (wchar_t& c : upper) {
        c = RegistryUpcase(c);
    }
    return upper;
}

bool RegistryNamesEqual(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (RegistryUpcase(a[i]) != RegistryUpcase(b[i])) {
            return false;
        }
    }
    return true;
}

bool RegistryNameStartsWith(std::wstring_view name, std::wstring_view prefix) noexcept {
    return name.size() >= prefix.size() && RegistryNamesEqual(name.substr(0, prefix.size()), prefix);
}

bool MatchesPrefix(std::wstring_view prefix, std::wstring_view valueName) noexcept {
    return !prefix.empty() && RegistryNameStartsWith(valueName, prefix);
}

std::wstring MatchKey(std::wstring_view name) {
    std::wstring key(name);
    for (wchar_t& ch : key) {
        const auto c = static_cast<std::uint32_t>(ch);
        if (c >= 0x0180 || c == 0xB5 || c == 0xDF) {
            // Outside the range whose case classes are closed (the micro sign's upper case is
            // Greek; some tables give sharp s a capital): any unit may be its equal.
            ch = kMatchWildcard;
        } else if (c == 0x0131) {
            ch = L'I'; // dotless i upper-cases to I in some tables; never stricter to say so
        } else if (c == 0x017F) {
            ch = L'S'; // long s, likewise
        } else {
            ch = RegistryUpcase(ch);
        }
    }
    return key;
}

} // namespace runsweep
