#include "registry/startup_state.h"

#include "registry/name_case.h"
#include "registry/reenable.h"

#include <algorithm>
#include <memory>

namespace runsweep {

namespace {

std::wstring TwoDigits(unsigned long number) {
    return (number < 10 ? L"0" : L"") + std::to_wstring(number);
}

} // namespace

const wchar_t* StateWord(EntryState state) noexcept {
    switch (state) {
    case EntryState::On:
        return L"on";
    case EntryState::Off:
        return L"off";
    case EntryState::Mixed:
        return L"mixed";
    }
    return L"on";
}

void ReadStartupSwitches(Registry& registry, std::vector<FoundStartup>& found) {
    // One reader per place, made when the first entry that lives there asks for it.
    std::vector<std::pair<RunPlace, std::unique_ptr<SwitchReader>>> readers;
    const auto reader_of = [&](RunPlace place) -> SwitchReader& {
        for (auto& [where, reader] : readers) {
            if (where == place) {
                return *reader;
            }
        }
        readers.emplace_back(place, std::make_unique<SwitchReader>(registry, RunSwitchKey(place)));
        return *readers.back().second;
    };
    // A Startup folder's items are switched by their file's name, extension and all.
    std::vector<std::pair<StartupFolder, std::unique_ptr<SwitchReader>>> folder_readers;
    const auto folder_reader_of = [&](StartupFolder folder) -> SwitchReader& {
        for (auto& [where, reader] : folder_readers) {
            if (where == folder) {
                return *reader;
            }
        }
        folder_readers.emplace_back(
            folder, std::make_unique<SwitchReader>(registry, StartupFolderSwitchKey(FolderHive(folder))));
        return *folder_readers.back().second;
    };
    for (FoundStartup& entry : found) {
        entry.switches.clear();
        for (const RunPlace place : entry.places) {
            entry.switches.push_back(reader_of(place).Read(entry.name));
        }
        entry.file_switches.clear();
        for (const FolderItem& item : entry.files) {
            entry.file_switches.push_back(folder_reader_of(item.folder).Read(item.name));
        }
    }
}

EntryState StateOf(const FoundStartup& entry) {
    const auto is_off = [](const StartupSwitch& state) { return state.Off(); };
    const auto off = std::count_if(entry.switches.begin(), entry.switches.end(), is_off) +
                     std::count_if(entry.file_switches.begin(), entry.file_switches.end(), is_off);
    if (off == 0) {
        return EntryState::On;
    }
    return static_cast<std::size_t>(off) == entry.places.size() + entry.files.size() ? EntryState::Off
                                                                                     : EntryState::Mixed;
}

FileTime LatestSwitchOff(const FoundStartup& entry) {
    FileTime latest = 0;
    for (const auto* switches : {&entry.switches, &entry.file_switches}) {
        for (const StartupSwitch& state : *switches) {
            if (state.Off()) {
                latest = std::max(latest, state.off_since);
            }
        }
    }
    return latest;
}

std::wstring SwitchDate(FileTime time) {
    const RecordTime local = LocalTimeOf(time);
    return std::to_wstring(local.year) + L"-" + TwoDigits(local.month) + L"-" + TwoDigits(local.day);
}

long ListSwitchedOff(Registry& registry, std::vector<SwitchedOff>& entries) {
    entries.clear();
    long result = kSuccess;
    for (const RunPlace place : RunPlaces(registry)) {
        std::vector<NamedSwitch> switches;
        const long status = ReadAllSwitches(registry, RunSwitchKey(place), switches);
        if (status != kSuccess) {
            result = status;
            continue;
        }
        if (std::none_of(switches.begin(), switches.end(), [](const NamedSwitch& s) { return s.state.Off(); })) {
            continue;
        }
        RegKey run;
        const long opened = registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, run, PlaceView(place));
        if (opened != kSuccess) {
            // No Run key: nothing there for a switch to keep from starting.
            result = opened == kFileNotFound ? result : opened;
            continue;
        }
        for (const NamedSwitch& item : switches) {
            if (!item.state.Off() || item.name.empty()) {
                continue;
            }
            RegValue value;
            const long read = registry.ReadValue(run, item.name, value);
            if (read != kSuccess) {
                result = read == kFileNotFound ? result : read;
                continue;
            }
            auto entry = std::find_if(entries.begin(), entries.end(),
                                      [&](const SwitchedOff& e) { return RegistryNamesEqual(e.name, item.name); });
            if (entry == entries.end()) {
                entries.push_back(SwitchedOff{item.name, {}, 0, DecodeRegString(value)});
                entry = entries.end() - 1;
            }
            entry->places.push_back(place);
            entry->since = std::max(entry->since, item.state.off_since);
        }
    }
    return result;
}

std::vector<SwitchWrite> SwitchOnEverywhere(Registry& registry, const SwitchedOff& entry) {
    std::vector<SwitchWrite> results;
    for (const RunPlace place : entry.places) {
        results.push_back(SwitchOn(registry, RunSwitchKey(place), entry.name));
    }
    return results;
}

long ReadDisabledItems(Registry& registry, bool keeps_switch, DisabledItems& items) {
    long status = ListStartupRecords(registry, items.records);
    const long folders = ListFolderRecords(registry, items.folder_records);
    status = status == kSuccess ? folders : status;
    items.switched_off.clear();
    items.keeps_switch = keeps_switch;
    if (!keeps_switch) {
        return status;
    }
    ListSwitchedOff(registry, items.switched_off);
    for (SwitchedOff& entry : items.switched_off) {
        for (const StartupRecord& record : items.records) {
            if (!record.Understood() || !RegistryNamesEqual(record.key_name, entry.name)) {
                continue;
            }
            for (const RecordedPlace& place : record.places) {
                entry.places.erase(std::remove(entry.places.begin(), entry.places.end(), place.place),
                                   entry.places.end());
            }
        }
    }
    items.switched_off.erase(std::remove_if(items.switched_off.begin(), items.switched_off.end(),
                                            [](const SwitchedOff& entry) { return entry.places.empty(); }),
                             items.switched_off.end());
    return status;
}

bool AllSwitchedOn(const std::vector<SwitchWrite>& writes) {
    return std::none_of(writes.begin(), writes.end(), [](const SwitchWrite& write) { return write.Failed(); });
}

} // namespace runsweep
