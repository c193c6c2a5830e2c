#include "registry/startup_state.h"

#include <algorithm>
#include <memory>

namespace runsweep {

namespace {

std::wstring TwoDigits(unsigned long number) {
    return (number < 10 ? L"0" : L"") + std::to_wstring(number);
}

// "HKCU", "HKCU and HKLM", "HKCU, HKLM and HKLM (32-bit)".
std::wstring Labels(const std::vector<RunPlace>& places) {
    std::wstring text;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0) {
            text += i + 1 == places.size() ? L" and " : L", ";
        }
        text += PlaceLabel(places[i]);
    }
    return text;
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
    for (FoundStartup& entry : found) {
        entry.switches.clear();
        for (const RunPlace place : entry.places) {
            entry.switches.push_back(reader_of(place).Read(entry.name));
        }
    }
}

EntryState StateOf(const FoundStartup& entry) {
    const auto off = std::count_if(entry.switches.begin(), entry.switches.end(),
                                   [](const StartupSwitch& state) { return state.Off(); });
    if (off == 0) {
        return EntryState::On;
    }
    return static_cast<std::size_t>(off) == entry.places.size() ? EntryState::Off : EntryState::Mixed;
}

FileTime LatestSwitchOff(const FoundStartup& entry) {
    FileTime latest = 0;
    for (const StartupSwitch& state : entry.switches) {
        if (state.Off()) {
            latest = std::max(latest, state.off_since);
        }
    }
    return latest;
}

std::wstring SwitchDate(FileTime time) {
    const RecordTime local = LocalTimeOf(time);
    return std::to_wstring(local.year) + L"-" + TwoDigits(local.month) + L"-" + TwoDigits(local.day);
}

std::wstring SwitchSentence(const FoundStartup& entry) {
    const EntryState state = StateOf(entry);
    if (state == EntryState::On) {
        return std::wstring();
    }
    std::vector<RunPlace> off;
    std::vector<RunPlace> on;
    for (std::size_t i = 0; i < entry.places.size() && i < entry.switches.size(); ++i) {
        (entry.switches[i].Off() ? off : on).push_back(entry.places[i]);
    }
    std::wstring text = L"Switched off in Task Manager";
    if (state == EntryState::Mixed) {
        text += L" for " + Labels(off);
    }
    // A value without a time, or one from before any Windows that keeps the switch, has no date
    // worth showing.
    const FileTime since = LatestSwitchOff(entry);
    const RecordTime local = LocalTimeOf(since);
    if (since != 0 && local.year >= 2012) {
        text += L" on " + SwitchDate(since);
    }
    if (state == EntryState::Mixed) {
        text += L"; still on for " + Labels(on);
    }
    return text + L".";
}

std::wstring RowDescription(const FoundStartup& entry) {
    const std::wstring sentence = SwitchSentence(entry);
    return sentence.empty() ? entry.description : sentence + L" " + entry.description;
}

RowBox PresetBox(const FoundStartup& entry) {
    return StateOf(entry) == EntryState::Off ? RowBox::NoAction : RowBox::Disable;
}

} // namespace runsweep
