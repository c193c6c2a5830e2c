#pragma once
// One Run value, "qttask", seeded in any of HKCU, HKLM's 64-bit and HKLM's 32-bit Run key, with or
// without an earlier record of the same name; and the check every disable test makes of what is
// left: every place's newest command (its Run value, else the record's) is still in its Run key or
// in the record. Likewise one Startup-folder file, and the check that it is in its folder or where
// its record says it is kept, byte for byte.
#include "registry_contract.h"

#include "registry/folder_actions.h"
#include "registry/folder_record.h"
#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"
#include "registry/startup_record.h"

#include <optional>
#include <set>
#include <string>
#include <utility>

namespace runsweep {

inline void PrintTo(FolderOutcome outcome, std::ostream* os) {
    static const char* const kNames[] = {
        "Done",         "AlreadyGone",   "NeedsAdministrator", "NotRecordable",   "EarlierCopyKept",
        "RecordFailed", "MoveFailed",    "NoRecycleBin",       "Failed",          "NotUnderstood",
        "Conflict",     "FolderMissing", "BackupMissing",      "RecordNotDeleted"};
    *os << kNames[static_cast<int>(outcome)];
}

} // namespace runsweep

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

// ---------------------------------------------------------------------------------------------
// One file of a Startup folder.

struct FolderScenario {
    const char* label;
    StartupFolder folder;
    const wchar_t* file; // the item's name in the folder
    bool link;           // a shortcut the link object reads
    bool backup_taken;   // somebody's file already has the first backup name
    bool stale_record;   // a record of the same path from an earlier Disable whose file came back
};

// Every call of that kind (in that hive) fails with the status.
inline FaultRule FaultOn(RegistryOp op, std::optional<Hive> hive = std::nullopt, long status = kAccessDenied) {
    FaultRule rule;
    rule.op = op;
    rule.hive = hive;
    rule.status = status;
    return rule;
}

inline std::vector<FolderScenario> FolderScenarios() {
    return {
        {"a shortcut in the user's folder", StartupFolder::User, L"Adobe Gamma Loader.lnk", true, false, false},
        {"a shortcut for all users", StartupFolder::Common, L"Microsoft Office.lnk", true, false, false},
        {"a program in the folder itself", StartupFolder::User, L"Updater.exe", false, false, false},
        {"its backup name taken", StartupFolder::Common, L"Telegram.lnk", true, true, false},
        {"a stale record of its path", StartupFolder::User, L"Snipaste.url", false, false, true},
    };
}

inline FolderItem ScenarioItem(const MemoryFolderFiles& files, const FolderScenario& scenario) {
    return FolderItem{scenario.folder, JoinPath(files.KnownFolder(scenario.folder), scenario.file), scenario.file};
}

// Bytes no other scenario's file has, NULs and high bytes among them.
inline std::vector<unsigned char> ScenarioBytes(const FolderScenario& scenario) {
    std::vector<unsigned char> bytes = {'L', 0, 0, 0, 0x01, 0x14, 0x02, 0, 0xFF};
    for (const char* c = scenario.label; *c != 0; ++c) {
        bytes.push_back(static_cast<unsigned char>(*c));
    }
    return bytes;
}

inline const std::wstring kTakenBackupBytes = L"somebody's own file";

inline void SeedFolderScenario(Registry& registry, MemoryFolderFiles& files, const FolderScenario& scenario) {
    const FolderItem item = ScenarioItem(files, scenario);
    files.PutFile(item.path, ScenarioBytes(scenario),
                  scenario.link ? std::optional<Shortcut>(Shortcut{L"C:\\Program Files\\App\\app.exe", L"/tray"})
                                : std::nullopt);
    if (scenario.backup_taken) {
        files.PutFile(JoinPath(L"C:\\Windows\\pss", item.name + BackupExtension(item.folder)),
                      std::vector<unsigned char>(kTakenBackupBytes.begin(), kTakenBackupBytes.end()));
    }
    if (scenario.stale_record) {
        FolderRecord stale;
        stale.key_name = FolderRecordKeyName(item.path);
        stale.path = item.path;
        stale.location = ParentFolder(item.path);
        stale.item = FileStem(item.name);
        stale.command = L"https://old.example/";
        stale.backup = L"C:\\Windows\\pss\\gone long ago.Startup";
        stale.backup_extension = BackupExtension(item.folder);
        ASSERT_EQ(WriteFolderRecord(registry, stale, RecordTime{2009, 1, 2, 3, 4, 5}), kSuccess);
    }
    files.ClearLog();
}

// Empty when the scenario's file is in its folder, or kept where the record of its path says, byte
// for byte, and somebody's file at the first backup name is untouched; otherwise what is wrong.
inline std::string LostFile(Registry& registry, MemoryFolderFiles& files, const FolderScenario& scenario) {
    const FolderItem item = ScenarioItem(files, scenario);
    const std::vector<unsigned char> bytes = ScenarioBytes(scenario);
    std::string lost;
    if (scenario.backup_taken &&
        files.FileBytes(JoinPath(L"C:\\Windows\\pss", item.name + BackupExtension(item.folder))) !=
            std::vector<unsigned char>(kTakenBackupBytes.begin(), kTakenBackupBytes.end())) {
        lost += " somebody's file at the backup name changed;";
    }
    if (files.FileBytes(item.path) == bytes) {
        return lost;
    }
    FolderRecord record;
    if (ReadFolderRecord(registry, FolderRecordKeyName(item.path), record) != kSuccess || !record.Understood()) {
        return lost + " the file left its folder and no record says where it is";
    }
    if (files.FileBytes(record.backup) != bytes) {
        return lost + " the record names " + ::testing::PrintToString(record.backup) + ", which does not hold the file";
    }
    return lost;
}

// The record of the scenario's path, or nothing when there is none.
inline std::optional<FolderRecord> RecordOfItem(Registry& registry, MemoryFolderFiles& files,
                                                const FolderScenario& scenario) {
    FolderRecord record;
    if (ReadFolderRecord(registry, FolderRecordKeyName(ScenarioItem(files, scenario).path), record) != kSuccess) {
        return std::nullopt;
    }
    return record;
}

} // namespace runsweep::contract
