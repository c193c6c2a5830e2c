// The built-in table of today's programs (catalogue/current_programs.txt) and the prefix match its
// patterns use.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "registry/name_case.h"

namespace runsweep {
namespace {

std::string Narrow(std::wstring_view text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

// True when the catalogue entry would list a Run value named valueName.
bool Covers(const CatalogueEntry& entry, std::wstring_view valueName) {
    return entry.prefix ? MatchesPrefix(entry.name, valueName) : RegistryNamesEqual(entry.name, valueName);
}

class CurrentPrograms : public ::testing::Test {
protected:
    void SetUp() override { BuildCatalogue(catalogue_); }
    Catalogue catalogue_;
};

TEST_F(CurrentPrograms, FollowTheOriginalEntriesUpToTheFirstCustomIndex) {
    EXPECT_EQ(FirstCustomIndex(), kBuiltInCount + CurrentProgramCount());
    EXPECT_EQ(catalogue_.size(), FirstCustomIndex());
    // The table is meant to know the programs real machines carry; a handful would not be that.
    EXPECT_GE(CurrentProgramCount(), 250u);
    EXPECT_EQ(catalogue_.StartupNames[kBuiltInCount - 1], L"Microsoft Office Fast Cache");
    EXPECT_EQ(catalogue_.StartupNames[kBuiltInCount], L"MicrosoftEdgeAutoLaunch_") << "file order, star dropped";
    EXPECT_TRUE(catalogue_.IsPrefixAt(kBuiltInCount));
}

TEST_F(CurrentPrograms, EveryEntryHasANameWithoutOuterSpacesAndAShortDescriptionThatSaysIfItIsNeeded) {
    for (std::size_t i = kBuiltInCount; i < FirstCustomIndex(); ++i) {
        const std::wstring_view name = catalogue_.StartupNames[i];
        const std::wstring_view description = catalogue_.StartupDescriptions[i];
        ASSERT_FALSE(name.empty()) << i;
        EXPECT_NE(name.front(), L' ') << Narrow(name);
        EXPECT_NE(name.back(), L' ') << Narrow(name);
        EXPECT_EQ(name.find(L'*'), std::wstring_view::npos) << "stored without the star: " << Narrow(name);
        EXPECT_GE(description.size(), 36u) << Narrow(name);
        EXPECT_LE(description.size(), 200u) << Narrow(name);
        EXPECT_NE(description.find(L"Not required"), std::wstring_view::npos) << Narrow(name);
        EXPECT_EQ(description.find(L"uninstall"), std::wstring_view::npos)
            << "no advice to uninstall: " << Narrow(name);
    }
}

TEST_F(CurrentPrograms, OnlyThisTableHasPatternsAndItHasTheBrowserLaunchers) {
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        EXPECT_FALSE(catalogue_.IsPrefixAt(i)) << i;
    }
    std::size_t patterns = 0;
    bool edge = false;
    bool chrome = false;
    for (const CatalogueEntry& entry : catalogue_.Entries()) {
        if (entry.prefix) {
            ++patterns;
            edge = edge || entry.name == L"MicrosoftEdgeAutoLaunch_";
            chrome = chrome || entry.name == L"GoogleChromeAutoLaunch_";
        }
    }
    EXPECT_GE(patterns, 2u);
    EXPECT_TRUE(edge);
    EXPECT_TRUE(chrome);
    EXPECT_FALSE(catalogue_.IsPrefixAt(FirstCustomIndex())) << "past the end is never a pattern";
}

// No entry of today's programs repeats another entry of either table, and no pattern takes in
// another entry's name: each Run value gets at most one row from this table, and none of the
// original entries' rows is repeated by it.
TEST_F(CurrentPrograms, NoNameOrPatternCoversAnotherEntry) {
    for (std::size_t i = kBuiltInCount; i < FirstCustomIndex(); ++i) {
        const CatalogueEntry mine{i, catalogue_.StartupNames[i], catalogue_.StartupDescriptions[i],
                                  catalogue_.IsPrefixAt(i)};
        for (const CatalogueEntry& other : catalogue_.Entries()) {
            if (other.index == i) {
                continue;
            }
            EXPECT_FALSE(Covers(mine, other.name))
                << Narrow(mine.name) << (mine.prefix ? "*" : "") << " covers " << Narrow(other.name);
            if (other.prefix) {
                EXPECT_FALSE(Covers(other, mine.name)) << Narrow(other.name) << "* covers " << Narrow(mine.name);
            }
        }
    }
}

TEST_F(CurrentPrograms, PatternsListPerInstallNamesAndNotLookalikes) {
    const auto covered = [&](std::wstring_view valueName) {
        for (const CatalogueEntry& entry : catalogue_.Entries()) {
            if (Covers(entry, valueName)) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(covered(L"MicrosoftEdgeAutoLaunch_AB911FB5586384565CAD7B8D616D61B6"));
    EXPECT_TRUE(covered(L"microsoftedgeautolaunch_0123456789abcdef0123456789abcdef"));
    EXPECT_TRUE(covered(L"GoogleChromeAutoLaunch_E88856B6B5DF275909287BC7482DE870"));
    EXPECT_FALSE(covered(L"MicrosoftEdgeAutoLaunch")) << "the underscore is part of the pattern";
    EXPECT_FALSE(covered(L"MyMicrosoftEdgeAutoLaunch_1234"));
    EXPECT_FALSE(covered(L"SteamHelper")) << "exact names stay exact";
    EXPECT_TRUE(covered(L"STEAM"));
}

TEST(MatchesPrefix, ComparesTheStartAsTheRegistryComparesNames) {
    EXPECT_TRUE(MatchesPrefix(L"Edge_", L"Edge_1234"));
    EXPECT_TRUE(MatchesPrefix(L"Edge_", L"Edge_"));
    EXPECT_TRUE(MatchesPrefix(L"edge_", L"EDGE_x"));
    EXPECT_TRUE(MatchesPrefix(L"Caf\u00e9 ", L"CAF\u00c9 cr\u00e8me")) << "Latin-1 letters fold as in the registry";
    EXPECT_TRUE(MatchesPrefix(L"\u0436", L"\u0416\u0416")) << "Cyrillic folds too";
    EXPECT_FALSE(MatchesPrefix(L"Edge_", L"Edge"));
    EXPECT_FALSE(MatchesPrefix(L"Edge_", L"xEdge_1"));
    EXPECT_FALSE(MatchesPrefix(L"Edge_", L"Edge-1"));
    EXPECT_FALSE(MatchesPrefix(L"\u00b5", L"\u039c")) << "the micro sign stays itself, as in the registry";
    EXPECT_FALSE(MatchesPrefix(L"", L"anything"));
    EXPECT_FALSE(MatchesPrefix(L"", L""));
}

TEST(CataloguePatterns, SurviveOnlyTheirOwnSlots) {
    Catalogue catalogue;
    catalogue.AppendEntry(L"exact", L"d");
    catalogue.AppendPrefixEntry(L"Pat_", L"d");
    EXPECT_FALSE(catalogue.IsPrefixAt(0));
    EXPECT_TRUE(catalogue.IsPrefixAt(1));
    catalogue.SetEntry(1, L"now exact", L"d");
    EXPECT_FALSE(catalogue.IsPrefixAt(1)) << "a slot set again holds an exact name";
    catalogue.AppendPrefixEntry(L"Again_", L"d");
    ASSERT_TRUE(catalogue.IsPrefixAt(2));
    catalogue.Resize(2);
    catalogue.Resize(5);
    EXPECT_FALSE(catalogue.IsPrefixAt(2)) << "a dropped and regrown slot is empty and exact";
    catalogue.Clear();
    EXPECT_FALSE(catalogue.IsPrefixAt(0));
}

} // namespace
} // namespace runsweep
