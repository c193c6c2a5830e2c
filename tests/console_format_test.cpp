#include "console/output_format.h"

#include "catalogue/catalogue.h"
#include "console/console_run.h"
#include "registry/actions.h"
#include "registry/memory_registry.h"
#include "registry/startup_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <optional>
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

// Golden output: runsweepc's list and disabled, in each format, byte for byte as checked in under
// tests/data/console (each file read and confirmed by eye against RFC 4180, RFC 8259 and the text
// layout, never produced and trusted unread). The entries carry the characters each format must
// treat with care, and the records fixed dates whose day, month and hour differ and need padding.
// RUNSWEEP_WRITE_GOLDEN=1 writes the files anew from this build, for review in the diff.
class GoldenStreams : public ConsoleStreams {
public:
    std::wstring out;
    std::wstring err;

protected:
    std::optional<std::wstring> WriteOut(const std::wstring& text) override {
        out += text;
        return std::nullopt;
    }
    std::optional<std::wstring> WriteErr(const std::wstring& text) override {
        err += text;
        return std::nullopt;
    }
};

class NoMessages final : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon) override { ADD_FAILURE() << ToUtf8(text); }
};

void SeedGoldenMachine(MemoryRegistry& registry) {
    const auto set = [&](RunPlace place, const std::wstring& name, const std::wstring& command) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, command), kSuccess);
    };
    // Disabled once, then written back by their programs: in the records and in the Run keys.
    NoMessages messages;
    for (const auto& [name, when] : {std::pair{std::wstring(L"qttask"), RecordTime{2026, 1, 2, 3, 4, 5}},
                                     std::pair{kCyrillic + kNonBmp, RecordTime{1999, 12, 31, 23, 59, 58}}}) {
        set(RunPlace::CurrentUser, name, L"C:\\old.exe");
        ASSERT_EQ(DisableStartup(registry, name, messages, when).outcome, ActionOutcome::Done);
    }
    // The widest command holds a combining mark: columns line up by characters, not units.
    set(RunPlace::CurrentUser, L"qttask", L"\"C:\\Program Files\\QuickTime\\qtta\u0301sk.exe\" -atboottime");
    set(RunPlace::Machine32, L"qttask", L"C:\\q32.exe");
    set(RunPlace::Machine64, L"Quote\"Comma,", L"a\rlone CR, a\ttab and \u2028\u2029 \u0001 \u007f");
    set(RunPlace::CurrentUser, kCyrillic + kNonBmp, L"e\u0301 " + kNonBmp + L"\r=1+1"); // a lone CR alone
    set(RunPlace::CurrentUser, L"Line\nBreak", L"-cmd|' /C calc'!A0");
    set(RunPlace::CurrentUser, L"Bystander", L"C:\\keep.exe");
    // A record the configuration utility wrote (no date) and one that names no Run key.
    for (const auto& [name, hkey] : {std::pair{L"NeroCheck", L"HKLM"}, std::pair{L"Broken", L"HKXX"}}) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(name), key), kSuccess);
        for (const auto& [value, text] :
             {std::pair{L"command", std::wstring(L"C:\\Nero\\NeroCheck.exe")}, std::pair{L"hkey", std::wstring(hkey)},
              std::pair{L"inimapping", std::wstring(L"0")}, std::pair{L"item", std::wstring(L"NeroCheck.exe")},
              std::pair{L"key", std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run")}}) {
            ASSERT_EQ(registry.SetStringValue(key, value, text), kSuccess);
        }
    }
}

TEST(ConsoleGolden, ListAndDisabledInEveryFormatAreByteForByteAsCheckedIn) {
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    catalogue.AppendEntry(L"Quote\"Comma,", L"Description with \"quotes\", commas, and a\ttab.");
    catalogue.AppendEntry(kCyrillic + kNonBmp, L"\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430 (Cyrillic)");
    catalogue.AppendEntry(L"Line\nBreak", L"=HYPERLINK(\"x\")");
    const bool write = std::getenv("RUNSWEEP_WRITE_GOLDEN") != nullptr;
    for (const char* command : {"list", "disabled"}) {
        for (const char* format : {"text", "csv", "json"}) {
            SCOPED_TRACE(::testing::Message() << command << " " << format);
            MemoryRegistry registry;
            ASSERT_NO_FATAL_FAILURE(SeedGoldenMachine(registry));
            GoldenStreams streams;
            const std::vector<std::wstring> args = {std::wstring(command, command + std::strlen(command)), L"--format",
                                                    std::wstring(format, format + std::strlen(format))};
            EXPECT_EQ(RunConsoleCommand(ParseCommandLine(args), catalogue, registry, streams), kExitDone);
            const std::string actual = ToUtf8(streams.out);
            const std::string path = std::string(RUNSWEEP_SOURCE_DIR) + "/tests/data/console/" + command + "." +
                                     (std::string(format) == "text" ? "txt" : format);
            if (write) {
                std::ofstream(path, std::ios::binary) << actual;
            }
            std::ifstream file(path, std::ios::binary);
            ASSERT_TRUE(file) << "no golden file " << path;
            const std::string expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            EXPECT_EQ(actual, expected) << path;
        }
    }
}

} // namespace
} // namespace runsweep
