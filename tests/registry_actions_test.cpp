// Disable and remove in every place an entry lives, under injected failures: whatever call fails,
// no command that was in a Run key or a record may be lost, an earlier record stays as it was
// when the Disable fails, and the result must say what happened in each place.
#include "disable_scenario.h"
#include "registry_contract.h"
#include "registry_log.h"

#include "registry/memory_registry.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace runsweep::contract {
namespace {

const std::wstring& kName = kScenarioName;
const RecordTime kWhen{2026, 12, 8, 23, 30, 5};

void Seed(MemoryRegistry& registry, const Scenario& scenario) {
    SeedScenario(registry, scenario);
    registry.ClearLog();
}

// Every value of the record key, raw, to tell "exactly as it was".
std::map<std::wstring, RegValue> RecordDump(Registry& registry) {
    std::map<std::wstring, RegValue> dump;
    RegKey key;
    if (registry.OpenKey(Hive::LocalMachine, StartupRecordPath(kName), KeyAccess::Query, key) != kSuccess) {
        return dump;
    }
    std::vector<std::wstring> names;
    EXPECT_EQ(registry.EnumValueNames(key, names), kSuccess);
    for (const std::wstring& name : names) {
        EXPECT_EQ(registry.ReadValue(key, name, dump[name]), kSuccess);
    }
    return dump;
}

bool SameDump(const std::map<std::wstring, RegValue>& a, const std::map<std::wstring, RegValue>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.type == y.second.type && x.second.data == y.second.data;
    });
}

TEST(DisableUnderFaults, NothingIsLostAndAFailedDisableLeavesTheEarlierRecordAsItWas) {
    std::size_t injected = 0;
    std::size_t lost = 0;
    for (const Scenario& scenario : DisableScenarios()) {
        SCOPED_TRACE(scenario.label);
        std::vector<RegistryCall> clean_run;
        {
            MemoryRegistry registry;
            ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
            MessageLog messages;
            ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
            clean_run = CallsWithoutClose(registry);
            ASSERT_EQ(LostCommands(registry, scenario), "");
            ASSERT_FALSE(AnyRunValueLeft(registry));
        }

        for (std::size_t k = 1; k <= clean_run.size(); ++k) {
            for (const SweepFault fault : SweepFaults(clean_run[k - 1].op)) {
                const long status = fault.status;
                SCOPED_TRACE(::testing::Message() << "fault at call " << k << ", " << fault);
                MemoryRegistry registry;
                ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
                const auto before = RecordDump(registry);
                registry.ClearLog();
                registry.AddFault(NthCallFault(k, fault));
                MessageLog messages;
                const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
                ++injected;

                const auto calls = CallsWithoutClose(registry);
                ASSERT_GE(calls.size(), k);
                ASSERT_EQ(calls[k - 1].op, clean_run[k - 1].op) << "the fault hit another call";
                ASSERT_EQ(calls[k - 1].status, FaultedStatus(clean_run[k - 1], fault));
                ASSERT_EQ(registry.OpenHandleCount(), 0u);

                if (const std::string missing = LostCommands(registry, scenario); !missing.empty()) {
                    ++lost;
                    ADD_FAILURE() << "lost:" << missing;
                }
                EXPECT_EQ(result.TookEffect(), !AnyRunValueLeft(registry));
                if (!result.TookEffect()) {
                    EXPECT_NE(result.status, kSuccess);
                }
                if (!result.recorded && scenario.earlier) {
                    EXPECT_TRUE(SameDump(RecordDump(registry), before)) << "the earlier record was changed";
                } else if (!result.recorded) {
                    // A record cut short would be listed as disabled while the entry still starts.
                    RegKey left;
                    EXPECT_EQ(registry.OpenKey(Hive::LocalMachine, StartupRecordPath(kName), KeyAccess::Query, left),
                              kFileNotFound);
                }
                if (status == kAccessDenied && !result.TookEffect() && result.places.empty()) {
                    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
                }
            }
        }
    }
    // For the reliability summary.
    std::printf("DisableUnderFaults: %zu faults injected, %zu entries lost\n", injected, lost);
    EXPECT_EQ(lost, 0u);
}

TEST(DisableUnderFaults, TheRecordIsWrittenVerifiedAndFlushedInThe64BitViewBeforeAnyDelete) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[3])); // all three places
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
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
    std::vector<RegView> deleted_views;
    for (const RegistryCall& call : calls) {
        if (call.path.find(L"MSConfig") != std::wstring::npos) {
            EXPECT_EQ(call.view, RegView::k64) << "the record lives in the 64-bit view";
        }
        if (call.op == RegistryOp::Delete) {
            deleted_views.push_back(call.view);
        }
    }
    EXPECT_EQ(deleted_views.size(), 3u);
    // The recorded place (HKCU) last.
    EXPECT_EQ(
        calls[static_cast<std::size_t>(std::find_if(calls.rbegin(), calls.rend(),
                                                    [](const RegistryCall& c) { return c.op == RegistryOp::Delete; })
                                           .base() -
                                       calls.begin() - 1)]
            .hive,
        Hive::CurrentUser);
}

TEST(DisableRecord, KeepsEveryPlaceTheTypeAndTheDateAndNamesThe32BitView) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[3]));
    {
        // HKLM's 32-bit value is expandable.
        RegKey key;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRunKeyPath, key, RegView::k32), kSuccess);
        std::vector<unsigned char> data = Utf16Bytes(L"%ProgramFiles%\\lm32.exe", true);
        ASSERT_EQ(registry.SetValue(key, kName, kRegExpandSz, data), kSuccess);
    }
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
    ASSERT_TRUE(record.Understood()) << ::testing::PrintToString(record.problem);
    EXPECT_TRUE(record.complete);
    const std::vector<RecordedPlace> expected = {
        {RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz},
        {RunPlace::Machine64, L"C:\\lm.exe", kRegSz},
        {RunPlace::Machine32, L"%ProgramFiles%\\lm32.exe", kRegExpandSz},
    };
    EXPECT_EQ(record.places, expected);
    ASSERT_TRUE(record.disabled_at);
    EXPECT_EQ(record.disabled_at->year, 2026u);
    EXPECT_EQ(record.disabled_at->second, 5u);

    const auto dump = RecordDump(registry);
    EXPECT_EQ(DecodeRegString(dump.at(L"hkey")), L"HKCU");
    EXPECT_EQ(DecodeRegString(dump.at(L"key")), L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(DecodeRegString(dump.at(L"RunsweepKey3")),
              L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(dump.at(L"RunsweepType3").type, kRegDword);
    EXPECT_EQ(dump.count(L"RunsweepType"), 0u) << "HKCU's value is a plain REG_SZ";
    EXPECT_EQ(dump.at(L"YEAR").type, kRegDword);

    // A value only in the 32-bit view is recorded the way the System Configuration utility does.
    MemoryRegistry only32;
    ASSERT_NO_FATAL_FAILURE(Seed(only32, DisableScenarios()[2]));
    ASSERT_EQ(DisableStartup(only32, kName, messages, kWhen).outcome, ActionOutcome::Done);
    const auto dump32 = RecordDump(only32);
    EXPECT_EQ(DecodeRegString(dump32.at(L"hkey")), L"HKLM");
    EXPECT_EQ(DecodeRegString(dump32.at(L"key")), L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(dump32.count(L"RunsweepPlaces"), 0u);
}

TEST(DisableRecord, AnEarlierRecordIsKeptAndMergedAndAnIdenticalPlaceStoredOnce) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[6])); // all three and a stale HKLM record
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
    const std::vector<RecordedPlace> expected = {
        {RunPlace::Machine64, L"C:\\stale.exe", kRegSz}, // the earlier record's, still what MSConfig restores
        {RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz},
        {RunPlace::Machine64, L"C:\\lm.exe", kRegSz},
        {RunPlace::Machine32, L"C:\\lm32.exe", kRegSz},
    };
    EXPECT_EQ(record.places, expected);

    // The program put itself back with the same command: a second Disable adds nothing to the record.
    const Scenario again_seed{"again", L"C:\\cu.exe", std::nullopt, std::nullopt, std::nullopt};
    ASSERT_NO_FATAL_FAILURE(SeedScenario(registry, again_seed));
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord again;
    ASSERT_EQ(ReadStartupRecord(registry, kName, again), kSuccess);
    EXPECT_EQ(again.places, expected);
}

TEST(DisableRecord, ARecordThisProgramCannotReadIsLeftAndSoIsTheEntry) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[0]));
    {
        RegKey record;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(kName), record), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\other.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"hkey", L"HKU"), kSuccess);
    }
    const auto before = RecordDump(registry);
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
    EXPECT_EQ(result.outcome, ActionOutcome::EarlierRecordDamaged);
    EXPECT_TRUE(SameDump(RecordDump(registry), before));
    EXPECT_EQ(RunCommand(registry, RunPlace::CurrentUser), L"C:\\cu.exe");

    // An older record that names its place but lacks values is kept and completed.
    MemoryRegistry older;
    ASSERT_NO_FATAL_FAILURE(Seed(older, DisableScenarios()[0]));
    {
        RegKey record;
        ASSERT_EQ(older.CreateKey(Hive::LocalMachine, StartupRecordPath(kName), record), kSuccess);
        ASSERT_EQ(older.SetStringValue(record, L"command", L"C:\\older.exe"), kSuccess);
        ASSERT_EQ(older.SetStringValue(record, L"hkey", L"HKLM"), kSuccess);
    }
    ASSERT_EQ(DisableStartup(older, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(older, kName, record), kSuccess);
    EXPECT_TRUE(record.complete);
    const std::vector<RecordedPlace> expected = {{RunPlace::Machine64, L"C:\\older.exe", kRegSz},
                                                 {RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz}};
    EXPECT_EQ(record.places, expected);
}

TEST(DisableWithoutRights, ACreateThatIsRefusedShowsTheMessageAndLeavesTheEntry) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[1]));
    registry.AddFault(FaultRule{RegistryOp::Create, Hive::LocalMachine, std::nullopt, std::nullopt, std::nullopt, 0,
                                kAccessDenied, std::nullopt});
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
    EXPECT_EQ(result.status, kAccessDenied);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].first, L"Error on value: qttask. There was an error creating a MSConfig key.");
    EXPECT_EQ(messages.messages[0].second, MessageIcon::Error);
    EXPECT_TRUE(RunCommand(registry, RunPlace::Machine64));

    // Any other reason the key cannot be created: the same message, a different outcome.
    registry.ClearFaults();
    registry.AddFault(FaultRule{RegistryOp::Create, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0,
                                kOutOfMemory, std::nullopt});
    EXPECT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::RecordFailed);
    EXPECT_EQ(messages.messages.size(), 2u);
    EXPECT_TRUE(RunCommand(registry, RunPlace::Machine64));
}

TEST(DisableWithoutRights, AnUnreadableRunValueStopsTheActionBeforeAnyChangeAndNamesThePlace) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[3]));
    registry.AddFault(FaultRule{RegistryOp::Query, Hive::LocalMachine, kRunKeyPath, std::nullopt, std::nullopt, 0,
                                kAccessDenied, RegView::k32});
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
    EXPECT_EQ(result.outcome, ActionOutcome::NeedsAdministrator);
    EXPECT_EQ(result.place, RunPlace::Machine32);
    for (const RegistryCall& call : registry.Log()) {
        EXPECT_TRUE(call.op == RegistryOp::Open || call.op == RegistryOp::Query || call.op == RegistryOp::Close);
    }
    EXPECT_TRUE(RunCommand(registry, RunPlace::CurrentUser));
}

TEST(DisableWithoutRights, ARecordedEntryWhoseMachineDeleteIsRefusedReportsEachPlace) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[3]));
    registry.AddFault(FaultRule{RegistryOp::Open, Hive::LocalMachine, kRunKeyPath, std::nullopt, KeyAccess::Write, 0,
                                kAccessDenied, RegView::k32});
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
    EXPECT_EQ(result.outcome, ActionOutcome::Partial);
    EXPECT_TRUE(result.recorded);
    ASSERT_EQ(result.places.size(), 3u);
    std::map<RunPlace, PlaceOutcome> outcomes;
    for (const PlaceResult& place : result.places) {
        outcomes[place.place] = place.outcome;
    }
    EXPECT_EQ(outcomes[RunPlace::CurrentUser], PlaceOutcome::Removed);
    EXPECT_EQ(outcomes[RunPlace::Machine64], PlaceOutcome::Removed);
    EXPECT_EQ(outcomes[RunPlace::Machine32], PlaceOutcome::NeedsAdministrator);
    EXPECT_EQ(RunCommand(registry, RunPlace::Machine32), L"C:\\lm32.exe");
}

// A user's rights: HKLM can be read but neither changed nor extended.
void DenyMachineChanges(MemoryRegistry& registry) {
    registry.AddFault(FaultRule{RegistryOp::Open, Hive::LocalMachine, std::nullopt, std::nullopt, KeyAccess::Write, 0,
                                kAccessDenied, std::nullopt});
    registry.AddFault(FaultRule{RegistryOp::Create, Hive::LocalMachine, std::nullopt, std::nullopt, std::nullopt, 0,
                                kAccessDenied, std::nullopt});
}

TEST(RemoveWithoutRights, HkcuIsStillCleanedAndEachMachinePlaceReportedOnlyWhenItHoldsTheValue) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[0]));
    DenyMachineChanges(registry);
    EXPECT_EQ(RemoveStartup(registry, kName).outcome, ActionOutcome::Done) << "HKLM never held it";
    EXPECT_FALSE(RunCommand(registry, RunPlace::CurrentUser));

    MemoryRegistry all;
    ASSERT_NO_FATAL_FAILURE(Seed(all, DisableScenarios()[3]));
    DenyMachineChanges(all);
    const ActionResult result = RemoveStartup(all, kName);
    EXPECT_EQ(result.outcome, ActionOutcome::Partial);
    EXPECT_EQ(result.status, kAccessDenied);
    EXPECT_FALSE(result.TookEffect());
    ASSERT_EQ(result.places.size(), 3u);
    EXPECT_EQ(result.places[0].place, RunPlace::CurrentUser);
    EXPECT_EQ(result.places[0].outcome, PlaceOutcome::Removed);
    EXPECT_EQ(result.places[1].outcome, PlaceOutcome::NeedsAdministrator);
    EXPECT_EQ(result.places[2].place, RunPlace::Machine32);
    EXPECT_EQ(result.places[2].outcome, PlaceOutcome::NeedsAdministrator);
    EXPECT_FALSE(RunCommand(all, RunPlace::CurrentUser));
    EXPECT_TRUE(RunCommand(all, RunPlace::Machine64));
    EXPECT_TRUE(RunCommand(all, RunPlace::Machine32));

    MemoryRegistry machine_only;
    ASSERT_NO_FATAL_FAILURE(Seed(machine_only, DisableScenarios()[1]));
    DenyMachineChanges(machine_only);
    EXPECT_EQ(RemoveStartup(machine_only, kName).outcome, ActionOutcome::NeedsAdministrator);
}

TEST(RemoveUnderFaults, AFailedDeleteIsReportedAndTheOtherPlacesStillTried) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[3]));
    registry.AddFault(FaultRule{RegistryOp::Delete, Hive::CurrentUser, std::nullopt, std::nullopt, std::nullopt, 0,
                                kInvalidParameter, std::nullopt});
    const ActionResult result = RemoveStartup(registry, kName);
    EXPECT_EQ(result.outcome, ActionOutcome::Partial);
    EXPECT_EQ(result.status, kInvalidParameter);
    EXPECT_TRUE(RunCommand(registry, RunPlace::CurrentUser));
    EXPECT_FALSE(RunCommand(registry, RunPlace::Machine64));
    EXPECT_FALSE(RunCommand(registry, RunPlace::Machine32));
}

TEST(OneView, A32BitWindowsHasOneMachinePlaceAskedOnce) {
    MemoryRegistry registry(false);
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[1]));
    // Both view names reach the one key.
    EXPECT_EQ(RunCommand(registry, RunPlace::Machine32), L"C:\\lm.exe");
    MessageLog messages;
    const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
    EXPECT_EQ(result.outcome, ActionOutcome::Done);
    ASSERT_EQ(result.places.size(), 1u);
    EXPECT_EQ(result.places[0].place, RunPlace::Machine64);
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
    ASSERT_EQ(record.places.size(), 1u) << "one machine value, not the same one twice";
    EXPECT_EQ(record.places[0].place, RunPlace::Machine64);
}

TEST(EmptyNames, NeitherActionMakesASingleRegistryCall) {
    MemoryRegistry registry;
    MessageLog messages;
    DisableStartup(registry, L"", messages, kWhen);
    RemoveStartup(registry, L"");
    DisableStartup(registry, L"a\\b", messages, kWhen);
    EXPECT_EQ(registry.TotalCallCount(), 0u);
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
} // namespace runsweep::contract
