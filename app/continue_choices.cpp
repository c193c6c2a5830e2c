#include "app/continue_choices.h"

#include "listbox/startup_list.h"
#include "registry/action_reason.h"
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

ClosingMessage ComposeClosingMessage(const std::vector<ActionRecord>& actions) {
    std::wstring failures;
    std::size_t done = 0;
    for (const ActionRecord& record : actions) {
        // A place whose switch stayed on is told too: Windows would start the entry again should its
        // program write the value back.
        if (record.TookEffect() && !record.result.SwitchFailed()) {
            ++done;
            continue;
        }
        EntryResult entry(record.result);
        entry.files = record.files;
        failures += L"\r\n\r\n";
        failures += ShownName(record.value);
        failures += record.action == ChosenAction::Disable ? L" (Disable): " : L" (Remove): ";
        failures += EntryReason(entry, record.action == ChosenAction::Disable, WindowReasonWording());
    }
    if (failures.empty()) {
        return ClosingMessage{kAllActionsDoneMessage, MessageIcon::Information};
    }
    std::wstring text = L"Not every action could be carried out:";
    text += failures;
    text += L"\r\n\r\n";
    if (done == 0) {
        text += L"No other action was chosen.";
    } else {
        text += done == 1 ? L"The other chosen action was"
                          : L"The other " + std::to_wstring(done) + L" chosen actions were";
        text += L" carried out. Changes will take effect after the system is restarted.";
    }
    return ClosingMessage{std::move(text), MessageIcon::Error};
}

} // namespace runsweep
