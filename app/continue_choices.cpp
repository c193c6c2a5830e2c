#include "app/continue_choices.h"

#include "listbox/startup_list.h"

#include <algorithm>
#include <string>

namespace runsweep {

std::vector<ActionRecord> CarryOutChoices(const StartupList& list, const StartupActionFn& disable,
                                          const StartupActionFn& remove) {
    std::vector<ActionRecord> actions;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        const std::wstring choice = list.GetChoice(row);
        ActionRecord record;
        record.row = row;
        if (choice == StartupAction::kDisable) {
            record.action = ChosenAction::Disable;
            record.value = list.GetValue(row);
            record.result = disable(record.value);
        } else if (choice == StartupAction::kRemove) {
            record.action = ChosenAction::Remove;
            record.value = list.GetValue(row);
            record.result = remove(record.value);
        } else {
            continue;
        }
        actions.push_back(std::move(record));
    }
    return actions;
}

std::vector<ActionRecord> CarryOutChoices(const StartupList& list, Registry& registry, MessageSink& messages) {
    return CarryOutChoices(
        list, [&](const std::wstring& sValue) { return DisableStartup(registry, sValue, messages); },
        [&](const std::wstring& sValue) { return RemoveStartup(registry, sValue); });
}

namespace {

// A name may be up to 16,383 characters without a space: in full it would make the message box
// many screens wide, its icon and text off the screen. Long names show their beginning and length.
constexpr std::size_t kLongestShownName = 64;
constexpr std::size_t kShownNamePrefix = 60;

} // namespace

std::wstring PlaceList(const std::vector<RunPlace>& places) {
    std::wstring text;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0) {
            text += i + 1 == places.size() ? L" and " : L", ";
        }
        text += PlaceLabel(places[i]);
    }
    return text;
}

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

namespace {

const wchar_t* kRunAsAdministrator = L"Close Runsweep and run it as administrator to change it there.";

// What happened in each place that held the value, for an action that did not take effect
// everywhere: "removed from HKCU; not removed from HKLM, which needs administrator rights".
std::wstring PlacesSentence(const ActionResult& result) {
    std::vector<RunPlace> removed;
    std::vector<RunPlace> denied;
    std::wstring failed;
    // In the order the user knows the places by, whatever order the deletes took.
    std::vector<PlaceResult> places = result.places;
    std::stable_sort(places.begin(), places.end(),
                     [](const PlaceResult& a, const PlaceResult& b) { return a.place < b.place; });
    for (const PlaceResult& place : places) {
        switch (place.outcome) {
        case PlaceOutcome::Removed:
            removed.push_back(place.place);
            break;
        case PlaceOutcome::NeedsAdministrator:
            denied.push_back(place.place);
            break;
        case PlaceOutcome::Failed:
            failed += L"; not removed from " + std::wstring(PlaceLabel(place.place)) +
                      L", which refused the change (error " + std::to_wstring(place.status) + L")";
            break;
        }
    }
    std::wstring text;
    if (!removed.empty()) {
        text += L"removed from " + PlaceList(removed);
    }
    if (!denied.empty()) {
        text += text.empty() ? L"" : L"; ";
        text += L"not removed from " + PlaceList(denied) + (denied.size() == 1 ? L", which needs" : L", which need") +
                L" administrator rights";
    }
    if (!failed.empty()) {
        text += text.empty() ? failed.substr(2) : failed;
    }
    return text;
}

std::wstring Reason(const ActionRecord& record) {
    const ActionResult& result = record.result;
    const std::wstring code = L" (error " + std::to_wstring(result.status) + L")";
    const std::wstring where = result.place ? std::wstring(L" in ") + PlaceLabel(*result.place) : std::wstring();
    if (!result.places.empty()) {
        // The deletes began: say what happened in each place.
        std::wstring text = result.recorded ? L"recorded for re-enabling; " : L"";
        text += PlacesSentence(result) + L".";
        for (const PlaceResult& place : result.places) {
            if (place.outcome == PlaceOutcome::NeedsAdministrator) {
                text += L" ";
                text += kRunAsAdministrator;
                break;
            }
        }
        return text;
    }
    switch (result.outcome) {
    case ActionOutcome::NeedsAdministrator:
        return L"not changed: " + (where.empty() ? std::wstring(L"it") : L"its value" + where) +
               L" needs administrator rights. Close Runsweep and run it as administrator to change this entry.";
    case ActionOutcome::RecordFailed:
        return L"not changed: its MSConfig record could not be written" + code +
               L", so the entry was left in place rather than lost.";
    case ActionOutcome::NameNotRecordable:
        return L"not changed: its name cannot be recorded for MSConfig, so the entry was left in place. Choose "
               L"\"Remove\" to take it out without a record.";
    case ActionOutcome::CommandNotText:
        return L"not changed: its Run value" + where +
               L" holds no command line (its data is not text), so MSConfig could not re-enable it and it was left "
               L"in place. Choose \"Remove\" to take it out without a record.";
    case ActionOutcome::EarlierRecordDamaged:
        return L"not changed: an earlier record of this name is there that Runsweep cannot read, so the entry was "
               L"left in place to keep what that record holds. Choose \"Remove\" to take it out without a record.";
    case ActionOutcome::Failed:
    case ActionOutcome::Partial:
        return L"not changed: the registry refused" + (where.empty() ? std::wstring() : L" to read its value" + where) +
               code + L".";
    case ActionOutcome::Done:
    case ActionOutcome::AlreadyGone:
        break;
    }
    return std::wstring();
}

} // namespace

ClosingMessage ComposeClosingMessage(const std::vector<ActionRecord>& actions) {
    std::wstring failures;
    std::size_t done = 0;
    for (const ActionRecord& record : actions) {
        if (record.result.TookEffect()) {
            ++done;
            continue;
        }
        failures += L"\r\n\r\n";
        failures += ShownName(record.value);
        failures += record.action == ChosenAction::Disable ? L" (Disable): " : L" (Remove): ";
        failures += Reason(record);
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
