// Disable and remove in every place an entry lives, under injected failures: whatever call fails,
// no command that was in a Run key or a record may be lost, an earlier record stays as it was
// when the Disable fails, and the result must say what happened in each place.
#include "disable_scenario.h"
#include "registry_contract.h"
#include "registry_log.h"

#include "app/action_reason.h"
#include "registry/entry_actions.h"
#include "registry/memory_registry.h"

#include "registry/reenable.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>

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
            // kSuccess: the k-th call claims success but its change never reaches the storage.
            for (const long status : {kAccessDenied, kInvalidParameter, kSuccess}) {
                if (status == kSuccess && !IsWrite(clean_run[k - 1].op)) {
                    continue;
                }
                SCOPED_TRACE(::testing::Message() << "fault at call " << k << " with status " << status);
                MemoryRegistry registry;
                ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
                const auto before = RecordDump(registry);
                registry.ClearLog();
                registry.AddFault(FaultRule{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, k,
                                            status, std::nullopt});
                MessageLog messages;
                const ActionResult result = DisableStartup(registry, kName, messages, kWhen);
                ++injected;

                const auto calls = CallsWithoutClose(registry);
                ASSERT_GE(calls.size(), k);
                ASSERT_EQ(calls[k - 1].op, clean_run[k - 1].op) << "the fault hit another call";
                ASSERT_EQ(calls[k - 1].status, status);
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
    EXPECT_EQ(DecodeRegString(dump.at(L"RunsweepCommandHKLM32")), L"%ProgramFiles%\\lm32.exe");
    EXPECT_EQ(dump.at(L"RunsweepTypeHKLM32").data, (std::vector<unsigned char>{2, 0, 0, 0}));
    EXPECT_EQ(dump.at(L"RunsweepType").data, (std::vector<unsigned char>{1, 0, 0, 0})) << "a type with every command";
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

TEST(DisableRecord, AnEarlierRecordKeepsOneCommandPerPlaceTheNewest) {
    MemoryRegistry registry;
    ASSERT_NO_FATAL_FAILURE(Seed(registry, DisableScenarios()[6])); // all three and a stale HKLM record
    MessageLog messages;
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
    // The standard values keep naming HKLM, now with its newest command.
    const std::vector<RecordedPlace> expected = {
        {RunPlace::Machine64, L"C:\\lm.exe", kRegSz},
        {RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz},
        {RunPlace::Machine32, L"C:\\lm32.exe", kRegSz},
    };
    EXPECT_EQ(record.places, expected);
    EXPECT_EQ(DecodeRegString(RecordDump(registry).at(L"command")), L"C:\\lm.exe");

    // The program put itself back with the same command: a second Disable changes no place.
    const Scenario again_seed{"again", L"C:\\cu.exe", std::nullopt, std::nullopt, std::nullopt};
    ASSERT_NO_FATAL_FAILURE(SeedScenario(registry, again_seed));
    ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
    StartupRecord again;
    ASSERT_EQ(ReadStartupRecord(registry, kName, again), kSuccess);
    EXPECT_EQ(again.places, expected);
}

// A program that writes itself back after every Disable: each Disable replaces that place's command
// with the newest, the record never grows, and what Re-enable puts back is what the record shows.
TEST(DisableRecord, RepeatedDisablesOfAProgramThatWritesItselfBackKeepOnlyItsNewestCommand) {
    struct Repeated {
        const char* label;
        RunPlace place;
        std::vector<std::pair<std::wstring, unsigned long>> commands; // written back before each Disable
    };
    std::vector<std::pair<std::wstring, unsigned long>> discord;
    for (int n = 1; n <= 64; ++n) {
        discord.emplace_back(
            L"C:\\Users\\me\\AppData\\Local\\Discord\\app-1.0." + std::to_wstring(9000 + n) + L"\\Discord.exe", kRegSz);
    }
    const std::vector<Repeated> cases = {
        {"arguments that come and go",
         RunPlace::CurrentUser,
         {{L"C:\\Spotify\\Spotify.exe", kRegSz},
          {L"C:\\Spotify\\Spotify.exe --minimized", kRegSz},
          {L"C:\\Spotify\\Spotify.exe", kRegSz}}},
        {"a versioned path over sixty-four Disables", RunPlace::CurrentUser, discord},
        {"a type that changes between runs",
         RunPlace::Machine32,
         {{L"%ProgramFiles%\\Vendor\\agent.exe", kRegExpandSz},
          {L"C:\\Vendor\\agent.exe", kRegSz},
          {L"%ProgramFiles%\\Vendor\\agent.exe /quiet", kRegExpandSz}}},
    };
    for (const Repeated& repeated : cases) {
        SCOPED_TRACE(repeated.label);
        MemoryRegistry registry;
        // HKLM's own command stays in the record throughout: another place's is never dropped.
        ASSERT_NO_FATAL_FAILURE(SeedScenario(registry, {"", std::nullopt, L"C:\\lm.exe", std::nullopt, std::nullopt}));
        std::size_t values = 0;
        for (const auto& [command, type] : repeated.commands) {
            RegKey key;
            ASSERT_EQ(registry.CreateKey(PlaceHive(repeated.place), kRunKeyPath, key, PlaceView(repeated.place)),
                      kSuccess);
            ASSERT_EQ(registry.SetValue(key, kName, type, Utf16Bytes(command, true)), kSuccess);
            key.reset();
            MessageLog messages;
            ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
            StartupRecord record;
            ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
            ASSERT_TRUE(record.Understood()) << ::testing::PrintToString(record.problem);
            ASSERT_EQ(record.places.size(), 2u);
            EXPECT_EQ(*record.Find(repeated.place), (RecordedPlace{repeated.place, command, type}));
            EXPECT_EQ(*record.Find(RunPlace::Machine64), (RecordedPlace{RunPlace::Machine64, L"C:\\lm.exe", kRegSz}));
            values = values == 0 ? RecordDump(registry).size() : values;
            EXPECT_EQ(RecordDump(registry).size(), values) << "the record grew";
        }
        ASSERT_EQ(EnableStartup(registry, kName).outcome, EnableOutcome::Done);
        const RunValue back = ReadRunValue(registry, repeated.place, kName);
        EXPECT_EQ(back.command, repeated.commands.back().first);
        EXPECT_EQ(back.type, repeated.commands.back().second);
    }
}

// Records older versions wrote kept further places by number, sometimes several for one place (the
// newest last), and past the 64 places those versions could read back.
TEST(DisableRecord, AnOlderVersionsNumberedRecordIsReadWithTheNewestOfEachPlaceAndCollapsedWhenNextWritten) {
    for (const unsigned long count : {4ul, 66ul}) {
        SCOPED_TRACE(count);
        MemoryRegistry registry;
        ASSERT_NO_FATAL_FAILURE(SeedRecord(registry, kName, {RunPlace::Machine64, L"C:\\first.exe", kRegSz}));
        {
            RegKey record;
            ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(kName), record), kSuccess);
            for (unsigned long i = 2; i <= count; ++i) {
                const std::wstring n = std::to_wstring(i);
                // Places 2, 3, ... alternate between HKCU and HKLM's 32-bit view; the last has the
                // type of an expandable value.
                const RunPlace place = i % 2 == 0 ? RunPlace::CurrentUser : RunPlace::Machine32;
                ASSERT_EQ(registry.SetStringValue(record, L"RunsweepCommand" + n, L"C:\\v" + n + L".exe"), kSuccess);
                ASSERT_EQ(registry.SetStringValue(record, L"RunsweepHkey" + n, RecordHkey(place)), kSuccess);
                ASSERT_EQ(registry.SetStringValue(record, L"RunsweepKey" + n, RecordKey(place)), kSuccess);
                if (i == count) {
                    ASSERT_EQ(registry.SetValue(record, L"RunsweepType" + n, kRegDword, {2, 0, 0, 0}), kSuccess);
                }
            }
            ASSERT_EQ(
                registry.SetValue(record, L"RunsweepPlaces", kRegDword, {static_cast<unsigned char>(count), 0, 0, 0}),
                kSuccess);
        }
        const std::wstring last = L"C:\\v" + std::to_wstring(count) + L".exe";
        const std::wstring before_last = L"C:\\v" + std::to_wstring(count - 1) + L".exe";
        const RunPlace last_place = count % 2 == 0 ? RunPlace::CurrentUser : RunPlace::Machine32;
        const RunPlace other_place = count % 2 == 0 ? RunPlace::Machine32 : RunPlace::CurrentUser;
        StartupRecord record;
        ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
        ASSERT_TRUE(record.Understood()) << ::testing::PrintToString(record.problem);
        const std::vector<RecordedPlace> read = {
            {RunPlace::Machine64, L"C:\\first.exe", kRegSz},
            {RunPlace::CurrentUser, last_place == RunPlace::CurrentUser ? last : before_last,
             last_place == RunPlace::CurrentUser ? kRegExpandSz : kRegSz},
            {RunPlace::Machine32, last_place == RunPlace::Machine32 ? last : before_last,
             last_place == RunPlace::Machine32 ? kRegExpandSz : kRegSz}};
        EXPECT_EQ(record.places, read);

        // The next Disable (HKLM written back) writes it in today's form: one command per place.
        ASSERT_NO_FATAL_FAILURE(SeedScenario(registry, {"", std::nullopt, L"C:\\new.exe", std::nullopt, std::nullopt}));
        MessageLog messages;
        ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
        ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
        std::vector<RecordedPlace> written = read;
        written[0].command = L"C:\\new.exe";
        EXPECT_EQ(record.places, written);
        const auto dump = RecordDump(registry);
        EXPECT_EQ(dump.count(L"RunsweepPlaces"), 0u);
        EXPECT_EQ(dump.count(L"RunsweepCommand2"), 0u);
        EXPECT_EQ(dump.count(L"RunsweepType" + std::to_wstring(count)), 0u);
        EXPECT_LE(dump.size(), 16u);
        (void)other_place;
    }
}

// Every change a record goes through, from any record the program reads to any it may write: each
// record between two changes reads whole, keeps every place whose command stays, shows each other
// place with its command before or after (or not at all), never a place of neither; and undoing the
// changes in reverse gives back the values it started from.
TEST(DisableRecord, EveryRecordBetweenTwoChangesReadsWholeAndKeepsWhatBothEndsKeep) {
    std::mt19937 random(7);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::array<RunPlace, 3> all = {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32};
    const auto random_places = [&](bool may_be_empty) {
        std::vector<RecordedPlace> places;
        for (const RunPlace place : all) {
            if (below(2) == 0) {
                places.push_back({place, below(4) == 0 ? L"" : L"C:\\p" + std::to_wstring(below(3)) + L".exe",
                                  below(3) == 0 ? kRegExpandSz : kRegSz});
            }
        }
        if (places.empty() && !may_be_empty) {
            places.push_back({all[below(3)], L"C:\\only.exe", kRegSz});
        }
        std::rotate(places.begin(),
                    places.begin() + static_cast<std::ptrdiff_t>(places.empty() ? 0 : below(places.size())),
                    places.end());
        std::sort(places.begin() + (places.empty() ? 0 : 1), places.end(),
                  [](const RecordedPlace& a, const RecordedPlace& b) { return a.place < b.place; });
        return places;
    };
    const auto command_of = [](const StartupRecord& record, RunPlace place) {
        const RecordedPlace* kept = record.Find(place);
        return kept ? std::optional<std::wstring>(kept->command) : std::nullopt;
    };
    std::size_t checked = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        RecordImage start;
        start.Set(L"extra", RecordText(L"somebody else's"));
        const std::size_t kind = below(4);
        if (kind == 1) {
            start = AppliedChanges(start, PlanRecordChanges(start, kName, random_places(false), kWhen), 1000);
        } else if (kind == 2) {
            // An older version's record: numbered places, several for one place.
            const std::vector<RecordedPlace> first = random_places(false);
            start.Set(L"command", RecordText(first[0].command));
            start.Set(L"hkey", RecordText(RecordHkey(first[0].place)));
            start.Set(L"key", RecordText(RecordKey(first[0].place)));
            const std::size_t more = below(5);
            for (std::size_t i = 2; i < 2 + more; ++i) {
                const std::wstring n = std::to_wstring(i);
                const RunPlace place = all[below(3)];
                start.Set(L"RunsweepCommand" + n, RecordText(L"C:\\n" + n + L".exe"));
                start.Set(L"RunsweepHkey" + n, RecordText(RecordHkey(place)));
                start.Set(L"RunsweepKey" + n, RecordText(RecordKey(place)));
            }
            if (more > 0) {
                start.Set(L"RunsweepPlaces", RecordNumber(static_cast<unsigned long>(1 + more)));
            }
        } else if (kind == 3) {
            start.Set(L"hkey", RecordText(L"HKCU")); // a first Disable cut short before its command
        }
        const StartupRecord from = ParseStartupRecord(kName, start);
        ASSERT_TRUE(from.Understood() || !from.keeps_commands);
        const std::vector<RecordedPlace> target = random_places(false);
        const std::vector<RecordChange> changes = PlanRecordChanges(start, kName, target, kWhen);
        for (std::size_t made = 0; made <= changes.size(); ++made) {
            const StartupRecord between = ParseStartupRecord(kName, AppliedChanges(start, changes, made));
            ++checked;
            ASSERT_TRUE(between.Understood() || !between.keeps_commands)
                << "after change " << made << ": " << ::testing::PrintToString(between.problem);
            for (const RunPlace place : all) {
                const auto before = command_of(from, place);
                const RecordedPlace* after = nullptr;
                for (const RecordedPlace& wanted : target) {
                    after = wanted.place == place ? &wanted : after;
                }
                const auto now = command_of(between, place);
                const RecordedPlace* held = from.Find(place);
                if (held && after && *held == *after) {
                    EXPECT_TRUE(between.Find(place) && *between.Find(place) == *after)
                        << "a place that stays left the record after change " << made;
                } else if (held && after) {
                    EXPECT_TRUE(now == before || now == after->command) << "after change " << made;
                } else {
                    EXPECT_TRUE(!now || now == before || (after && now == after->command))
                        << "a place of neither end after change " << made;
                }
            }
        }
        const RecordImage end = AppliedChanges(start, changes, changes.size());
        EXPECT_EQ(ParseStartupRecord(kName, end).places, target);
        EXPECT_NE(end.Find(L"extra"), nullptr) << "somebody else's value";
        RecordImage undone = end;
        for (std::size_t i = changes.size(); i > 0; --i) {
            if (changes[i - 1].before) {
                undone.Set(changes[i - 1].name, *changes[i - 1].before);
            } else {
                undone.Erase(changes[i - 1].name);
            }
        }
        std::map<std::wstring, std::vector<unsigned char>> a, b;
        for (const auto& [name, value] : undone.values) {
            a[name] = value.data;
        }
        for (const auto& [name, value] : start.values) {
            b[name] = value.data;
        }
        EXPECT_EQ(a, b);
    }
    EXPECT_GT(checked, 4000u);
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

// One plan serves runsweepc's dry run and the real run: for every scenario of the action table
// under every condition a user meets, what the dry run foretells is what the real run reports.
TEST(ForetoldAndDone, ForEveryScenarioAndConditionTheDryRunForetellsTheOutcome) {
    struct Condition {
        const char* label;
        std::function<void(MemoryRegistry&)> apply;
    };
    const auto deny = [](std::optional<RegistryOp> op, std::optional<std::wstring> path, std::optional<RegView> view,
                         std::optional<KeyAccess> access) {
        return [=](MemoryRegistry& registry) {
            registry.AddFault(FaultRule{op, Hive::LocalMachine, path, std::nullopt, access, 0, kAccessDenied, view});
        };
    };
    const std::vector<Condition> conditions = {
        {"as it is", [](MemoryRegistry&) {}},
        {"HKLM's Run keys read-only", deny(RegistryOp::Open, kRunKeyPath, std::nullopt, KeyAccess::Write)},
        {"HKLM's 32-bit Run key read-only", deny(RegistryOp::Open, kRunKeyPath, RegView::k32, KeyAccess::Write)},
        {"all of HKLM read-only",
         [&](MemoryRegistry& registry) {
             deny(RegistryOp::Open, std::nullopt, std::nullopt, KeyAccess::Write)(registry);
             deny(RegistryOp::Create, std::nullopt, std::nullopt, std::nullopt)(registry);
         }},
        {"a record it cannot read",
         [](MemoryRegistry& registry) {
             RegKey record;
             ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(kName), record), kSuccess);
             ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\x.exe"), kSuccess);
             ASSERT_EQ(registry.SetStringValue(record, L"hkey", L"HKU"), kSuccess);
         }},
        {"HKLM holds it as binary data",
         [](MemoryRegistry& registry) {
             RegKey key;
             ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRunKeyPath, key), kSuccess);
             ASSERT_EQ(registry.SetValue(key, kName, kRegBinary, {1, 2}), kSuccess);
         }},
        {"HKLM written back with another command",
         [](MemoryRegistry& registry) {
             RegKey key;
             ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRunKeyPath, key), kSuccess);
             ASSERT_EQ(registry.SetStringValue(key, kName, L"C:\\newer.exe"), kSuccess);
         }},
    };
    const auto places = [](std::vector<PlaceResult> list) {
        std::vector<std::pair<RunPlace, PlaceOutcome>> out;
        for (const PlaceResult& place : list) {
            out.emplace_back(place.place, place.outcome);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto same = [&](const ActionResult& foretold, const ActionResult& done) {
        EXPECT_EQ(foretold.outcome, done.outcome);
        EXPECT_EQ(foretold.status, done.status);
        EXPECT_EQ(foretold.recorded, done.recorded);
        EXPECT_EQ(foretold.place, done.place);
        EXPECT_EQ(places(foretold.places), places(done.places));
    };
    std::size_t compared = 0;
    for (const Scenario& scenario : DisableScenarios()) {
        for (const Condition& condition : conditions) {
            SCOPED_TRACE(::testing::Message() << scenario.label << ", " << condition.label);
            for (const bool disable : {true, false}) {
                MemoryRegistry registry;
                ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
                ASSERT_NO_FATAL_FAILURE(condition.apply(registry));
                registry.ClearLog();
                const ActionResult foretold =
                    disable ? PlanDisable(registry, kName).Foreseen() : PlanRemove(registry, kName).Foreseen();
                for (const RegistryCall& call : registry.Log()) {
                    EXPECT_TRUE(call.op == RegistryOp::Open || call.op == RegistryOp::Query ||
                                call.op == RegistryOp::Enumerate || call.op == RegistryOp::Close)
                        << "a plan only reads";
                }
                MessageLog messages;
                same(foretold,
                     disable ? DisableStartup(registry, kName, messages, kWhen) : RemoveStartup(registry, kName));
                ++compared;
            }
            // Re-enabling what an undisturbed Disable recorded, under the same condition.
            MemoryRegistry registry;
            ASSERT_NO_FATAL_FAILURE(Seed(registry, scenario));
            MessageLog messages;
            ASSERT_EQ(DisableStartup(registry, kName, messages, kWhen).outcome, ActionOutcome::Done);
            if (std::string(condition.label) == "a record it cannot read") {
                continue; // its record is the one Disable wrote
            }
            ASSERT_NO_FATAL_FAILURE(condition.apply(registry));
            StartupRecord record;
            ASSERT_EQ(ReadStartupRecord(registry, kName, record), kSuccess);
            const EnableResult foretold = PlanEnable(registry, record).Foreseen();
            const EnableResult done = EnableStartup(registry, kName);
            EXPECT_EQ(foretold.outcome, done.outcome);
            EXPECT_EQ(foretold.status, done.status);
            EXPECT_EQ(foretold.record_denied, done.record_denied);
            ASSERT_EQ(foretold.places.size(), done.places.size());
            for (std::size_t i = 0; i < done.places.size(); ++i) {
                EXPECT_EQ(foretold.places[i].place, done.places[i].place);
                EXPECT_EQ(foretold.places[i].outcome, done.places[i].outcome);
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, DisableScenarios().size() * conditions.size() * 3 - DisableScenarios().size());
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

// ---------------------------------------------------------------------------------------------
// Startup-folder items.

// The record's values, written as the System Configuration utility writes them.
void ExpectFolderRecord(Registry& registry, const FolderItem& item, const std::wstring& backup,
                        const std::wstring& command) {
    FolderRecord record;
    ASSERT_EQ(ReadFolderRecord(registry, FolderRecordKeyName(item.path), record), kSuccess);
    EXPECT_TRUE(record.Understood()) << ::testing::PrintToString(record.problem);
    EXPECT_EQ(record.path, item.path);
    EXPECT_EQ(record.location, ParentFolder(item.path));
    EXPECT_EQ(record.item, FileStem(item.name));
    EXPECT_EQ(record.command, command);
    EXPECT_EQ(record.backup, backup);
    EXPECT_EQ(record.backup_extension, BackupExtension(item.folder));
    EXPECT_EQ(record.folder, item.folder);
    ASSERT_TRUE(record.disabled_at.has_value());
    EXPECT_EQ(record.disabled_at->year, kWhen.year);
    EXPECT_EQ(record.disabled_at->second, kWhen.second);
}

TEST(FolderDisable, EachItemIsRecordedAsTheUtilityRecordsItThenMovedOnceByteForByte) {
    for (const FolderScenario& scenario : FolderScenarios()) {
        SCOPED_TRACE(scenario.label);
        MemoryRegistry registry;
        MemoryFolderFiles files;
        ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
        const FolderItem item = ScenarioItem(files, scenario);
        const FolderResult result = DisableFolderItem(registry, files, item, kWhen);
        ASSERT_EQ(result.outcome, FolderOutcome::Done) << result.status;
        const std::wstring backup =
            L"C:\\Windows\\pss\\" + item.name + (scenario.backup_taken ? L" (2)" : L"") + BackupExtension(item.folder);
        EXPECT_EQ(result.backup, backup);
        ExpectFolderRecord(registry, item, backup,
                           scenario.link ? L"\"C:\\Program Files\\App\\app.exe\" /tray" : item.path);
        EXPECT_EQ(files.FileBytes(item.path), std::nullopt);
        EXPECT_EQ(files.FileBytes(backup), ScenarioBytes(scenario));
        EXPECT_EQ(LostFile(registry, files, scenario), "");
        EXPECT_EQ(files.CallCount(FileOp::Move), 1u) << "one rename, never a copy";
        for (const RegistryCall& call : registry.Log()) {
            EXPECT_EQ(call.view, RegView::k64) << "the record lives in the 64-bit view";
        }
        EXPECT_EQ(registry.OpenHandleCount(), 0u);
        EXPECT_EQ(DisableFolderItem(registry, files, item, kWhen).outcome, FolderOutcome::AlreadyGone);
    }
}

TEST(FolderDisable, AFileKeptByAnEarlierDisableOfThePathIsNeverWrittenOver) {
    MemoryRegistry registry;
    MemoryFolderFiles files;
    const FolderScenario scenario = FolderScenarios()[0];
    ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
    const FolderItem item = ScenarioItem(files, scenario);
    ASSERT_EQ(DisableFolderItem(registry, files, item, kWhen).outcome, FolderOutcome::Done);
    // The program puts its shortcut back; the first copy stays where the record says.
    files.PutFile(item.path, {'n', 'e', 'w'});
    const FolderResult again = DisableFolderItem(registry, files, item, kWhen);
    EXPECT_EQ(again.outcome, FolderOutcome::EarlierCopyKept);
    EXPECT_EQ(again.backup, L"C:\\Windows\\pss\\Adobe Gamma Loader.lnk.Startup");
    EXPECT_EQ(files.FileBytes(item.path), (std::vector<unsigned char>{'n', 'e', 'w'}));
    EXPECT_EQ(LostFile(registry, files, scenario), "") << "the first copy is still named by its record";
}

TEST(FolderDisableUnderFaults, WhateverCallFailsTheFileStaysOrIsRecordedAndNoRecordIsLeftWithoutIt) {
    std::size_t injected = 0;
    std::size_t lost = 0;
    for (const FolderScenario& scenario : FolderScenarios()) {
        SCOPED_TRACE(scenario.label);
        std::size_t registry_calls = 0;
        std::size_t file_calls = 0;
        {
            MemoryRegistry registry;
            MemoryFolderFiles files;
            ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
            registry.ClearLog();
            ASSERT_EQ(DisableFolderItem(registry, files, ScenarioItem(files, scenario), kWhen).outcome,
                      FolderOutcome::Done);
            registry_calls = CallsWithoutClose(registry).size();
            file_calls = files.Log().size();
        }
        struct Fault {
            bool in_registry;
            std::size_t k;
            long status;
        };
        std::vector<Fault> faults;
        for (std::size_t k = 1; k <= registry_calls; ++k) {
            for (const long status : {kAccessDenied, kSuccess}) {
                faults.push_back(Fault{true, k, status});
            }
        }
        for (std::size_t k = 1; k <= file_calls; ++k) {
            for (const long status : {kAccessDenied, kSharingViolation, kSuccess}) {
                faults.push_back(Fault{false, k, status});
            }
        }
        for (const Fault& fault : faults) {
            SCOPED_TRACE(::testing::Message() << (fault.in_registry ? "registry" : "file") << " call " << fault.k
                                              << " fails with " << fault.status);
            MemoryRegistry registry;
            MemoryFolderFiles files;
            ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
            const std::optional<FolderRecord> before = RecordOfItem(registry, files, scenario);
            registry.ClearLog();
            if (fault.in_registry) {
                registry.AddFault(FaultRule{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                            fault.k, fault.status, std::nullopt});
            } else {
                files.AddFault(FileFaultRule{std::nullopt, std::nullopt, fault.k, fault.status});
            }
            const FolderItem item = ScenarioItem(files, scenario);
            const FolderResult result = DisableFolderItem(registry, files, item, kWhen);
            ++injected;
            if (const std::string missing = LostFile(registry, files, scenario); !missing.empty()) {
                ++lost;
                ADD_FAILURE() << missing;
            }
            const bool moved = files.FileBytes(item.path) != ScenarioBytes(scenario);
            EXPECT_EQ(result.outcome == FolderOutcome::Done, moved) << "the outcome says where the file is";
            if (!moved && !result.record_left) {
                // Nothing half done: the record of the path is what it was before, or there is none.
                const std::optional<FolderRecord> after = RecordOfItem(registry, files, scenario);
                EXPECT_EQ(after.has_value(), before.has_value());
                if (after && before) {
                    EXPECT_EQ(after->backup, before->backup);
                }
            }
            if (result.outcome == FolderOutcome::NeedsAdministrator) {
                EXPECT_EQ(result.status, kAccessDenied);
            }
            EXPECT_EQ(registry.OpenHandleCount(), 0u);
        }
    }
    std::printf("FolderDisableUnderFaults: %zu faults injected, %zu files lost\n", injected, lost);
    EXPECT_EQ(lost, 0u);
}

TEST(FolderDisableWithoutRights, TheBackupFolderOrTheRecordRefusedLeavesTheFileAndNoRecord) {
    const FolderScenario scenario = FolderScenarios()[1];
    for (const bool folder_refused : {true, false}) {
        SCOPED_TRACE(folder_refused ? "%windir%\\pss cannot be made" : "HKLM refuses the record");
        MemoryRegistry registry;
        MemoryFolderFiles files;
        ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
        if (folder_refused) {
            files.AddFault(FileFaultRule{FileOp::MakeFolder, std::nullopt, 0, kAccessDenied});
        } else {
            registry.AddFault(FaultOn(RegistryOp::Create, Hive::LocalMachine));
        }
        const FolderItem item = ScenarioItem(files, scenario);
        const FolderResult result = DisableFolderItem(registry, files, item, kWhen);
        EXPECT_EQ(result.outcome, FolderOutcome::NeedsAdministrator);
        EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));
        EXPECT_EQ(RecordOfItem(registry, files, scenario), std::nullopt);
        EXPECT_EQ(files.CallCount(FileOp::Move), 0u);
    }
}

TEST(FolderDisable, AMoveThatIsRefusedTakesItsRecordBackAndARecordThatStaysSaysSo) {
    const FolderScenario scenario = FolderScenarios()[2];
    for (const bool delete_refused : {false, true}) {
        SCOPED_TRACE(delete_refused ? "and the record cannot be deleted" : "the record is taken back");
        MemoryRegistry registry;
        MemoryFolderFiles files;
        ASSERT_NO_FATAL_FAILURE(SeedFolderScenario(registry, files, scenario));
        files.AddFault(FileFaultRule{FileOp::Move, std::nullopt, 0, kSharingViolation}); // the program is running
        if (delete_refused) {
            registry.AddFault(FaultOn(RegistryOp::DeleteKey));
        }
        const FolderItem item = ScenarioItem(files, scenario);
        const FolderResult result = DisableFolderItem(registry, files, item, kWhen);
        EXPECT_EQ(result.outcome, FolderOutcome::MoveFailed);
        EXPECT_EQ(result.status, kSharingViolation);
        EXPECT_EQ(result.record_left, delete_refused);
        EXPECT_EQ(RecordOfItem(registry, files, scenario).has_value(), delete_refused);
        EXPECT_EQ(files.FileBytes(item.path), ScenarioBytes(scenario));

        // Once the program has ended, the same Disable goes through (a record left over is written anew).
        files.ClearFaults();
        registry.ClearFaults();
        EXPECT_EQ(DisableFolderItem(registry, files, item, kWhen).outcome, FolderOutcome::Done);
        EXPECT_EQ(LostFile(registry, files, scenario), "");
        EXPECT_EQ(files.FileBytes(item.path), std::nullopt);
    }
}

TEST(FolderRemove, ShortcutsAreDeletedAndAnyOtherFileGoesToTheRecycleBinOrStays) {
    struct Case {
        const wchar_t* file;
        std::optional<FileFaultRule> fault;
        FolderOutcome outcome;
        bool recycled;
    };
    const std::vector<Case> cases = {
        {L"Adobe Gamma Loader.lnk", std::nullopt, FolderOutcome::Done, false},
        {L"Snipaste.URL", std::nullopt, FolderOutcome::Done, false},
        {L"DOSPRG.pif", std::nullopt, FolderOutcome::Done, false},
        {L"Updater.exe", std::nullopt, FolderOutcome::Done, true},
        {L"start.cmd", std::nullopt, FolderOutcome::Done, true},
        {L"Updater.exe", FileFaultRule{FileOp::Recycle, std::nullopt, 0, kNotSupported}, FolderOutcome::NoRecycleBin,
         false},
        {L"Updater.exe", FileFaultRule{FileOp::Recycle, std::nullopt, 0, kSuccess}, FolderOutcome::Failed, false},
        {L"Microsoft Office.lnk", FileFaultRule{FileOp::Delete, std::nullopt, 0, kAccessDenied},
         FolderOutcome::NeedsAdministrator, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.file)));
        MemoryFolderFiles files;
        const FolderItem item{StartupFolder::Common,
                              JoinPath(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", c.file),
                              c.file};
        const std::vector<unsigned char> bytes = {'M', 'Z', 0, 0x90};
        files.PutFile(item.path, bytes);
        if (c.fault) {
            files.AddFault(*c.fault);
        }
        const FolderResult result = RemoveFolderItem(files, item);
        EXPECT_EQ(result.outcome, c.outcome) << result.status;
        EXPECT_EQ(files.FileBytes(item.path).has_value(), c.outcome != FolderOutcome::Done);
        EXPECT_EQ(files.CallCount(FileOp::Recycle), IsShortcut(KindOfItem(c.file)) ? 0u : 1u);
        ASSERT_EQ(files.RecycleBin().size(), c.recycled ? 1u : 0u);
        if (c.recycled) {
            EXPECT_EQ(files.RecycleBin()[0].second, bytes) << "the bin holds it whole";
        }
        files.ClearFaults();
        if (c.outcome == FolderOutcome::Done) {
            EXPECT_EQ(RemoveFolderItem(files, item).outcome, FolderOutcome::AlreadyGone);
        }
    }
}

// "Microsoft Office" in HKCU's Run key and in both folders (the all-users one twice), beside a file
// of another name.
void SeedOffice(MemoryRegistry& registry, MemoryFolderFiles& files) {
    const std::wstring user = files.KnownFolder(StartupFolder::User);
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    RegKey run;
    ASSERT_EQ(registry.CreateKey(Hive::CurrentUser, kRunKeyPath, run), kSuccess);
    ASSERT_EQ(registry.SetStringValue(run, L"Microsoft Office", L"C:\\osa.exe -b"), kSuccess);
    files.PutFile(JoinPath(user, L"Microsoft Office.lnk"), {'u'}, Shortcut{L"C:\\osa.exe", L"-b"});
    files.PutFile(JoinPath(common, L"Microsoft Office.lnk"), {'c'}, Shortcut{L"C:\\osa.exe", L""});
    files.PutFile(JoinPath(common, L"Microsoft Office.exe"), {'M', 'Z'});
    files.PutFile(JoinPath(common, L"Unrelated.lnk"), {'x'});
}

TEST(EntryActions, AnEntryInRunKeysAndFoldersIsTakenOutOfEachAndEveryPlaceIsToldApart) {
    MemoryRegistry registry;
    MemoryFolderFiles files;
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    ASSERT_NO_FATAL_FAILURE(SeedOffice(registry, files));
    // The all-users folder needs administrator rights.
    files.AddFault(FileFaultRule{FileOp::Move, JoinPath(common, L"Microsoft Office.lnk"), 0, kAccessDenied});
    files.AddFault(FileFaultRule{FileOp::Move, JoinPath(common, L"Microsoft Office.exe"), 0, kAccessDenied});
    MessageLog messages;
    const FileTime when = 133932528000000000ULL;
    EntryResult result = DisableEntry(registry, files, L"microsoft office", messages, kWhen, when);
    EXPECT_EQ(result.run.outcome, ActionOutcome::Done);
    ASSERT_EQ(result.files.size(), 3u);
    EXPECT_EQ(result.files[0].result.outcome, FolderOutcome::Done);
    EXPECT_EQ(result.files[1].result.outcome, FolderOutcome::NeedsAdministrator);
    EXPECT_FALSE(result.TookEffect());
    const std::wstring reason = EntryReason(result, true, WindowReasonWording());
    EXPECT_NE(reason.find(L"removed from HKCU"), std::wstring::npos) << ::testing::PrintToString(reason);
    EXPECT_NE(reason.find(L"Microsoft Office.lnk moved from Startup folder to C:\\Windows\\pss\\Microsoft "
                          L"Office.lnk.Startup and recorded for re-enabling."),
              std::wstring::npos);
    EXPECT_NE(reason.find(L"Microsoft Office.lnk was left in Startup folder (all users), which needs administrator"),
              std::wstring::npos);
    EXPECT_EQ(files.FileBytes(JoinPath(common, L"Unrelated.lnk")), (std::vector<unsigned char>{'x'}));
    // Windows' switch: the moved file's is off, the files left where they are keep theirs.
    StartupSwitch state;
    ASSERT_EQ(ReadStartupSwitch(registry, StartupFolderSwitchKey(Hive::CurrentUser), L"Microsoft Office.lnk", state),
              kSuccess);
    EXPECT_TRUE(state.Off());
    EXPECT_EQ(state.off_since, when);
    ASSERT_EQ(ReadStartupSwitch(registry, StartupFolderSwitchKey(Hive::LocalMachine), L"Microsoft Office.lnk", state),
              kSuccess);
    EXPECT_EQ(state.value, SwitchValue::Missing);

    // As administrator the rest goes: the same Disable again finds only what is left.
    files.ClearFaults();
    result = DisableEntry(registry, files, L"Microsoft Office", messages, kWhen, std::nullopt);
    EXPECT_TRUE(result.TookEffect());
    EXPECT_EQ(result.run.outcome, ActionOutcome::AlreadyGone);
    EXPECT_EQ(result.files.size(), 2u);
    EXPECT_FALSE(result.files[0].switched.has_value()) << "a Windows without the switch gets none";
    std::vector<FolderRecord> records;
    ASSERT_EQ(ListFolderRecords(registry, records), kSuccess);
    EXPECT_EQ(records.size(), 3u);
}

TEST(EntryActions, RemoveDeletesTheShortcutsAndRecyclesAProgramAndLeavesOtherFiles) {
    MemoryRegistry registry;
    MemoryFolderFiles files;
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    ASSERT_NO_FATAL_FAILURE(SeedOffice(registry, files));
    const EntryResult result = RemoveEntry(registry, files, L"Microsoft Office");
    EXPECT_TRUE(result.TookEffect()) << ::testing::PrintToString(EntryReason(result, false, WindowReasonWording()));
    EXPECT_EQ(result.run.outcome, ActionOutcome::Done);
    ASSERT_EQ(files.RecycleBin().size(), 1u);
    EXPECT_EQ(files.RecycleBin()[0].first, JoinPath(common, L"Microsoft Office.exe"));
    EXPECT_EQ(files.AllFiles(), (std::vector<std::wstring>{JoinPath(common, L"Unrelated.lnk")}));
    std::vector<FolderRecord> records;
    ASSERT_EQ(ListFolderRecords(registry, records), kSuccess);
    EXPECT_TRUE(records.empty()) << "Remove keeps no record";
    EXPECT_EQ(EntryReason(result, false, WindowReasonWording()),
              L"removed from HKCU. Microsoft Office.lnk deleted from Startup folder. Microsoft Office.exe moved from "
              L"Startup folder (all users) to the Recycle Bin. Microsoft Office.lnk deleted from Startup folder (all "
              L"users).");
}

} // namespace
} // namespace runsweep::contract
