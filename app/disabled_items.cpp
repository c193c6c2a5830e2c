#include "app/disabled_items.h"

#include "app/action_reason.h"
#include "registry/name_case.h"

#include <algorithm>

namespace runsweep {

namespace {

std::wstring TwoDigits(unsigned long number) {
    return (number < 10 ? L"0" : L"") + std::to_wstring(number);
}

// Year-month-day, which reads the same in every country.
std::wstring DateText(const RecordTime& time) {
    return std::to_wstring(time.year) + L"-" + TwoDigits(time.month) + L"-" + TwoDigits(time.day) + L" " +
           TwoDigits(time.hour) + L":" + TwoDigits(time.minute);
}

std::wstring Outcome(const EnableRecord& record) {
    if (record.file) {
        return FolderEnableReason(*record.file, WindowReasonWording());
    }
    if (record.switch_only) {
        return SwitchOnReason(record.switch_places, record.switched, WindowReasonWording());
    }
    return EnableReason(record.result, record.problem, WindowReasonWording());
}

} // namespace

ListChoices ReenableChoices() {
    // The name has the room up to the first box: commands and long names need it more than the
    // main list's rows do.
    return ListChoices{{{L"Re-enable", ReenableAction::kEnable, TwipsRect{5280, 120, 1350, 195}},
                        {L"Keep disabled", ReenableAction::kKeep, TwipsRect{6720, 120, 1800, 195}}},
                       1,
                       {1, 0}};
}

std::wstring RecordTitle(const StartupRecord& record) {
    if (record.item.empty() || RegistryNamesEqual(record.item, record.key_name)) {
        return record.key_name;
    }
    return record.item + L" (" + record.key_name + L")";
}

std::wstring RecordDescription(const StartupRecord& record) {
    if (!record.Understood()) {
        std::wstring text = L"Cannot be re-enabled: " + record.problem + L".";
        if (!record.raw_command.empty()) {
            text += L" " + record.raw_command;
        }
        return text;
    }
    std::vector<RunPlace> places;
    for (const RecordedPlace& place : record.places) {
        places.push_back(place.place);
    }
    std::sort(places.begin(), places.end());
    std::wstring text = L"Back to " + PlaceList(places);
    if (record.disabled_at) {
        text += L", disabled " + DateText(*record.disabled_at);
    }
    text += L": ";
    // The command of the place the standard values name, as the System Configuration utility shows it.
    text += record.places.front().command.empty() ? L"(no command)" : record.places.front().command;
    return text;
}

std::wstring FolderRecordTitle(const FolderRecord& record) {
    return record.path.empty() ? record.key_name : FileNameOf(record.path);
}

std::wstring FolderRecordDescription(const FolderRecord& record) {
    if (!record.Understood()) {
        return L"Cannot be re-enabled: " + record.problem + L".";
    }
    std::wstring text =
        L"Back to " + (record.folder ? std::wstring(FolderLabel(*record.folder)) : ParentFolder(record.path));
    if (record.disabled_at) {
        text += L", disabled " + DateText(*record.disabled_at);
    }
    return text + L": " + (record.command.empty() ? record.path : record.command);
}

std::wstring SwitchedOffDescription(const SwitchedOff& entry) {
    std::wstring text = L"Switched off in Task Manager for " + PlaceList(entry.places);
    if (entry.since != 0) {
        text += L" on " + SwitchDate(entry.since);
    }
    return text + L": " + (entry.command.empty() ? L"(no command)" : entry.command);
}

bool EnableRecord::TookEffect() const {
    if (file) {
        return file->TookEffect() && !(file->switched && file->switched->Failed());
    }
    if (switch_only) {
        return AllSwitchedOn(switched);
    }
    return problem.empty() && result.TookEffect();
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, const EnableFn& enable,
                                           const SwitchOnFn& switch_on) {
    return CarryOutReenable(
        list, items, enable,
        [](const FolderRecord& record) {
            FolderActionRecord none;
            none.item.path = record.path;
            none.item.name = FileNameOf(record.path);
            none.result = FolderResult{FolderOutcome::Failed, kNotSupported, record.backup, false};
            return none;
        },
        switch_on);
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, const EnableFn& enable,
                                           const FolderEnableFn& enable_file, const SwitchOnFn& switch_on) {
    std::vector<EnableRecord> results;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        if (list.GetChoice(row) != ReenableAction::kEnable) {
            continue;
        }
        EnableRecord entry;
        entry.row = row;
        const auto at = static_cast<std::size_t>(row);
        if (at >= items.records.size() && at < items.records.size() + items.folder_records.size()) {
            const FolderRecord& record = items.folder_records[at - items.records.size()];
            // The entry it comes back as: the file's name without its extension.
            entry.name = FileStem(FileNameOf(record.path));
            entry.title = FolderRecordTitle(record);
            if (!record.Understood()) {
                entry.problem = record.problem;
            }
            entry.file =
                record.Understood()
                    ? enable_file(record)
                    : FolderActionRecord{FolderItem{StartupFolder::User, record.path, FileNameOf(record.path)},
                                         FolderResult{FolderOutcome::NotUnderstood, kInvalidData, record.backup, false},
                                         std::nullopt};
            results.push_back(std::move(entry));
            continue;
        }
        if (at >= items.records.size()) {
            const SwitchedOff& off = items.switched_off.at(at - items.records.size() - items.folder_records.size());
            entry.name = off.name;
            entry.title = off.name;
            entry.switch_only = true;
            entry.switch_places = off.places;
            entry.switched = switch_on(off);
            results.push_back(std::move(entry));
            continue;
        }
        const StartupRecord& record = items.records[at];
        entry.name = record.key_name;
        entry.title = RecordTitle(record);
        if (!record.Understood()) {
            entry.problem = record.problem;
        } else {
            entry.result = enable(record);
        }
        results.push_back(std::move(entry));
    }
    return results;
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, Registry& registry) {
    return CarryOutReenable(
        list, items,
        [&](const StartupRecord& record) { return EnableStartup(registry, record.key_name, items.keeps_switch); },
        [&](const SwitchedOff& entry) { return SwitchOnEverywhere(registry, entry); });
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, Registry& registry,
                                           FolderFiles& files, bool keeps_switch) {
    return CarryOutReenable(
        list, items, [&](const StartupRecord& record) { return EnableStartup(registry, record.key_name, keeps_switch); },
        // Read afresh: another program may have moved the file or changed the record since.
        [&](const FolderRecord& record) { return EnableFolderEntry(registry, files, record.key_name, keeps_switch); },
        [&](const SwitchedOff& entry) { return SwitchOnEverywhere(registry, entry); });
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           const EnableFn& enable) {
    return CarryOutReenable(list, DisabledItems{records, {}, {}, false}, enable,
                            [](const SwitchedOff&) { return std::vector<SwitchWrite>(); });
}

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           Registry& registry) {
    return CarryOutReenable(list, records,
                            [&](const StartupRecord& record) { return EnableStartup(registry, record.key_name); });
}

std::vector<std::wstring> ReenabledNames(const std::vector<EnableRecord>& results) {
    std::vector<std::wstring> names;
    for (const EnableRecord& record : results) {
        if (!record.problem.empty()) {
            continue;
        }
        const bool back =
            record.file ? record.file->result.outcome == FolderOutcome::Done ||
                              record.file->result.outcome == FolderOutcome::RecordNotDeleted
            : record.switch_only
                ? std::any_of(record.switched.begin(), record.switched.end(),
                              [](const SwitchWrite& write) { return !write.Failed(); })
                : std::any_of(record.result.places.begin(), record.result.places.end(), [](const auto& place) {
                      return place.outcome == EnablePlaceOutcome::Restored ||
                             place.outcome == EnablePlaceOutcome::AlreadyThere;
                  });
        if (back) {
            names.push_back(record.name);
        }
    }
    return names;
}

namespace {

// The line of an entry that a place needing administrator rights kept disabled: that place, and
// what came back elsewhere. Empty for any other entry.
std::wstring AdministratorLine(const EnableRecord& record) {
    if (!record.problem.empty() || record.switch_only || record.file) {
        return std::wstring();
    }
    if (record.result.record_denied) {
        // Nothing was put back: the entry would show both as starting and as disabled.
        return ShownName(record.title) + L": its record in HKLM";
    }
    std::vector<RunPlace> denied;
    std::vector<RunPlace> back;
    std::wstring refused;
    // In the order the user knows the places by, whatever order they were written back in.
    for (const RunPlace shown : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        for (const EnablePlaceResult& place : record.result.places) {
            if (place.place != shown) {
                continue;
            }
            switch (place.outcome) {
            case EnablePlaceOutcome::NeedsAdministrator:
                denied.push_back(place.place);
                break;
            case EnablePlaceOutcome::Restored:
            case EnablePlaceOutcome::AlreadyThere:
                back.push_back(place.place);
                break;
            case EnablePlaceOutcome::Failed:
                refused += L"; " + std::wstring(PlaceLabel(place.place)) + L" refused the change (error " +
                           std::to_wstring(place.status) + L")";
                break;
            case EnablePlaceOutcome::SwitchNotOn:
                // Back, but Task Manager's switch keeps it from starting: the entry's own sentence
                // tells that place by place.
                return std::wstring();
            case EnablePlaceOutcome::Conflict:
            case EnablePlaceOutcome::NotTried:
                break;
            }
        }
    }
    if (denied.empty()) {
        return std::wstring();
    }
    std::wstring line = ShownName(record.title) + L": " + PlaceList(denied);
    if (!back.empty()) {
        line += L"; re-enabled in " + PlaceList(back);
    }
    return line + refused;
}

} // namespace

ClosingMessage ComposeReenableMessage(const std::vector<EnableRecord>& results) {
    ClosingMessage message;
    if (results.empty()) {
        message.opening = L"No item was chosen to be re-enabled; nothing was changed.";
        return message;
    }
    const ReasonWording wording = WindowReasonWording();
    MessageGroup back;
    MessageGroup administrator;
    administrator.heading = L"Still disabled where administrator rights are needed:";
    administrator.advice = wording.run_as_administrator + L" to re-enable them there.";
    std::vector<std::pair<std::wstring, std::wstring>> others;
    for (const EnableRecord& record : results) {
        if (record.TookEffect()) {
            back.lines.push_back(ShownName(record.title) + L": " + Outcome(record));
        } else if (std::wstring line = AdministratorLine(record); !line.empty()) {
            administrator.lines.push_back(std::move(line));
        } else {
            others.emplace_back(ShownName(record.title), Outcome(record));
        }
    }
    if (administrator.lines.empty() && others.empty()) {
        message.groups.push_back(std::move(back));
        message.closing = L"Changes will take effect after the system is restarted.";
        return message;
    }
    message.icon = MessageIcon::Error;
    message.opening = L"Not every item could be re-enabled:";
    if (!administrator.lines.empty()) {
        message.groups.push_back(std::move(administrator));
    }
    AddReasonGroups(message.groups, others);
    if (!back.lines.empty()) {
        message.groups.push_back(std::move(back));
    }
    message.whereAll = L"Every entry still disabled: \"runsweepc disabled\".";
    return message;
}

} // namespace runsweep
