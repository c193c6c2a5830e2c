#pragma once
// One Run value, "qttask", seeded in any of HKCU, HKLM's 64-bit and HKLM's 32-bit Run key, with or
// without an earlier record of the same name; and the check every disable test makes of what is
// left: every place's newest command (its Run value, else the record's) is still in its Run key or
// in the record.
#include "registry_contract.h"

#include "registry/startup_record.h"

#include <optional>
#include <set>
#include <string>
#include <utility>

namespace runsweep::contract {

struct Scenario {
    const char* label;
    std::optional<std::wstring> user;      // HKCU's Run value, if any
    std::optional<std::wstring> machine;   // HKLM's, 64-bit view
    std::optional<std::wstring> machine32; // HKLM's, 32-bit view
    std::optional<RecordedPlace> earlier;  // a complete record left by an earlier disable
};

inline const std::wstring kScenarioName = L"qttask";

inline std::vector<std::pair<RunPlace, std::optional<std::wstring>>> ScenarioValues(const Scenario& scenario) {
    return {{RunPlace::CurrentUser, scenario.user},
            {RunPlace::Machine64, scenario.machine},
            {RunPlace::Machine32, scenario.machine32}};
}

inline void SeedRecord(Registry& registry, const std::wstring& name, const RecordedPlace& place) {
    RegKey record;
    ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(name), record), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"command", place.command), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"hkey", RecordHkey(place.place)), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"inimapping", L"0"), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"item", name), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"key", RecordKey(place.place)), kSuccess);
    if (place.type != kRegSz) {
        ASSERT_EQ(
            registry.SetValue(record, L"RunsweepType", kRegDword, {static_cast<unsigned char>(place.type), 0, 0, 0}),
            kSuccess);
    }
}

inline void SeedScenario(Registry& registry, const Scenario& scenario) {
    for (const auto& [place, command] : ScenarioValues(scenario)) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
        if (command) {
            ASSERT_EQ(registry.SetStringValue(key, kScenarioName, *command), kSuccess);
        }
    }
    if (scenario.earlier) {
        ASSERT_NO_FATAL_FAILURE(SeedRecord(registry, kScenarioName, *scenario.earlier));
    }
}

// The command the place's Run key holds for the scenario's name, or nothing when it holds none.
inline std::optional<std::wstring> RunCommand(Registry& registry, RunPlace place) {
    std::wstring text;
    RegKey key;
    if (registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place)) != kSuccess) {
        return std::nullopt;
    }
    RegValue value;
    if (registry.ReadValue(key, kScenarioName, value) != kSuccess) {
        return std::nullopt;
    }
    return DecodeRegString(value);
}

using PlacedCommands = std::set<std::pair<RunPlace, std::wstring>>;

// Every command of the name that a Run key or the record (when it can be understood) keeps.
inline PlacedCommands KeptCommands(Registry& registry) {
    PlacedCommands kept;
    for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        if (const auto command = RunCommand(registry, place)) {
            kept.emplace(place, *command);
        }
    }
    StartupRecord record;
    if (ReadStartupRecord(registry, kScenarioName, record) == kSuccess && record.Understood()) {
        for (const RecordedPlace& place : record.places) {
            kept.emplace(place.place, place.command);
        }
    }
    return kept;
}

inline PlacedCommands ScenarioCommands(const Scenario& scenario) {
    PlacedCommands commands;
    for (const auto& [place, command] : ScenarioValues(scenario)) {
        if (command) {
            commands.emplace(place, *command);
        }
    }
    // An earlier record's command counts while it is its place's newest: a Run value of the same
    // place is newer.
    if (scenario.earlier && !ScenarioValues(scenario)[static_cast<std::size_t>(scenario.earlier->place)].second) {
        commands.emplace(scenario.earlier->place, scenario.earlier->command);
    }
    return commands;
}

// Empty when every command of the scenario is still kept; otherwise the ones that are not.
inline std::string LostCommands(Registry& registry, const Scenario& scenario) {
    const PlacedCommands kept = KeptCommands(registry);
    std::string lost;
    for (const auto& entry : ScenarioCommands(scenario)) {
        if (kept.count(entry) == 0) {
            lost.append(" ");
            lost.append(::testing::PrintToString(std::wstring(PlaceLabel(entry.first))));
            lost.append("=");
            lost.append(::testing::PrintToString(entry.second));
        }
    }
    return lost;
}

inline bool AnyRunValueLeft(Registry& registry) {
    for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        if (RunCommand(registry, place)) {
            return true;
        }
    }
    return false;
}

inline std::vector<Scenario> DisableScenarios() {
    const RecordedPlace stale{RunPlace::Machine64, L"C:\\stale.exe", kRegSz};
    return {
        {"only HKCU", L"C:\\cu.exe", std::nullopt, std::nullopt, std::nullopt},
        {"only HKLM", std::nullopt, L"C:\\lm.exe", std::nullopt, std::nullopt},
        {"only HKLM (32-bit)", std::nullopt, std::nullopt, L"C:\\lm32.exe", std::nullopt},
        {"all three", L"C:\\cu.exe", L"C:\\lm.exe", L"C:\\lm32.exe", std::nullopt},
        {"HKCU empty, HKLM (32-bit) with data", L"", std::nullopt, L"C:\\lm32.exe", std::nullopt},
        {"long command in the 32-bit view", std::nullopt, std::nullopt, L"C:\\" + std::wstring(900, L'c'),
         std::nullopt},
        {"all three and an earlier record", L"C:\\cu.exe", L"C:\\lm.exe", L"C:\\lm32.exe", stale},
        {"an earlier record of the same command", L"C:\\cu.exe", std::nullopt, std::nullopt,
         RecordedPlace{RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz}},
        // The record alone keeps HKLM's 32-bit command: it must outlive every later Disable.
        {"an earlier record of another place", L"C:\\cu.exe", L"C:\\lm.exe", std::nullopt,
         RecordedPlace{RunPlace::Machine32, L"C:\\old32.exe", kRegSz}},
        {"an expandable earlier record, a plain value now", L"C:\\cu.exe", std::nullopt, std::nullopt,
         RecordedPlace{RunPlace::CurrentUser, L"%ProgramFiles%\\cu.exe", kRegExpandSz}},
    };
}

} // namespace runsweep::contract
