// No entry or pattern of the built-in catalogue may list a Run value of the kinds a user needs:
// security software, anti-cheat, backup, file sync, password managers, accessibility tools, input
// methods, driver and device helpers, VM guest tools, remote access, servers, the shell. The names live in tests/data/runkeys/never_list.txt, which the
// coverage script reads too; the names the sources table leaves out on purpose must be among them,
// or nothing stops a later edit from bringing one back.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "registry/name_case.h"

namespace runsweep {
namespace {

#ifndef _WIN32
std::vector<std::string> SourceLines(const std::string& relativePath) {
    std::ifstream file(std::string(RUNSWEEP_SOURCE_DIR) + "/" + relativePath);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::wstring> ReadNeverList() {
    std::vector<std::wstring> names;
    for (const std::string& line : SourceLines("tests/data/runkeys/never_list.txt")) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string name = line.substr(0, line.find('|'));
        names.emplace_back(name.begin(), name.end()); // the file is ASCII
    }
    return names;
}

// The first cells of the "Left out on purpose" table of the sources file.
std::vector<std::wstring> NamesLeftOutOnPurpose() {
    std::vector<std::wstring> names;
    bool inSection = false;
    for (const std::string& line : SourceLines("catalogue/current_programs_sources.md")) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Left out on purpose";
            continue;
        }
        if (!inSection || line.rfind("| ", 0) != 0 || line.rfind("| Name |", 0) == 0) {
            continue;
        }
        const std::string name = line.substr(2, line.find(" | ") - 2);
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

std::string Narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}
#endif

TEST(NeverList, NoBuiltInEntryOrPatternListsAValueAUserNeeds) {
#ifdef _WIN32
    GTEST_SKIP() << "reads the list from the source tree; the native build runs it";
#else
    const std::vector<std::wstring> never = ReadNeverList();
    ASSERT_GE(never.size(), 40u) << "the list file was not found or lost its names";
    std::set<std::wstring> upper;
    for (const std::wstring& name : never) {
        ASSERT_FALSE(name.empty());
        EXPECT_TRUE(upper.insert(RegistryUpcase(name)).second) << "listed twice: " << Narrow(name);
    }

    // The 101 original entries are kept as they were. Three of them are the Intel graphics
    // driver's tray, hot-key and display helpers; those indices alone may match, by exact name.
    const std::set<std::size_t> keptOriginals{6, 7, 8};
    std::set<std::size_t> originalsSeen;
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        for (const std::wstring& name : never) {
            const bool listed = entry.prefix ? MatchesPrefix(entry.name, name) : RegistryNamesEqual(entry.name, name);
            if (!listed) {
                continue;
            }
            if (keptOriginals.count(entry.index) != 0 && !entry.prefix && entry.name == name) {
                originalsSeen.insert(entry.index);
                continue;
            }
            ADD_FAILURE() << "entry " << entry.index << " (" << Narrow(entry.name) << (entry.prefix ? "*" : "")
                          << ") lists " << Narrow(name);
        }
    }
    EXPECT_EQ(originalsSeen, keptOriginals) << "the exclusions must name real original entries";
#endif
}

// A guard only holds for the kinds it has names of, and a name's source is worth as much as a reader
// can check: each kind the table forbids keeps real names, and every source given is a public address.
TEST(NeverList, CoversEveryForbiddenKindAndCitesOnlyPublicSources) {
#ifdef _WIN32
    GTEST_SKIP() << "reads the list from the source tree; the native build runs it";
#else
    static const std::regex publicAddress(R"(^(https?://[A-Za-z0-9.-]+/\S+|[A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+ `[^`]+`)$)");
    std::map<std::string, int> namesOfKind;
    for (const std::string& line : SourceLines("tests/data/runkeys/never_list.txt")) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t bar = line.find('|');
        ASSERT_NE(bar, std::string::npos) << "no kind: " << line;
        const std::size_t sourceBar = line.find('|', bar + 1);
        const std::string kind = line.substr(bar + 1, sourceBar == std::string::npos ? std::string::npos : sourceBar - bar - 1);
        ++namesOfKind[kind.substr(0, kind.find(':'))];
        if (sourceBar != std::string::npos) {
            EXPECT_TRUE(std::regex_match(line.substr(sourceBar + 1), publicAddress)) << "no public source: " << line;
        }
    }
    for (const char* kind : {"security", "anti-cheat", "backup", "sync", "password manager", "accessibility",
                             "input method", "driver", "device", "vm", "remote access", "server", "shell"}) {
        EXPECT_GE(namesOfKind[kind], 1) << "no name guards the kind " << kind;
    }
#endif
}

TEST(NeverList, GuardsEveryNameTheSourcesLeaveOutOnPurpose) {
#ifdef _WIN32
    GTEST_SKIP() << "reads the lists from the source tree; the native build runs it";
#else
    const std::vector<std::wstring> leftOut = NamesLeftOutOnPurpose();
    ASSERT_GE(leftOut.size(), 10u) << "the sources file lost its table of names left out on purpose";
    std::set<std::wstring> never;
    for (const std::wstring& name : ReadNeverList()) {
        never.insert(RegistryUpcase(name));
    }
    for (const std::wstring& name : leftOut) {
        EXPECT_EQ(never.count(RegistryUpcase(name)), 1u) << "left out on purpose but not guarded: " << Narrow(name);
    }
#endif
}

} // namespace
} // namespace runsweep
