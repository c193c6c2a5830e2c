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
    std::vector<Shown> shown;
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

TEST(LoadCustomList, OneLineWithoutLineEnd) {
    Loaded loaded(L"myapp,My application");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 1);
    EXPECT_EQ(loaded.Name(kFirst), L"myapp");
    EXPECT_EQ(loaded.Description(kFirst), L"My application");
    EXPECT_EQ(loaded.Name(100), L"Microsoft Office Fast Cache"); // built-in entries untouched
}

TEST(LoadCustomList, CrLfAtTheEndAddsOneEmptySlot) {
    Loaded loaded(L"myapp,My application\r\n");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 2);
    ASSERT_EQ(loaded.catalogue.StartupDescriptions.size(), kFirst + 2);
    EXPECT_EQ(loaded.Name(kFirst), L"myapp");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 1));
}

TEST(LoadCustomList, OnlyCrLfPairsGiveEmptySlotsAndNoMessage) {
    Loaded loaded(L"\r\n\r\n");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 3);
    for (std::size_t i = kFirst; i <= kFirst + 2; ++i) {
        EXPECT_TRUE(loaded.SlotEmpty(i)) << i;
    }
    std::size_t entries = 0;
    for (const CatalogueEntry& entry : loaded.catalogue.Entries()) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, kFirst); // the empty slots are never visited
}

TEST(LoadCustomList, ATextWithoutCrLfIsCutAtEveryLf) {
    Loaded loaded(L"first,First program\nsecond,Second program\n\nbroken\nfifth,Fifth\rstill fifth\n");
    EXPECT_EQ(loaded.sink.shown, std::vector<Shown>{kCorrupt});
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 6) << "six lines, the last one empty";
    EXPECT_EQ(loaded.Name(kFirst), L"first");
    EXPECT_EQ(loaded.Description(kFirst), L"First program");
    EXPECT_EQ(loaded.Name(kFirst + 1), L"second");
    EXPECT_EQ(loaded.Description(kFirst + 1), L"Second program");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 2));
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 3));
    EXPECT_EQ(loaded.Description(kFirst + 4), L"Fifth\rstill fifth") << "a lone CR stays part of its line";
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 5));

    Loaded one(L"\n");
    EXPECT_TRUE(one.sink.shown.empty());
    EXPECT_EQ(one.catalogue.size(), kFirst + 2);
}

TEST(LoadCustomList, OneCrLfAnywhereKeepsEveryLoneLfInsideItsLine) {
    Loaded loaded(L"first,First program\nsecond,Second program\r\nthird,Third");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 2);
    EXPECT_EQ(loaded.Name(kFirst), L"first");
    EXPECT_EQ(loaded.Description(kFirst), L"First program\nsecond");
    EXPECT_EQ(loaded.Name(kFirst + 1), L"third");
}

// The system's calls end a name at a NUL: "Foo<NUL>Bar" would be looked up, and deleted, as "Foo".
TEST(LoadCustomList, ANulInANameOrDescriptionMakesTheLineCorrupt) {
    using namespace std::string_literals;
    Loaded loaded(L"Foo\0Bar,desc\r\nqttask,cut\0short\r\ngood,entry,third\0field\r\n\0\r\n\0,x\r\nlast,one"s);
    EXPECT_EQ(loaded.sink.shown, (std::vector<Shown>{kCorrupt, kCorrupt, kCorrupt, kCorrupt}));
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 6);
    EXPECT_TRUE(loaded.SlotEmpty(kFirst));
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 1));
    EXPECT_EQ(loaded.Name(kFirst + 2), L"good") << "a NUL in the dropped third field harms nothing";
    EXPECT_EQ(loaded.Description(kFirst + 2), L"entry");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 3));
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 4));
    EXPECT_EQ(loaded.Name(kFirst + 5), L"last");
    for (const CatalogueEntry& entry : loaded.catalogue.Entries()) {
        EXPECT_EQ(entry.name.find(L'\0'), std::wstring_view::npos) << "index " << entry.index;
        EXPECT_NE(entry.name, L"Foo");
    }
}

TEST(LoadCustomList, LoneCrIsAnOrdinaryCharacter) {
    Loaded loaded(L"a\rb,c\rd\r\n\r,x\n\r\n");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 3);
    EXPECT_EQ(loaded.Name(kFirst), L"a\rb");
    EXPECT_EQ(loaded.Description(kFirst), L"c\rd");
    EXPECT_EQ(loaded.Name(kFirst + 1), L"\r");
    EXPECT_EQ(loaded.Description(kFirst + 1), L"x\n");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 2));
}

TEST(LoadCustomList, CrCrLfSplitsAtTheSecondCr) {
    Loaded loaded(L"a,b\r\r\nc,d");
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 2);
    EXPECT_EQ(loaded.Description(kFirst), L"b\r");
    EXPECT_EQ(loaded.Name(kFirst + 1), L"c");
}

TEST(LoadCustomList, SpacesAreKeptOnBothSidesOfTheComma) {
    Loaded loaded(L" name , description ");
    EXPECT_TRUE(loaded.sink.shown.empty());
    EXPECT_EQ(loaded.Name(kFirst), L" name ");
    EXPECT_EQ(loaded.Description(kFirst), L" description ");
}

TEST(LoadCustomList, AThirdFieldIsDropped) {
    Loaded loaded(L"name,description,third,fourth");
    EXPECT_TRUE(loaded.sink.shown.empty());
    EXPECT_EQ(loaded.Name(kFirst), L"name");
    EXPECT_EQ(loaded.Description(kFirst), L"description");
}

TEST(LoadCustomList, TwoCommasInARowLeaveAnEmptyDescription) {
    Loaded loaded(L"name,,description");
    EXPECT_EQ(loaded.sink.shown, std::vector<Shown>{kCorrupt});
    EXPECT_TRUE(loaded.SlotEmpty(kFirst));
}

TEST(LoadCustomList, CorruptLinesAreReportedOnceEachInOrderAndLeaveTheirSlotEmpty) {
    Loaded loaded(L",leading comma\r\ntrailing comma,\r\nno comma\r\ngood,entry\r\n,");
    EXPECT_EQ(loaded.sink.shown, (std::vector<Shown>{kCorrupt, kCorrupt, kCorrupt, kCorrupt}));
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 5);
    EXPECT_TRUE(loaded.SlotEmpty(kFirst));
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 1));
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 2));
    EXPECT_EQ(loaded.Name(kFirst + 3), L"good");
    EXPECT_EQ(loaded.Description(kFirst + 3), L"entry");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 4));
}

TEST(LoadCustomList, MessagesComeInLineOrderInterleavedWithNothingElse) {
    // Each corrupt line gives exactly one message, even when it is corrupt in two ways.
    Loaded loaded(L",\r\nx\r\n,y\r\nz,");
    EXPECT_EQ(loaded.sink.shown.size(), 4u);
}

TEST(LoadCustomList, SpacesOnlyLines) {
    Loaded loaded(L"   \r\n  ,  ");
    EXPECT_EQ(loaded.sink.shown, std::vector<Shown>{kCorrupt});
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 2);
    EXPECT_TRUE(loaded.SlotEmpty(kFirst));
    EXPECT_EQ(loaded.Name(kFirst + 1), L"  ");
    EXPECT_EQ(loaded.Description(kFirst + 1), L"  ");
}

TEST(LoadCustomList, BlankLineBetweenGoodLinesKeepsNumbering) {
    Loaded loaded(L"one,First\r\n\r\nthree,Third");
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 3);
    EXPECT_EQ(loaded.Name(kFirst), L"one");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 1));
    EXPECT_EQ(loaded.Name(kFirst + 2), L"three");
    EXPECT_EQ(loaded.Description(kFirst + 2), L"Third");
    std::vector<std::size_t> custom;
    for (const CatalogueEntry& entry : loaded.catalogue.Entries()) {
        if (entry.index >= kFirst) {
            custom.push_back(entry.index);
        }
    }
    EXPECT_EQ(custom, (std::vector<std::size_t>{kFirst, kFirst + 2}));
}

TEST(LoadCustomList, ANameRepeatingABuiltInOneIsASecondEntry) {
    Loaded loaded(L"ctfmon,My own ctfmon description");
    EXPECT_TRUE(loaded.sink.shown.empty());
    EXPECT_EQ(loaded.Name(20), L"ctfmon");
    EXPECT_EQ(loaded.Name(kFirst), L"ctfmon");
    EXPECT_EQ(loaded.Description(kFirst), L"My own ctfmon description");
    EXPECT_NE(loaded.Description(20), loaded.Description(kFirst));
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

TEST(LoadCustomList, AHundredThousandLinesLoadFast) {
    std::wstring text;
    for (int i = 0; i < 100'000; ++i) {
        if (i > 0) {
            text += L"\r\n";
        }
        if (i % 10 != 9) { // every tenth line blank
            text += L"value" + std::to_wstring(i) + L",Description of value " + std::to_wstring(i);
        }
    }
    const auto start = std::chrono::steady_clock::now();
    Loaded loaded(text);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(loaded.sink.shown.empty());
    ASSERT_EQ(loaded.catalogue.size(), kFirst + 100'000);
    EXPECT_EQ(loaded.Name(kFirst), L"value0");
    EXPECT_EQ(loaded.Name(kFirst + 99'998), L"value99998");
    EXPECT_EQ(loaded.Description(kFirst + 99'998), L"Description of value 99998");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 99'999));
    EXPECT_EQ(loaded.Name(kFirst + 40'000), L"value40000");
    EXPECT_TRUE(loaded.SlotEmpty(kFirst + 40'009));
    EXPECT_LT(ms, 2000) << "loading took " << ms << " ms";
    std::printf("[ info ] 100,000 custom lines loaded in %lld ms\n", static_cast<long long>(ms));
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

class Startup : public ::testing::Test {
protected:
    void SetUp() override { BuildCatalogue(catalogue_); }
    std::wstring Run() { return LoadCustomListAtStartup(kFolder, catalogue_, files_, sink_); }
    Catalogue catalogue_;
    FakeFileSystem files_;
    RecordingSink sink_;
};

TEST_F(Startup, NoFileNoMessageOnlyBuiltIns) {
    EXPECT_TRUE(Run().empty());
    EXPECT_TRUE(sink_.shown.empty());
    EXPECT_EQ(catalogue_.size(), kFirst);
    EXPECT_EQ(files_.existsCalls, std::vector<std::wstring>{kPath});
}

TEST_F(Startup, AGoodFileShowsOnlyTheInformationAndLoads) {
    files_.files[kPath].bytes = "one,First\r\ntwo,Second";
    EXPECT_EQ(Run(), L"one,First\r\ntwo,Second");
    EXPECT_EQ(sink_.shown, std::vector<Shown>{kUsing});
    ASSERT_EQ(catalogue_.size(), kFirst + 2);
    EXPECT_EQ(catalogue_.StartupNames[kFirst + 1], L"two");
}

TEST_F(Startup, ZeroBytes) {
    files_.files[kPath].bytes = "";
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(Startup, AnUnreadableFileReadsAsEmpty) {
    files_.files[kPath].bytes = "a,b";
    files_.files[kPath].opens = false;
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(Startup, AFolderNamedCustomTxtReadsAsEmpty) {
    files_.folders[kPath] = true;
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(Startup, AnOversizedFileGetsOneMessageAndTheBuiltInsStillLoad) {
    files_.files[kPath].reportedSize = 2ull << 30;
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kTooLarge}));
    EXPECT_EQ(catalogue_.size(), kFirst);
    EXPECT_EQ(catalogue_.StartupNames[100], L"Microsoft Office Fast Cache");
    EXPECT_EQ(files_.bytesRequested, 0u);
}

TEST_F(Startup, CorruptLinesAfterTheInformation) {
    files_.files[kPath].bytes = "bad\r\ngood,entry\r\n,worse";
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kCorrupt, kCorrupt}));
    EXPECT_EQ(catalogue_.StartupNames[kFirst + 1], L"good");
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

TEST_F(Startup, AFileOfOnlyAMarkIsAnEmptyList) {
    files_.files[kPath].bytes = "\xEF\xBB\xBF";
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(Startup, ANulInANameFromTheFileIsReportedAndNeverLookedUp) {
    using namespace std::string_literals;
    files_.files[kPath].bytes = "Foo\0Bar,desc\r\nBar,ok"s;
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kCorrupt}));
    ASSERT_EQ(catalogue_.size(), kFirst + 2);
    EXPECT_TRUE(catalogue_.StartupNames[kFirst].empty());
    EXPECT_EQ(catalogue_.StartupNames[kFirst + 1], L"Bar");
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

// The platform's real file system, on files in a fresh temporary folder (natively and under Wine).
class RealFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("runsweep-custom-") + info->name() + "-" +
                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(folder_);
        BuildCatalogue(catalogue_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    void Write(const std::string& bytes) {
        std::ofstream out(folder_ / "custom.txt", std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::wstring Run() { return LoadCustomListAtStartup(folder_.wstring(), catalogue_, NativeFileSystem(), sink_); }

    std::filesystem::path folder_;
    Catalogue catalogue_;
    RecordingSink sink_;
};

TEST_F(RealFiles, NoFile) {
    EXPECT_FALSE(FileExists(NativeFileSystem(), (folder_ / "custom.txt").wstring()));
    EXPECT_TRUE(Run().empty());
    EXPECT_TRUE(sink_.shown.empty());
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(RealFiles, AFileIsReadAndLoaded) {
    Write("one,First\r\n\r\nthree,Third\r\n");
    EXPECT_EQ(Run(), L"one,First\r\n\r\nthree,Third\r\n");
    EXPECT_EQ(sink_.shown, std::vector<Shown>{kUsing});
    ASSERT_EQ(catalogue_.size(), kFirst + 4);
    EXPECT_EQ(catalogue_.StartupNames[kFirst], L"one");
    EXPECT_EQ(catalogue_.StartupDescriptions[kFirst + 2], L"Third");
}

TEST_F(RealFiles, AZeroByteFile) {
    Write("");
    EXPECT_TRUE(Run().empty());
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(RealFiles, AFolderNamedCustomTxtExistsButReadsAsEmpty) {
    std::filesystem::create_directory(folder_ / "custom.txt");
    EXPECT_TRUE(FileExists(NativeFileSystem(), (folder_ / "custom.txt").wstring()));
    EXPECT_EQ(ReadTextFile(NativeFileSystem(), (folder_ / "custom.txt").wstring()).status, ReadTextStatus::Unreadable);
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kEmpty}));
}

TEST_F(RealFiles, TheFolderItselfExists) {
    EXPECT_TRUE(FileExists(NativeFileSystem(), folder_.wstring()));
}

TEST_F(RealFiles, AFileOverTheLimitIsNotRead) {
    // A sparse file: its size is over the limit, its blocks are not written.
    { std::ofstream out(folder_ / "custom.txt", std::ios::binary); }
    std::filesystem::resize_file(folder_ / "custom.txt", kCustomListSizeLimit + 1);
    Run();
    EXPECT_EQ(sink_.shown, (std::vector<Shown>{kUsing, kTooLarge}));
    EXPECT_EQ(catalogue_.size(), kFirst);
}

} // namespace
} // namespace runsweep
