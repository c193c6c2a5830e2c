#include "app/disabled_items.h"

#include "registry/name_case.h"

#include <algorithm>
#include <initializer_list>

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

// In the order the user knows the places by, whatever order the record keeps them in.
std::vector<EnablePlaceResult> Sorted(std::vector<EnablePlaceResult> places) {
    std::stable_sort(places.begin(), places.end(),
                     [](const EnablePlaceResult& a, const EnablePlaceResult& b) { return a.place < b.place; });
    return places;
}

std::vector<RunPlace> PlacesOf(const std::vector<EnablePlaceResult>& places,
                               std::initializer_list<EnablePlaceOutcome> outcomes) {
    std::vector<RunPlace> found;
    for (const EnablePlaceResult& place : Sorted(places)) {
        for (const EnablePlaceOutcome outcome : outcomes) {
            if (place.outcome == outcome) {
                found.push_back(place.place);
                break;
            }
        }
    }
    return found;
}

std::wstring ErrorCode(long status) {
    return L"error " + std::to_wstring(status);
}

std::wstring Holds(const std::vector<RunPlace>& places) {
    return PlaceList(places) + (places.size() == 1 ? L" already holds" : L" already hold");
}

// What one place that did not take its command back says.
std::wstring PlaceFailures(const EnableResult& result) {
    std::wstring text;
    for (const EnablePlaceResult& place : Sorted(result.places)) {
        std::wstring why;
        if (place.outcome == EnablePlaceOutcome::NeedsAdministrator) {
            why = L"needs administrator rights";
        } else if (place.outcome == EnablePlaceOutcome::Failed) {
            why = L"refused the change (" + ErrorCode(place.status) + L")";
        } else {
            continue;
        }
        text += text.empty() ? L"" : L"; ";
        text += std::wstring(PlaceLabel(place.place)) + L" " + why;
    }
    return text;
}

std::wstring Outcome(const EnableRecord& record) {
    if (!record.problem.empty()) {
        return L"not re-enabled: its record cannot be understood (" + record.problem + L"), so nothing was changed.";
    }
    const EnableResult& result = record.result;
    const std::vector<RunPlace> back =
        PlacesOf(result.places, {EnablePlaceOutcome::Restored, EnablePlaceOutcome::AlreadyThere});
    const bool denied = !PlacesOf(result.places, {EnablePlaceOutcome::NeedsAdministrator}).empty();
    const std::wstring asAdministrator =
        denied ? L" Close Runsweep and run it as administrator to re-enable it there." : L"";
    switch (result.outcome) {
    case EnableOutcome::Done:
        return L"re-enabled in " + PlaceList(back) + L".";
    case EnableOutcome::RecordNotDeleted:
        return L"re-enabled in " + PlaceList(back) + L", but its record could not be deleted (" +
               ErrorCode(result.status) + L"), so MSConfig may still list it as disabled.";
    case EnableOutcome::NotUnderstood:
        return L"not re-enabled: its record cannot be understood, so nothing was changed.";
    case EnableOutcome::Conflict:
        return L"not re-enabled: " + Holds(PlacesOf(result.places, {EnablePlaceOutcome::Conflict})) +
               L" a value of this name with another command, so nothing was changed. It stays disabled.";
    case EnableOutcome::NeedsAdministrator:
    case EnableOutcome::Failed:
        if (!PlaceFailures(result).empty()) {
            return L"not re-enabled: " + PlaceFailures(result) + L". It stays disabled." + asAdministrator;
        }
        return L"not re-enabled: the registry refused (" + ErrorCode(result.status) + L"). It stays disabled.";
    case EnableOutcome::Partial:
        return L"re-enabled in " + PlaceList(back) + L" only: " + PlaceFailures(result) +
               L". Its record is kept for the rest." + asAdministrator;
    case EnableOutcome::RecordGone:
        return L"not re-enabled: its record is no longer there.";
    }
    return std::wstring();
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
    for (const RecordedPlace& place : PlacesToEnable(record)) {
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

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           const EnableFn& enable) {
    std::vector<EnableRecord> results;
    const int count = list.ListCount();
    for (int row = 0; row < count; ++row) {
        if (list.GetChoice(row) != ReenableAction::kEnable) {
            continue;
        }
        const StartupRecord& record = records.at(static_cast<std::size_t>(row));
        EnableRecord entry;
        entry.row = row;
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

std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           Registry& registry) {
    return CarryOutReenable(list, records,
                            [&](const StartupRecord& record) { return EnableStartup(registry, record.key_name); });
}

ClosingMessage ComposeReenableMessage(const std::vector<EnableRecord>& results) {
    if (results.empty()) {
        return ClosingMessage{L"No item was chosen to be re-enabled; nothing was changed.", MessageIcon::Information};
    }
    std::wstring text;
    std::size_t done = 0;
    for (const EnableRecord& record : results) {
        const bool took = record.problem.empty() && record.result.TookEffect();
        done += took ? 1 : 0;
        text += text.empty() ? L"" : L"\r\n\r\n";
        text += ShownName(record.title) + L": " + Outcome(record);
    }
    if (done == results.size()) {
        text += L"\r\n\r\nChanges will take effect after the system is restarted.";
        return ClosingMessage{std::move(text), MessageIcon::Information};
    }
    return ClosingMessage{L"Not every item could be re-enabled:\r\n\r\n" + text, MessageIcon::Error};
}

} // namespace runsweep
