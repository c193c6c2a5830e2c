// "Disable" cut short: the process may die right after any change it makes to the registry (a crash,
// a power cut, the user ending it). Whenever that happens, every command that was in a Run key or a
// record before must still be in one, and running "Disable" again on what is left must finish the
// job with the very record a run without the interruption would have written.
#include "disable_scenario.h"
#include "dying_registry.h"
#include "registry_contract.h"

#include "registry/memory_registry.h"
#include "registry/reenable.h"
#include "registry/startup_approved.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace runsweep::contract {
namespace {

const std::wstring& kName = kScenarioName;
const RecordTime kWhenKilled{2026, 12, 8, 23, 30, 5};

StartupRecord RecordOf(Registry& registry) {
    StartupRecord record;
    ReadStartupRecord(registry, kName, record);
    return record;
}

// Where Windows keeps its startup switch: every place that held a value says off.
std::string SwitchesOn(Registry& registry, const Scenario& scenario) {
    std::string on;
    for (const auto& [place, command] : ScenarioValues(scenario)) {
        StartupSwitch state;
        if (command && (ReadStartupSwitch(registry, RunSwitchKey(place), kName, state) != kSuccess || !state.Off())) {
            on += " " + ::testing::PrintToString(std::wstring(PlaceLabel(place)));
        }
    }
    return on;
}

// With and without Windows' startup switch, whose writes are changes a kill may follow too.
TEST(DisableInterrupted, AKillAfterAnyChangeLosesNothingAndTheNextRunWritesTheSameRecord) {
    const RecordTime when{2026, 12, 8, 23, 30, 5};
    std::size_t kills = 0;
    std::size_t lost = 0;
    for (const bool keeps_switch : {false, true}) {
        for (const Scenario& scenario : DisableScenarios()) {
            SCOPED_TRACE(::testing::Message() << scenario.label << (keeps_switch ? ", with the switch" : ""));
            std::size_t changes = 0;
            StartupRecord whole_record;
            {
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
                DyingRegistry whole(store, 0);
                MessageLog messages;
                ASSERT_EQ(DisableStartup(whole, kName, messages, when, keeps_switch).outcome, ActionOutcome::Done);
                changes = whole.Changes();
                ASSERT_EQ(LostCommands(store, scenario), "");
                whole_record = RecordOf(store);
                ASSERT_TRUE(whole_record.Understood());
                EXPECT_EQ(SwitchesOn(store, scenario).empty(), keeps_switch);
            }
            // At least one value written or one delete.
            ASSERT_GE(changes, 2u);

            for (std::size_t k = 1; k <= changes; ++k) {
                SCOPED_TRACE(::testing::Message() << "killed after change " << k);
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
                {
                    DyingRegistry dying(store, k);
                    MessageLog messages;
                    EXPECT_THROW(DisableStartup(dying, kName, messages, when, keeps_switch), Died);
                }
                ++kills;
                EXPECT_EQ(store.OpenHandleCount(), 0u);
                if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                    ++lost;
                    ADD_FAILURE() << "lost after the kill:" << missing;
                }

                // The next run finds what is left and finishes the job, switches and all.
                MessageLog messages;
                const ActionResult again = DisableStartup(store, kName, messages, when, keeps_switch);
                EXPECT_TRUE(again.Complete()) << again.status;
                EXPECT_FALSE(AnyRunValueLeft(store));
                if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                    ++lost;
                    ADD_FAILURE() << "lost after the second run:" << missing;
                }
                const StartupRecord record = RecordOf(store);
                EXPECT_TRUE(record.complete);
                EXPECT_EQ(record.places, whole_record.places) << "not the record an uninterrupted run writes";
                if (keeps_switch) {
                    EXPECT_EQ(SwitchesOn(store, scenario), "") << "still on after the second run";
                }
            }
        }
    }
    // For the reliability summary.
    std::printf("DisableInterrupted: %zu kills simulated, %zu entries lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
}

// A failure, then a kill during what follows it: the record taken back after its flush is refused,
// or trimmed after a delete is refused, or Windows' startup switch refused before a delete. Killed after any change of
// that, nothing is lost, the record reads whole, and the next run finishes with the record an undisturbed run writes.
TEST(DisableInterrupted, AFailureFollowedByAKillAnywhereInWhatComesAfterItLosesNothing) {
    const RecordTime when{2026, 12, 8, 23, 30, 5};
    struct Failure {
        const char* label;
        FaultRule rule;
    };
    const std::vector<Failure> failures = {
        {"the record's flush refused", FaultRule{RegistryOp::Flush, Hive::LocalMachine, std::nullopt, std::nullopt,
                                                 std::nullopt, 1, kAccessDenied, std::nullopt}},
        {"HKLM (32-bit) refuses the delete", FaultRule{RegistryOp::Delete, Hive::LocalMachine, kRunKeyPath,
                                                       std::nullopt, std::nullopt, 0, kAccessDenied, RegView::k32}},
        {"HKCU refuses the delete", FaultRule{RegistryOp::Delete, Hive::CurrentUser, kRunKeyPath, std::nullopt,
                                              std::nullopt, 0, kAccessDenied, std::nullopt}},
        {"HKLM's startup switch refused",
         FaultRule{RegistryOp::SetValue, Hive::LocalMachine, RunSwitchKey(RunPlace::Machine64).path, std::nullopt,
                   std::nullopt, 0, kAccessDenied, std::nullopt}},
    };
    std::size_t kills = 0;
    std::size_t lost = 0;
    for (const Scenario& scenario : DisableScenarios()) {
        for (const Failure& failure : failures) {
            SCOPED_TRACE(::testing::Message() << scenario.label << ", " << failure.label);
            std::size_t changes = 0;
            {
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
                store.AddFault(failure.rule);
                DyingRegistry whole(store, 0);
                MessageLog messages;
                DisableStartup(whole, kName, messages, when, true);
                changes = whole.Changes();
            }
            for (std::size_t k = 1; k <= changes; ++k) {
                SCOPED_TRACE(::testing::Message() << "killed after change " << k);
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
                store.AddFault(failure.rule);
                {
                    DyingRegistry dying(store, k);
                    MessageLog messages;
                    EXPECT_THROW(DisableStartup(dying, kName, messages, when, true), Died);
                }
                ++kills;
                store.ClearFaults();
                StartupRecord record;
                const long status = ReadStartupRecord(store, kName, record);
                EXPECT_TRUE(status == kFileNotFound || record.Understood() || !record.keeps_commands)
                    << ::testing::PrintToString(record.problem);
                if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                    ++lost;
                    ADD_FAILURE() << "lost after the kill:" << missing;
                }
                MessageLog messages;
                EXPECT_TRUE(DisableStartup(store, kName, messages, when, true).TookEffect());
                EXPECT_FALSE(AnyRunValueLeft(store));
                EXPECT_EQ(LostCommands(store, scenario), "");
            }
        }
    }
    std::printf("DisableInterrupted after a failure: %zu kills simulated, %zu entries lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
}

} // namespace
} // namespace runsweep::contract

namespace runsweep::contract {
namespace {

// What the user has of the entry: in each place, the command most recently written there. By the
// user's own measure nothing is lost while each of them is in its place's Run key or in the record.
using Newest = std::array<std::optional<RecordedPlace>, 3>;

std::optional<RecordedPlace> RunPlaceValue(Registry& registry, RunPlace place) {
    const RunValue value = ReadRunValue(registry, place, kScenarioName);
    if (!value.Present()) {
        return std::nullopt;
    }
    return RecordedPlace{place, value.command, value.type};
}

struct Figures {
    std::size_t steps = 0, disables = 0, enables = 0, write_backs = 0, faults = 0, kills = 0, lost = 0;
    std::size_t largest_record = 0;
};

// Random Disables, Re-enables, programs writing themselves back (versioned paths, other arguments,
// another value type), failures injected at any call, kills after any change, and a failure followed
// by a kill during what comes after it; after every step every newest command must be kept, every
// record must read whole, and after a Disable that ran undisturbed the record must read back as
// exactly the one meant: the newest command of every place, no more.
TEST(RecordProperty, RandomDisablesReenablesFaultsAndKillsLoseNothingAndEveryRecordReadsBackAsWritten) {
    unsigned seed = 20;
    if (const char* chosen = std::getenv("RUNSWEEP_PROPERTY_SEED")) {
        seed = static_cast<unsigned>(std::strtoul(chosen, nullptr, 10));
    }
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " (RUNSWEEP_PROPERTY_SEED)");
    std::mt19937 random(seed);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const RecordTime when{2026, 1, 2, 3, 4, 5};
    const std::array<RunPlace, 3> places = {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32};

    MemoryRegistry store;
    Newest newest;
    Figures figures;
    std::size_t version = 0;
    const long statuses[] = {kAccessDenied, kInvalidParameter, kOutOfMemory, kSuccess};
    for (std::size_t step = 0; step < 3000; ++step) {
        SCOPED_TRACE(::testing::Message() << "step " << step);
        ++figures.steps;
        store.ClearLog();
        const std::size_t roll = below(100);
        if (roll < 35) {
            // The program writes itself back into a place: a new version's path, the same path with
            // other arguments, or now and then as an expandable value.
            const RunPlace place = places[below(3)];
            const std::wstring command =
                below(3) == 0 ? L"C:\\Spotify\\Spotify.exe" + std::wstring(below(2) ? L" --minimized" : L"")
                              : L"C:\\Discord\\app-1.0." + std::to_wstring(++version) + L"\\Discord.exe";
            const unsigned long type = below(6) == 0 ? kRegExpandSz : kRegSz;
            RegKey key;
            ASSERT_EQ(store.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
            ASSERT_EQ(store.SetValue(key, kScenarioName, type, Utf16Bytes(command, true)), kSuccess);
            newest[static_cast<std::size_t>(place)] = RecordedPlace{place, command, type};
            ++figures.write_backs;
            continue;
        }

        // Places shown both as starting and as disabled before the step: a program that wrote itself
        // back after its record was made. No action may add to them.
        std::set<RunPlace> both_before;
        StartupRecord before;
        if (ReadStartupRecord(store, kScenarioName, before) == kSuccess) {
            for (const RecordedPlace& kept : before.places) {
                if (RunPlaceValue(store, kept.place)) {
                    both_before.insert(kept.place);
                }
            }
        }

        const bool disable = roll < 75;
        const std::size_t mode = below(10); // 0-4 undisturbed, 5-6 a fault, 7-8 a kill, 9 a fault then a kill
        const bool standard_user = below(8) == 0;
        const bool keeps_switch = below(2) == 0; // Windows 8 and later, whose switch writes are changes too
        if (mode >= 5 && mode != 7 && mode != 8) {
            store.AddFault(FaultRule{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                     1 + below(90), statuses[below(4)], std::nullopt});
            ++figures.faults;
        }
        if (standard_user) {
            store.AddFault(FaultRule{RegistryOp::Open, Hive::LocalMachine, kRunKeyPath, std::nullopt, KeyAccess::Write,
                                     0, kAccessDenied, std::nullopt});
        }
        const std::size_t limit = mode >= 7 ? 1 + below(mode == 9 ? 40 : 20) : 0;
        bool killed = false;
        {
            DyingRegistry dying(store, limit);
            MessageLog messages;
            try {
                if (disable) {
                    ++figures.disables;
                    DisableStartup(dying, kScenarioName, messages, when, keeps_switch);
                } else {
                    ++figures.enables;
                    EnableStartup(dying, kScenarioName, keeps_switch);
                }
            } catch (const Died&) {
                killed = true;
                ++figures.kills;
            }
        }
        store.ClearFaults();
        ASSERT_EQ(store.OpenHandleCount(), 0u);

        RecordImage image;
        StartupRecord record;
        const long status = ReadStartupRecord(store, kScenarioName, record, &image);
        ASSERT_TRUE(status == kSuccess || status == kFileNotFound) << status;
        if (status == kSuccess) {
            ASSERT_TRUE(record.Understood() || !record.keeps_commands)
                << "a record the program cannot read: " << ::testing::PrintToString(record.problem);
            figures.largest_record = std::max(figures.largest_record, image.values.size());
        }
        for (const RunPlace place : places) {
            const std::optional<RecordedPlace>& want = newest[static_cast<std::size_t>(place)];
            if (!want) {
                continue;
            }
            const std::optional<RecordedPlace> run = RunPlaceValue(store, place);
            const RecordedPlace* kept = record.Find(place);
            if (!(run && *run == *want) && !(kept && *kept == *want)) {
                ++figures.lost;
                ADD_FAILURE() << "lost " << ::testing::PrintToString(want->command) << " of "
                              << ::testing::PrintToString(std::wstring(PlaceLabel(place)))
                              << (killed ? " after a kill" : "");
            }
            if (mode < 5 && record.Find(place) && run && both_before.count(place) == 0 && !standard_user) {
                ADD_FAILURE() << ::testing::PrintToString(std::wstring(PlaceLabel(place)))
                              << " shows both as starting and as disabled";
            }
        }
        if (disable && mode < 5 && !standard_user) {
            // Undisturbed: nothing left in the Run keys, and the record is exactly the newest command of
            // every place, as written.
            std::vector<RecordedPlace> expected;
            for (const auto& want : newest) {
                if (want) {
                    expected.push_back(*want);
                }
            }
            std::vector<RecordedPlace> got = record.places;
            std::sort(got.begin(), got.end(), [](const auto& a, const auto& b) { return a.place < b.place; });
            EXPECT_EQ(got, expected);
            EXPECT_FALSE(AnyRunValueLeft(store));
        }
    }
    std::printf("RecordProperty: seed %u, %zu steps (%zu Disables, %zu Re-enables, %zu write-backs), %zu faults "
                "injected, %zu kills, %zu commands lost, largest record %zu values\n",
                seed, figures.steps, figures.disables, figures.enables, figures.write_backs, figures.faults,
                figures.kills, figures.lost, figures.largest_record);
    EXPECT_EQ(figures.lost, 0u);
    EXPECT_LE(figures.largest_record, 16u) << "a record bounded by the number of places";
}

// ---------------------------------------------------------------------------------------------
// Startup-folder items: the record and the file's rename are changes of two stores, and the process
// may end between any two of them, in Disable and in Re-enable alike.

// Disables (or with `enable`, re-enables) the scenario's item, the process ending after `limit`
// changes (0: never); true when it ran to the end.
bool RunUntilKilled(MemoryRegistry& registry, MemoryFolderFiles& files, const FolderScenario& scenario, bool enable,
                    std::size_t limit, std::size_t* changes = nullptr) {
    KillSwitch kill(limit);
    DyingRegistry dying_registry(registry, kill);
    DyingFiles dying_files(files, kill);
    bool finished = true;
    try {
        if (enable) {
            FolderRecord record;
            EXPECT_EQ(ReadFolderRecord(dying_registry, FolderRecordKeyName(ScenarioItem(files, scenario).path), record),
                      kSuccess);
            EXPECT_EQ(EnableFolderRecord(dying_registry, dying_files, record).outcome, FolderOutcome::Done);
        } else {
            EXPECT_EQ(
                DisableFolderItem(dying_registry, dying_files, ScenarioItem(files, scenario), kWhenKilled).outcome,
                FolderOutcome::Done);
        }
    } catch (const Died&) {
        finished = false;
    }
    if (changes != nullptr) {
        *changes = kill.Changes();
    }
    return finished;
}

TEST(FolderInterrupted, AKillAtAnyPointOfDisableOrReenableLeavesTheFileInItsFolderOrWhereItsRecordSays) {
    std::size_t kills = 0;
    std::size_t lost = 0;
    const auto check = [&](Registry& registry, MemoryFolderFiles& files, const FolderScenario& scenario,
                           const char* when) {
        if (const std::string missing = LostFile(registry, files, scenario); !missing.empty()) {
            ++lost;
            ADD_FAILURE() << when << ":" << missing;
        }
    };
    for (const FolderScenario& scenario : FolderScenarios()) {
        SCOPED_TRACE(scenario.label);
        // A Disable that was refused once (the program held its file open) and is then tried again,
        // and killed, as well as a first Disable.
        for (const bool refused_first : {false, true}) {
            SCOPED_TRACE(refused_first ? "after a refused move" : "first attempt");
            const auto seed = [&](MemoryRegistry& registry, MemoryFolderFiles& files) {
                SeedFolderScenario(registry, files, scenario);
                if (refused_first) {
                    files.AddFault(FileFaultRule{FileOp::Move, std::nullopt, 0, kSharingViolation});
                    registry.AddFault(FaultOn(RegistryOp::DeleteKey)); // its record stays behind
                    EXPECT_EQ(DisableFolderItem(registry, files, ScenarioItem(files, scenario), kWhenKilled).outcome,
                              FolderOutcome::MoveFailed);
                    files.ClearFaults();
                    registry.ClearFaults();
                }
            };
            std::size_t disable_changes = 0;
            std::size_t enable_changes = 0;
            {
                MemoryRegistry registry;
                MemoryFolderFiles files;
                ASSERT_NO_FATAL_FAILURE(seed(registry, files));
                ASSERT_TRUE(RunUntilKilled(registry, files, scenario, false, 0, &disable_changes));
                ASSERT_TRUE(RunUntilKilled(registry, files, scenario, true, 0, &enable_changes));
                ASSERT_EQ(files.FileBytes(ScenarioItem(files, scenario).path), ScenarioBytes(scenario));
            }
            ASSERT_GE(disable_changes, 3u); // the record's key and values, the rename
            ASSERT_GE(enable_changes, 2u);  // the rename back, the record's deletion

            for (std::size_t k = 1; k <= disable_changes; ++k) {
                SCOPED_TRACE(::testing::Message() << "Disable killed after change " << k);
                MemoryRegistry registry;
                MemoryFolderFiles files;
                ASSERT_NO_FATAL_FAILURE(seed(registry, files));
                const bool finished = RunUntilKilled(registry, files, scenario, false, k);
                EXPECT_EQ(finished, false);
                ++kills;
                check(registry, files, scenario, "after the kill");
                EXPECT_EQ(registry.OpenHandleCount(), 0u);
                // The next run finishes the job, and Re-enable brings the file back.
                const FolderItem item = ScenarioItem(files, scenario);
                const FolderOutcome again = DisableFolderItem(registry, files, item, kWhenKilled).outcome;
                EXPECT_TRUE(again == FolderOutcome::Done || again == FolderOutcome::AlreadyGone)
                    << ::testing::PrintToString(again);
                check(registry, files, scenario, "after the next Disable");
                EXPECT_EQ(files.FileBytes(item.path), std::nullopt);
                ASSERT_TRUE(RunUntilKilled(registry, files, scenario, true, 0));
                EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
            }

            for (std::size_t k = 1; k <= enable_changes; ++k) {
                SCOPED_TRACE(::testing::Message() << "Re-enable killed after change " << k);
                MemoryRegistry registry;
                MemoryFolderFiles files;
                ASSERT_NO_FATAL_FAILURE(seed(registry, files));
                ASSERT_TRUE(RunUntilKilled(registry, files, scenario, false, 0));
                EXPECT_FALSE(RunUntilKilled(registry, files, scenario, true, k));
                ++kills;
                check(registry, files, scenario, "after the kill");
                const FolderItem item = ScenarioItem(files, scenario);
                std::vector<FolderRecord> records;
                ASSERT_EQ(ListFolderRecords(registry, records), kSuccess);
                for (const FolderRecord& record : records) {
                    EXPECT_EQ(EnableFolderRecord(registry, files, record).outcome, FolderOutcome::Done);
                }
                EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
                EXPECT_EQ(RecordOfItem(registry, files, scenario), std::nullopt);
            }
        }
    }
    std::printf("FolderInterrupted: %zu kills simulated, %zu files lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
}

} // namespace
} // namespace runsweep::contract
