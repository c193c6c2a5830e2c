#include "app/launches.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace runsweep {
namespace {

class FakeShell : public ShellLauncher {
public:
    explicit FakeShell(bool succeed) : succeed_(succeed) {}
    bool Open(const wchar_t* file) override {
        opened.emplace_back(file);
        return succeed_;
    }
    std::vector<std::wstring> opened;

private:
    bool succeed_;
};

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::wstring, MessageIcon>> shown;
};

const std::wstring kBase = L"https://www.quorvane.example/";

TEST(Launches, EachWebPageOpensItsExactAddressOnTheOneSite) {
    const std::pair<WebPage, std::wstring> expected[] = {
        {WebPage::Donate, kBase + L"donate.php"},
        {WebPage::DetectedList, kBase + L"forums/index.php?showtopic=1248"},
        {WebPage::Contact, kBase + L"contact.php"},
        {WebPage::CorporateLicensing, kBase + L"corporate.php"},
    };
    for (const auto& [page, address] : expected) {
        FakeShell shell(true);
        OpenDocument(shell, page);
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0], address);
    }
}

TEST(Launches, FailedWebLaunchIsSilentButFailedMsconfigIsReported) {
    FakeShell failing(false);
    RecordingSink sink;
    OpenDocument(failing, WebPage::Contact); // must neither throw nor need a sink

    OpenMsconfig(failing, sink, L"C:\\Windows\\System32\\msconfig.exe");
    ASSERT_EQ(failing.opened.back(), L"C:\\Windows\\System32\\msconfig.exe");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].first, L"MSConfig failed to open properly.");
    EXPECT_EQ(sink.shown[0].second, MessageIcon::Error);

    FakeShell working(true);
    RecordingSink quiet;
    OpenMsconfig(working, quiet, L"C:\\Windows\\System32\\msconfig.exe");
    EXPECT_TRUE(quiet.shown.empty());
}

const SystemFolders kFolders{L"C:\\WINDOWS", L"C:\\WINDOWS\\system32"};

TEST(Launches, ReenablingStartsMsconfigByItsFullPathOnlyWhereItCanReenableTheRecords) {
    struct Case {
        const char* system;
        WindowsVersion version;
        SystemFolders folders;
        const wchar_t* msconfig; // what is started; null: the program's own window opens
    };
    const std::wstring xp = L"C:\\WINDOWS\\pchealth\\helpctr\\binaries\\msconfig.exe";
    const Case cases[] = {
        {"2000 (none there: its failure is said)", {5, 0}, kFolders, xp.c_str()},
        {"XP", {5, 1}, kFolders, xp.c_str()},
        {"XP x64 and Server 2003", {5, 2}, kFolders, xp.c_str()},
        {"Vista", {6, 0}, kFolders, L"C:\\WINDOWS\\system32\\msconfig.exe"},
        {"7", {6, 1}, {L"D:\\Win", L"D:\\Win\\System32\\"}, L"D:\\Win\\System32\\msconfig.exe"},
        {"7, the x86 build on x64",
         {6, 1},
         {L"C:\\Windows", L"C:\\Windows\\Sysnative"},
         L"C:\\Windows\\Sysnative\\msconfig.exe"},
        {"8", {6, 2}, kFolders, nullptr},
        {"8.1", {6, 3}, kFolders, nullptr},
        {"10 and 11", {10, 0}, kFolders, nullptr},
        {"unknown", {0, 0}, kFolders, nullptr},
        {"NT 4.0", {4, 0}, kFolders, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        FakeShell shell(true);
        RecordingSink sink;
        EXPECT_EQ(MsconfigReenables(c.version), c.msconfig != nullptr);
        EXPECT_EQ(OpenReenable(shell, sink, c.version, c.folders), c.msconfig == nullptr)
            << "whether the program's own window opens";
        if (c.msconfig) {
            ASSERT_EQ(shell.opened.size(), 1u);
            EXPECT_EQ(shell.opened[0], c.msconfig);
        } else {
            EXPECT_TRUE(shell.opened.empty());
        }
        EXPECT_TRUE(sink.shown.empty());
    }
}

TEST(Launches, AnMsconfigThatWillNotStartOrCannotBeFoundIsReportedAndTheOwnWindowOpensInstead) {
    FakeShell failing(false);
    RecordingSink sink;
    EXPECT_TRUE(OpenReenable(failing, sink, WindowsVersion{6, 1}, kFolders));
    ASSERT_EQ(failing.opened.size(), 1u);
    EXPECT_EQ(failing.opened[0], L"C:\\WINDOWS\\system32\\msconfig.exe");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].first, L"MSConfig failed to open properly.");
    EXPECT_EQ(sink.shown[0].second, MessageIcon::Error);

    // A system that would not name its folders: never the bare name, which the shell would look
    // for beside the program first.
    for (const SystemFolders& unknown : {SystemFolders{}, SystemFolders{L"", L""}}) {
        for (const WindowsVersion version : {WindowsVersion{5, 1}, WindowsVersion{6, 1}}) {
            FakeShell shell(true);
            RecordingSink said;
            EXPECT_EQ(MsconfigPath(version, unknown), L"");
            EXPECT_TRUE(OpenReenable(shell, said, version, unknown));
            EXPECT_TRUE(shell.opened.empty());
            ASSERT_EQ(said.shown.size(), 1u);
            EXPECT_EQ(said.shown[0].first, L"MSConfig failed to open properly.");
        }
    }
}

TEST(Launches, VersionHistoryIsTwoLinesNewestFirst) {
    RecordingSink sink;
    ShowVersionHistory(sink);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].second, MessageIcon::Information);
    const std::wstring& text = sink.shown[0].first;
    const auto split = text.find(L"\r\n");
    ASSERT_NE(split, std::wstring::npos);
    EXPECT_EQ(text.substr(0, split), L"1.06 (10/30/07) - Added custom list (custom.txt) feature.");
    EXPECT_EQ(text.substr(split + 2), L"1.05 (8/24/07) - Digital signatures added.");
}

} // namespace
} // namespace runsweep
