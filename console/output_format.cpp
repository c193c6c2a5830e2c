#include "console/output_format.h"

#include <algorithm>
#include <cstdint>

namespace runsweep {

namespace {

bool IsHighSurrogate(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool IsControl(wchar_t c) {
    return static_cast<std::uint32_t>(c) < 0x20 || c == 0x7F;
}

// Combining diacritical marks draw over the character before them.
bool IsCombining(std::uint32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

std::wstring CsvField(std::wstring text) {
    // Any program can write its own Run value: a cell a spreadsheet would take for a formula is
    // made text.
    if (!text.empty() && std::wstring_view(L"=+-@\t\r").find(text.front()) != std::wstring_view::npos) {
        text.insert(text.begin(), L'\'');
    }
    if (text.find_first_of(L",\"\r\n") == std::wstring::npos) {
        return text;
    }
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        quoted += c;
        if (c == L'"') {
            quoted += L'"';
        }
    }
    return quoted + L"\"";
}

const wchar_t kHex[] = L"0123456789abcdef";

void AppendUnitEscape(std::wstring& out, std::uint32_t unit) {
    out += L"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xF];
    }
}

// Walks the text by character: a surrogate pair is one character; a surrogate without its partner
// comes as itself, for the caller to decide.
template <typename Visit> void ForEachCharacter(std::wstring_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            const auto low = static_cast<std::uint32_t>(text[i + 1]);
            visit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), true);
            ++i;
        } else {
            visit(unit, false);
        }
    }
}

} // namespace

std::wstring VisibleText(std::wstring text) {
    std::replace_if(text.begin(), text.end(), IsControl, static_cast<wchar_t>(0xFFFD));
    return text;
}

std::size_t DisplayWidth(std::wstring_view text) {
    std::size_t width = 0;
    ForEachCharacter(text, [&](std::uint32_t c, bool) {
        if (!IsCombining(c)) {
            ++width;
        }
    });
    return width;
}

std::wstring JsonString(std::wstring_view text) {
    std::wstring out = L"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const auto unit = static_cast<std::uint32_t>(c);
        switch (c) {
        case L'"':
            out += L"\\\"";
            continue;
        case L'\\':
            out += L"\\\\";
            continue;
        case L'\n':
            out += L"\\n";
            continue;
        case L'\r':
            out += L"\\r";
            continue;
        case L'\t':
            out += L"\\t";
            continue;
        default:
            break;
        }
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            out += c;
            out += text[++i];
        } else if (IsControl(c) || IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit == 0x2028 || unit == 0x2029) {
            // U+2028 and U+2029 are valid JSON but end lines in JavaScript.
            AppendUnitEscape(out, unit);
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring JsonArray(const std::vector<std::wstring>& values) {
    std::wstring out = L"[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += i == 0 ? L"" : L", ";
        out += values[i];
    }
    return out + L"]";
}

std::wstring FormatText(const Table& table) {
    const std::size_t columns = table.headers.size();
    std::vector<std::vector<std::wstring>> lines;
    lines.push_back(table.headers);
    for (const Row& row : table.rows) {
        std::vector<std::wstring> line;
        for (std::size_t c = 0; c < columns; ++c) {
            const Cell* cell = c < row.cells.size() ? &row.cells[c] : nullptr;
            line.push_back(cell ? VisibleText(cell->shown.value_or(cell->text)) : std::wstring());
        }
        lines.push_back(std::move(line));
    }
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& line : lines) {
        for (std::size_t c = 0; c < columns; ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
        }
    }
    std::wstring out;
    for (const auto& line : lines) {
        std::wstring text;
        for (std::size_t c = 0; c < columns; ++c) {
            text += line[c];
            if (c + 1 < columns) {
                text.append(widths[c] - DisplayWidth(line[c]) + 2, L' ');
            }
        }
        text.erase(text.find_last_not_of(L' ') + 1);
        out += text + kNewline;
    }
    return out;
}

std::wstring FormatCsv(const Table& table) {
    std::wstring out;
    auto add_line = [&](const std::vector<std::wstring>& fields) {
        for (std::size_t c = 0; c < fields.size(); ++c) {
            out += c == 0 ? L"" : L",";
            out += CsvField(fields[c]);
        }
        out += kNewline;
    };
    // The header row is json's keys, so that one script reads either.
    add_line(std::vector<std::wstring>(table.keys.begin(),
                                       table.keys.begin() + static_cast<std::ptrdiff_t>(table.headers.size())));
    for (const Row& row : table.rows) {
        if (row.text_only) {
            continue;
        }
        std::vector<std::wstring> fields;
        for (std::size_t c = 0; c < table.headers.size(); ++c) {
            fields.push_back(c < row.cells.size() ? row.cells[c].text : std::wstring());
        }
        add_line(fields);
    }
    return out;
}

std::wstring FormatJson(const Table& table) {
    std::wstring out = L"[";
    bool first = true;
    for (const Row& row : table.rows) {
        if (row.text_only) {
            continue;
        }
        out += first ? kNewline : std::wstring(L",") + kNewline;
        first = false;
        out += L"  {";
        for (std::size_t c = 0; c < table.keys.size(); ++c) {
            out += c == 0 ? L"" : L", ";
            out += JsonString(table.keys[c]) + L": ";
            if (c >= row.cells.size()) {
                out += L"null";
            } else {
                out += row.cells[c].json ? *row.cells[c].json : JsonString(row.cells[c].text);
            }
        }
        out += L"}";
    }
    out += first ? L"]" : std::wstring(kNewline) + L"]";
    return out + kNewline;
}

std::wstring FormatTable(const Table& table, OutputFormat format) {
    switch (format) {
    case OutputFormat::Csv:
        return FormatCsv(table);
    case OutputFormat::Json:
        return FormatJson(table);
    case OutputFormat::Text:
        break;
    }
    return FormatText(table);
}

} // namespace runsweep
