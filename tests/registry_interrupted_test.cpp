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

} // namespace
} // namespace runsweep::contract
