// The custom list and start-up's custom-list step.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/ansi.h"
#include "catalogue/custom_list.h"

namespace runsweep {
namespace {

// Custom line i lands here plus i: just after both built-in tables.
const std::size_t kFirst = FirstCustomIndex();

struct Shown {
    std::wstring text;
    MessageIcon icon;
    bool operator==(const Shown& other) const { return text == other.text && icon == other.icon; }
};

void PrintTo(const Shown& shown, std::ostream* os) {
    std::string narrow;
    for (wchar_t c : shown.text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    *os << '"' << narrow << "\" icon " << static_cast<int>(shown.icon);
}

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { shown.push_back(Shown{text, icon}); }
    void ShowLineMessage(const std::wstring& text, MessageIcon icon, std::size_t number,
                         std::wstring_view line) override {
        ShowMessage(text, icon);
        lines.emplace_back(number, std::wstring(line));
    }
    std::vector<Shown> shown;
    std::vector<std::pair<std::size_t, std::wstring>> lines; // the line messages' numbers and lines
};

const Shown kUsing{L"Using custom list (custom.txt)", MessageIcon::Information};
const Shown kEmpty{L"Custom list is empty.", MessageIcon::Error};
const Shown kCorrupt{L"Corrupt entry found in custom.txt. Format: Startup,Description", MessageIcon::Error};
const Shown kTooLarge{L"custom.txt is larger than 64 MB and was not loaded.", MessageIcon::Error};

std::wstring Str(std::wstring_view view) {
    return std::wstring(view);
}

// Loads text into a freshly built catalogue and records the messages.
struct Loaded {
    Catalogue catalogue;
    RecordingSink sink;
    explicit Loaded(std::wstring_view text) {
        BuildCatalogue(catalogue);
        LoadCustomList(text, catalogue, sink);
    }
    std::wstring Name(std::size_t i) const { return Str(catalogue.StartupNames.at(i)); }
    std::wstring Description(std::size_t i) const { return Str(catalogue.StartupDescriptions.at(i)); }
    bool SlotEmpty(std::size_t i) const { return Name(i).empty() && Description(i).empty(); }
};

TEST(LoadCustomList, EmptyTextSaysSoAndKeepsTheBuiltInEntries) {
    Loaded loaded(L"");
    EXPECT_EQ(loaded.sink.shown, std::vector<Shown>{kEmpty});
    EXPECT_EQ(loaded.catalogue.size(), kFirst);
    EXPECT_EQ(loaded.catalogue.StartupDescriptions.size(), kFirst);
}

// What one line of the list leaves: an entry, an empty slot, or an empty slot and a corrupt-entry
// message that names the line (its text given here, without its line end).
struct Line {
    std::wstring name, description, corrupt;
    bool bad = false;
};
Line Entry(std::wstring name, std::wstring description) {
    return Line{std::move(name), std::move(description), L"", false};
}
const Line kBlank{};
Line Bad(std::wstring line) {
    return Line{L"", L"", std::move(line), true};
}

TEST(LoadCustomList, EachLineIsAnEntryAnEmptySlotOrOneMessageNamingIt) {
    using namespace std::string_literals;
    const Catalogue built_in = [] {
        Catalogue c;
        BuildCatalogue(c);
        return c;
    }();
    const struct {
        const char* what;
        std::wstring text;
        std::vector<Line> lines;
    } cases[] = {
        {"one line without a line end", L"myapp,My application", {Entry(L"myapp", L"My application")}},
        {"CR LF at the end adds one empty slot",
         L"myapp,My application\r\n",
         {Entry(L"myapp", L"My application"), kBlank}},
        {"only CR LF pairs", L"\r\n\r\n", {kBlank, kBlank, kBlank}},
        {"a lone LF", L"\n", {kBlank, kBlank}},
        {"LF alone ends lines",
         L"first,First program\nsecond,Second program\n\nbroken\nfifth,Fifth\rstill fifth\n",
         {Entry(L"first", L"First program"), Entry(L"second", L"Second program"), kBlank, Bad(L"broken"),
          Entry(L"fifth", L"Fifth\rstill fifth"), kBlank}},
        {"CR LF and LF mixed, as a file edited on two systems",
         L"first,First program\nsecond,Second program\r\nthird,Third\n\r\nfifth,Fifth",
         {Entry(L"first", L"First program"), Entry(L"second", L"Second program"), Entry(L"third", L"Third"), kBlank,
          Entry(L"fifth", L"Fifth")}},
        {"a lone CR is part of its line",
         L"a\rb,c\rd\r\n\r,x\n\r\n",
         {Entry(L"a\rb", L"c\rd"), Entry(L"\r", L"x"), kBlank, kBlank}},
        {"one CR goes with its LF, not two", L"a,b\r\r\nc,d", {Entry(L"a", L"b\r"), Entry(L"c", L"d")}},
        {"a CR at the very end stays", L"a,b\r", {Entry(L"a", L"b\r")}},
        {"LF then CR", L"a,b\n\rc,d", {Entry(L"a", L"b"), Entry(L"\rc", L"d")}},
        {"spaces on both sides of the comma are kept", L" name , description ", {Entry(L" name ", L" description ")}},
        {"a third field is dropped", L"name,description,third,fourth", {Entry(L"name", L"description")}},
        {"two commas in a row leave no description", L"name,,description", {Bad(L"name,,description")}},
        {"corrupt lines, once each and in order",
         L",leading comma\r\ntrailing comma,\r\nno comma\r\ngood,entry\r\n,",
         {Bad(L",leading comma"), Bad(L"trailing comma,"), Bad(L"no comma"), Entry(L"good", L"entry"), Bad(L",")}},
        {"a line corrupt in two ways is reported once",
         L",\r\nx\r\n,y\r\nz,",
         {Bad(L","), Bad(L"x"), Bad(L",y"), Bad(L"z,")}},
        {"spaces only", L"   \r\n  ,  ", {Bad(L"   "), Entry(L"  ", L"  ")}},
        {"a blank line keeps the numbering",
         L"one,First\r\n\r\nthree,Third",
         {Entry(L"one", L"First"), kBlank, Entry(L"three", L"Third")}},
        {"a name repeating a built-in one is a second entry",
         L"ctfmon,My own ctfmon description",
         {Entry(L"ctfmon", L"My own ctfmon description")}},
        // The system's calls end a name at a NUL: "Foo<NUL>Bar" would be looked up, and deleted, as "Foo".
        {"a NUL in a name or description",
         L"Foo\0Bar,desc\r\nqttask,cut\0short\r\ngood,entry,third\0field\r\n\0\r\n\0,x\r\nlast,one"s,
         {Bad(L"Foo\0Bar,desc"s), Bad(L"qttask,cut\0short"s), Entry(L"good", L"entry"), Bad(L"\0"s), Bad(L"\0,x"s),
          Entry(L"last", L"one")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded loaded(c.text);
        ASSERT_EQ(loaded.catalogue.size(), kFirst + c.lines.size());
        ASSERT_EQ(loaded.catalogue.StartupDescriptions.size(), kFirst + c.lines.size());
        std::vector<Shown> messages;
        std::vector<std::pair<std::size_t, std::wstring>> reported;
        std::vector<std::size_t> filled;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(loaded.Name(kFirst + i), c.lines[i].name) << "line " << i + 1;
            EXPECT_EQ(loaded.Description(kFirst + i), c.lines[i].description) << "line " << i + 1;
            if (c.lines[i].bad) {
                messages.push_back(kCorrupt);
                reported.emplace_back(i + 1, c.lines[i].corrupt);
            }
            if (!c.lines[i].name.empty()) {
                filled.push_back(kFirst + i);
            }
        }
        EXPECT_EQ(loaded.sink.shown, messages);
        EXPECT_EQ(loaded.sink.lines, reported);
        for (std::size_t i = 0; i < kFirst; ++i) {
            ASSERT_EQ(loaded.catalogue.StartupNames[i], built_in.StartupNames[i]) << "built-in " << i;
            ASSERT_EQ(loaded.catalogue.StartupDescriptions[i], built_in.StartupDescriptions[i]) << "built-in " << i;
        }
        // Only the entries are visited, and only they take memory.
        std::vector<std::size_t> visited;
        for (const CatalogueEntry& entry : loaded.catalogue.Entries()) {
            if (entry.index >= kFirst) {
                visited.push_back(entry.index);
                EXPECT_FALSE(entry.prefix);
            }
        }
        EXPECT_EQ(visited, filled);
        EXPECT_LE(loaded.catalogue.StartupNames.KeptSlots(), kFirst + filled.size());
        EXPECT_LE(loaded.catalogue.StartupDescriptions.KeptSlots(), kFirst + filled.size());
    }
}

TEST(LoadCustomList, FollowsTodaysProgramsWithoutAGapAndNeverMakesAPattern) {
    Loaded loaded(L"MicrosoftEdgeAutoLaunch_*,My own pattern-looking entry");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(kFirst, kBuiltInCount + CurrentProgramCount());
    ASSERT_GT(CurrentProgramCount(), 0u);
    EXPECT_FALSE(loaded.Name(kFirst - 1).empty()) << "the last of today's programs sits just before";
    EXPECT_EQ(loaded.Name(kFirst), L"MicrosoftEdgeAutoLaunch_*") << "kept as written, star included";
    EXPECT_FALSE(loaded.catalogue.IsPrefixAt(kFirst));
    bool seen = false;
    for (const CatalogueEntry& entry : loaded.catalogue.Entries()) {
        if (entry.index == kFirst) {
            seen = true;
            EXPECT_FALSE(entry.prefix);
        }
    }
    EXPECT_TRUE(seen);
}

TEST(LoadCustomList, ResizesToTheFixedOffsetWhateverTheCatalogueHeld) {
    // As specified: the slots are kFirst + line, the arrays resized keeping their contents.
    Catalogue catalogue;
    RecordingSink sink;
    LoadCustomList(L"a,b", catalogue, sink);
    ASSERT_EQ(catalogue.size(), kFirst + 1);
    EXPECT_TRUE(catalogue.StartupNames[0].empty());
    EXPECT_EQ(catalogue.StartupNames[kFirst], L"a");
}

// A hundred thousand lines, every tenth blank, each in its own slot. How long loading takes is
// scripts/bench_custom_list.sh's to measure: a timed test fails on a busy machine, not on a slow load.
TEST(LoadCustomList, AHundredThousandLinesLoadWhole) {
    std::wstring text;
    for (int i = 0; i < 100'000; ++i) {
        if (i > 0) {
            text += L"\r\n";
        }
        if (i % 10 != 9) { // every tenth line blank
            text += L"value" + std::to_wstring(i) + L",Description of value " + std::to_wstring(i);
        }
    }
    Loaded loaded(text);
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 100'000);
    EXPECT_EQ(loaded.Name(kFirst), L"value0");
    EXPECT_EQ(loaded.Name(kFirst + 99'998), L"value99998");
    EXPECT_EQ(loaded.Description(kFirst + 99'998), L"Description of value 99998");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 99'999));
    EXPECT_EQ(loaded.Name(kFirst + 40'000), L"value40000");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 40'009));
}

// A file system in memory. A file may be made unopenable, unsizable or unreadable, report a size
// other than its content, or hand out its bytes in small pieces.
class FakeFileSystem : public FileSystem {
public:
    struct File {
        std::string bytes;
        bool opens = true;
        bool sizes = true;
        bool reads = true;
        std::optional<std::uint64_t> reportedSize; // instead of bytes.size()
        std::size_t piece = 0;                     // at most this many bytes per Read (0: no limit)
    };

    bool FileExists(const std::wstring& path) override {
        existsCalls.push_back(path);
        return files.count(path) != 0 || folders.count(path) != 0;
    }

    std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) override {
        const auto found = files.find(path);
        if (found == files.end() || !found->second.opens) {
            return nullptr;
        }
        return std::make_unique<Input>(found->second, *this);
    }

    std::map<std::wstring, File> files;
    std::map<std::wstring, bool> folders;
    std::vector<std::wstring> existsCalls;
    std::size_t bytesRequested = 0; // the sum of the counts asked of Read

private:
    class Input : public InputFile {
    public:
        Input(const File& file, FakeFileSystem& owner) : file_(file), owner_(owner) {}
        std::optional<std::uint64_t> Size() override {
            if (!file_.sizes) {
                return std::nullopt;
            }
            return file_.reportedSize ? *file_.reportedSize : file_.bytes.size();
        }
        std::optional<std::size_t> Read(char* buffer, std::size_t count) override {
            owner_.bytesRequested += count;
            if (!file_.reads) {
                return std::nullopt;
            }
            std::size_t n = std::min(count, file_.bytes.size() - position_);
            if (file_.piece != 0) {
                n = std::min(n, file_.piece);
            }
            std::copy(file_.bytes.data() + position_, file_.bytes.data() + position_ + n, buffer);
            position_ += n;
            return n;
        }

    private:
        const File& file_;
        FakeFileSystem& owner_;
        std::size_t position_ = 0;
    };
};

#ifdef _WIN32
const std::wstring kFolder = L"C:\\Program Files\\Runsweep";
const std::wstring kPath = L"C:\\Program Files\\Runsweep\\custom.txt";
#else
const std::wstring kFolder = L"/opt/runsweep";
const std::wstring kPath = L"/opt/runsweep/custom.txt";
#endif

TEST(CustomListPath, JoinsWithOneSeparator) {
    EXPECT_EQ(CustomListPath(kFolder), kPath);
#ifdef _WIN32
    EXPECT_EQ(CustomListPath(L"C:\\"), L"C:\\custom.txt"); // a drive root: no doubled separator
    EXPECT_EQ(CustomListPath(L"D:\\tools"), L"D:\\tools\\custom.txt");
    EXPECT_EQ(CustomListPath(L"\\\\server\\share\\"), L"\\\\server\\share\\custom.txt");
    EXPECT_EQ(CustomListPath(L"D:/tools/"), L"D:/tools/custom.txt");
#else
    EXPECT_EQ(CustomListPath(L"/"), L"/custom.txt");
    EXPECT_EQ(CustomListPath(L"/opt/runsweep/"), L"/opt/runsweep/custom.txt");
#endif
}

TEST(ReadTextFile, DecodesTheWholeFile) {
    FakeFileSystem files;
    files.files[kPath].bytes = "caf\xE9,\x80 sign\r\nx,y";
    const ReadTextResult read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::Ok);
#ifndef _WIN32 // on Windows DecodeAnsi is the system's code page; tests/win checks it under 1252
    EXPECT_EQ(read.text, L"caf\u00E9,\u20AC sign\r\nx,y");
#endif
}

TEST(ReadTextFile, ReadsInAsManyPiecesAsTheFileGives) {
    FakeFileSystem files;
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes += static_cast<char>('a' + i % 26);
    }
    files.files[kPath].bytes = bytes;
    files.files[kPath].piece = 7;
    const ReadTextResult read = ReadTextFile(files, kPath);
    ASSERT_EQ(read.status, ReadTextStatus::Ok);
    EXPECT_EQ(read.text, std::wstring(bytes.begin(), bytes.end()));
}

TEST(ReadTextFile, FailuresGiveEmptyText) {
    FakeFileSystem files;
    EXPECT_EQ(ReadTextFile(files, kPath).status, ReadTextStatus::Unreadable); // no such file

    files.files[kPath].bytes = "a,b";
    files.files[kPath].opens = false;
    ReadTextResult read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::Unreadable);
    EXPECT_TRUE(read.text.empty());

    files.files[kPath].opens = true;
    files.files[kPath].sizes = false;
    read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::Unreadable);
    EXPECT_TRUE(read.text.empty());

    files.files[kPath].sizes = true;
    files.files[kPath].reads = false;
    read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::Unreadable);
    EXPECT_TRUE(read.text.empty());
}

TEST(ReadTextFile, AFileThatShrankGivesExactlyTheBytesRead) {
    FakeFileSystem files;
    files.files[kPath].bytes = "a,b";
    files.files[kPath].reportedSize = 10;
    const ReadTextResult read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::Ok);
    EXPECT_EQ(read.text, L"a,b");
}

TEST(ReadTextFile, AFileThatGrewIsReadOnlyUpToItsSize) {
    FakeFileSystem files;
    files.files[kPath].bytes = "a,b\r\nmore that came later";
    files.files[kPath].reportedSize = 3;
    const ReadTextResult read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.text, L"a,b");
    EXPECT_EQ(files.bytesRequested, 3u);
}

TEST(ReadTextFile, AFileOverTheLimitIsNotRead) {
    FakeFileSystem files;
    files.files[kPath].reportedSize = 3ull << 30; // 3 GiB, never allocated
    ReadTextResult read = ReadTextFile(files, kPath);
    EXPECT_EQ(read.status, ReadTextStatus::TooLarge);
    EXPECT_TRUE(read.text.empty());
    EXPECT_EQ(files.bytesRequested, 0u);

    files.files[kPath].reportedSize = kCustomListSizeLimit + 1;
    EXPECT_EQ(ReadTextFile(files, kPath).status, ReadTextStatus::TooLarge);
    EXPECT_EQ(files.bytesRequested, 0u);

    // Exactly at the limit is read (a smaller limit keeps the test light).
    files.files[kPath].reportedSize.reset();
    files.files[kPath].bytes = "abcd";
    EXPECT_EQ(ReadTextFile(files, kPath, 4).status, ReadTextStatus::Ok);
    EXPECT_EQ(ReadTextFile(files, kPath, 3).status, ReadTextStatus::TooLarge);
    EXPECT_EQ(kCustomListSizeLimit, 64u * 1024 * 1024);
}

// Wide text from code points: on Windows those beyond U+FFFF take two units.
std::wstring Wide(std::u32string_view codePoints) {
    std::wstring text;
    for (char32_t c : codePoints) {
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
    }
    return text;
}

// custom.txt as today's editors write it; the names are those of Run values the user has.
struct EncodedFile {
    const char* what;
    std::string bytes;
    TextEncoding encoding;
};

std::string Utf16(std::u16string_view units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST(ReadTextFile, ReadsUtf8AndUtf16FilesWithTheirLineEnds) {
    // "Café", "Диспетчер" (Cyrillic), and a name beyond U+FFFF.
    const std::wstring expected =
        Wide(U"Caf\u00E9,Un caf\u00E9\r\n\u0414\u0438\u0441\u043F\u0435\u0442\u0447\u0435\u0440,"
             U"\u0417\u0430\u043F\u0443\u0441\u043A\r\nsmile\U0001F600,x");
    const std::string utf8 = "Caf\xC3\xA9,Un caf\xC3\xA9\r\n"
                             "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBF\xD0\xB5\xD1\x82\xD1\x87\xD0\xB5\xD1\x80,"
                             "\xD0\x97\xD0\xB0\xD0\xBF\xD1\x83\xD1\x81\xD0\xBA\r\nsmile\xF0\x9F\x98\x80,x";
    const std::u16string units = u"Caf\u00E9,Un caf\u00E9\r\n\u0414\u0438\u0441\u043F\u0435\u0442\u0447\u0435\u0440,"
                                 u"\u0417\u0430\u043F\u0443\u0441\u043A\r\nsmile\U0001F600,x";
    const EncodedFile files[] = {
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + utf8, TextEncoding::Utf8Mark},
        {"UTF-8 without a mark", utf8, TextEncoding::Utf8},
        {"UTF-16 LE", Utf16(units, false), TextEncoding::Utf16LE},
        {"UTF-16 BE", Utf16(units, true), TextEncoding::Utf16BE},
    };
    for (const EncodedFile& file : files) {
        SCOPED_TRACE(file.what);
        FakeFileSystem fs;
        fs.files[kPath].bytes = file.bytes;
        const ReadTextResult read = ReadTextFile(fs, kPath);
        ASSERT_EQ(read.status, ReadTextStatus::Ok);
        EXPECT_EQ(read.encoding, file.encoding);
        EXPECT_EQ(read.text, expected);
        Loaded loaded(read.text);
        EXPECT_TRUE(loaded.sink.shown.empty());
        ASSERT_EQ(loaded.catalogue.size(), kFirst + 3);
        EXPECT_EQ(loaded.Name(kFirst), L"Caf\u00E9");
        EXPECT_EQ(loaded.Name(kFirst + 1), L"\u0414\u0438\u0441\u043F\u0435\u0442\u0447\u0435\u0440");
        EXPECT_EQ(loaded.Name(kFirst + 2), Wide(U"smile\U0001F600"));
    }
}

TEST(ReadTextFile, Utf16AndUtf8WithLfOnlyLineEndsAreCutAtLf) {
    FakeFileSystem fs;
    fs.files[kPath].bytes = Utf16(u"one,First\ntwo,Second\n", false);
    Loaded utf16(ReadTextFile(fs, kPath).text);
    ASSERT_EQ(utf16.catalogue.size(), kFirst + 3);
    EXPECT_EQ(utf16.Name(kFirst + 1), L"two");
    fs.files[kPath].bytes = "\xEF\xBB\xBFone,First\ntw\xC3\xB6,Second";
    Loaded utf8(ReadTextFile(fs, kPath).text);
    ASSERT_EQ(utf8.catalogue.size(), kFirst + 2);
    EXPECT_EQ(utf8.Name(kFirst), L"one");
    EXPECT_EQ(utf8.Name(kFirst + 1), L"tw\u00F6");
}

TEST(ReadTextFile, WhatIsNotUtf8WithoutAMarkIsReadInTheAnsiCodePage) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"ASCII only", "qttask,QuickTime"},
        {"Latin-1 bytes", "caf\xE9,\x80 sign"},
        {"a lead byte without its continuation", "caf\xC3,x"},
        {"an overlong form", "a\xC0\xAF,x"},
        {"an encoded surrogate", "a\xED\xA0\x80,x"},
        {"beyond U+10FFFF", "a\xF4\x90\x80\x80,x"},
        {"a sequence cut by the end of the file", "caf\xC3\xA9,x\xE2\x82"},
        {"one mark byte short", "\xEF\xBB,x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem fs;
        fs.files[kPath].bytes = c.bytes;
        const ReadTextResult read = ReadTextFile(fs, kPath);
        EXPECT_EQ(read.encoding, TextEncoding::Ansi);
        EXPECT_EQ(read.text.size(), c.bytes.size()) << "one character per byte";
#ifndef _WIN32
        EXPECT_EQ(read.text, DecodeWindows1252(c.bytes));
#endif
    }
}

TEST(ReadTextFile, IllFormedUnicodeAfterAMark) {
    FakeFileSystem fs;
    // UTF-8 after its mark stays UTF-8: each ill-formed part is one U+FFFD.
    fs.files[kPath].bytes = "\xEF\xBB\xBF"
                            "a\xC3,\xE9x\xC3\xA9";
    ReadTextResult read = ReadTextFile(fs, kPath);
    EXPECT_EQ(read.encoding, TextEncoding::Utf8Mark);
    EXPECT_EQ(read.text, L"a\uFFFD,\uFFFDx\u00E9");

    // UTF-16 with an odd byte count: the last byte is one U+FFFD; an unpaired surrogate is kept.
    fs.files[kPath].bytes = std::string("\xFF\xFE"
                                        "a\0\x00\xD8,\0b\0c",
                                        11);
    read = ReadTextFile(fs, kPath);
    EXPECT_EQ(read.encoding, TextEncoding::Utf16LE);
    EXPECT_EQ(read.text, (std::wstring{L'a', static_cast<wchar_t>(0xD800), L',', L'b', static_cast<wchar_t>(0xFFFD)}));

    // A mark and nothing else: the list is empty.
    for (const char* onlyMark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        fs.files[kPath].bytes = onlyMark;
        read = ReadTextFile(fs, kPath);
        EXPECT_EQ(read.status, ReadTextStatus::Ok);
        EXPECT_TRUE(read.text.empty());
    }
}

#ifndef _WIN32
TEST(ReadTextFile, HighBytesAreDecodedAsWindows1252) {
    FakeFileSystem files;
    files.files[kPath].bytes = std::string("\x80\x81\x8D\x8F\x90\x9D\xE9\xFF,\x9F", 10);
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    RecordingSink sink;
    LoadCustomList(ReadTextFile(files, kPath).text, catalogue, sink);
    EXPECT_EQ(catalogue.StartupNames[kFirst], L"\u20AC\u0081\u008D\u008F\u0090\u009D\u00E9\u00FF");
    EXPECT_EQ(catalogue.StartupDescriptions[kFirst], L"\u0178");
}
#endif

// Start-up's custom-list step over the file system in memory and over the platform's real one (a
// fresh temporary folder, natively and under Wine): the same cases, the same outcome.
struct StartupCase {
    const char* what;
    enum { kNoFile, kBytes, kFolder, kOversized, kUnopenable } file;
    std::string bytes;
    std::vector<Shown> shown;
    std::vector<std::wstring> names; // of the custom slots, one per line
};

void WriteStartupCase(const StartupCase& c, FakeFileSystem& files) {
    switch (c.file) {
    case StartupCase::kNoFile:
        break;
    case StartupCase::kBytes:
    case StartupCase::kUnopenable:
        files.files[kPath].bytes = c.bytes;
        files.files[kPath].opens = c.file == StartupCase::kBytes;
        break;
    case StartupCase::kFolder:
        files.folders[kPath] = true;
        break;
    case StartupCase::kOversized:
        files.files[kPath].reportedSize = kCustomListSizeLimit + 1; // never allocated
        break;
    }
}

bool WriteStartupCase(const StartupCase& c, const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / "custom.txt";
    switch (c.file) {
    case StartupCase::kNoFile:
        return true;
    case StartupCase::kUnopenable:
        return false; // as root, or under Wine, a real file cannot be made unreadable to its owner
    case StartupCase::kBytes:
        std::ofstream(path, std::ios::binary).write(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
        return true;
    case StartupCase::kFolder:
        return std::filesystem::create_directory(path);
    case StartupCase::kOversized:
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, kCustomListSizeLimit + 1); // sparse: its blocks are not written
        return true;
    }
    return false;
}

TEST(Startup, EachCaseEndsTheSameOnTheFileSystemInMemoryAndOnRealFiles) {
    using namespace std::string_literals;
    const StartupCase cases[] = {
        {"no file", StartupCase::kNoFile, "", {}, {}},
        {"a file with an empty and a corrupt line",
         StartupCase::kBytes,
         "one,First\r\n\r\nbad\r\nfour,Fourth",
         {kUsing, kCorrupt},
         {L"one", L"", L"", L"four"}},
        {"CR LF and LF mixed", StartupCase::kBytes, "a,b\nc,d\r\n", {kUsing}, {L"a", L"c", L""}},
        {"zero bytes", StartupCase::kBytes, "", {kUsing, kEmpty}, {}},
        {"a byte-order mark and nothing else", StartupCase::kBytes, "\xEF\xBB\xBF", {kUsing, kEmpty}, {}},
        {"a NUL in a name is never looked up",
         StartupCase::kBytes,
         "Foo\0Bar,desc\r\nBar,ok"s,
         {kUsing, kCorrupt},
         {L"", L"Bar"}},
        {"a folder named custom.txt", StartupCase::kFolder, "", {kUsing, kEmpty}, {}},
        {"a file over the size limit", StartupCase::kOversized, "", {kUsing, kTooLarge}, {}},
        {"a file that cannot be opened", StartupCase::kUnopenable, "a,b", {kUsing, kEmpty}, {}},
    };
    for (const StartupCase& c : cases) {
        for (const bool real : {false, true}) {
            SCOPED_TRACE(::testing::Message() << c.what << (real ? ", real files" : ", in memory"));
            Catalogue catalogue;
            BuildCatalogue(catalogue);
            RecordingSink sink;
            std::wstring text;
            if (real) {
                const std::filesystem::path folder =
                    std::filesystem::temp_directory_path() /
                    ("runsweep-custom-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
                std::filesystem::create_directories(folder);
                const bool written = WriteStartupCase(c, folder);
                if (written) {
                    EXPECT_TRUE(FileExists(NativeFileSystem(), folder.wstring()));
                    EXPECT_EQ(FileExists(NativeFileSystem(), (folder / "custom.txt").wstring()),
                              c.file != StartupCase::kNoFile);
                    text = LoadCustomListAtStartup(folder.wstring(), catalogue, NativeFileSystem(), sink);
                }
                std::error_code ignored;
                std::filesystem::remove_all(folder, ignored);
                if (!written) {
                    continue;
                }
            } else {
                FakeFileSystem files;
                WriteStartupCase(c, files);
                text = LoadCustomListAtStartup(kFolder, catalogue, files, sink);
                EXPECT_EQ(files.existsCalls, std::vector<std::wstring>{kPath});
                if (c.file == StartupCase::kOversized) {
                    EXPECT_EQ(files.bytesRequested, 0u);
                }
            }
            EXPECT_EQ(sink.shown, c.shown);
            const bool loaded = c.file == StartupCase::kBytes && c.shown.back() != kEmpty;
            EXPECT_EQ(text, loaded ? std::wstring(c.bytes.begin(), c.bytes.end()) : std::wstring());
            ASSERT_EQ(catalogue.size(), kFirst + c.names.size());
            for (std::size_t i = 0; i < c.names.size(); ++i) {
                EXPECT_EQ(catalogue.StartupNames[kFirst + i], c.names[i]) << "line " << i + 1;
            }
            EXPECT_EQ(catalogue.StartupNames[100], L"Microsoft Office Fast Cache");
        }
    }
}

} // namespace
} // namespace runsweep
