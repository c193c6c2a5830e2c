// Windows' startup switch: what a value means, what is written, where, and what a failed or
// dropped write leaves behind.
#include "registry/memory_registry.h"
#include "registry/startup_approved.h"
#include "registry/startup_state.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace runsweep {
namespace {

using Bytes = std::vector<unsigned char>;

// 2025-06-01 12:00 UTC.
constexpr FileTime kJuneFirstNoon = 133932528000000000ULL;

Bytes Off(unsigned char state, FileTime time) {
    Bytes data{state, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        data.push_back(static_cast<unsigned char>(time >> (8 * i)));
    }
    return data;
}

FaultRule Fault(RegistryOp op, long status = kAccessDenied, std::size_t nth = 0,
                std::optional<std::wstring> value = std::nullopt) {
    FaultRule rule;
    rule.op = op;
    rule.status = status;
    rule.nth = nth;
    rule.value = std::move(value);
    return rule;
}

void Put(Registry& registry, const SwitchKey& where, const std::wstring& name, unsigned long type, const Bytes& data) {
    RegKey key;
    ASSERT_EQ(registry.CreateKey(where.hive, where.path, key), kSuccess);
    ASSERT_EQ(registry.SetValue(key, name, type, data), kSuccess);
}

RegValue Stored(Registry& registry, const SwitchKey& where, const std::wstring& name, RegView view = RegView::k64) {
    RegValue value;
    RegKey key;
    if (registry.OpenKey(where.hive, where.path, KeyAccess::Query, key, view) == kSuccess) {
        registry.ReadValue(key, name, value);
    }
    return value;
}

TEST(StartupSwitchValue, TheLowBitOfTheFirstByteDecidesAndOnlyBinaryStatesCount) {
    struct Case {
        const char* what;
        unsigned long type;
        Bytes data;
        SwitchValue value;
        FileTime since;
    } const cases[] = {
        {"Task Manager's on", kRegBinary, Bytes{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SwitchValue::On, 0},
        {"the other on seen", kRegBinary, Bytes{6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SwitchValue::On, 0},
        {"Task Manager's off", kRegBinary, Off(3, kJuneFirstNoon), SwitchValue::Off, kJuneFirstNoon},
        {"the other off seen", kRegBinary, Off(7, kJuneFirstNoon), SwitchValue::Off, kJuneFirstNoon},
        {"a higher bit alone", kRegBinary, Off(0x82, kJuneFirstNoon), SwitchValue::On, 0},
        {"off with a time of zero", kRegBinary, Off(3, 0), SwitchValue::Off, 0},
        {"off with the state alone", kRegBinary, Bytes{3, 0, 0, 0}, SwitchValue::Off, 0},
        {"off with half a time", kRegBinary, Bytes{3, 0, 0, 0, 1, 2, 3}, SwitchValue::Off, 0},
        {"longer than Windows writes", kRegBinary,
         [] {
             Bytes b = Off(3, 42);
             b.push_back(9);
             return b;
         }(),
         SwitchValue::Off, 42},
        {"shorter than the state", kRegBinary, Bytes{3, 0, 0}, SwitchValue::Unrecognised, 0},
        {"empty", kRegBinary, Bytes{}, SwitchValue::Unrecognised, 0},
        {"a number", kRegDword, Bytes{3, 0, 0, 0}, SwitchValue::Unrecognised, 0},
        {"a text", kRegSz, Bytes{'3', 0, 0, 0}, SwitchValue::Unrecognised, 0},
    };
    for (const Case& c : cases) {
        const StartupSwitch state = ParseStartupSwitch(c.type, c.data);
        EXPECT_EQ(state.value, c.value) << c.what;
        EXPECT_EQ(state.off_since, c.since) << c.what;
        EXPECT_EQ(state.Off(), c.value == SwitchValue::Off) << c.what;
    }
    EXPECT_EQ(SwitchOnData(), (Bytes{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SwitchOffData(kJuneFirstNoon), Off(3, kJuneFirstNoon));
    EXPECT_EQ(ParseStartupSwitch(kRegBinary, SwitchOffData(kJuneFirstNoon)).off_since, kJuneFirstNoon);
}

TEST(StartupSwitchValue, WindowsKeepsItFromVersionEightOn) {
    const std::pair<WindowsVersion, bool> cases[] = {{{0, 0}, false}, {{5, 1}, false}, {{6, 0}, false},
                                                     {{6, 1}, false}, {{6, 2}, true},  {{6, 3}, true},
                                                     {{10, 0}, true}, {{11, 0}, true}};
    for (const auto& [version, keeps] : cases) {
        EXPECT_EQ(KeepsStartupSwitch(version), keeps) << version.major << "." << version.minor;
    }
}

TEST(StartupSwitchValue, LocalDatesOfSwitchTimes) {
    // Noon UTC is the same day in every time zone but the farthest two.
    const RecordTime june = LocalTimeOf(kJuneFirstNoon);
    EXPECT_EQ(june.year, 2025u);
    EXPECT_EQ(june.month, 6u);
    EXPECT_EQ(june.day, 1u);
    const FileTime now = FileTimeNow();
    EXPECT_GT(now, kJuneFirstNoon);
    const RecordTime local = LocalTimeNow();
    const RecordTime converted = LocalTimeOf(now);
    EXPECT_EQ(converted.year, local.year);
    EXPECT_EQ(converted.day, local.day);
}

TEST(StartupSwitchKeys, EachPlaceHasItsKeyAndEveryKeyLivesInTheMachines64BitView) {
    const std::wstring root = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
    EXPECT_EQ(RunSwitchKey(RunPlace::CurrentUser), (SwitchKey{Hive::CurrentUser, root + L"Run"}));
    EXPECT_EQ(RunSwitchKey(RunPlace::Machine64), (SwitchKey{Hive::LocalMachine, root + L"Run"}));
    EXPECT_EQ(RunSwitchKey(RunPlace::Machine32), (SwitchKey{Hive::LocalMachine, root + L"Run32"}));
    EXPECT_EQ(StartupFolderSwitchKey(Hive::CurrentUser), (SwitchKey{Hive::CurrentUser, root + L"StartupFolder"}));
    EXPECT_EQ(StartupFolderSwitchKey(Hive::LocalMachine), (SwitchKey{Hive::LocalMachine, root + L"StartupFolder"}));

    MemoryRegistry registry;
    const SwitchKey run32 = RunSwitchKey(RunPlace::Machine32);
    EXPECT_EQ(SwitchOff(registry, run32, L"Updater", kJuneFirstNoon).change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, run32, L"Updater").data, SwitchOffData(kJuneFirstNoon));
    for (const RegistryCall& call : registry.Log()) {
        EXPECT_EQ(call.view, RegView::k64);
    }
    EXPECT_TRUE(Stored(registry, run32, L"Updater", RegView::k32).data.empty()) << "not under Wow6432Node";
}

// Off, on, off again, with a value Windows wrote before and one it would not write.
TEST(StartupSwitchWrites, OffKeepsAnEarlierDateOnWritesZerosAndUnknownDataIsLeftAlone) {
    MemoryRegistry registry;
    const SwitchKey user = RunSwitchKey(RunPlace::CurrentUser);
    const FileTime later = kJuneFirstNoon + 36000000000ULL;

    // No key at all: created, and the time written is the one given.
    EXPECT_EQ(SwitchOff(registry, user, L"Fresh", kJuneFirstNoon).change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, user, L"Fresh").data, Off(3, kJuneFirstNoon));
    EXPECT_EQ(Stored(registry, user, L"Fresh").type, kRegBinary);

    // Switched off already, by Windows (07) or by a first switch-off: left with its own date.
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Seven", kRegBinary, Off(7, 1234)));
    EXPECT_EQ(SwitchOff(registry, user, L"Seven", later).change, SwitchChange::AlreadySo);
    EXPECT_EQ(Stored(registry, user, L"Seven").data, Off(7, 1234));
    EXPECT_EQ(SwitchOff(registry, user, L"FRESH", later).change, SwitchChange::AlreadySo);
    EXPECT_EQ(Stored(registry, user, L"Fresh").data, Off(3, kJuneFirstNoon));

    // On again: 02 and zeros, whatever off it was; a second on changes nothing.
    EXPECT_EQ(SwitchOn(registry, user, L"Seven").change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, user, L"Seven").data, SwitchOnData());
    EXPECT_EQ(SwitchOn(registry, user, L"Seven").change, SwitchChange::AlreadySo);
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Six", kRegBinary, Bytes{6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SwitchOn(registry, user, L"Six").change, SwitchChange::AlreadySo);
    EXPECT_EQ(Stored(registry, user, L"Six").data[0], 6);
    // Missing means on, and is written as on.
    EXPECT_EQ(SwitchOn(registry, user, L"Missing").change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, user, L"Missing").data, SwitchOnData());
    // Off after on: the new date.
    EXPECT_EQ(SwitchOff(registry, user, L"Seven", later).change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, user, L"Seven").data, Off(3, later));

    // Not a switch Windows wrote: neither direction touches it.
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Odd", kRegDword, Bytes{2, 0, 0, 0}));
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Short", kRegBinary, Bytes{2}));
    for (const wchar_t* name : {L"Odd", L"Short"}) {
        const RegValue before = Stored(registry, user, name);
        EXPECT_EQ(SwitchOff(registry, user, name, later).change, SwitchChange::Unrecognised);
        EXPECT_EQ(SwitchOn(registry, user, name).change, SwitchChange::Unrecognised);
        EXPECT_EQ(Stored(registry, user, name).data, before.data);
        EXPECT_EQ(Stored(registry, user, name).type, before.type);
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// A refused key, a refused write, a write the registry dropped and a read that failed, each
// followed by the same call again once the fault is gone.
TEST(StartupSwitchWrites, AFailureIsReportedWithItsStatusAndTheNextTryFinishes) {
    const SwitchKey machine = RunSwitchKey(RunPlace::Machine64);
    struct Case {
        const char* what;
        FaultRule fault;
        long status;
    } const cases[] = {
        {"no right to create the key", Fault(RegistryOp::Create), kAccessDenied},
        {"no right to write", Fault(RegistryOp::SetValue), kAccessDenied},
        {"a write the storage dropped", Fault(RegistryOp::SetValue, kSuccess), kInvalidData},
        {"the present value unreadable", Fault(RegistryOp::Query, 1450, 1), 1450},
    };
    for (const Case& c : cases) {
        for (const bool on : {false, true}) {
            MemoryRegistry registry;
            if (on) {
                ASSERT_NO_FATAL_FAILURE(Put(registry, machine, L"Tool", kRegBinary, Off(3, 77)));
            }
            registry.AddFault(c.fault);
            const SwitchWrite failed =
                on ? SwitchOn(registry, machine, L"Tool") : SwitchOff(registry, machine, L"Tool", kJuneFirstNoon);
            EXPECT_TRUE(failed.Failed()) << c.what;
            EXPECT_EQ(failed.status, c.status) << c.what;
            registry.ClearFaults();
            EXPECT_EQ(Stored(registry, machine, L"Tool").data, on ? Off(3, 77) : Bytes{}) << c.what;
            const SwitchWrite again =
                on ? SwitchOn(registry, machine, L"Tool") : SwitchOff(registry, machine, L"Tool", kJuneFirstNoon);
            EXPECT_EQ(again.change, SwitchChange::Written) << c.what;
            EXPECT_EQ(Stored(registry, machine, L"Tool").data, on ? SwitchOnData() : Off(3, kJuneFirstNoon)) << c.what;
            EXPECT_EQ(registry.OpenHandleCount(), 0u);
        }
    }
}

TEST(StartupSwitchReads, AKeyIsOpenedOnceForManyNamesAndWhatCannotBeReadCountsAsOn) {
    MemoryRegistry registry;
    const SwitchKey user = RunSwitchKey(RunPlace::CurrentUser);
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Off", kRegBinary, Off(3, kJuneFirstNoon)));
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"On", kRegBinary, SwitchOnData()));
    ASSERT_NO_FATAL_FAILURE(Put(registry, user, L"Odd", kRegSz, Bytes{'x', 0, 0, 0}));
    registry.ResetCallCounts();
    {
        SwitchReader reader(registry, user);
        EXPECT_TRUE(reader.Read(L"OFF").Off());
        EXPECT_EQ(reader.Read(L"OFF").off_since, kJuneFirstNoon);
        EXPECT_EQ(reader.Read(L"On").value, SwitchValue::On);
        EXPECT_EQ(reader.Read(L"Odd").value, SwitchValue::Unrecognised);
        EXPECT_EQ(reader.Read(L"Absent").value, SwitchValue::Missing);
        SwitchReader nothing(registry, RunSwitchKey(RunPlace::Machine32));
        EXPECT_EQ(nothing.Read(L"Off").value, SwitchValue::Missing);
        EXPECT_EQ(nothing.Read(L"On").value, SwitchValue::Missing);
    }
    EXPECT_EQ(registry.CallCount(RegistryOp::Open), 2u) << "each key once, however many names";
    EXPECT_EQ(registry.OpenHandleCount(), 0u);

    StartupSwitch state;
    registry.AddFault(Fault(RegistryOp::Query, kAccessDenied, 0, L"Off"));
    EXPECT_EQ(ReadStartupSwitch(registry, user, L"Off", state), kAccessDenied);
    EXPECT_FALSE(state.Off()) << "Windows starts what it cannot see switched off";
    EXPECT_EQ(ReadStartupSwitch(registry, user, L"On", state), kSuccess);
    EXPECT_EQ(ReadStartupSwitch(registry, RunSwitchKey(RunPlace::Machine64), L"On", state), kSuccess);
    EXPECT_EQ(state.value, SwitchValue::Missing);

    std::vector<NamedSwitch> all;
    EXPECT_EQ(ReadAllSwitches(registry, user, all), kAccessDenied);
    EXPECT_TRUE(all.empty());
    registry.ClearFaults();
    ASSERT_EQ(ReadAllSwitches(registry, user, all), kSuccess);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, L"Off");
    EXPECT_TRUE(all[0].state.Off());
    EXPECT_EQ(all[2].state.value, SwitchValue::Unrecognised);
    EXPECT_EQ(ReadAllSwitches(registry, StartupFolderSwitchKey(Hive::LocalMachine), all), kSuccess);
    EXPECT_TRUE(all.empty());
}

// Task Manager's own Disable: the Run value stays and its switch says off. Listed once per name
// with every such place; switched on again, and then nothing else has changed.
TEST(StartupSwitchReads, EntriesOnlySwitchedOffAreListedAndSwitchedOnWithNothingElseChanged) {
    MemoryRegistry registry;
    const auto run = [&](RunPlace place, const std::wstring& name) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, L"C:\\" + name + L".exe"), kSuccess);
    };
    const FileTime later = kJuneFirstNoon + 1;
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::CurrentUser, L"Both"));
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::Machine32, L"BOTH"));
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::Machine64, L"Mixed"));
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::CurrentUser, L"Mixed"));
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::CurrentUser, L"Running"));
    ASSERT_NO_FATAL_FAILURE(
        Put(registry, RunSwitchKey(RunPlace::CurrentUser), L"Both", kRegBinary, Off(3, kJuneFirstNoon)));
    ASSERT_NO_FATAL_FAILURE(Put(registry, RunSwitchKey(RunPlace::Machine32), L"Both", kRegBinary, Off(7, later)));
    ASSERT_NO_FATAL_FAILURE(Put(registry, RunSwitchKey(RunPlace::Machine64), L"Mixed", kRegBinary, Off(3, 5)));
    ASSERT_NO_FATAL_FAILURE(Put(registry, RunSwitchKey(RunPlace::CurrentUser), L"Running", kRegBinary, SwitchOnData()));
    // Switched off, but its Run value is gone: nothing there to start or to switch on.
    ASSERT_NO_FATAL_FAILURE(Put(registry, RunSwitchKey(RunPlace::CurrentUser), L"Gone", kRegBinary, Off(3, 5)));

    std::vector<SwitchedOff> entries;
    ASSERT_EQ(ListSwitchedOff(registry, entries), kSuccess);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, L"Both");
    EXPECT_EQ(entries[0].places, (std::vector<RunPlace>{RunPlace::CurrentUser, RunPlace::Machine32}));
    EXPECT_EQ(entries[0].since, later);
    EXPECT_EQ(entries[0].command, L"C:\\Both.exe");
    EXPECT_EQ(entries[1].name, L"Mixed");
    EXPECT_EQ(entries[1].places, std::vector<RunPlace>{RunPlace::Machine64});

    // HKLM's switches unreadable: said so, and HKCU's still listed.
    FaultRule machine = Fault(RegistryOp::Enumerate, kAccessDenied);
    machine.hive = Hive::LocalMachine;
    registry.AddFault(machine);
    ASSERT_EQ(ListSwitchedOff(registry, entries), kAccessDenied);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].places, std::vector<RunPlace>{RunPlace::CurrentUser});
    registry.ClearFaults();

    // Switching "Both" on: a failure in one place is that place's alone, and a second try finishes.
    ASSERT_EQ(ListSwitchedOff(registry, entries), kSuccess);
    FaultRule denied = Fault(RegistryOp::SetValue, kAccessDenied);
    denied.hive = Hive::LocalMachine;
    registry.AddFault(denied);
    std::vector<SwitchWrite> results = SwitchOnEverywhere(registry, entries[0]);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].change, SwitchChange::Written);
    EXPECT_EQ(results[1].status, kAccessDenied);
    registry.ClearFaults();
    registry.ClearLog();
    results = SwitchOnEverywhere(registry, entries[0]);
    EXPECT_EQ(results[0].change, SwitchChange::AlreadySo);
    EXPECT_EQ(results[1].change, SwitchChange::Written);
    EXPECT_EQ(Stored(registry, RunSwitchKey(RunPlace::Machine32), L"Both").data, SwitchOnData());
    for (const RegistryCall& call : registry.Log()) {
        if (call.op == RegistryOp::SetValue || call.op == RegistryOp::Delete || call.op == RegistryOp::DeleteKey) {
            EXPECT_EQ(call.path, RunSwitchKey(RunPlace::Machine32).path) << "only the switch changes";
        }
    }
    ASSERT_EQ(ListSwitchedOff(registry, entries), kSuccess);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, L"Mixed");
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

} // namespace
} // namespace runsweep
