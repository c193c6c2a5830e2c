#pragma once
// Tables as runsweepc prints them: aligned text for a person, CSV (RFC 4180) and JSON for programs.
// Every output ends its lines with CR LF, as Windows text does (and as RFC 4180 asks).
#include "base/utf8.h"
#include "console/command_line.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace runsweep {

inline constexpr const wchar_t* kNewline = L"\r\n";

struct Cell {
    Cell() = default;
    Cell(std::wstring text_, std::optional<std::wstring> shown_ = std::nullopt,
         std::optional<std::wstring> json_ = std::nullopt)
        : text(std::move(text_)), shown(std::move(shown_)), json(std::move(json_)) {}

    std::wstring text; // as CSV shows it, and text unless `shown` says otherwise
    // What the text format shows, when it differs.
    std::optional<std::wstring> shown;
    // The JSON value, when it is not simply the text as a string (an array, null, ...).
    std::optional<std::wstring> json;
};

struct Row {
    std::vector<Cell> cells; // one per column
    // A line that only the text format shows, under the row before it (another place's command).
    bool text_only = false;
};

struct Table {
    std::vector<std::wstring> headers; // text
    std::vector<std::wstring> keys;    // JSON, and CSV's header row (as many as there are headers)
    std::vector<Row> rows;
};

// Aligned columns under a header line; each column as wide as its widest cell, two spaces apart,
// the last one not padded. Control characters show as U+FFFD, so a name cannot break a line.
std::wstring FormatText(const Table& table);
// A header row of the table's keys (as far as there are headers), then one record per row; a field
// that begins with =, +, -, @, TAB or CR gets an apostrophe before it, and a field holding a comma, a
// quote, CR or LF is quoted, with its quotes doubled.
std::wstring FormatCsv(const Table& table);
// An array of objects, one per row, with the table's keys.
std::wstring FormatJson(const Table& table);
std::wstring FormatTable(const Table& table, OutputFormat format);

// The text with its control characters as U+FFFD, so that it stays on its line.
std::wstring VisibleText(std::wstring text);

// A JSON string: quotes, backslashes and control characters escaped, and unpaired surrogates
// (which UTF-8 cannot carry) as \uXXXX; everything else as it is.
std::wstring JsonString(std::wstring_view text);
// A JSON array of already-formatted values.
std::wstring JsonArray(const std::vector<std::wstring>& values);

// The columns a text takes on a terminal: one per character, a surrogate pair being one character
// and combining marks none.
std::size_t DisplayWidth(std::wstring_view text);

} // namespace runsweep
