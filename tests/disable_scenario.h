#pragma once
// One Run value, "qttask", seeded in HKCU, HKLM or both, with a stale record of the same name
// beside it; and the checks every disable test makes of what is left: is the value still in a Run
// key, and does the record hold exactly what it must.
#include "registry_contract.h"

#include <optional>
#include <string>

namespace runsweep::contract {

struct Scenario {
    const char* label;
    std::optional<std::wstring> user;    // HKCU's Run value, if any
    std::optional<std::wstring> machine; // HKLM's
    std::wstring command;                // what the record must hold
    std::wstring hive;
};

inline const std::wstring kScenarioName = L"qttask";

// Seeds the scenario's Run values and a record left by an earlier disable of the same name, which
// a failed disable must not pass off as the new one.
inline void SeedScenario(Registry& registry, const Scenario& scenario) {
    for (const auto& [hive, command] :
         {std::pair{Hive::CurrentUser, scenario.user}, std::pair{Hive::LocalMachine, scenario.machine}}) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(hive, kRunKeyPath, key), kSuccess);
        if (command) {
            ASSERT_EQ(registry.SetStringValue(key, kScenarioName, *command), kSuccess);
        }
    }
    RegKey record;
    ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRecordRoot + L"\\" + kScenarioName, record), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\stale.exe"), kSuccess);
    ASSERT_EQ(registry.SetStringValue(record, L"hkey", L"HKLM"), kSuccess);
}

// The command the hive's Run key holds for the scenario's name, or nothing when it holds none.
inline std::optional<std::wstring> RunCommand(Registry& registry, Hive hive) {
    std::wstring text;
    if (ReadRegString(registry, hive, kRunKeyPath, kScenarioName, text) != kSuccess) {
        return std::nullopt;
    }
    return text;
}

// Empty when the record holds exactly the scenario's five values; otherwise what is wrong.
inline std::string RecordProblem(Registry& registry, const Scenario& scenario) {
    RegKey key;
    if (registry.OpenKey(Hive::LocalMachine, kRecordRoot + L"\\" + kScenarioName, KeyAccess::Query, key) != kSuccess) {
        return "no record";
    }
    const std::pair<const wchar_t*, std::wstring> expected[] = {
        {L"command", scenario.command},
        {L"hkey", scenario.hive},
        {L"inimapping", L"0"},
        {L"item", kScenarioName},
        {L"key", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"}};
    for (const auto& [name, text] : expected) {
        RegValue value;
        if (registry.ReadValue(key, name, value) != kSuccess || value.type != kRegSz ||
            DecodeRegString(value) != text) {
            return "record value " + ::testing::PrintToString(std::wstring(name)) + " is not " +
                   ::testing::PrintToString(text);
        }
    }
    return std::string();
}

} // namespace runsweep::contract
