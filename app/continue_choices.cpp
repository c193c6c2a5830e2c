#include "app/continue_choices.h"

#include "app/action_reason.h"
#include "listbox/startup_list.h"
#include "registry/clock.h"
#include "registry/name_case.h"

#include <algorithm>
#include <string>

namespace runsweep {

namespace {

// Every row's choice, and the value of each row that has an action, read before anything is carried
// out: an action may show a message box, whose message loop runs other handlers that can change the
// rows' choices or destroy the list.
std::vector<ActionRecord> ReadChosenRows(const StartupList& list) {
    std::vector<ActionRecord> chosen;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        const std::wstring choice = list.GetChoice(row);
        ActionRecord record;
        record.row = row;
        if (choice == StartupAction::kDisable) {
            record.action = ChosenAction::Disable;
        } else if (choice == StartupAction::kRemove) {
            record.action = ChosenAction::Remove;
        } else {
            continue;
        }
        record.value = list.GetValue(row);
        chosen.push_back(std::move(record));
    }
    return chosen;
}

} // namespace

std::vector<ActionRecord> CarryOutChoices(const StartupList& list, const StartupActionFn& disable,
                                          const StartupActionFn& remove) {
    std::vector<ActionRecord> actions = ReadChosenRows(list);
    for (ActionRecord& record : actions) {
        EntryResult result = record.action == ChosenAction::Disable ? disable(record.value) : remove(record.value);
        record.result = std::move(result.run);
        record.files = std::move(result.files);
    }
    return actions;
}

std::vector<ActionRecord> CarryOutChoices(const StartupList& list, Registry& registry, FolderFiles& files,
                                          MessageSink& messages, const SwitchClock& clock) {
    return CarryOutChoices(
        list,
        [&](const std::wstring& sValue) {
            return DisableEntry(registry, files, sValue, messages, LocalTimeNow(), clock);
        },
        [&](const std::wstring& sValue) { return RemoveEntry(registry, files, sValue); });
}

bool ActionRecord::TookEffect() const {
    EntryResult entry(result);
    entry.files = files;
    return entry.TookEffect();
}

std::vector<ActionRecord> CarryOutChoices(const StartupList& list, Registry& registry, MessageSink& messages,
                                          bool keeps_switch) {
    return CarryOutChoices(
        list, [&](const std::wstring& sValue) { return DisableStartup(registry, sValue, messages, keeps_switch); },
        [&](const std::wstring& sValue) { return RemoveStartup(registry, sValue); });
}

std::vector<NamedChoice> ChoicesByName(const StartupList& list) {
    std::vector<NamedChoice> choices;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        choices.push_back(NamedChoice{list.GetValue(row), list.GetChoice(row)});
    }
    return choices;
}

std::vector<std::wstring> PresetChoices(const StartupList& list, const std::vector<NamedChoice>& before,
                                        const std::vector<std::wstring>& reenabled) {
    std::vector<std::wstring> preset;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        const std::wstring value = list.GetValue(row);
        const auto same = [&](const std::wstring& name) { return RegistryNamesEqual(name, value); };
        std::wstring choice;
        if (std::any_of(reenabled.begin(), reenabled.end(), same)) {
            choice = StartupAction::kNone;
        } else if (const auto earlier =
                       std::find_if(before.begin(), before.end(), [&](const NamedChoice& c) { return same(c.value); });
                   earlier != before.end()) {
            choice = earlier->choice;
        }
        preset.push_back(std::move(choice));
    }
    return preset;
}

namespace {

// A name may be up to 16,383 characters without a space: in full it would make the message box
// many screens wide, its icon and text off the screen. Long names show their beginning and length.
constexpr std::size_t kLongestShownName = 64;
constexpr std::size_t kShownNamePrefix = 60;

} // namespace

std::wstring ShownName(const std::wstring& value) {
    if (value.empty()) {
        return L"(unnamed entry)";
    }
    if (value.size() <= kLongestShownName) {
        return value;
    }
    std::size_t cut = kShownNamePrefix;
    if (value[cut - 1] >= 0xD800 && value[cut - 1] <= 0xDBFF) {
        --cut; // not half a surrogate pair
    }
    return value.substr(0, cut) + L"\u2026 (a name of " + std::to_wstring(value.size()) + L" characters)";
}

std::size_t ClosingMessage::EntryLines() const {
    std::size_t count = 0;
    for (const MessageGroup& group : groups) {
        count += group.lines.size();
    }
    return count;
}

std::wstring ClosingMessage::Text(std::size_t listed) const {
    std::vector<std::wstring> paragraphs;
    if (!opening.empty()) {
        paragraphs.push_back(opening);
    }
    bool shortened = false;
    std::size_t omitted = 0; // entries of groups that say nothing besides their lines
    for (const MessageGroup& group : groups) {
        std::wstring paragraph = group.heading;
        const std::size_t shown = std::min(listed, group.lines.size());
        listed -= shown;
        if (shown == 0 && group.heading.empty() && group.advice.empty() && !group.lines.empty()) {
            omitted += group.lines.size();
            shortened = true;
            continue;
        }
        for (std::size_t i = 0; i < shown; ++i) {
            paragraph += (paragraph.empty() ? L"" : L"\r\n") + group.lines[i];
        }
        if (shown < group.lines.size()) {
            const std::size_t more = group.lines.size() - shown;
            paragraph += (paragraph.empty() ? L"" : L"\r\n") +
                         (shown == 0 ? std::to_wstring(more) + (more == 1 ? L" entry" : L" entries")
                                     : L"\u2026and " + std::to_wstring(more) + L" more");
            shortened = true;
        }
        if (!group.advice.empty()) {
            paragraph += (paragraph.empty() ? L"" : L"\r\n") + group.advice;
        }
        paragraphs.push_back(std::move(paragraph));
    }
    if (omitted > 0) {
        paragraphs.push_back(L"\u2026and " + std::to_wstring(omitted) +
                             (omitted == 1 ? L" more entry" : L" more entries"));
    }
    if (!closing.empty()) {
        paragraphs.push_back(closing);
    }
    if (shortened && !whereAll.empty()) {
        paragraphs.push_back(whereAll);
    }
    std::wstring text;
    for (const std::wstring& paragraph : paragraphs) {
        text += (text.empty() ? L"" : L"\r\n\r\n") + paragraph;
    }
    return text;
}

void AddReasonGroups(std::vector<MessageGroup>& groups,
                     const std::vector<std::pair<std::wstring, std::wstring>>& namesAndReasons) {
    std::vector<std::wstring> reasons;
    for (const auto& entry : namesAndReasons) {
        if (std::find(reasons.begin(), reasons.end(), entry.second) == reasons.end()) {
            reasons.push_back(entry.second);
        }
    }
    for (const std::wstring& reason : reasons) {
        MessageGroup group;
        for (const auto& [name, why] : namesAndReasons) {
            if (why == reason) {
                group.lines.push_back(name);
            }
        }
        if (group.lines.size() == 1) {
            group.lines.front() += L": " + reason;
        } else {
            group.advice = L"Each: " + reason;
        }
        groups.push_back(std::move(group));
    }
}

namespace {

const wchar_t* ActionLabel(ChosenAction action) {
    return action == ChosenAction::Disable ? L" (Disable)" : L" (Remove)";
}

// The line of an entry a place needing administrator rights kept: where it still is, and what was
// done elsewhere. Empty for an entry that no such place kept.
std::wstring AdministratorLine(const ActionRecord& record) {
    std::vector<RunPlace> denied;
    std::vector<RunPlace> removed;
    std::wstring refused;
    const std::vector<PlaceResult>& places = record.result.places;
    // In the order the user knows the places by, whatever order the deletes took.
    for (const RunPlace shown : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        for (const PlaceResult& place : places) {
            if (place.place != shown) {
                continue;
            }
            switch (place.outcome) {
            case PlaceOutcome::NeedsAdministrator:
                denied.push_back(place.place);
                break;
            case PlaceOutcome::Removed:
                removed.push_back(place.place);
                break;
            case PlaceOutcome::Failed:
                refused += L"; " + std::wstring(PlaceLabel(place.place)) + L" refused the change (error " +
                           std::to_wstring(place.status) + L")";
                break;
            }
        }
    }
    if (denied.empty() && places.empty() && record.result.outcome == ActionOutcome::NeedsAdministrator) {
        // Refused before anything was changed: reading its value, or writing its record.
        if (record.result.place) {
            denied.push_back(*record.result.place);
        } else {
            return ShownName(record.value) + ActionLabel(record.action) + L": its record in HKLM";
        }
    }
    if (denied.empty()) {
        return std::wstring();
    }
    std::wstring line = ShownName(record.value) + ActionLabel(record.action) + L": " + PlaceList(denied);
    if (!removed.empty()) {
        line += L"; removed from " + PlaceList(removed);
    }
    return line + refused;
}

} // namespace

ClosingMessage ComposeClosingMessage(const std::vector<ActionRecord>& actions) {
    const ReasonWording wording = WindowReasonWording();
    MessageGroup administrator;
    administrator.heading = L"Not changed where administrator rights are needed:";
    administrator.advice = wording.run_as_administrator + L" to change them there.";
    std::vector<std::pair<std::wstring, std::wstring>> others;
    std::size_t done = 0;
    for (const ActionRecord& record : actions) {
        // A place whose switch stayed on is told too: Windows would start the entry again should its
        // program write the value back.
        if (record.TookEffect() && !record.result.SwitchFailed()) {
            ++done;
            continue;
        }
        // An entry whose files were all dealt with is told by its Run keys alone.
        const bool filesDone = std::all_of(record.files.begin(), record.files.end(),
                                           [](const FolderActionRecord& file) { return file.TookEffect(); });
        // A switch left on is told by the entry's own sentence, which names each place's switch.
        const bool whole = !filesDone || record.result.SwitchFailed();
        if (std::wstring line = whole ? std::wstring() : AdministratorLine(record); !line.empty()) {
            administrator.lines.push_back(std::move(line));
        } else {
            EntryResult entry(record.result);
            entry.files = record.files;
            others.emplace_back(ShownName(record.value) + ActionLabel(record.action),
                                EntryReason(entry, record.action == ChosenAction::Disable, wording));
        }
    }
    ClosingMessage message;
    if (administrator.lines.empty() && others.empty()) {
        message.opening = kAllActionsDoneMessage;
        return message;
    }
    message.icon = MessageIcon::Error;
    message.opening = L"Not every action could be carried out:";
    if (!administrator.lines.empty()) {
        message.groups.push_back(std::move(administrator));
    }
    AddReasonGroups(message.groups, others);
    if (done == 0) {
        message.closing = L"No other action was chosen.";
    } else {
        message.closing = (done == 1 ? L"The other chosen action was"
                                     : L"The other " + std::to_wstring(done) + L" chosen actions were") +
                          std::wstring(L" carried out. Changes will take effect after the system is restarted.");
    }
    message.whereAll = L"Every entry still in a Run key: \"runsweepc list\".";
    return message;
}

} // namespace runsweep
