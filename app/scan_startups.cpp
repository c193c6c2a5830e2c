#include "app/scan_startups.h"

#include "app/action_reason.h"
#include "listbox/startup_list.h"
#include "registry/clock.h"
#include "registry/folder_files.h"

namespace runsweep {

void ScanStartups(const Catalogue& catalogue, Registry& registry, StartupList& list, FolderFiles* files) {
    for (const FoundStartup& row : FindStartups(catalogue, registry, files)) {
        list.AddItem(row.name, row.description);
    }
}

std::wstring UnreadablePlacesMessage(const std::vector<UnreadablePlace>& places) {
    std::wstring text = places.size() == 1 ? L"The Run key of " : L"The Run keys of ";
    bool denied = false;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0) {
            text += i + 1 == places.size() ? L" and " : L", ";
        }
        text += std::wstring(PlaceLabel(places[i].place)) + L" (error " + std::to_wstring(places[i].status) + L")";
        denied = denied || places[i].status == kAccessDenied;
    }
    text += L" could not be read, so the entries there are not listed.";
    if (denied) {
        text += L" " + WindowReasonWording().run_as_administrator + L" to see them.";
    }
    return text;
}

std::wstring SwitchSentence(const FoundStartup& entry) {
    const EntryState state = StateOf(entry);
    if (state == EntryState::On) {
        return std::wstring();
    }
    std::vector<std::wstring> off;
    std::vector<std::wstring> on;
    for (std::size_t i = 0; i < entry.places.size() && i < entry.switches.size(); ++i) {
        (entry.switches[i].Off() ? off : on).emplace_back(PlaceLabel(entry.places[i]));
    }
    for (std::size_t i = 0; i < entry.files.size() && i < entry.file_switches.size(); ++i) {
        (entry.file_switches[i].Off() ? off : on).emplace_back(FolderLabel(entry.files[i].folder));
    }
    std::wstring text = L"Switched off in Task Manager";
    if (state == EntryState::Mixed) {
        text += L" for " + LabelList(off);
    }
    // A value without a time, or one from before any Windows that keeps the switch, has no date
    // worth showing.
    const FileTime since = LatestSwitchOff(entry);
    const RecordTime local = LocalTimeOf(since);
    if (since != 0 && local.year >= 2012) {
        text += L" on " + SwitchDate(since);
    }
    if (state == EntryState::Mixed) {
        text += L"; still on for " + LabelList(on);
    }
    return text + L".";
}

std::wstring PlacesSentence(const FoundStartup& entry) {
    const std::vector<std::wstring> labels = EntryPlaceLabels(entry);
    if (labels.empty() || (labels.size() == 1 && entry.files.empty())) {
        return std::wstring();
    }
    return L"Found in: " + LabelList(labels) + L".";
}

std::wstring RowDescription(const FoundStartup& entry) {
    std::wstring text;
    for (const std::wstring& sentence : {SwitchSentence(entry), PlacesSentence(entry)}) {
        if (!sentence.empty()) {
            text += sentence + L" ";
        }
    }
    return text + entry.description;
}

RowBox PresetBox(const FoundStartup& entry) {
    return StateOf(entry) == EntryState::Off ? RowBox::NoAction : RowBox::Disable;
}

} // namespace runsweep
