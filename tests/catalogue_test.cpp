// The built-in catalogue and the compact text columns it is made of.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace runsweep {
namespace {

// Written out again by hand, independently of catalogue/builtin_catalogue.cpp.
const std::vector<std::wstring> kExpectedNames = {
    L"SoundMan", L"TkBellExe", L"SunJavaUpdateSched", L"Microsoft Works Update Detection", L"QuickTime Task",
    L"SigmatelSysTrayApp", L"IgfxTray", L"HotKeysCmds", L"Persistence", L"RoxioDragToDisc",
    // 10
    L"RoxWatchTray", L"Motive SmartBridge", L"MSMSGS", L"UpdReg", L"KernelFaultCheck", L"diagent", L"Reminder",
    L"MsnMsgr", L"Microsoft Office", L"CTFMON.EXE",
    // 20
    L"ctfmon", L"dumprep 0 -k", L"dumprep 0 -u", L"UserFaultCheck", L"Adobe Reader Speed Launch", L"Cmaudio",
    L"Logitech Desktop Messenger", L"LDM", L"LogitechSoftwareUpdate", L"HP Component Manager",
    // 30
    L"HP Software Update", L"LSBWatcher", L"updateMgr", L"ISUSPM Startup", L"ISUSScheduler", L"jusched",
    L"Adobe Gamma Loader", L"Adobe Reader Speed Lauch", L"qttask", L"nwiz",
    // 40
    L"NvCplDaemon", L"NVIEW", L"hkcmd", L"MMTray", L"MimBoot", L"Quicken Scheduled Updates", L"swg",
    L"Microsoft Office Startup", L"Office Startup", L"Realsched",
    // 50
    L"IntelliPoint", L"iTunes Helper", L"DVDLauncher", L"atiptaxx", L"Microsoft Utility Startup", L"Winampa",
    L"sbdrvdet", L"NVMCTRAY", L"CTsysVol", L"CTHELPER",
    // 60
    L"CTDVDDet", L"NeroCheck", L"NeroFilterCheck", L"AIM", L"NBJ", L"InCD", L"VTTimer", L"Remind_XP", L"ADGJdet",
    L"Jet Detection",
    // 70
    L"ttrayp", L"PDVDServ", L"RemoteControl", L"PowerBar", L"MoneyAgent", L"CTDVDDet", L"DiskeeperSystray",
    L"RealDownload", L"realplay", L"RealTray",
    // 80
    L"Quicknote", L"WorksFUD", L"ibmmessages", L"ICO", L"TOSCDSPD", L"Pinger", L"smoothview",
    L"D\u00E9marrage rapide du logiciel HP Image Zone", L"Lancement rapide d'Adobe Reader", L"D\u00E9marrage d'Office",
    // 90
    L"HP Image Zone Fast Start", L"Microsoft Recherche acc\u00E9l\u00E9r\u00E9e", L"Microsoft Find Fast", L"DVDUpgrade",
    L"Fpx", L"GrpConv", L"Activation", L"Microsoft Announcement Listener", L"TaskBar", L"Digital River eBot",
    L"Microsoft Office Fast Cache"};

// Every description whose exact wording is fixed.
const std::map<std::size_t, std::wstring> kQuotedDescriptions = {
    {0, L"System Tray icon for the Realtek AC97 Audio Sound Manager for AC97 onboard audio. Available via Start -> "
        L"Settings-> Control Panel. Removing this entry will free up a small amount of system resources."},
    {4, L"Provides a system tray icon that you can use for quick access to the QuickTime application and additional "
        L"settings. If you use the system tray icon to launch QuickTime you should leave this process running."},
    {14, L"In connection with memory dumps. Not necessary to run system properly. Removing this entry will free up "
         L"some system resources."},
    {18, L"Application which launches common MS Office components to help speed up the launch of Office programs."},
    {24, L"Speeds up the time it takes to load the Adobe Reader application. Not required to run Adobe correctly."},
    {37, L"Speeds up the launch of Adobe (Acrobat) Reader 7. Not necessary to run Adobe correctly."},
    {41, L"This is a DLL to enable multiple display monitors on a single computer. It can be a cause of numerous "
         L"problems on some computers."},
    {58, L"Creative sound card volume controls."},
    {60, L"Auto-detect and play a DVD when using a Creative Soundblaster Audigy2 soundcard."},
    {75, L"Allows users to auto-detect and play a DVD when using a Creative Soundblaster Audigy2 soundcard."},
    {89, L"Application which launches common MS Office [French] components to help speed up the launch of Office "
         L"programs."},
    {95, L"Microsoft Windows Program Group Converter - used by installers (ONLY in the RunOnce keys) - provides the "
         L"translation of groups and group items to folders and links."},
    {100, L"Part of MS Office 95 (v7.0). Not necessary to run MS Office 95 correctly."},
};

const std::vector<std::vector<std::size_t>> kSharedGroups = {{14, 21, 22, 23}, {18, 47, 48, 54}, {26, 27}, {33, 34},
                                                             {61, 62},         {68, 69},         {71, 72}, {78, 79}};

std::wstring Str(std::wstring_view view) {
    return std::wstring(view);
}

bool EndsWith(std::wstring_view text, std::wstring_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

class BuiltInCatalogue : public ::testing::Test {
protected:
    void SetUp() override { BuildCatalogue(catalogue_); }
    Catalogue catalogue_;
};

// The names exactly as listed above, so every property of them (CTDVDDet twice at 60 and 75 and no
// other name twice even ignoring case, the near duplicates 24/37 and 19/20, é as U+00E9 and a plain
// apostrophe in the French names 87 to 91, 28 names with spaces, 3 to 42 characters) holds by that.
TEST_F(BuiltInCatalogue, Holds101EntriesWithTheNamesInIndexOrder) {
    ASSERT_EQ(kExpectedNames.size(), 101u);
    ASSERT_EQ(kBuiltInCount, 101u);
    // Today's programs follow the original 101.
    ASSERT_EQ(catalogue_.StartupNames.size(), FirstCustomIndex());
    ASSERT_EQ(catalogue_.StartupDescriptions.size(), FirstCustomIndex());
    for (std::size_t i = 0; i < kExpectedNames.size(); ++i) {
        EXPECT_EQ(Str(catalogue_.StartupNames[i]), kExpectedNames[i]) << "index " << i;
    }
}

TEST_F(BuiltInCatalogue, QuotedDescriptionsAreExact) {
    for (const auto& [index, description] : kQuotedDescriptions) {
        EXPECT_EQ(Str(catalogue_.StartupDescriptions[index]), description) << "index " << index;
    }
}

TEST_F(BuiltInCatalogue, SharedGroupsShareOneTextAndNoOtherDescriptionRepeats) {
    std::set<std::size_t> grouped;
    for (const auto& group : kSharedGroups) {
        for (std::size_t member : group) {
            grouped.insert(member);
            EXPECT_EQ(catalogue_.StartupDescriptions[member], catalogue_.StartupDescriptions[group[0]])
                << member << " vs " << group[0];
            // Stored once: every member's text is the same characters in memory.
            EXPECT_EQ(catalogue_.StartupDescriptions[member].data(), catalogue_.StartupDescriptions[group[0]].data());
        }
    }
    EXPECT_EQ(grouped.size(), 20u);
    // Two indices hold the same description exactly when they are in the same group.
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        for (std::size_t j = i + 1; j < kBuiltInCount; ++j) {
            bool sameGroup = false;
            for (const auto& group : kSharedGroups) {
                bool hasI = false;
                bool hasJ = false;
                for (std::size_t member : group) {
                    hasI = hasI || member == i;
                    hasJ = hasJ || member == j;
                }
                sameGroup = sameGroup || (hasI && hasJ);
            }
            EXPECT_EQ(catalogue_.StartupDescriptions[i] == catalogue_.StartupDescriptions[j], sameGroup)
                << i << " and " << j;
        }
    }
    std::set<std::wstring> distinct;
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        distinct.insert(Str(catalogue_.StartupDescriptions[i]));
    }
    EXPECT_EQ(distinct.size(), 89u); // 81 entries of their own and 8 shared texts
}

TEST_F(BuiltInCatalogue, DescriptionLengthsAreInTheSpecifiedRange) {
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        EXPECT_GE(catalogue_.StartupDescriptions[i].size(), 36u) << i;
        EXPECT_LE(catalogue_.StartupDescriptions[i].size(), 222u) << i;
    }
    EXPECT_EQ(catalogue_.StartupDescriptions[58].size(), 36u); // the shortest description
}

TEST_F(BuiltInCatalogue, FourteenDescriptionsEndWithAFreeUpSentence) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        const std::wstring_view d = catalogue_.StartupDescriptions[i];
        if (EndsWith(d, L" Removing this entry will free up some system resources.") ||
            EndsWith(d, L" Removing this entry will free up a small amount of system resources.")) {
            ++count;
        }
        // The sentence appears only at the end.
        const std::size_t at = d.find(L"Removing this entry");
        if (at != std::wstring_view::npos) {
            EXPECT_EQ(d.find(L"Removing this entry", at + 1), std::wstring_view::npos) << i;
        }
    }
    EXPECT_EQ(count, 14u);
}

TEST_F(BuiltInCatalogue, FrenchEntriesAreMarked) {
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        const bool french = i == 87 || i == 88 || i == 89 || i == 91;
        EXPECT_EQ(catalogue_.StartupDescriptions[i].find(L"[French]") != std::wstring_view::npos, french) << i;
    }
}

TEST_F(BuiltInCatalogue, JavaSchedulersPointToTheVendorOrTheControlPanel) {
    for (std::size_t i : {std::size_t{2}, std::size_t{35}}) {
        const std::wstring_view d = catalogue_.StartupDescriptions[i];
        EXPECT_NE(d.find(L"java.com"), std::wstring_view::npos) << i;
        EXPECT_NE(d.find(L"Java Plug-In Control Panel"), std::wstring_view::npos) << i;
    }
    EXPECT_NE(catalogue_.StartupDescriptions[35].find(L"to update manually"), std::wstring_view::npos);
    EXPECT_EQ(catalogue_.StartupDescriptions[2].find(L"to update manually"), std::wstring_view::npos);
}

TEST_F(BuiltInCatalogue, BuildingAgainDropsCustomEntries) {
    catalogue_.AppendEntry(L"custom", L"a custom entry");
    ASSERT_EQ(catalogue_.size(), FirstCustomIndex() + 1);
    BuildCatalogue(catalogue_);
    EXPECT_EQ(catalogue_.size(), FirstCustomIndex());
    EXPECT_EQ(catalogue_.StartupDescriptions.size(), FirstCustomIndex());
    EXPECT_EQ(catalogue_.StartupNames[100], L"Microsoft Office Fast Cache");
}

TEST_F(BuiltInCatalogue, EntriesVisitsAllBuiltInEntriesInOrder) {
    std::size_t expected = 0;
    for (const CatalogueEntry& entry : catalogue_.Entries()) {
        EXPECT_EQ(entry.index, expected);
        EXPECT_EQ(entry.name, catalogue_.StartupNames[expected]);
        EXPECT_EQ(entry.description, catalogue_.StartupDescriptions[expected]);
        EXPECT_EQ(entry.prefix, catalogue_.IsPrefixAt(expected));
        EXPECT_TRUE(!entry.prefix || expected >= kBuiltInCount) << "the original entries are exact names";
        ++expected;
    }
    EXPECT_EQ(expected, FirstCustomIndex());
}

TEST(TextColumn, GrowsWithEmptySlotsAndSetsAnySlot) {
    TextColumn column;
    column.push_back(L"one");
    column.resize(4);
    ASSERT_EQ(column.size(), 4u);
    EXPECT_EQ(column[0], L"one");
    EXPECT_TRUE(column[1].empty());
    EXPECT_TRUE(column.IsEmptyAt(3));
    column.Set(2, L"three");
    column.push_back(L"");
    column.push_back_shared(2);
    EXPECT_EQ(column[2], L"three");
    EXPECT_TRUE(column[4].empty());
    EXPECT_EQ(column[5], L"three");
    EXPECT_EQ(column[0], L"one"); // earlier slots survive the pool's growth
    EXPECT_THROW(column.at(6), std::out_of_range);
    EXPECT_THROW(column.Set(6, L"x"), std::out_of_range);
    EXPECT_THROW(column.push_back_shared(6), std::out_of_range);
    column.resize(1);
    EXPECT_EQ(column.size(), 1u);
    EXPECT_EQ(column.at(0), L"one");
    // Past the filled run only texts take room, and a text set back to empty gives its room up; a
    // slot dropped and grown again is empty.
    column.resize(1'000'000);
    column.Set(999'999, L"last");
    column.Set(500'000, L"middle");
    EXPECT_EQ(column.KeptSlots(), 3u);
    EXPECT_EQ(column.NextFilled(1), 500'000u);
    column.Set(500'000, L"");
    EXPECT_EQ(column.NextFilled(1), 999'999u);
    EXPECT_EQ(column.KeptSlots(), 2u);
    column.resize(600'000);
    column.resize(1'000'000);
    EXPECT_TRUE(column.IsEmptyAt(999'999));
    EXPECT_EQ(column.NextFilled(1), 1'000'000u);
    column.clear();
    EXPECT_TRUE(column.empty());
}

TEST(TextColumn, KeepsEmbeddedNulsCommasAndLineFeeds) {
    TextColumn column;
    const std::wstring text(L"a\0b,c\nd", 7);
    column.push_back(text);
    EXPECT_EQ(Str(column[0]), text);
}

TEST(CatalogueEntries, SkipsEmptySlots) {
    Catalogue catalogue;
    catalogue.Resize(3);
    catalogue.AppendEntry(L"a", L"first");
    catalogue.Resize(7);
    catalogue.SetEntry(5, L"b", L"second");
    catalogue.AppendEntry(L"c", L"third");
    ASSERT_EQ(catalogue.size(), 8u);
    ASSERT_EQ(catalogue.StartupDescriptions.size(), 8u);
    std::vector<std::size_t> indices;
    std::wstring names;
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        indices.push_back(entry.index);
        names += entry.name;
    }
    EXPECT_EQ(indices, (std::vector<std::size_t>{3, 5, 7}));
    EXPECT_EQ(names, L"abc");

    Catalogue empty;
    EXPECT_TRUE(empty.Entries().begin() == empty.Entries().end());
    empty.Resize(10);
    EXPECT_TRUE(empty.Entries().begin() == empty.Entries().end());
}

TEST(CatalogueEntries, AMillionEmptySlotsAreSkippedQuickly) {
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    catalogue.Resize(1'000'101);
    catalogue.SetEntry(1'000'100, L"last", L"the only custom entry");
    const auto start = std::chrono::steady_clock::now();
    std::size_t visited = 0;
    std::size_t lastIndex = 0;
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        ++visited;
        lastIndex = entry.index;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(visited, FirstCustomIndex() + 1);
    EXPECT_EQ(lastIndex, 1'000'100u);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 500);
}

} // namespace
} // namespace runsweep
