// Disable and remove under injected failures: whatever call fails, no Run value may be gone
// without a complete record, and the result must say what happened.
#include "disable_scenario.h"
#include "registry_contract.h"

#include "registry/memory_registry.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace runsweep::contract {
namespace {

const std::wstring& kName = kScenarioName;

std::vector<Scenario> Scenarios() {
    return {
        {"only HKCU", L"C:\\cu.exe", std::nullopt, L"C:\\cu.exe", L"HKCU"},
        {"only HKLM", std::nullopt, L"C:\\lm.exe", L"C:\\lm.exe", L"HKLM"},
        {"both", L"C:\\cu.exe", L"C:\\lm.exe", L"C:\\cu.exe", L"HKCU"},
        {"HKCU empty, HKLM with data", L"", L"C:\\lm.exe", L"C:\\lm.exe", L"HKLM"},
        {"only HKCU, empty", L"", std::nullopt, L"", L"HKCU"},
        {"long command", L"C:\\" + std::wstring(900, L'c'), std::nullopt, L"C:\\" + std::wstring(900, L'c'), L"HKCU"},
    };
}

void Seed(MemoryRegistry& registry, const Scenario& scenario) {
    SeedScenario(registry, scenario);
    registry.ClearLog();
}

bool HoldsValue(MemoryRegistry& registry, Hive hive) {
    return RunCommand(registry, hive).has_value();
}

bool RecordComplete(MemoryRegistry& registry, const Scenario& scenario) {
    return RecordProblem(registry, scenario).empty();
}

std::vector<RegistryCall> CallsWithoutClose(const MemoryRegistry& registry) {
    std::vector<RegistryCall> calls;
    std::copy_if(registry.Log().begin(), registry.Log().end(), std::back_inserter(calls),
                 [](const RegistryCall& call) { return call.op != RegistryOp::Close; });
    return calls;
}

// Calls whose change may be lost after they reported success (the read-back must notice).
bool IsWrite(RegistryOp op) {
    return op == RegistryOp::SetString || op == RegistryOp::Flush;
}

TEST(DisableUnderFaults, NoRunValueIsEverGoneWithoutACompleteRecord) {
    std::size_t injected = 0;
    std::size_t lost = 0;
    for (const Scenario& scenario : Scenarios()) {
        SCOPED_TRACE(scenario.label);
        std::vector<RegistryCall> clean_run;
        {
            MemoryRegistry registry;
            ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
            MessageLog messages;
            ASSERT_EQ(DisableStartup(registry, kName, messages).outcome, ActionOutcome::Done);
            clean_run = CallsWithoutClose(registry);
            ASSERT_TRUE(RecordComplete(registry, scenario));
        }
        // Create, five writes, five read-backs, the flush and at least one delete at the least.
        ASSERT_GE(clean_run.size(), 13u);

        for (std::size_t k = 1; k <= clean_run.size(); ++k) {
            // kSuccess: the k-th call claims success but its change never reaches the storage.
            for (const long status : {kAccessDenied, kInvalidParameter, kSuccess}) {
                if (status == kSuccess && !IsWrite(clean_run[k - 1].op)) {
                    continue;
                }
                SCOPED_TRACE(::testing::Message() << "fault at call " << k << " with status " << status);
                MemoryRegistry registry;
                ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
                registry.AddFault(
                    FaultRule{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, k, status});
                MessageLog messages;
                const ActionResult result = DisableStartup(registry, kName, messages);
                ++injected;

                const auto calls = CallsWithoutClose(registry);
                ASSERT_GE(calls.size(), k);
                ASSERT_EQ(calls[k - 1].op, clean_run[k - 1].op) << "the fault hit another call";
                ASSERT_EQ(calls[k - 1].status, status);
                ASSERT_EQ(registry.OpenHandleCount(), 0u);

                const bool user_gone = scenario.user && !HoldsValue(registry, Hive::CurrentUser);
                const bool machine_gone = scenario.machine && !HoldsValue(registry, Hive::LocalMachine);
                if ((user_gone || machine_gone) && !RecordComplete(registry, scenario)) {
                    ++lost;
                    ADD_FAILURE() << "a Run value went without its record";
                }
                const bool all_gone = (!scenario.user || user_gone) && (!scenario.machine || machine_gone);
                EXPECT_EQ(result.TookEffect(), all_gone);
                if (!result.TookEffect()) {
                    EXPECT_NE(result.status, kSuccess);
                }
                if (status == kAccessDenied && !result.TookEffect()) {
                    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
                }
            }
        }
    }
    // For the reliability summary.
    std::printf("DisableUnderFaults: %zu faults injected, %zu entries lost\n", injected, lost);
}

TEST(DisableUnderFaults, TheRecordIsWrittenVerifiedAndFlushedBeforeAnyDelete) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Scenarios()[2]));
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages).outcome, ActionOutcome::Done);
    const auto calls = CallsWithoutClose(registry);
    const auto first = [&](RegistryOp op) {
        return std::find_if(calls.begin(), calls.end(), [&](const RegistryCall& c) { return c.op == op; }) -
               calls.begin();
    };
    const auto last_query =
        std::find_if(calls.rbegin(), calls.rend(),
                     [](const RegistryCall& c) { return c.op == RegistryOp::Query && c.path != kRunKeyPath; })
            .base() -
        calls.begin() - 1;
    const auto flush = first(RegistryOp::Flush);
    ASSERT_LT(flush, static_cast<std::ptrdiff_t>(calls.size()));
    EXPECT_EQ(calls[static_cast<std::size_t>(flush)].path, kRecordRoot + L"\\" + kName);
    EXPECT_LT(last_query, flush) << "read back before the flush";
    EXPECT_LT(flush, first(RegistryOp::Delete));
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(), [](const RegistryCall& c) { return c.op == RegistryOp::Delete; }), 2);
}

TEST(DisableWithoutRights, ACreateThatIsRefusedShowsTheMessageAndLeavesTheEntry) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Scenarios()[1]));
    registry.AddFault(
        FaultRule{RegistryOp::Create, Hive::LocalMachine, std::nullopt, std::nullopt, std::nullopt, 0, kAccessDenied});
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages);
    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
    EXPECT_EQ(result.status, kAccessDenied);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].first, L"Error on value: qttask. There was an error creating a MSConfig key.");
    EXPECT_EQ(messages.messages[0].second, MessageIcon::Error);
    EXPECT_TRUE(HoldsValue(registry, Hive::LocalMachine));

    // Any other reason the key cannot be created: the same message, a different outcome.
    registry.ClearFaults();
    registry.AddFault(
        FaultRule{RegistryOp::Create, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, kOutOfMemory});
    EXPECT_EQ(DisableStartup(registry, kName, messages).outcome, ActionOutcome::RecordFailed);
    EXPECT_EQ(messages.messages.size(), 2u);
    EXPECT_TRUE(HoldsValue(registry, Hive::LocalMachine));
}

TEST(DisableWithoutRights, AnUnreadableRunValueStopsTheActionBeforeAnyChange) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Scenarios()[2]));
    registry.AddFault(
        FaultRule{RegistryOp::Query, Hive::LocalMachine, kRunKeyPath, std::nullopt, std::nullopt, 0, kAccessDenied});
    MessageLog messages;
    EXPECT_EQ(DisableStartup(registry, kName, messages).outcome, ActionOutcome::NeedsAdministrator);
    for (const RegistryCall& call : registry.Log()) {
        EXPECT_TRUE(call.op == RegistryOp::Open || call.op == RegistryOp::Query || call.op == RegistryOp::Close);
    }
    EXPECT_TRUE(HoldsValue(registry, Hive::CurrentUser));
}

// A user's rights: HKLM can be read but neither changed nor extended.
void DenyMachineChanges(MemoryRegistry& registry) {
    registry.AddFault(FaultRule{RegistryOp::Open, Hive::LocalMachine, std::nullopt, std::nullopt, KeyAccess::Write, 0,
                                kAccessDenied});
    registry.AddFault(
        FaultRule{RegistryOp::Create, Hive::LocalMachine, std::nullopt, std::nullopt, std::nullopt, 0, kAccessDenied});
}

TEST(RemoveWithoutRights, HkcuIsStillCleanedAndHklmReportedOnlyWhenItHoldsTheValue) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Scenarios()[0]));
    DenyMachineChanges(registry);
    EXPECT_EQ(RemoveStartup(registry, kName).outcome, ActionOutcome::Done) << "HKLM never held it";
    EXPECT_FALSE(HoldsValue(registry, Hive::CurrentUser));

    MemoryRegistry both;
    ASSERT_NO_FATAL_FAILURE(Seed(both, Scenarios()[2]));
    DenyMachineChanges(both);
    const ActionResult result = RemoveStartup(both, kName);
    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
    EXPECT_EQ(result.status, kAccessDenied);
    EXPECT_FALSE(HoldsValue(both, Hive::CurrentUser));
    EXPECT_TRUE(HoldsValue(both, Hive::LocalMachine));
    EXPECT_FALSE(result.TookEffect());
}

TEST(RemoveUnderFaults, AFailedDeleteIsReportedAndTheOtherHiveStillTried) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, Scenarios()[2]));
    registry.AddFault(FaultRule{RegistryOp::Delete, Hive::CurrentUser, std::nullopt, std::nullopt, std::nullopt, 0,
                                kInvalidParameter});
    const ActionResult result = RemoveStartup(registry, kName);
    EXPECT_EQ(result.outcome, ActionOutcome::Failed);
    EXPECT_EQ(result.status, kInvalidParameter);
    EXPECT_TRUE(HoldsValue(registry, Hive::CurrentUser));
    EXPECT_FALSE(HoldsValue(registry, Hive::LocalMachine));
}

TEST(EmptyNames, NeitherActionMakesASingleRegistryCall) {
    MemoryRegistry registry;
    MessageLog messages;
    DisableStartup(registry, L"", messages);
    RemoveStartup(registry, L"");
    DisableStartup(registry, L"a\\b", messages);
    EXPECT_EQ(registry.TotalCallCount(), 0u);
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
} // namespace runsweep::contract
