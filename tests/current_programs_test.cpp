// The built-in table of today's programs (catalogue/current_programs.txt) and the prefix match its
// patterns use.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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
    // Every entry needs a source a reader can open, which is why it is not the 266 it once was.
    EXPECT_GE(CurrentProgramCount(), 133u);
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

#ifndef _WIN32
// A source a reader can open: a web address, a public repository's file ("owner/repo `path`", a
// note in brackets allowed between them), or an issue or pull request of a named repository.
bool CitesAPublicAddress(const std::string& text) {
    static const std::regex url(R"(https?://[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+/\S+)");
    static const std::regex repositoryFile(R"([A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+ (\([^)]*\) )?`[^`]+`)");
    static const std::regex thread(R"([A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+ (issue|pull request) [0-9]+)");
    return std::regex_search(text, url) || std::regex_search(text, repositoryFile) || std::regex_search(text, thread);
}

struct SourcesFile {
    std::map<std::string, std::string> keys;               // L1 -> its source
    std::vector<std::pair<std::string, std::string>> rows; // entry name -> its sources cell
    std::string whole;
};

// The "Keys" and "Entries" tables of catalogue/current_programs_sources.md.
SourcesFile ReadSourcesFile() {
    std::ifstream file(std::string(RUNSWEEP_SOURCE_DIR) + "/catalogue/current_programs_sources.md");
    SourcesFile sources;
    std::string section;
    std::string line;
    while (std::getline(file, line)) {
        sources.whole += line + "\n";
        if (line.rfind("## ", 0) == 0) {
            section = line.substr(3);
            continue;
        }
        const std::size_t bar = line.find(" | ");
        if (line.rfind("| ", 0) != 0 || bar == std::string::npos || line.rfind("| Key |", 0) == 0 ||
            line.rfind("| Entries |", 0) == 0) {
            continue;
        }
        const std::string first = line.substr(2, bar - 2);
        const std::string rest = line.substr(bar + 3);
        if (section == "Keys") {
            sources.keys[first] = rest;
        } else if (section == "Entries") {
            for (std::size_t start = 0; start <= first.size();) {
                const std::size_t comma = first.find(", ", start);
                const std::size_t end = comma == std::string::npos ? first.size() : comma;
                sources.rows.emplace_back(first.substr(start, end - start), rest);
                start = end + 2;
            }
        }
    }
    return sources;
}
#endif

// Every entry is a claim a user relies on, so each must name where its value name was seen, and
// that place must be one anyone can open.
TEST_F(CurrentPrograms, EveryEntryHasASourceAReaderCanOpen) {
#ifdef _WIN32
    GTEST_SKIP() << "reads the sources file from the source tree; the native build runs it";
#else
    const SourcesFile sources = ReadSourcesFile();
    ASSERT_FALSE(sources.keys.empty()) << "the sources file lost its table of keys";
    ASSERT_FALSE(sources.rows.empty()) << "the sources file lost its table of entries";
    for (const auto& [key, source] : sources.keys) {
        EXPECT_TRUE(CitesAPublicAddress(source)) << key << " is no public address: " << source;
    }
    static const std::regex keyReference(R"(\b[LS][0-9]+\b)");
    std::set<std::string> rowNames;
    for (const auto& [name, cell] : sources.rows) {
        EXPECT_TRUE(rowNames.insert(name).second) << "two rows for " << name;
        bool keyed = false;
        for (std::sregex_iterator it(cell.begin(), cell.end(), keyReference), end; it != end; ++it) {
            EXPECT_EQ(sources.keys.count(it->str()), 1u) << name << " cites an unknown key " << it->str();
            keyed = true;
        }
        EXPECT_TRUE(keyed || CitesAPublicAddress(cell)) << name << " has no public source: " << cell;
    }
    std::set<std::string> entryNames;
    for (std::size_t i = kBuiltInCount; i < FirstCustomIndex(); ++i) {
        const std::string name = Narrow(catalogue_.StartupNames[i]) + (catalogue_.IsPrefixAt(i) ? "*" : "");
        entryNames.insert(name);
        EXPECT_EQ(rowNames.count(name), 1u) << "no sources row for " << name;
    }
    for (const std::string& name : rowNames) {
        EXPECT_EQ(entryNames.count(name), 1u) << "a sources row for " << name << ", which is no entry";
    }
    // A bare reference number that only a private catalogue resolves is no source either.
    static const std::regex identifier(R"(\b[0-9]{8,}\b)");
    std::smatch found;
    EXPECT_FALSE(std::regex_search(sources.whole, found, identifier)) << "private identifier: " << found.str();
#endif
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
