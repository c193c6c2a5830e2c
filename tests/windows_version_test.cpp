#include "app/windows_version.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace runsweep {
namespace {

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::wstring, MessageIcon>> shown;
};

TEST(CheckWindowsVersion, WarnsOnceWithoutIconOutsideTheNtFamilyOnly) {
    RecordingSink nt;
    CheckWindowsVersion(2, nt); // VER_PLATFORM_WIN32_NT: every NT system, and Wine
    EXPECT_TRUE(nt.shown.empty());

    // 1: Windows 95/98/Me; 0: Win32s, or a version query that failed and left the record zeroed.
    for (unsigned long platform : {0ul, 1ul, 3ul}) {
        RecordingSink other;
        CheckWindowsVersion(platform, other);
        ASSERT_EQ(other.shown.size(), 1u) << platform;
        EXPECT_EQ(other.shown[0].first, L"You must have Windows 2K/NT/XP/Vista to run this application. You have an "
                                        L"unsupported operating system.");
        EXPECT_EQ(other.shown[0].second, MessageIcon::None);
    }
}

} // namespace
} // namespace runsweep
