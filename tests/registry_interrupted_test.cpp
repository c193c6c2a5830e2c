// "Disable" cut short: the process may die right after any change it makes to the registry (a crash,
// a power cut, the user ending it). Whenever that happens, every command that was in a Run key or a
// record before must still be in one, and running "Disable" again on what is left must finish the
// job with the very record a run without the interruption would have written.
#include "disable_scenario.h"
#include "dying_registry.h"
#include "registry_contract.h"

#include "registry/memory_registry.h"

#include <cstdio>
#include <map>
#include <optional>

namespace runsweep::contract {
namespace {

const std::wstring& kName = kScenarioName;
const RecordTime kWhenKilled{2026, 12, 8, 23, 30, 5};

StartupRecord RecordOf(Registry& registry) {
    StartupRecord record;
    ReadStartupRecord(registry, kName, record);
    return record;
}

TEST(DisableInterrupted, AKillAfterAnyChangeLosesNothingAndTheNextRunWritesTheSameRecord) {
    const RecordTime when{2026, 12, 8, 23, 30, 5};
    std::size_t kills = 0;
    std::size_t lost = 0;
    for (const Scenario& scenario : DisableScenarios()) {
        SCOPED_TRACE(scenario.label);
        std::size_t changes = 0;
        StartupRecord whole_record;
        {
            MemoryRegistry store;
            ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
            DyingRegistry whole(store, 0);
            MessageLog messages;
            ASSERT_EQ(DisableStartup(whole, kName, messages, when).outcome, ActionOutcome::Done);
            changes = whole.Changes();
            ASSERT_EQ(LostCommands(store, scenario), "");
            whole_record = RecordOf(store);
            ASSERT_TRUE(whole_record.Understood());
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
                EXPECT_THROW(DisableStartup(dying, kName, messages, when), Died);
            }
            ++kills;
            EXPECT_EQ(store.OpenHandleCount(), 0u);
            if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                ++lost;
                ADD_FAILURE() << "lost after the kill:" << missing;
            }

            // The next run finds what is left and finishes the job.
            MessageLog messages;
            const ActionResult again = DisableStartup(store, kName, messages, when);
            EXPECT_TRUE(again.TookEffect()) << again.status;
            EXPECT_FALSE(AnyRunValueLeft(store));
            if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                ++lost;
                ADD_FAILURE() << "lost after the second run:" << missing;
            }
            const StartupRecord record = RecordOf(store);
            EXPECT_TRUE(record.complete);
            EXPECT_EQ(record.places, whole_record.places) << "not the record an uninterrupted run writes";
        }
    }
    // For the reliability summary.
    std::printf("DisableInterrupted: %zu kills simulated, %zu entries lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
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
