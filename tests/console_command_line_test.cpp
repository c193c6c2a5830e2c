#include "console/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runsweep {
namespace {

ParsedCommandLine Parse(std::vector<std::wstring> args) {
    return ParseCommandLine(args);
}

TEST(ConsoleCommandLine, NoArgumentsListsAsText) {
    const ParsedCommandLine parsed = Parse({});
    ASSERT_TRUE(parsed.ok()) << std::string(parsed.error.begin(), parsed.error.end());
    EXPECT_EQ(parsed.options.command, ConsoleCommand::List);
    EXPECT_EQ(parsed.options.format, OutputFormat::Text);
    EXPECT_FALSE(parsed.options.dry_run);
    EXPECT_FALSE(parsed.options.all);
    EXPECT_TRUE(parsed.options.names.empty());
}

TEST(ConsoleCommandLine, CommandsNamesAndOptionsInAnyOrder) {
    ParsedCommandLine parsed =
        Parse({L"--format", L"json", L"disable", L"qttask", L"--dry-run", L"\u0444\u043e\u0442\u043e"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.options.command, ConsoleCommand::Disable);
    EXPECT_EQ(parsed.options.format, OutputFormat::Json);
    EXPECT_TRUE(parsed.options.dry_run);
    EXPECT_EQ(parsed.options.names, (std::vector<std::wstring>{L"qttask", L"\u0444\u043e\u0442\u043e"}));

    parsed = Parse({L"remove", L"--all", L"--format=csv"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.options.command, ConsoleCommand::Remove);
    EXPECT_EQ(parsed.options.format, OutputFormat::Csv);
    EXPECT_TRUE(parsed.options.all);

    parsed = Parse({L"enable", L"--all", L"--dry-run"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.options.command, ConsoleCommand::Enable);
    EXPECT_TRUE(parsed.options.all);
    EXPECT_EQ(Parse({L"disabled", L"--format", L"csv"}).options.command, ConsoleCommand::Disabled);

    parsed = Parse({L"list", L"--format", L"text"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.options.command, ConsoleCommand::List);
    EXPECT_EQ(parsed.options.format, OutputFormat::Text);
}

TEST(ConsoleCommandLine, DoubleDashMakesEverythingAfterItAName) {
    const ParsedCommandLine parsed = Parse({L"remove", L"--", L"--all", L"-odd", L"list"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(parsed.options.all);
    EXPECT_EQ(parsed.options.names, (std::vector<std::wstring>{L"--all", L"-odd", L"list"}));
    // Before any command "--" leaves names without one.
    EXPECT_FALSE(Parse({L"--", L"qttask"}).ok());
}

TEST(ConsoleCommandLine, MistakesAreUsageErrorsNamingTheFirstOne) {
    struct Case {
        std::vector<std::wstring> args;
        const wchar_t* says;
    };
    const std::vector<Case> cases = {
        {{L"sweep"}, L"unknown command \"sweep\""},
        {{L"Disables", L"qttask"}, L"unknown command \"Disables\""},
        {{L"--verbose"}, L"unknown option \"--verbose\""},
        {{L"list", L"-"}, L"unknown option \"-\""},
        {{L"--format", L"xml"}, L"unknown format \"xml\""},
        {{L"--format=CSVs"}, L"unknown format \"CSVs\""},
        {{L"list", L"--format"}, L"--format needs a value"},
        {{L"disable", L"--all", L"qttask"}, L"not both"},
        {{L"remove"}, L"name the entries to remove, or give --all"},
        {{L"disable", L"--dry-run"}, L"name the entries to disable"},
        {{L"list", L"qttask"}, L"list takes no names"},
        {{L"--all"}, L"list takes no --all"},
        {{L"--bogus", L"sweep"}, L"unknown option \"--bogus\""},
        {{L"disabled", L"qttask"}, L"disabled takes no names"},
        {{L"enable"}, L"name the entries to enable, or give --all"},
        {{L"list", L"--missing-ok"}, L"list takes no --missing-ok"},
    };
    for (const Case& c : cases) {
        const ParsedCommandLine parsed = Parse(c.args);
        EXPECT_FALSE(parsed.ok()) << std::string(c.args[0].begin(), c.args[0].end());
        EXPECT_NE(parsed.error.find(c.says), std::wstring::npos)
            << std::string(parsed.error.begin(), parsed.error.end());
    }
}

// As Windows tools take them: commands, options and format names in any letter case, names as given.
TEST(ConsoleCommandLine, CommandsOptionsAndFormatsInAnyLetterCaseNamesAsGiven) {
    struct Case {
        std::vector<std::wstring> args;
        ConsoleCommand command;
        OutputFormat format;
        bool dry_run, missing_ok;
    };
    const std::vector<Case> cases = {
        {{L"LIST"}, ConsoleCommand::List, OutputFormat::Text, false, false},
        {{L"list", L"--Format", L"CSV"}, ConsoleCommand::List, OutputFormat::Csv, false, false},
        {{L"Disabled", L"--FORMAT=Json"}, ConsoleCommand::Disabled, OutputFormat::Json, false, false},
        {{L"DISABLE", L"QtTask", L"--DRY-RUN", L"--Missing-OK"},
         ConsoleCommand::Disable,
         OutputFormat::Text,
         true,
         true},
        {{L"Enable", L"--missing-ok", L"jusched"}, ConsoleCommand::Enable, OutputFormat::Text, false, true},
        {{L"-H"}, ConsoleCommand::Help, OutputFormat::Text, false, false},
        {{L"/?"}, ConsoleCommand::Help, OutputFormat::Text, false, false},
        {{L"--VERSION"}, ConsoleCommand::Version, OutputFormat::Text, false, false},
    };
    for (const Case& c : cases) {
        const ParsedCommandLine parsed = Parse(c.args);
        ASSERT_TRUE(parsed.ok()) << std::string(parsed.error.begin(), parsed.error.end());
        EXPECT_EQ(parsed.options.command, c.command);
        EXPECT_EQ(parsed.options.format, c.format);
        EXPECT_EQ(parsed.options.dry_run, c.dry_run);
        EXPECT_EQ(parsed.options.missing_ok, c.missing_ok);
    }
    EXPECT_EQ(Parse({L"REMOVE", L"QtTask"}).options.names, std::vector<std::wstring>{L"QtTask"});
    // After "--" a name is a name, whatever it looks like.
    EXPECT_EQ(Parse({L"remove", L"--", L"--ALL"}).options.names, std::vector<std::wstring>{L"--ALL"});
}

TEST(ConsoleCommandLine, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(Parse({L"--help"}).options.command, ConsoleCommand::Help);
    EXPECT_EQ(Parse({L"/?"}).options.command, ConsoleCommand::Help);
    const ParsedCommandLine mistaken = Parse({L"sweep", L"--format", L"xml", L"-h"});
    EXPECT_TRUE(mistaken.ok());
    EXPECT_EQ(mistaken.options.command, ConsoleCommand::Help);
    EXPECT_EQ(Parse({L"disable", L"--version"}).options.command, ConsoleCommand::Version);
}

TEST(ConsoleCommandLine, UsageHintIsOneLineAndHelpNamesEveryCommandAndOption) {
    EXPECT_EQ(UsageHint().find_first_of(L"\r\n"), std::wstring::npos);
    const std::wstring help = HelpText();
    for (const wchar_t* word :
         {L"list", L"disable NAME", L"disable --all", L"remove NAME", L"remove --all", L"--format text|csv|json",
          L"--dry-run", L"--missing-ok", L"--version", L"Exit status", L"runsweepc disabled", L"enable NAME",
          L"enable --all", L"any letter case", L"apostrophe"}) {
        EXPECT_NE(help.find(word), std::wstring::npos) << std::wstring(word).size();
    }
    // Every line ends CR LF, none with a lone LF.
    for (std::size_t at = help.find(L'\n'); at != std::wstring::npos; at = help.find(L'\n', at + 1)) {
        ASSERT_GT(at, 0u);
        EXPECT_EQ(help[at - 1], L'\r');
    }
    EXPECT_EQ(VersionText(), L"runsweepc 1.06\r\n") << "one version";
}

} // namespace
} // namespace runsweep
