// How the scan uses the registry: what it asks, how often, and how it copes when a call fails.
#include "registry_contract.h"

#include "app/scan_startups.h"
#include "registry/folder_actions.h"
#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"
#include "registry/name_case.h"
#include "registry/startup_state.h"

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>

namespace runsweep::contract {
namespace {

void SeedAt(Registry& registry, RunPlace place, const std::wstring& name) {
    RegKey key;
    ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
    ASSERT_EQ(registry.SetStringValue(key, name, L"C:\\" + name + L".exe"), kSuccess);
}

void Seed(Registry& registry, Hive hive, const std::wstring& name) {
    RegKey key;
    ASSERT_EQ(registry.CreateKey(hive, kRunKeyPath, key), kSuccess);
    ASSERT_EQ(registry.SetStringValue(key, name, L"C:\\" + name + L".exe"), kSuccess);
}

Catalogue BuiltInPlus(std::size_t custom) {
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    for (std::size_t i = 0; i < custom; ++i) {
        catalogue.AppendEntry(L"Custom entry " + std::to_wstring(i), L"custom");
    }
    return catalogue;
}

std::size_t QueriesFor(const MemoryRegistry& registry, Hive hive, const std::wstring& name) {
    return static_cast<std::size_t>(
        std::count_if(registry.Log().begin(), registry.Log().end(), [&](const RegistryCall& c) {
            return c.op == RegistryOp::Query && c.hive == hive && c.value == name;
        }));
}

TEST(ScanCalls, DoNotGrowWithTheCatalogue) {
    MemoryRegistry registry;
    for (const wchar_t* name : {L"jusched", L"QuickTime Task", L"Unlisted one", L"Unlisted two"}) {
        ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, name));
    }
    for (const wchar_t* name : {L"qttask", L"Custom entry 30000", L"NVIEW", L"Unlisted three"}) {
        ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, name));
    }

    RowLog small_rows;
    registry.ResetCallCounts();
    ScanStartups(BuiltInPlus(0), registry, small_rows);
    const std::size_t small_calls = registry.TotalCallCount();

    RowLog big_rows;
    registry.ResetCallCounts();
    ScanStartups(BuiltInPlus(32766 - kBuiltInCount), registry, big_rows);
    EXPECT_EQ(big_rows.rows.size(), small_rows.rows.size() + 1) << "the custom entry is found too";
    // Three opens (the 32-bit view's Run key does not exist), two enumerations of 4 values each
    // (plus their ends), one query per listed value, two closes; no value counts, since the
    // catalogue's patterns need every value name anyway. The custom entry costs its one query.
    EXPECT_EQ(small_calls, 3u + 10u + 4u + 2u);
    EXPECT_EQ(registry.TotalCallCount(), small_calls + 1);
    EXPECT_EQ(registry.CallCount(RegistryOp::Open), 3u);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(ScanCalls, ARunKeyWithMoreValuesThanTheCatalogueHasNamesIsAskedNameByName) {
    MemoryRegistry registry;
    for (int i = 0; i < 30; ++i) {
        ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"Tool " + std::to_wstring(i)));
    }
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"JUSCHED"));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"qttask"));
    registry.ResetCallCounts();
    const Catalogue catalogue = CatalogueOf({{L"jusched", L""}, {L"qttask", L""}, {L"jusched", L""}});
    RowLog rows;
    ScanStartups(catalogue, registry, rows);
    EXPECT_EQ(rows.Names(), (std::vector<std::wstring>{L"jusched", L"qttask"}));
    EXPECT_EQ(registry.CallCount(RegistryOp::Enumerate), 2u) << "only HKLM's single value and its end";
    // HKCU: jusched and qttask asked once each; HKLM: the one candidate, qttask.
    EXPECT_EQ(registry.CallCount(RegistryOp::Query), 3u);
}

TEST(ScanCalls, EachPlaceThatHoldsANameIsAskedOnceAndARepeatNotAtAll) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"CTDVDDet"));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"CTDVDDet"));
    registry.ClearLog();
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    const std::vector<FoundStartup> found = FindStartups(catalogue, registry);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].index, 60u);
    EXPECT_EQ(found[0].places, (std::vector<RunPlace>{RunPlace::CurrentUser, RunPlace::Machine64}));
    EXPECT_EQ(QueriesFor(registry, Hive::CurrentUser, L"CTDVDDet"), 1u);
    EXPECT_EQ(QueriesFor(registry, Hive::LocalMachine, L"CTDVDDet"), 1u);
}

TEST(ScanCalls, A32BitWindowsOpensOneMachineRunKey) {
    MemoryRegistry registry(false);
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"jusched"));
    registry.ClearLog();
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    const std::vector<FoundStartup> found = FindStartups(catalogue, registry);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].places, std::vector<RunPlace>{RunPlace::Machine64});
    EXPECT_EQ(registry.CallCount(RegistryOp::Open), 2u) << "HKCU and the one HKLM";
}

TEST(ScanCalls, TheRegistryDecidesCandidatesTheIndexCannotTellApart) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"\u0410\u0413\u0415\u041d\u0422")); // "АГЕНТ"
    registry.ClearLog();
    const Catalogue catalogue = CatalogueOf({{L"\u0430\u0433\u0435\u043d\u0442", L"same word, lower case"},
                                             {L"\u0430\u0433\u0435\u043d\u044b", L"another word, same length"},
                                             {L"\u0430\u0433\u0435\u043d", L"shorter"}});
    RowLog rows;
    ScanStartups(catalogue, registry, rows);
    EXPECT_EQ(rows.Names(), (std::vector<std::wstring>{L"\u0430\u0433\u0435\u043d\u0442"}));
    EXPECT_EQ(registry.CallCount(RegistryOp::Query), 2u) << "the shorter name is no candidate";
}

TEST(ScanCalls, EmptySlotsAndTheDefaultValueAreNeverQueried) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L""));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L""));
    Catalogue catalogue;
    catalogue.Resize(50);
    catalogue.AppendEntry(L"x", L"x");
    registry.ClearLog();
    RowLog rows;
    ScanStartups(catalogue, registry, rows);
    EXPECT_FALSE(IsStartupPresent(registry, L""));
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(QueriesFor(registry, Hive::CurrentUser, L""), 0u);
    EXPECT_EQ(QueriesFor(registry, Hive::LocalMachine, L""), 0u);
    EXPECT_EQ(QueriesFor(registry, Hive::LocalMachine, L"x"), 1u) << "the one name is asked";
}

// Windows' switch beside the Run keys: the three places, on, off with 03 and 07, missing and
// malformed values; what each entry's state, row text and preset come to, and what it costs.
TEST(ScanSwitches, EachEntryGetsItsStateFromEveryPlaceThatHoldsItAtAFewCallsMore) {
    MemoryRegistry registry;
    const FileTime june = 133932528000000000ULL; // 2025-06-01 12:00 UTC
    const FileTime july = june + 30ULL * 24 * 3600 * 10000000;
    const std::vector<unsigned char> on = SwitchOnData();
    const auto off = [](unsigned char state, FileTime time) {
        std::vector<unsigned char> data = SwitchOffData(time);
        data[0] = state;
        return data;
    };
    struct Case {
        const wchar_t* name;
        std::vector<std::pair<RunPlace, std::optional<std::vector<unsigned char>>>> places; // nullopt: no switch
        EntryState state;
        std::wstring sentence;
    } const cases[] = {
        {L"jusched", {{RunPlace::CurrentUser, on}}, EntryState::On, L""},
        {L"qttask",
         {{RunPlace::CurrentUser, off(3, june)}},
         EntryState::Off,
         L"Switched off in Task Manager on 2025-06-01."},
        {L"NvCplDaemon",
         {{RunPlace::Machine32, off(7, june)}},
         EntryState::Off,
         L"Switched off in Task Manager on 2025-06-01."},
        {L"SunJavaUpdateSched", {{RunPlace::Machine64, std::nullopt}}, EntryState::On, L""},
        {L"NeroCheck", {{RunPlace::CurrentUser, std::vector<unsigned char>{3, 0}}}, EntryState::On, L""},
        {L"CTDVDDet",
         {{RunPlace::CurrentUser, off(3, july)}, {RunPlace::Machine64, off(3, june)}, {RunPlace::Machine32, off(7, 0)}},
         EntryState::Off,
         L"Switched off in Task Manager on 2025-07-01."},
        {L"QuickTime Task",
         {{RunPlace::CurrentUser, off(3, june)}, {RunPlace::Machine64, std::nullopt}, {RunPlace::Machine32, on}},
         EntryState::Mixed,
         L"Switched off in Task Manager for HKCU on 2025-06-01; still on for HKLM and HKLM (32-bit)."},
        {L"Adobe Reader Speed Launch",
         {{RunPlace::Machine64, off(3, 0)}},
         EntryState::Off,
         L"Switched off in Task Manager."},
    };
    for (const Case& c : cases) {
        for (const auto& [place, data] : c.places) {
            ASSERT_NO_FATAL_FAILURE(SeedAt(registry, place, c.name));
            if (data) {
                RegKey key;
                const SwitchKey where = RunSwitchKey(place);
                ASSERT_EQ(registry.CreateKey(where.hive, where.path, key), kSuccess);
                ASSERT_EQ(registry.SetValue(key, c.name, kRegBinary, *data), kSuccess);
            }
        }
    }
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    std::vector<FoundStartup> found = FindStartups(catalogue, registry);
    ASSERT_EQ(found.size(), std::size(cases));
    EXPECT_TRUE(std::all_of(found.begin(), found.end(), [](const FoundStartup& f) { return f.switches.empty(); }));
    registry.ResetCallCounts();
    ReadStartupSwitches(registry, found);
    // Each place's switch key opened once; one query per place of each entry, none per catalogue entry.
    EXPECT_EQ(registry.CallCount(RegistryOp::Open), 3u);
    EXPECT_EQ(registry.CallCount(RegistryOp::Query), 12u);
    EXPECT_EQ(registry.CallCount(RegistryOp::Enumerate), 0u);
    for (const Case& c : cases) {
        const auto entry =
            std::find_if(found.begin(), found.end(), [&](const FoundStartup& f) { return f.name == c.name; });
        ASSERT_NE(entry, found.end()) << ::testing::PrintToString(std::wstring(c.name));
        ASSERT_EQ(entry->switches.size(), entry->places.size());
        EXPECT_EQ(StateOf(*entry), c.state) << ::testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(SwitchSentence(*entry), c.sentence);
        // Every place named, once the entry is in more than one.
        const std::wstring found_in = c.places.size() > 1 ? L"Found in: HKCU, HKLM and HKLM (32-bit). " : L"";
        EXPECT_EQ(RowDescription(*entry),
                  (c.sentence.empty() ? L"" : c.sentence + L" ") + found_in + entry->description);
        EXPECT_EQ(PresetBox(*entry), c.state == EntryState::Off ? RowBox::NoAction : RowBox::Disable);
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);

    // Switch keys that cannot be read leave every entry on, as Windows starts them; the scan's
    // own rows are the same.
    for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine32}) { // Run is HKCU's and HKLM's path
        registry.AddFault(FaultRule{RegistryOp::Open, std::nullopt, RunSwitchKey(place).path, std::nullopt,
                                    std::nullopt, 0, kAccessDenied, std::nullopt});
    }
    std::vector<FoundStartup> again = FindStartups(catalogue, registry);
    ReadStartupSwitches(registry, again);
    ASSERT_EQ(again.size(), found.size());
    for (const FoundStartup& entry : again) {
        EXPECT_TRUE(std::none_of(entry.switches.begin(), entry.switches.end(), [](const StartupSwitch& s) {
            return s.Off();
        })) << ::testing::PrintToString(entry.name);
    }
}

TEST(ScanFailures, AFailedEnumerationFallsBackToAskingEveryName) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"Other"));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"jusched"));
    registry.AddFault(FaultRule{RegistryOp::Enumerate, Hive::CurrentUser, std::nullopt, std::nullopt, std::nullopt, 2,
                                kOutOfMemory, std::nullopt});
    RowLog rows;
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    ScanStartups(catalogue, registry, rows);
    EXPECT_EQ(rows.Names(), (std::vector<std::wstring>{L"jusched"}));
    // Every exact name is asked once (CTDVDDet too); patterns have no name to ask.
    std::set<std::wstring> exact;
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        if (!entry.prefix) {
            exact.insert(RegistryUpcase(entry.name));
        }
    }
    EXPECT_EQ(registry.CallCount(RegistryOp::Query), exact.size());
    EXPECT_LT(exact.size(), FirstCustomIndex() - 1);
}

TEST(ScanFailures, AnUnreadableRunKeyHoldsNothingAndTheOtherStillCounts) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"jusched"));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"qttask"));
    registry.AddFault(FaultRule{RegistryOp::Open, Hive::CurrentUser, std::nullopt, std::nullopt, std::nullopt, 0,
                                kAccessDenied, std::nullopt});
    RowLog rows;
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    ScanStartups(catalogue, registry, rows);
    EXPECT_EQ(rows.Names(), (std::vector<std::wstring>{L"qttask"}));

    registry.ClearFaults();
    registry.AddFault(FaultRule{RegistryOp::Query, Hive::CurrentUser, std::nullopt, std::nullopt, std::nullopt, 0,
                                kAccessDenied, std::nullopt});
    EXPECT_FALSE(IsStartupPresent(registry, L"jusched")) << "a failed query counts as absence";
    EXPECT_TRUE(IsStartupPresent(registry, L"qttask"));
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// ... but the scan says which places it could not read, so nobody is told an unread key is empty.
TEST(ScanFailures, EachPlaceThatCouldNotBeReadIsReportedWithWhatStoppedIt) {
    struct Case {
        const char* label;
        RegistryOp op;
        long status;
        std::vector<std::wstring> rows;
    } const cases[] = {
        {"HKCU cannot be opened", RegistryOp::Open, kAccessDenied, {L"qttask"}},
        {"HKCU's values cannot be asked", RegistryOp::Query, kAccessDenied, {L"qttask"}},
        // Names that begin with a pattern are only found by enumerating; the exact ones still are.
        {"HKCU cannot be enumerated", RegistryOp::Enumerate, kOutOfMemory, {L"jusched", L"qttask"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"jusched"));
        ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::LocalMachine, L"qttask"));
        registry.AddFault(
            FaultRule{c.op, Hive::CurrentUser, kRunKeyPath, std::nullopt, std::nullopt, 0, c.status, std::nullopt});
        Catalogue catalogue;
        BuildCatalogue(catalogue);
        std::vector<UnreadablePlace> unreadable;
        std::vector<std::wstring> names;
        for (const FoundStartup& entry : FindStartups(catalogue, registry, nullptr, &unreadable)) {
            names.push_back(entry.name);
        }
        EXPECT_EQ(names, c.rows);
        ASSERT_EQ(unreadable.size(), 1u);
        EXPECT_EQ(unreadable[0].place, RunPlace::CurrentUser);
        EXPECT_EQ(unreadable[0].status, c.status);
    }
    // A Run key that is not there is no failure: it holds nothing.
    MemoryRegistry empty;
    std::vector<UnreadablePlace> unreadable{{RunPlace::Machine32, kAccessDenied}};
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    EXPECT_TRUE(FindStartups(catalogue, empty, nullptr, &unreadable).empty());
    EXPECT_TRUE(unreadable.empty());
    EXPECT_EQ(UnreadablePlacesMessage({{RunPlace::Machine64, kAccessDenied}, {RunPlace::Machine32, kOutOfMemory}}),
              L"The Run keys of HKLM (error 5) and HKLM (32-bit) (error 14) could not be read, so the entries there "
              L"are not listed. Close Runsweep and run it as administrator to see them.");
}

// The index may hold two names equal that the registry tells apart (the query sorts them out) but
// never the other way round. Checked here against the in-memory table; the Windows tests check it
// against the system's.
TEST(MatchKeyFolding, NeverSeparatesNamesTheRegistryHoldsEqual) {
    for (std::uint32_t c = 1; c <= 0xFFFF; ++c) {
        const auto unit = static_cast<wchar_t>(c);
        ASSERT_EQ(MatchKey(std::wstring(1, unit)), MatchKey(std::wstring(1, RegistryUpcase(unit)))) << "unit " << c;
    }
    EXPECT_EQ(MatchKey(L"D\u00e9marrage d'Office"), MatchKey(L"D\u00c9MARRAGE D'OFFICE"));
    EXPECT_EQ(MatchKey(L"\u0151\u017e"), MatchKey(L"\u0150\u017d")); // Latin Extended-A pairs
    EXPECT_NE(MatchKey(L"qttask"), MatchKey(L"qttasc"));
    EXPECT_NE(MatchKey(L"Demarrage"), MatchKey(L"D\u00e9marrage")) << "accents are letters of their own";
    EXPECT_NE(MatchKey(L"qttask"), MatchKey(L"\xff51ttask"));
}

// ---------------------------------------------------------------------------------------------
// The Startup folders.

TEST(FolderScan, EachFolderIsListedOnceAndItemsMatchByTheirNameWithoutExtension) {
    MemoryFolderFiles files;
    const std::wstring user = files.KnownFolder(StartupFolder::User);
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    for (const wchar_t* name : {L"Adobe Gamma Loader.lnk", L"desktop.ini", L"ADOBE GAMMA LOADER.exe", L".lnk"}) {
        files.PutFile(JoinPath(user, name), {'x'});
    }
    for (const wchar_t* name : {L"Microsoft Office.lnk", L"Desktop.INI", L"notes.txt", L"Microsoft Office.lnk.bak"}) {
        files.PutFile(JoinPath(common, name), {'x'});
    }
    files.AddFolder(JoinPath(user, L"Microsoft Find Fast.lnk")); // a folder is no item

    const std::vector<FolderListing> listings = ListStartupFolders(files);
    EXPECT_EQ(files.CallCount(FileOp::List), 2u);
    EXPECT_EQ(files.CallCount(FileOp::KnownFolder), 2u);
    ASSERT_EQ(listings.size(), 2u);
    EXPECT_EQ(listings[0].folder, StartupFolder::User);
    EXPECT_EQ(listings[1].names.size(), 3u) << "desktop.ini is no item, whatever its case";

    const auto paths = [&](const std::wstring& name) {
        std::vector<std::wstring> found;
        for (const FolderItem& item : ItemsNamed(listings, name)) {
            found.push_back(item.path);
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(paths(L"adobe gamma loader"), (std::vector<std::wstring>{JoinPath(user, L"ADOBE GAMMA LOADER.exe"),
                                                                       JoinPath(user, L"Adobe Gamma Loader.lnk")}));
    EXPECT_EQ(paths(L"Microsoft Office"), (std::vector<std::wstring>{JoinPath(common, L"Microsoft Office.lnk")}));
    EXPECT_EQ(paths(L"Microsoft Office.lnk"),
              (std::vector<std::wstring>{JoinPath(common, L"Microsoft Office.lnk.bak")}));
    EXPECT_TRUE(paths(L"desktop").empty());
    EXPECT_TRUE(paths(L"Microsoft Find Fast").empty());
    EXPECT_TRUE(paths(L"").empty()) << "the empty name matches nothing";
    EXPECT_EQ(paths(L".lnk"), (std::vector<std::wstring>{JoinPath(user, L".lnk")}));

    // A folder that does not exist holds nothing; one that cannot be listed says so.
    files.SetKnownFolder(StartupFolder::Common, L"D:\\Nowhere\\Startup");
    files.AddFault(FileFaultRule{FileOp::List, user, 0, kAccessDenied});
    const std::vector<FolderListing> again = ListStartupFolders(files);
    EXPECT_EQ(again[0].status, kAccessDenied);
    EXPECT_EQ(again[1].status, kSuccess);
    EXPECT_TRUE(again[0].names.empty() && again[1].names.empty());
}

TEST(FolderScan, RunValuesAndFilesOfANameAreOneRowWithEveryPlaceAndNoFileIsOpened) {
    MemoryRegistry registry;
    MemoryFolderFiles files;
    const std::wstring user = files.KnownFolder(StartupFolder::User);
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"Microsoft Office"));
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Hive::CurrentUser, L"qttask"));
    files.PutFile(JoinPath(user, L"Microsoft Office.lnk"), {'L'}, Shortcut{L"C:\\osa.exe", L"-b"});
    files.PutFile(JoinPath(common, L"microsoft office.LNK"), {'L'}, Shortcut{L"C:\\osa.exe", L""});
    files.PutFile(JoinPath(common, L"Adobe Gamma Loader.lnk"), {'L'}, Shortcut{L"C:\\gamma.exe", L""});
    files.PutFile(JoinPath(common, L"desktop.ini"), {'x'});
    files.PutFile(JoinPath(user, L"My own script.cmd"), {'x'});
    // A today's entry given by a prefix, as a file's name.
    files.PutFile(JoinPath(user, L"MicrosoftEdgeAutoLaunch_0123.url"), {'x'});
    // Switched off in Task Manager: the all-users shortcut, by its file's name with the extension.
    {
        RegKey key;
        const SwitchKey where = StartupFolderSwitchKey(Hive::LocalMachine);
        ASSERT_EQ(registry.CreateKey(where.hive, where.path, key), kSuccess);
        ASSERT_EQ(registry.SetValue(key, L"Adobe Gamma Loader.lnk", kRegBinary, SwitchOffData(0)), kSuccess);
        ASSERT_EQ(registry.SetValue(key, L"microsoft office.LNK", kRegBinary, SwitchOffData(0)), kSuccess);
    }
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    files.ResetCallCounts();
    std::vector<FoundStartup> found = FindStartups(catalogue, registry, &files);
    EXPECT_EQ(files.CallCount(FileOp::List), 2u) << "each folder listed once";
    EXPECT_EQ(files.CallCount(FileOp::Read) + files.CallCount(FileOp::ReadShortcut) + files.CallCount(FileOp::Exists),
              0u)
        << "the scan opens no file";

    std::vector<std::pair<std::wstring, std::wstring>> rows;
    for (const FoundStartup& entry : found) {
        rows.emplace_back(entry.name, LabelList(EntryPlaceLabels(entry)));
    }
    EXPECT_EQ(rows, (std::vector<std::pair<std::wstring, std::wstring>>{
                        {L"Microsoft Office", L"HKCU, Startup folder and Startup folder (all users)"},
                        {L"Adobe Gamma Loader", L"Startup folder (all users)"},
                        {L"qttask", L"HKCU"},
                        {L"MicrosoftEdgeAutoLaunch_0123", L"Startup folder"},
                    }));
    ASSERT_EQ(found[0].files.size(), 2u);
    EXPECT_EQ(found[0].files[1].path, JoinPath(common, L"microsoft office.LNK"));

    EXPECT_EQ(PlacesSentence(found[0]), L"Found in: HKCU, Startup folder and Startup folder (all users).");
    EXPECT_EQ(PlacesSentence(found[1]), L"Found in: Startup folder (all users).");
    EXPECT_EQ(PlacesSentence(found[2]), L"") << "one Run key, as the list has always shown";

    ReadStartupSwitches(registry, found);
    EXPECT_EQ(StateOf(found[0]), EntryState::Mixed);
    EXPECT_EQ(SwitchSentence(found[0]),
              L"Switched off in Task Manager for Startup folder (all users); still on for HKCU and Startup folder.");
    EXPECT_EQ(RowDescription(found[0]),
              L"Switched off in Task Manager for Startup folder (all users); still on for HKCU and Startup folder. "
              L"Found in: HKCU, Startup folder and Startup folder (all users). " +
                  found[0].description);
    EXPECT_EQ(StateOf(found[1]), EntryState::Off);
    EXPECT_EQ(PresetBox(found[1]), RowBox::NoAction) << "Windows does not start it anyway";
    EXPECT_EQ(StateOf(found[2]), EntryState::On);

    // Without the folders, the Run keys alone, as before.
    EXPECT_EQ(FindStartups(catalogue, registry).size(), 2u);
}

TEST(FolderNames, FilesShortcutsAndRecordsAreReadAsWindowsAndTheUtilityWriteThem) {
    struct Name {
        const wchar_t* name;
        const wchar_t* stem;
        ItemKind kind;
    };
    for (const Name& n : std::vector<Name>{{L"Adobe Gamma Loader.lnk", L"Adobe Gamma Loader", ItemKind::Link},
                                           {L"Snipaste.URL", L"Snipaste", ItemKind::InternetShortcut},
                                           {L"DOSPRG.PIF", L"DOSPRG", ItemKind::ProgramInformation},
                                           {L"a.b.c.cmd", L"a.b.c", ItemKind::File},
                                           {L".hidden", L".hidden", ItemKind::File},
                                           {L"NoExtension", L"NoExtension", ItemKind::File}}) {
        EXPECT_EQ(FileStem(n.name), n.stem);
        EXPECT_EQ(KindOfItem(n.name), n.kind) << ::testing::PrintToString(std::wstring(n.name));
    }
    EXPECT_EQ(ParentFolder(L"C:\\a.lnk"), L"C:\\");
    EXPECT_EQ(FolderRecordKeyName(L"C:\\ProgramData\\Startup\\x.lnk"), L"C:^ProgramData^Startup^x.lnk");
    EXPECT_FALSE(IsFolderRecordKeyName(FolderRecordKeyName(L"C:\\" + std::wstring(253, L'x'))));
    EXPECT_TRUE(IsFolderRecordKeyName(FolderRecordKeyName(L"C:\\" + std::wstring(252, L'x'))));

    // Every byte of the literal, its NULs too, but not its terminator.
    const auto bytes = [](const auto& text) { return std::vector<unsigned char>(text, text + sizeof(text) - 1); };
    EXPECT_EQ(InternetShortcutUrl(bytes("[Other]\r\nURL=wrong\r\n[InternetShortcut]\r\nIconIndex=0\r\n url = "
                                        "https://snipaste.com/ \r\n")),
              L"https://snipaste.com/");
    EXPECT_EQ(
        InternetShortcutUrl(bytes(
            "[{000214A0-0000-0000-C000-000000000046}]\nProp3=19,11\n[InternetShortcut]\nURL=steam://rungameid/1\n")),
        L"steam://rungameid/1");
    EXPECT_EQ(InternetShortcutUrl(
                  bytes("\xff\xfe[\0I\0n\0t\0e\0r\0n\0e\0t\0S\0h\0o\0r\0t\0c\0u\0t\0]\0\n\0U\0R\0L\0=\0x\0:\0y\0")),
              L"x:y");
    EXPECT_EQ(InternetShortcutUrl(bytes("URL=no section\r\n")), L"");

    EXPECT_EQ(ShortcutCommand(Shortcut{L"C:\\Program Files\\App\\app.exe", L"--tray"}),
              L"\"C:\\Program Files\\App\\app.exe\" --tray");
    EXPECT_EQ(ShortcutCommand(Shortcut{L"C:\\app.exe", L""}), L"C:\\app.exe");
    EXPECT_EQ(ShortcutCommand(Shortcut{L"", L"shell:AppsFolder\\x"}), L"shell:AppsFolder\\x");

    struct Record {
        const wchar_t* extension;
        const wchar_t* location;
        const wchar_t* backup;
        std::optional<StartupFolder> folder;
    };
    for (const Record& r : std::vector<Record>{
             {L".CommonStartup", L"C:\\ProgramData\\...\\Startup", L"C:\\Windows\\pss\\a.lnk.CommonStartup",
              StartupFolder::Common},
             {L".Startup", L"C:\\Users\\u\\...\\Startup", L"C:\\Windows\\pss\\a.lnk.Startup", StartupFolder::User},
             {L"", L"Common Startup", L"C:\\WINDOWS\\pss\\a.lnkCommon Startup", StartupFolder::Common},
             {L"", L"Startup", L"C:\\WINDOWS\\pss\\a.lnkStartup", StartupFolder::User},
             {L"", L"", L"C:\\WINDOWS\\pss\\a.lnkcommon startup", StartupFolder::Common},
             {L"", L"", L"C:\\WINDOWS\\pss\\a.lnk", std::nullopt},
         }) {
        EXPECT_EQ(FolderOfRecord(r.extension, r.location, r.backup), r.folder)
            << ::testing::PrintToString(std::wstring(r.backup));
    }
}

// A shortcut file laid out as the shell writes one: the header, the item list when flags say so, the
// link information (its local path in ASCII, and in UTF-16 too when `wide_info`), the counted
// strings, the closing block.
struct LinkImage {
    unsigned long flags = 0x2 | 0x10 | 0x20 | 0x80; // link info, working folder, arguments, UTF-16 strings
    std::size_t id_list = 0;                        // bytes of item list, with flag 0x1
    unsigned long info_flags = 0x1;                 // a local path
    bool wide_info = false;
    std::wstring base = L"C:\\Tools\\tool.exe";
    std::wstring suffix;
    std::wstring working = L"C:\\Tools";
    std::wstring arguments = L"--tray";

    std::vector<unsigned char> Bytes() const {
        std::vector<unsigned char> out;
        const auto u16 = [](std::vector<unsigned char>& to, std::size_t v) {
            to.push_back(static_cast<unsigned char>(v & 0xFF));
            to.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
        };
        const auto u32 = [&](std::vector<unsigned char>& to, std::size_t v) {
            u16(to, v & 0xFFFF);
            u16(to, v >> 16);
        };
        const auto text = [&](std::vector<unsigned char>& to, const std::wstring& s, bool wide) {
            for (const wchar_t c : s) {
                wide ? u16(to, static_cast<std::size_t>(c)) : to.push_back(static_cast<unsigned char>(c));
            }
        };
        u32(out, 0x4C);
        for (const unsigned char b :
             {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}) {
            out.push_back(b);
        }
        u32(out, flags);
        out.resize(0x4C, 0);
        if (flags & 0x1) {
            u16(out, id_list);
            out.resize(out.size() + id_list, 0x14);
        }
        const std::size_t header = wide_info ? 0x24 : 0x1C;
        std::vector<unsigned char> tail(16, 0); // the volume's description
        const std::size_t base_at = header + tail.size();
        text(tail, base + L'\0', false);
        const std::size_t suffix_at = header + tail.size();
        text(tail, suffix + L'\0', false);
        const std::size_t wide_base_at = header + tail.size();
        text(tail, base + L'\0', true);
        const std::size_t wide_suffix_at = header + tail.size();
        text(tail, suffix + L'\0', true);
        std::vector<unsigned char> info;
        for (const std::size_t v :
             {header + tail.size(), header, std::size_t{info_flags}, header, base_at, std::size_t{0}, suffix_at}) {
            u32(info, v);
        }
        if (wide_info) {
            u32(info, wide_base_at);
            u32(info, wide_suffix_at);
        }
        info.insert(info.end(), tail.begin(), tail.end());
        out.insert(out.end(), info.begin(), info.end());
        for (const auto& [flag, s] : {std::pair{0x10ul, working}, std::pair{0x20ul, arguments}}) {
            if (flags & flag) {
                u16(out, s.size());
                text(out, s, (flags & 0x80) != 0);
            }
        }
        u32(out, 0);
        return out;
    }
};

TEST(ShortcutBytes, APlainLocalShortcutIsReadFromItsBytesAndAnythingElseIsLeftToTheShell) {
    struct Case {
        const char* what;
        LinkImage image;
        std::optional<Shortcut> read; // nothing: the shell's to read
    };
    const auto with = [](auto change) {
        LinkImage image;
        change(image);
        return image;
    };
    const std::vector<Case> cases = {
        {"plain", LinkImage{}, Shortcut{L"C:\\Tools\\tool.exe", L"--tray"}},
        {"an item list first, ANSI strings, no working folder",
         with([](LinkImage& i) { i.flags = 0x1 | 0x2 | 0x20, i.id_list = 300, i.arguments = L"-autostart"; }),
         Shortcut{L"C:\\Tools\\tool.exe", L"-autostart"}},
        {"no arguments", with([](LinkImage& i) { i.flags &= ~0x20ul; }), Shortcut{L"C:\\Tools\\tool.exe", L""}},
        {"a suffix joined to the path", with([](LinkImage& i) { i.base = L"C:\\Tools\\", i.suffix = L"tool.exe"; }),
         Shortcut{L"C:\\Tools\\tool.exe", L"--tray"}},
        {"UTF-16 path", with([](LinkImage& i) { i.wide_info = true, i.base = L"C:\\B\u00fcro\\\u65e5.exe"; }),
         Shortcut{L"C:\\B\u00fcro\\\u65e5.exe", L"--tray"}},
        {"a code page's path", with([](LinkImage& i) { i.base = L"C:\\B\u00fcro\\a.exe"; }), std::nullopt},
        {"a network share", with([](LinkImage& i) { i.info_flags = 0x2; }), std::nullopt},
        {"environment strings", with([](LinkImage& i) { i.flags |= 0x200; }), std::nullopt},
        {"no link information", with([](LinkImage& i) { i.flags = 0x1 | 0x20 | 0x80, i.id_list = 40; }), std::nullopt},
        {"a NUL in the arguments, as some writers count one",
         with([](LinkImage& i) { i.arguments = std::wstring(L"-a\0b", 4); }), Shortcut{L"C:\\Tools\\tool.exe", L"-a"}},
        {"ANSI arguments beyond ASCII", with([](LinkImage& i) { i.flags &= ~0x80ul, i.arguments = L"\u00e9"; }),
         std::nullopt},
        {"an empty path", with([](LinkImage& i) { i.base.clear(); }), std::nullopt},
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> bytes = c.image.Bytes();
        Shortcut shortcut;
        const bool read = ReadShortcutBytes(bytes, shortcut);
        ASSERT_EQ(read, c.read.has_value()) << c.what;
        if (read) {
            EXPECT_EQ(shortcut.target, c.read->target) << c.what;
            EXPECT_EQ(shortcut.arguments, c.read->arguments) << c.what;
        }
        // Cut short anywhere before its strings end, or with any one byte spoilt, a file is never
        // read past its end (the sanitizers' watch) nor read as more than it holds.
        for (std::size_t size = 0; size + 4 < bytes.size(); ++size) {
            Shortcut cut;
            EXPECT_FALSE(ReadShortcutBytes(std::vector<unsigned char>(bytes.begin(), bytes.begin() + size), cut))
                << c.what << ", cut at " << size;
        }
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            std::vector<unsigned char> spoilt = bytes;
            spoilt[at] ^= 0xFF;
            Shortcut odd;
            if (ReadShortcutBytes(spoilt, odd)) {
                EXPECT_LT(odd.target.size() + odd.arguments.size(), bytes.size()) << c.what << ", byte " << at;
            }
        }
    }

    // The list reads a shortcut's bytes and asks the shell's link object only for what they leave
    // to it; a file that is no shortcut is shown by its own path.
    MemoryFolderFiles files;
    files.AddFolder(L"C:\\S");
    files.PutFile(L"C:\\S\\plain.lnk", LinkImage{}.Bytes(), Shortcut{L"C:\\wrong.exe", L""});
    files.PutFile(L"C:\\S\\share.lnk", cases[6].image.Bytes(), Shortcut{L"\\\\server\\share\\a.exe", L"/s"});
    files.PutFile(L"C:\\S\\broken.lnk", {'L', 0, 0, 0});
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, long, std::size_t>> commands = {
        {L"C:\\S\\plain.lnk", L"C:\\Tools\\tool.exe --tray", kSuccess, 0},
        {L"C:\\S\\share.lnk", L"\\\\server\\share\\a.exe /s", kSuccess, 1},
        {L"C:\\S\\broken.lnk", L"C:\\S\\broken.lnk", kInvalidData, 1},
    };
    for (const auto& [path, expected, status, shell_calls] : commands) {
        files.ResetCallCounts();
        std::wstring command;
        EXPECT_EQ(ItemCommand(files, path, command), status) << ::testing::PrintToString(std::wstring(path));
        EXPECT_EQ(command, expected);
        EXPECT_EQ(files.CallCount(FileOp::ReadShortcut), shell_calls) << ::testing::PrintToString(std::wstring(path));
    }
}

} // namespace
} // namespace runsweep::contract
