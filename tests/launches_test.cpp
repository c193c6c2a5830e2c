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

    OpenMsconfig(failing, sink);
    ASSERT_EQ(failing.opened.back(), L"msconfig.exe");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].first, L"MSConfig failed to open properly.");
    EXPECT_EQ(sink.shown[0].second, MessageIcon::Error);

    FakeShell working(true);
    RecordingSink quiet;
    OpenMsconfig(working, quiet);
    EXPECT_TRUE(quiet.shown.empty());
}

TEST(Launches, ReenablingStartsMsconfigOnlyWhereItCanReenableTheRecords) {
    struct Case {
        const char* system;
        WindowsVersion version;
        bool msconfig;
    };
    const Case cases[] = {
        {"XP", {5, 1}, true},   {"Vista", {6, 0}, true},       {"7", {6, 1}, true},        {"8", {6, 2}, false},
        {"8.1", {6, 3}, false}, {"10 and 11", {10, 0}, false}, {"unknown", {0, 0}, false}, {"NT 4.0", {4, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        FakeShell shell(true);
        RecordingSink sink;
        EXPECT_EQ(MsconfigReenables(c.version), c.msconfig);
        EXPECT_EQ(OpenReenable(shell, sink, c.version), !c.msconfig) << "whether the program's own window opens";
        EXPECT_EQ(shell.opened.size(), c.msconfig ? 1u : 0u);
        EXPECT_TRUE(sink.shown.empty());
    }
}

TEST(Launches, AnMsconfigThatWillNotStartIsReportedAndTheOwnWindowOpensInstead) {
    FakeShell failing(false);
    RecordingSink sink;
    EXPECT_TRUE(OpenReenable(failing, sink, WindowsVersion{6, 1}));
    ASSERT_EQ(failing.opened.size(), 1u);
    EXPECT_EQ(failing.opened[0], L"msconfig.exe");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].first, L"MSConfig failed to open properly.");
    EXPECT_EQ(sink.shown[0].second, MessageIcon::Error);
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
