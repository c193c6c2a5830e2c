// Re-enable: a disabled entry goes back into every Run key its record names, in the right view and
// with its type, and the record goes only once all of it is back. Whatever fails or whenever the
// process dies, each entry stays in its Run keys, in its record, or in both.
#include "disable_scenario.h"
#include "dying_registry.h"
#include "registry_contract.h"
#include "registry_log.h"

#include "registry/memory_registry.h"
#include "registry/reenable.h"
#include "registry/startup_approved.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

namespace runsweep {

inline void PrintTo(EnableOutcome outcome, std::ostream* os) {
    static const char* const kNames[] = {"Done",     "RecordNotDeleted",   "NotUnderstood",
                                         "Conflict", "NeedsAdministrator", "Failed",
                                         "Partial",  "RecordGone"};
    *os << kNames[static_cast<int>(outcome)];
}

} // namespace runsweep

namespace runsweep::contract {
namespace {

const std::wstring& kName = kScenarioName;
const RecordTime kWhen{2026, 12, 8, 23, 30, 5};

// The scenario seeded and disabled: what the Disabled items window starts from.
void SeedDisabled(MemoryRegistry& registry, const Scenario& scenario, bool keeps_switch = false) {
    ASSERT_NO_FATAL_FAILURE(SeedScenario(registry, scenario));
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen, keeps_switch).outcome, ActionOutcome::Done);
    ASSERT_FALSE(AnyRunValueLeft(registry));
    registry.ClearLog();
}

StartupRecord RecordOf(Registry& registry, const std::wstring& name = kName) {
    StartupRecord record;
    EXPECT_EQ(ReadStartupRecord(registry, name, record), kSuccess);
    return record;
}

bool RecordExists(Registry& registry, const std::wstring& name = kName) {
    RegKey key;
    return registry.OpenKey(Hive::LocalMachine, StartupRecordPath(name), KeyAccess::Query, key) == kSuccess;
}

std::optional<RegValue> RunValueOf(Registry& registry, RunPlace place, const std::wstring& name = kName) {
    RegKey key;
    if (registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place)) != kSuccess) {
        return std::nullopt;
    }
    RegValue value;
    if (registry.ReadValue(key, name, value) != kSuccess) {
        return std::nullopt;
    }
    return value;
}

void SetRunValue(Registry& registry, RunPlace place, const std::wstring& name, unsigned long type,
                 const std::wstring& text) {
    RegKey key;
    ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
    ASSERT_EQ(registry.SetValue(key, name, type, Utf16Bytes(text, true)), kSuccess);
}

// Empty when every place the record puts back holds its command in the Run key or still in an
// understood record; otherwise the places that hold it in neither.
std::string Lost(Registry& registry, const std::vector<RecordedPlace>& expected) {
    std::vector<RecordedPlace> recorded;
    StartupRecord record;
    if (ReadStartupRecord(registry, kName, record) == kSuccess && record.Understood()) {
        recorded = record.places;
    }
    std::string lost;
    for (const RecordedPlace& place : expected) {
        const auto run = RunValueOf(registry, place.place);
        const bool in_run = run && run->type == place.type && run->data == Utf16Bytes(place.command, true);
        const bool in_record = std::find(recorded.begin(), recorded.end(), place) != recorded.end();
        if (!in_run && !in_record) {
            lost += " " + ::testing::PrintToString(std::wstring(PlaceLabel(place.place)));
        }
    }
    return lost;
}

// Every place back byte for byte, switched on where Windows keeps the switch, and the record gone.
void ExpectAllBack(Registry& registry, const std::vector<RecordedPlace>& expected, bool keeps_switch = false) {
    for (const RecordedPlace& place : expected) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(PlaceLabel(place.place))));
        const auto run = RunValueOf(registry, place.place);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->type, place.type);
        EXPECT_EQ(run->data, Utf16Bytes(place.command, true));
        if (keeps_switch) {
            RegKey key;
            RegValue state;
            ASSERT_EQ(
                registry.OpenKey(RunSwitchKey(place.place).hive, RunSwitchKey(place.place).path, KeyAccess::Query, key),
                kSuccess);
            ASSERT_EQ(registry.ReadValue(key, kName, state), kSuccess);
            EXPECT_EQ(state.data, SwitchOnData());
        }
    }
    EXPECT_FALSE(RecordExists(registry));
}

std::vector<RegistryCall> Changes(const MemoryRegistry& registry) {
    std::vector<RegistryCall> changes;
    std::copy_if(
        registry.Log().begin(), registry.Log().end(), std::back_inserter(changes), [](const RegistryCall& call) {
            return call.op == RegistryOp::Create || call.op == RegistryOp::SetString ||
                   call.op == RegistryOp::SetValue || call.op == RegistryOp::Delete || call.op == RegistryOp::DeleteKey;
        });
    return changes;
}

// A record the way the System Configuration utility writes it: the five values and the date, "item"
// the program's file name rather than the value name.
void SeedUtilityRecord(Registry& registry, const std::wstring& name, const wchar_t* hkey, const wchar_t* key,
                       const std::wstring& command, const std::wstring& item) {
    RegKey record;
    ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(name), record), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"command", command), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"hkey", hkey), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"inimapping", L"0"), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"item", item), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"key", key), kSuccess);
    const std::pair<const wchar_t*, unsigned char> date[] = {{L"YEAR", 0xE9}, {L"MONTH", 3},  {L"DAY", 14},
                                                             {L"HOUR", 9},    {L"MINUTE", 5}, {L"SECOND", 59}};
    for (const auto& [part, low] : date) {
        const unsigned char high = std::wstring(part) == L"YEAR" ? 0x07 : 0; // 2025
        ASSERT_EQ(registry.SetValue(record, part, kRegDword, {low, high, 0, 0}), kSuccess);
    }
}

TEST(Reenable, EveryDisabledScenarioComesBackByteForByteAndItsRecordGoes) {
    for (const Scenario& scenario : DisableScenarios()) {
        SCOPED_TRACE(scenario.label);
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, scenario));
        const std::vector<RecordedPlace> expected = RecordOf(registry).places;
        ASSERT_FALSE(expected.empty());

        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, EnableOutcome::Done);
        EXPECT_EQ(result.status, kSuccess);
        ASSERT_EQ(result.places.size(), expected.size());
        for (const EnablePlaceResult& place : result.places) {
            EXPECT_EQ(place.outcome, EnablePlaceOutcome::Restored);
        }
        ExpectAllBack(registry, expected);
        EXPECT_EQ(registry.OpenHandleCount(), 0u);
        for (const RegistryCall& call : Changes(registry)) {
            EXPECT_TRUE(call.op == RegistryOp::Create || call.op == RegistryOp::SetValue ||
                        call.op == RegistryOp::DeleteKey);
        }
    }
}

TEST(Reenable, TheNewestCommandOfAPlaceGoesBackAndTheWindowAndRunsweepcShowThatOne) {
    MemoryRegistry registry;
    const Scenario merged = DisableScenarios()[6]; // all three and an earlier HKLM record
    ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, merged));
    const StartupRecord record = RecordOf(registry);
    ASSERT_EQ(record.places.size(), 3u);
    EXPECT_TRUE(std::none_of(record.places.begin(), record.places.end(),
                             [](const RecordedPlace& place) { return place.command == L"C:\\stale.exe"; }));
    ASSERT_EQ(EnableStartup(registry, record).outcome, EnableOutcome::Done);
    EXPECT_EQ(DecodeRegString(*RunValueOf(registry, RunPlace::Machine64)), L"C:\\lm.exe");
}

TEST(Reenable, AnExpandableCommandComesBackExpandableInThe32BitView) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(SetRunValue(registry, RunPlace::Machine32, kName, kRegExpandSz,
                                        L"%ProgramFiles%\\QuickTime\\qttask.exe -atboottime"));
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    ASSERT_FALSE(RunValueOf(registry, RunPlace::Machine32));

    ASSERT_EQ(EnableStartup(registry, kName).outcome, EnableOutcome::Done);
    const auto back = RunValueOf(registry, RunPlace::Machine32);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, kRegExpandSz);
    EXPECT_EQ(back->data, Utf16Bytes(L"%ProgramFiles%\\QuickTime\\qttask.exe -atboottime", true));
    EXPECT_FALSE(RunValueOf(registry, RunPlace::Machine64)) << "the 64-bit view was never the entry's";
}

TEST(Reenable, ARecordTheUtilityWroteComesBackUnderTheKeyNameOnEitherKindOfMachine) {
    for (const bool two_views : {true, false}) {
        SCOPED_TRACE(two_views ? "64-bit Windows" : "32-bit Windows");
        MemoryRegistry registry(two_views);
        ASSERT_NO_FATAL_FAILURE(SeedUtilityRecord(registry, L"SunJavaUpdateSched", L"HKLM", kRecordRunKey,
                                                  L"\"C:\\Program Files\\Java\\jre6\\bin\\jusched.exe\"",
                                                  L"jusched.exe"));
        ASSERT_NO_FATAL_FAILURE(SeedUtilityRecord(registry, L"Adobe Reader Speed Launcher", L"HKLM", kRecordRunKey32,
                                                  L"C:\\Reader\\reader_sl.exe", L"reader_sl"));
        std::vector<StartupRecord> records;
        ASSERT_EQ(ListStartupRecords(registry, records), kSuccess);
        ASSERT_EQ(records.size(), 2u);
        for (const StartupRecord& record : records) {
            SCOPED_TRACE(::testing::PrintToString(record.key_name));
            ASSERT_TRUE(record.Understood()) << ::testing::PrintToString(record.problem);
            EXPECT_TRUE(record.disabled_at);
            EXPECT_EQ(EnableStartup(registry, record).outcome, EnableOutcome::Done);
            EXPECT_FALSE(RecordExists(registry, record.key_name));
        }
        const auto java = RunValueOf(registry, RunPlace::Machine64, L"SunJavaUpdateSched");
        ASSERT_TRUE(java);
        EXPECT_EQ(java->type, kRegSz);
        EXPECT_EQ(DecodeRegString(*java), L"\"C:\\Program Files\\Java\\jre6\\bin\\jusched.exe\"");
        EXPECT_FALSE(RunValueOf(registry, RunPlace::Machine64, L"jusched.exe")) << "named after the key, not item";
        const auto reader = RunValueOf(registry, RunPlace::Machine32, L"Adobe Reader Speed Launcher");
        ASSERT_TRUE(reader);
        EXPECT_EQ(DecodeRegString(*reader), L"C:\\Reader\\reader_sl.exe");
        EXPECT_FALSE(RunValueOf(registry, RunPlace::CurrentUser, L"SunJavaUpdateSched"));
    }
}

TEST(Reenable, ARecordNotUnderstoodIsNeverActedOn) {
    struct Malformed {
        const char* label;
        const wchar_t* hkey;
        const wchar_t* key;
        bool command;
        std::wstring name = kName;
        const wchar_t* number = nullptr; // a REG_DWORD of this name, with `value`
        unsigned long value = 0;
    };
    const Malformed cases[] = {
        {"no command", L"HKLM", kRecordRunKey, false},
        {"unknown hive", L"HKCR", kRecordRunKey, true},
        {"not a Run key", L"HKLM", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true},
        {"the 32-bit Run key under HKCU", L"HKCU", kRecordRunKey32, true},
        {"a hive that is no text", nullptr, kRecordRunKey, true, kName, L"hkey", 1},
        {"a command of binary type", L"HKLM", kRecordRunKey, true, kName, L"RunsweepType", kRegBinary},
        {"a count of places past any older version's", L"HKLM", kRecordRunKey, true, kName, L"RunsweepPlaces", 1025},
        // A crafted record: no program's Run value is named so, and a value of that name would be
        // planted, not put back.
        {"a name with a line break", L"HKCU", kRecordRunKey, true, L"qttask\r\nEvil"},
        {"a name with an escape", L"HKLM", kRecordRunKey, true, L"\x1b[2Jqttask"},
        {"a name with DEL", L"HKLM", kRecordRunKey32, true, L"qt\x7ftask"},
    };
    for (const Malformed& bad : cases) {
        SCOPED_TRACE(bad.label);
        MemoryRegistry registry;
        {
            RegKey record;
            ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(bad.name), record), kSuccess);
            if (bad.command) {
                ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\qt.exe"), kSuccess);
            }
            if (bad.hkey != nullptr) {
                ASSERT_EQ(registry.SetStringValue(record, L"hkey", bad.hkey), kSuccess);
            }
            ASSERT_EQ(registry.SetStringValue(record, L"key", bad.key), kSuccess);
            if (bad.number != nullptr) {
                const unsigned long v = bad.value;
                ASSERT_EQ(registry.SetValue(record, bad.number, kRegDword,
                                            {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), 0, 0}),
                          kSuccess);
            }
        }
        StartupRecord record = RecordOf(registry, bad.name);
        ASSERT_FALSE(record.Understood());
        if (bad.value == 1025) { // read as a count, not as places that happen to be missing
            EXPECT_EQ(record.problem, L"its count of places is damaged");
        }
        registry.ClearLog();
        EXPECT_EQ(EnableStartup(registry, record).outcome, EnableOutcome::NotUnderstood);
        EXPECT_EQ(EnableStartup(registry, bad.name).outcome, EnableOutcome::NotUnderstood);
        if (bad.name != kName) {
            // Even handed over as understood.
            record.problem.clear();
            record.places = {{RunPlace::CurrentUser, L"C:\\qt.exe", kRegSz}};
            EXPECT_EQ(EnableStartup(registry, record).outcome, EnableOutcome::NotUnderstood);
        }
        EXPECT_TRUE(Changes(registry).empty());
        EXPECT_TRUE(RecordExists(registry, bad.name));
        for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
            EXPECT_FALSE(RunValueOf(registry, place, bad.name));
        }
    }
}

TEST(Reenable, AValueOfThatNameWithOtherDataOrTypeChangesNothingAnywhere) {
    for (const unsigned long other_type : {kRegSz, kRegExpandSz}) {
        SCOPED_TRACE(other_type);
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[3])); // all three places
        // HKLM's 64-bit key gets a value of that name again: new data, or the same text as another type.
        const std::wstring text = other_type == kRegSz ? L"C:\\new\\qttask.exe" : L"C:\\lm.exe";
        ASSERT_NO_FATAL_FAILURE(SetRunValue(registry, RunPlace::Machine64, kName, other_type, text));
        registry.ClearLog();

        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, EnableOutcome::Conflict);
        EXPECT_FALSE(result.TookEffect());
        EXPECT_TRUE(Changes(registry).empty()) << "not even the places without a conflict";
        EXPECT_TRUE(RecordExists(registry));
        ASSERT_EQ(result.places.size(), 3u);
        for (const EnablePlaceResult& place : result.places) {
            EXPECT_EQ(place.outcome,
                      place.place == RunPlace::Machine64 ? EnablePlaceOutcome::Conflict : EnablePlaceOutcome::NotTried);
        }
        EXPECT_FALSE(RunValueOf(registry, RunPlace::CurrentUser));
        EXPECT_EQ(DecodeRegString(*RunValueOf(registry, RunPlace::Machine64)), text);
    }
}

TEST(Reenable, TheSameCommandAlreadyBackCountsAsBackAndOnlyTheRestIsWritten) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[3]));
    const std::vector<RecordedPlace> expected = RecordOf(registry).places;
    ASSERT_NO_FATAL_FAILURE(SetRunValue(registry, RunPlace::CurrentUser, kName, kRegSz, L"C:\\cu.exe"));
    registry.ClearLog();

    const EnableResult result = EnableStartup(registry, kName);
    EXPECT_EQ(result.outcome, EnableOutcome::Done);
    std::size_t already = 0;
    for (const EnablePlaceResult& place : result.places) {
        already += place.outcome == EnablePlaceOutcome::AlreadyThere ? 1 : 0;
        EXPECT_EQ(place.outcome == EnablePlaceOutcome::AlreadyThere, place.place == RunPlace::CurrentUser);
    }
    EXPECT_EQ(already, 1u);
    for (const RegistryCall& call : Changes(registry)) {
        EXPECT_FALSE(call.op == RegistryOp::SetValue && call.hive == Hive::CurrentUser);
    }
    ExpectAllBack(registry, expected);
}

TEST(Reenable, EachFailureIsReportedAsWhatItIs) {
    const FaultRule any{};
    // Without rights to HKLM: nothing goes back and the record stays.
    {
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[1])); // only HKLM
        FaultRule denied = any;
        denied.op = RegistryOp::Create;
        denied.hive = Hive::LocalMachine;
        denied.path = kRunKeyPath;
        registry.AddFault(denied);
        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, EnableOutcome::NeedsAdministrator);
        EXPECT_EQ(result.status, kAccessDenied);
        ASSERT_EQ(result.places.size(), 1u);
        EXPECT_EQ(result.places[0].outcome, EnablePlaceOutcome::NeedsAdministrator);
        EXPECT_TRUE(RecordExists(registry));
    }
    // HKCU goes back, HKLM cannot: partly back, the record kept for the rest.
    {
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[3]));
        FaultRule denied = any;
        denied.op = RegistryOp::SetValue;
        denied.hive = Hive::LocalMachine;
        denied.path = kRunKeyPath;
        registry.AddFault(denied);
        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, EnableOutcome::Partial);
        EXPECT_EQ(result.status, kAccessDenied);
        EXPECT_TRUE(RunValueOf(registry, RunPlace::CurrentUser));
        EXPECT_FALSE(RunValueOf(registry, RunPlace::Machine64));
        EXPECT_TRUE(RecordExists(registry));
        // Once allowed, the same record finishes the job.
        registry.ClearFaults();
        EXPECT_EQ(EnableStartup(registry, kName).outcome, EnableOutcome::Done);
        EXPECT_FALSE(RecordExists(registry));
    }
    // A Run key that cannot be read: nothing is written, the failure's own status reported.
    {
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[0]));
        FaultRule unreadable = any;
        unreadable.op = RegistryOp::Query;
        unreadable.path = kRunKeyPath;
        unreadable.status = kOutOfMemory;
        registry.AddFault(unreadable);
        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, EnableOutcome::Failed);
        EXPECT_EQ(result.status, kOutOfMemory);
        EXPECT_TRUE(Changes(registry).empty());
    }
    // Back everywhere, but the record cannot be deleted; or another copy deleted it meanwhile,
    // which leaves the job done.
    for (const auto& [status, outcome] :
         {std::pair{kAccessDenied, EnableOutcome::RecordNotDeleted}, std::pair{kFileNotFound, EnableOutcome::Done}}) {
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[0]));
        FaultRule undeletable = any;
        undeletable.op = RegistryOp::DeleteKey;
        undeletable.status = status;
        registry.AddFault(undeletable);
        const EnableResult result = EnableStartup(registry, kName);
        EXPECT_EQ(result.outcome, outcome);
        EXPECT_EQ(result.status, status == kFileNotFound ? kSuccess : status);
        EXPECT_TRUE(RunValueOf(registry, RunPlace::CurrentUser));
        EXPECT_TRUE(RecordExists(registry)) << "the fault kept it";
    }
    // A record gone since the window listed it.
    {
        MemoryRegistry registry;
        EXPECT_EQ(EnableStartup(registry, kName).outcome, EnableOutcome::RecordGone);
        EXPECT_TRUE(Changes(registry).empty());
    }
}

TEST(Reenable, EveryCommandIsFlushedInItsOwnViewBeforeTheRecordIsDeletedInThe64BitView) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, DisableScenarios()[3]));
    ASSERT_EQ(EnableStartup(registry, kName).outcome, EnableOutcome::Done);
    const auto calls = CallsWithoutClose(registry);
    std::vector<std::pair<Hive, RegView>> flushed;
    bool deleted = false;
    for (const RegistryCall& call : calls) {
        if (call.op == RegistryOp::Flush) {
            EXPECT_FALSE(deleted);
            EXPECT_EQ(call.path, kRunKeyPath);
            flushed.emplace_back(call.hive, call.view);
        }
        if (call.op == RegistryOp::DeleteKey) {
            EXPECT_EQ(call.view, RegView::k64);
            EXPECT_EQ(call.path, StartupRecordPath(kName));
            deleted = true;
        }
    }
    EXPECT_TRUE(deleted);
    const std::vector<std::pair<Hive, RegView>> expected = {
        {Hive::CurrentUser, RegView::k64}, {Hive::LocalMachine, RegView::k64}, {Hive::LocalMachine, RegView::k32}};
    EXPECT_EQ(flushed, expected);
}

// With and without Windows' startup switch, whose writes can fail too: a place whose switch stays
// off keeps its record, and the run without faults switches it on.
TEST(ReenableUnderFaults, NothingIsLostWhateverCallFailsAndARunWithoutFaultsFinishes) {
    std::size_t injected = 0;
    std::size_t lost = 0;
    for (const bool keeps_switch : {false, true}) {
        for (const Scenario& scenario : DisableScenarios()) {
            SCOPED_TRACE(::testing::Message() << scenario.label << (keeps_switch ? ", with the switch" : ""));
            std::vector<RegistryCall> clean_run;
            std::vector<RecordedPlace> expected;
            {
                MemoryRegistry registry;
                ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, scenario, keeps_switch));
                expected = RecordOf(registry).places;
                registry.ClearLog();
                ASSERT_EQ(EnableStartup(registry, kName, keeps_switch).outcome, EnableOutcome::Done);
                clean_run = CallsWithoutClose(registry);
            }
            for (std::size_t k = 1; k <= clean_run.size(); ++k) {
                for (const SweepFault fault : SweepFaults(clean_run[k - 1].op)) {
                    SCOPED_TRACE(::testing::Message() << "fault at call " << k << ", " << fault);
                    MemoryRegistry registry;
                    ASSERT_NO_FATAL_FAILURE(SeedDisabled(registry, scenario, keeps_switch));
                    registry.AddFault(NthCallFault(k, fault));
                    const EnableResult result = EnableStartup(registry, kName, keeps_switch);
                    ++injected;
                    const auto calls = CallsWithoutClose(registry);
                    ASSERT_GE(calls.size(), k);
                    ASSERT_EQ(calls[k - 1].op, clean_run[k - 1].op) << "the fault hit another call";
                    EXPECT_EQ(registry.OpenHandleCount(), 0u);
                    if (const std::string missing = Lost(registry, expected); !missing.empty()) {
                        ++lost;
                        ADD_FAILURE() << "lost:" << missing;
                    }
                    // Truthful: "done" only when the record is gone, anything else with the status.
                    EXPECT_EQ(result.TookEffect(), !RecordExists(registry));
                    if (!result.TookEffect()) {
                        EXPECT_NE(result.status, kSuccess);
                    }

                    registry.ClearFaults();
                    const EnableResult again = EnableStartup(registry, kName, keeps_switch);
                    if (result.TookEffect()) {
                        EXPECT_EQ(again.outcome, EnableOutcome::RecordGone);
                    } else {
                        EXPECT_EQ(again.outcome, EnableOutcome::Done);
                    }
                    ExpectAllBack(registry, expected, keeps_switch);
                }
            }
        }
    }
    std::printf("ReenableUnderFaults: %zu faults injected, %zu entries lost\n", injected, lost);
    EXPECT_EQ(lost, 0u);
}

TEST(ReenableInterrupted, AKillAfterAnyChangeLosesNothingAndTheNextRunFinishes) {
    std::size_t kills = 0;
    std::size_t lost = 0;
    for (const bool keeps_switch : {false, true}) {
        for (const Scenario& scenario : DisableScenarios()) {
            SCOPED_TRACE(::testing::Message() << scenario.label << (keeps_switch ? ", with the switch" : ""));
            std::size_t changes = 0;
            std::vector<RecordedPlace> expected;
            {
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedDisabled(store, scenario, keeps_switch));
                expected = RecordOf(store).places;
                DyingRegistry whole(store, 0);
                ASSERT_EQ(EnableStartup(whole, kName, keeps_switch).outcome, EnableOutcome::Done);
                changes = whole.Changes();
            }
            // Each place's value, each switch where Windows keeps it, and the record's deletion.
            ASSERT_GE(changes, expected.size() * (keeps_switch ? 2 : 1) + 1);
            for (std::size_t k = 1; k <= changes; ++k) {
                SCOPED_TRACE(::testing::Message() << "killed after change " << k);
                MemoryRegistry store;
                ASSERT_NO_FATAL_FAILURE(SeedDisabled(store, scenario, keeps_switch));
                {
                    DyingRegistry dying(store, k);
                    EXPECT_THROW(EnableStartup(dying, kName, keeps_switch), Died);
                }
                ++kills;
                EXPECT_EQ(store.OpenHandleCount(), 0u);
                if (const std::string missing = Lost(store, expected); !missing.empty()) {
                    ++lost;
                    ADD_FAILURE() << "lost after the kill:" << missing;
                }
                const EnableResult again = EnableStartup(store, kName, keeps_switch);
                EXPECT_EQ(again.outcome, k == changes ? EnableOutcome::RecordGone : EnableOutcome::Done);
                ExpectAllBack(store, expected, keeps_switch);
            }
        }
    }
    std::printf("ReenableInterrupted: %zu kills simulated, %zu entries lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
}

// ---------------------------------------------------------------------------------------------
// Startup-folder items.

// The scenario's file disabled: what the Disabled items window starts from.
FolderItem SeedDisabledFile(MemoryRegistry& registry, MemoryFolderFiles& files, const FolderScenario& scenario) {
    SeedFolderScenario(registry, files, scenario);
    const FolderItem item = ScenarioItem(files, scenario);
    EXPECT_EQ(DisableFolderItem(registry, files, item, kWhen).outcome, FolderOutcome::Done);
    registry.ClearLog();
    files.ClearLog();
    return item;
}

FolderRecord FolderRecordOf(Registry& registry, const FolderItem& item) {
    FolderRecord record;
    EXPECT_EQ(ReadFolderRecord(registry, FolderRecordKeyName(item.path), record), kSuccess);
    return record;
}

TEST(FolderReenable, EveryDisabledFileComesBackByteForByteAgainAndAgainAndItsRecordGoes) {
    for (const FolderScenario& scenario : FolderScenarios()) {
        SCOPED_TRACE(scenario.label);
        MemoryRegistry registry;
        MemoryFolderFiles files;
        const FolderItem item = SeedDisabledFile(registry, files, scenario);
        std::wstring first_backup;
        for (int round = 1; round <= 3; ++round) {
            SCOPED_TRACE(::testing::Message() << "round " << round);
            const FolderRecord record = FolderRecordOf(registry, item);
            first_backup = round == 1 ? record.backup : first_backup;
            EXPECT_EQ(record.backup, first_backup) << "the freed backup name is used again";
            EXPECT_EQ(EnableFolderRecord(registry, files, record).outcome, FolderOutcome::Done);
            EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
            EXPECT_EQ(files.FileBytes(record.backup), std::nullopt);
            EXPECT_EQ(RecordOfItem(registry, files, scenario), std::nullopt);
            std::vector<FolderRecord> left;
            ASSERT_EQ(ListFolderRecords(registry, left), kSuccess);
            EXPECT_TRUE(left.empty());
            EXPECT_EQ(EnableFolderRecord(registry, files, record).outcome, FolderOutcome::Done)
                << "a second Re-enable finds the file back and changes nothing";
            EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
            ASSERT_EQ(DisableFolderItem(registry, files, item, kWhen).outcome, FolderOutcome::Done);
        }
        EXPECT_EQ(LostFile(registry, files, scenario), "");
    }
}

TEST(FolderReenable, RecordsTheUtilityWroteOnXpAndLaterComeBackTheSameWay) {
    struct Case {
        const char* label;
        std::wstring path;
        std::wstring location;
        std::wstring backup;
        std::optional<std::wstring> extension; // absent on XP
        StartupFolder folder;
    };
    const std::vector<Case> cases = {
        {"XP, all users",
         L"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup\\Adobe Gamma Loader.lnk",
         L"Common Startup", L"C:\\WINDOWS\\pss\\Adobe Gamma Loader.lnkCommon Startup", std::nullopt,
         StartupFolder::Common},
        {"XP, the user's", L"C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup\\Microsoft Office.lnk",
         L"Startup", L"C:\\WINDOWS\\pss\\Microsoft Office.lnkStartup", std::nullopt, StartupFolder::User},
        {"7, all users", L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Snipaste.lnk",
         L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
         L"C:\\Windows\\pss\\Snipaste.lnk.CommonStartup", L".CommonStartup", StartupFolder::Common},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MemoryRegistry registry;
        MemoryFolderFiles files;
        files.AddFolder(ParentFolder(c.path));
        const std::vector<unsigned char> bytes = {'L', 0, 0, 0, 'x', 'p'};
        files.PutFile(c.backup, bytes);
        const std::wstring key_name = FolderRecordKeyName(c.path);
        {
            RegKey key;
            ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, FolderRecordPath(key_name), key), kSuccess);
            ASSERT_EQ(registry.SetStringValue(key, L"path", c.path), kSuccess);
            ASSERT_EQ(registry.SetStringValue(key, L"location", c.location), kSuccess);
            ASSERT_EQ(registry.SetStringValue(key, L"item", FileStem(FileNameOf(c.path))), kSuccess);
            ASSERT_EQ(registry.SetStringValue(key, L"command", L"C:\\PROGRA~1\\app.exe"), kSuccess);
            ASSERT_EQ(registry.SetStringValue(key, L"backup", c.backup), kSuccess);
            if (c.extension) {
                ASSERT_EQ(registry.SetStringValue(key, L"backupExtension", *c.extension), kSuccess);
            }
        }
        std::vector<FolderRecord> records;
        ASSERT_EQ(ListFolderRecords(registry, records), kSuccess);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_TRUE(records[0].Understood()) << ::testing::PrintToString(records[0].problem);
        EXPECT_EQ(records[0].folder, c.folder);
        EXPECT_EQ(records[0].key_name, key_name);
        EXPECT_EQ(records[0].disabled_at.has_value(), false);
        EXPECT_EQ(EnableFolderRecord(registry, files, records[0]).outcome, FolderOutcome::Done);
        EXPECT_EQ(files.FileBytes(c.path), bytes);
        EXPECT_EQ(files.FileBytes(c.backup), std::nullopt);
        ASSERT_EQ(ListFolderRecords(registry, records), kSuccess);
        EXPECT_TRUE(records.empty());
    }
}

TEST(FolderReenable, EachObstacleIsReportedAndChangesNothing) {
    struct Case {
        const char* label;
        std::function<void(MemoryRegistry&, MemoryFolderFiles&, FolderRecord&)> arrange;
        FolderOutcome outcome;
        bool back; // the file is in its folder afterwards
        bool record_kept;
    };
    const std::vector<unsigned char> other = {'o', 't', 'h', 'e', 'r'};
    const std::vector<Case> cases = {
        {"a file of that name is there again",
         [&](MemoryRegistry&, MemoryFolderFiles& files, FolderRecord& record) { files.PutFile(record.path, other); },
         FolderOutcome::Conflict, false, true},
        {"its folder is gone",
         [](MemoryRegistry&, MemoryFolderFiles&, FolderRecord& record) {
             record.path = L"D:\\Users\\Gone\\Startup\\" + FileNameOf(record.path);
         },
         FolderOutcome::FolderMissing, false, true},
        {"the kept file is gone",
         [](MemoryRegistry&, MemoryFolderFiles& files, FolderRecord& record) { files.Delete(record.backup); },
         FolderOutcome::BackupMissing, false, true},
        {"the record names no backup",
         [](MemoryRegistry&, MemoryFolderFiles&, FolderRecord& record) { record.problem = L"no backup"; },
         FolderOutcome::NotUnderstood, false, true},
        {"the folder refuses the file",
         [](MemoryRegistry&, MemoryFolderFiles& files, FolderRecord&) {
             files.AddFault(FileFaultRule{FileOp::Move, std::nullopt, 0, kAccessDenied});
         },
         FolderOutcome::NeedsAdministrator, false, true},
        {"the move is dropped",
         [](MemoryRegistry&, MemoryFolderFiles& files, FolderRecord&) {
             files.AddFault(FileFaultRule{FileOp::Move, std::nullopt, 0, kSuccess});
         },
         FolderOutcome::MoveFailed, false, true},
        {"the record cannot be deleted",
         [](MemoryRegistry& registry, MemoryFolderFiles&, FolderRecord&) {
             registry.AddFault(FaultOn(RegistryOp::DeleteKey));
         },
         FolderOutcome::RecordNotDeleted, true, true},
    };
    const FolderScenario scenario = FolderScenarios()[1];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MemoryRegistry registry;
        MemoryFolderFiles files;
        const FolderItem item = SeedDisabledFile(registry, files, scenario);
        FolderRecord record = FolderRecordOf(registry, item);
        c.arrange(registry, files, record);
        const auto kept = files.FileBytes(record.backup);
        const FolderResult result = EnableFolderRecord(registry, files, record);
        EXPECT_EQ(result.outcome, c.outcome) << result.status;
        EXPECT_EQ(files.FileBytes(item.path) == ScenarioBytes(scenario), c.back);
        if (!c.back) {
            EXPECT_EQ(files.FileBytes(record.backup), kept) << "the kept file stays where it is";
        }
        EXPECT_EQ(RecordOfItem(registry, files, scenario).has_value(), c.record_kept);

        // Once the obstacle is gone, Re-enable finishes; a record whose file is back is simply deleted.
        if (c.outcome == FolderOutcome::RecordNotDeleted || c.outcome == FolderOutcome::NeedsAdministrator) {
            registry.ClearFaults();
            files.ClearFaults();
            EXPECT_EQ(EnableFolderRecord(registry, files, FolderRecordOf(registry, item)).outcome, FolderOutcome::Done);
            EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
            EXPECT_EQ(RecordOfItem(registry, files, scenario), std::nullopt);
        }
    }
}

} // namespace
} // namespace runsweep::contract
