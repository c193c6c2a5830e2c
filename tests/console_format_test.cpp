#include "console/output_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runsweep {
namespace {

// U+1F600, one character beyond the Basic Multilingual Plane (a surrogate pair in UTF-16).
const std::wstring kNonBmp = L"\U0001F600";
const std::wstring kCyrillic = L"\u0417\u0430\u043f\u0443\u0441\u043a"; // "Запуск"
const std::wstring kAccented = L"Pr\u00e9chargeur";                     // "Préchargeur"

Table TwoColumns(std::vector<std::vector<std::wstring>> rows) {
    Table table;
    table.headers = {L"Name", L"Command"};
    table.keys = {L"name", L"command"};
    for (auto& cells : rows) {
        Row row;
        for (auto& text : cells) {
            row.cells.emplace_back(text);
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

TEST(ConsoleUtf8, EncodesEveryPlaneAndReplacesLoneSurrogates) {
    EXPECT_EQ(ToUtf8(L"a\u00e9"), "a\xC3\xA9");
    EXPECT_EQ(ToUtf8(L"\u0417"), "\xD0\x97");
    EXPECT_EQ(ToUtf8(L"\u20ac"), "\xE2\x82\xAC");
    EXPECT_EQ(ToUtf8(kNonBmp), "\xF0\x9F\x98\x80");
    // The same character spelled as two UTF-16 units, as the registry hands it over.
    EXPECT_EQ(ToUtf8(std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToUtf8(std::wstring{L'x', static_cast<wchar_t>(0xD83D), L'y'}), "x\xEF\xBF\xBDy");
    EXPECT_EQ(ToUtf8(std::wstring{static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)}),
              "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(L""), "");
}

TEST(ConsoleCsv, QuotesOnlyFieldsThatNeedItAndDoublesTheirQuotes) {
    const Table table = TwoColumns({{L"plain", L"C:\\a.exe"},
                                    {L"with,comma", L"\"C:\\Program Files\\a.exe\" -x"},
                                    {L"line\r\nbreak", L"lf\nonly"},
                                    {kAccented + L" " + kCyrillic + kNonBmp, L""}});
    EXPECT_EQ(FormatCsv(table), L"name,command\r\n"
                                L"plain,C:\\a.exe\r\n"
                                L"\"with,comma\",\"\"\"C:\\Program Files\\a.exe\"\" -x\"\r\n"
                                L"\"line\r\nbreak\",\"lf\nonly\"\r\n" +
                                    kAccented + L" " + kCyrillic + kNonBmp + L",\r\n");
}

// Any program can write its own Run value: a spreadsheet must not run one as a formula.
TEST(ConsoleCsv, ACellThatWouldOpenAsAFormulaBeginsWithAnApostropheInCsvOnly) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"=HYPERLINK(\"http://x\")", L"\"'=HYPERLINK(\"\"http://x\"\")\""},
        {L"+cmd|' /C calc'!A0", L"'+cmd|' /C calc'!A0"},
        {L"-2+3", L"'-2+3"},
        {L"@SUM(1,2)", L"\"'@SUM(1,2)\""},
        {L"\tx", L"'\tx"},
        {L"\rx", L"\"'\rx\""},
        {L"C:\\a.exe -x=1", L"C:\\a.exe -x=1"},
        {L"", L""},
    };
    for (const auto& [cell, csv] : cases) {
        const Table table = TwoColumns({{L"n", cell}});
        EXPECT_EQ(FormatCsv(table), L"name,command\r\nn," + csv + L"\r\n");
        EXPECT_EQ(FormatJson(table), L"[\r\n  {\"name\": \"n\", \"command\": " + JsonString(cell) + L"}\r\n]\r\n");
        if (!cell.empty()) {
            EXPECT_NE(FormatText(table).find(L"n     " + VisibleText(cell)), std::wstring::npos) << "text as it is";
        }
    }
}

TEST(ConsoleCsv, EmptyTableIsTheHeaderAlone) {
    EXPECT_EQ(FormatCsv(TwoColumns({})), L"name,command\r\n") << "json's keys, so one script reads both";
}

TEST(ConsoleJson, EscapesWhatJsonMustAndKeepsTheRest) {
    EXPECT_EQ(JsonString(L"a\"b\\c/d"), L"\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonString(L"\r\n\t"), L"\"\\r\\n\\t\"");
    EXPECT_EQ(JsonString(std::wstring{L'x', static_cast<wchar_t>(1), static_cast<wchar_t>(0x1F), L'\x7f'}),
              L"\"x\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(JsonString(kAccented + kCyrillic + kNonBmp), L"\"" + kAccented + kCyrillic + kNonBmp + L"\"");
    // A surrogate without its partner cannot be written as UTF-8: it is escaped instead.
    EXPECT_EQ(JsonString(std::wstring{static_cast<wchar_t>(0xD800), L'z'}), L"\"\\ud800z\"");
    EXPECT_EQ(JsonString(std::wstring{static_cast<wchar_t>(0xDFFF)}), L"\"\\udfff\"");
    EXPECT_EQ(JsonString(L"\u2028"), L"\"\\u2028\"");
}

TEST(ConsoleJson, AnArrayOfObjectsWithTheTablesKeysAndRawValuesWhereGiven) {
    Table table = TwoColumns({{L"qttask", L"C:\\q.exe"}});
    table.rows[0].cells[1].json = L"null";
    Row extra;
    extra.text_only = true;
    extra.cells = {Cell(L""), Cell(L"only in text")};
    table.rows.push_back(extra);
    table.rows.push_back(TwoColumns({{L"\u00e9", L"x"}}).rows[0]);
    EXPECT_EQ(FormatJson(table), L"[\r\n"
                                 L"  {\"name\": \"qttask\", \"command\": null},\r\n"
                                 L"  {\"name\": \"\u00e9\", \"command\": \"x\"}\r\n"
                                 L"]\r\n");
    EXPECT_EQ(FormatJson(TwoColumns({})), L"[]\r\n");
    EXPECT_EQ(JsonArray({L"1", L"\"a\""}), L"[1, \"a\"]");
    EXPECT_EQ(JsonArray({}), L"[]");
}

TEST(ConsoleText, ColumnsLineUpByCharactersNotUnits) {
    EXPECT_EQ(DisplayWidth(kNonBmp), 1u);
    EXPECT_EQ(DisplayWidth(kCyrillic), 6u);
    EXPECT_EQ(DisplayWidth(L"e\u0301"), 1u); // e and a combining acute accent
    const Table table = TwoColumns({{kNonBmp + L"ab", L"one"}, {kCyrillic, L"two"}, {kAccented, L""}});
    EXPECT_EQ(FormatText(table), L"Name         Command\r\n" + kNonBmp + L"ab          one\r\n" + kCyrillic +
                                     L"       two\r\n" + kAccented + L"\r\n");
}

TEST(ConsoleText, ControlCharactersCannotBreakALineAndShownTextWins) {
    Table table = TwoColumns({{L"a\r\nb", L"c\td"}});
    table.rows[0].cells[1].shown = L"shown";
    EXPECT_EQ(FormatText(table), L"Name  Command\r\na\uFFFD\uFFFDb  shown\r\n");
    EXPECT_EQ(FormatCsv(table), L"name,command\r\n\"a\r\nb\",c\td\r\n");
}

} // namespace
} // namespace runsweep
