#include "registry/action_reason.h"

#include <algorithm>
#include <initializer_list>

namespace runsweep {

ReasonWording WindowReasonWording() {
    return ReasonWording{L"Close Runsweep and run it as administrator", L"Choose \"Remove\"", L"Runsweep"};
}

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

namespace {

// What happened in each place that held the value: "removed from HKCU; not removed from HKLM,
// which needs administrator rights".
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

// What Disable did to Windows' startup switch of each place it took the value out of: "; switched
// off in Task Manager for HKCU; not switched off for HKLM, which needs administrator rights".
std::wstring SwitchSentence(const ActionResult& result) {
    std::vector<RunPlace> written;
    std::vector<RunPlace> already;
    std::vector<RunPlace> unknown;
    std::vector<RunPlace> denied;
    std::wstring failed;
    std::vector<PlaceResult> places = result.places;
    std::stable_sort(places.begin(), places.end(),
                     [](const PlaceResult& a, const PlaceResult& b) { return a.place < b.place; });
    for (const PlaceResult& place : places) {
        if (!place.switched) {
            continue;
        }
        switch (place.switched->change) {
        case SwitchChange::Written:
            written.push_back(place.place);
            break;
        case SwitchChange::AlreadySo:
            already.push_back(place.place);
            break;
        case SwitchChange::Unrecognised:
            unknown.push_back(place.place);
            break;
        case SwitchChange::Failed:
            if (place.switched->status == kAccessDenied) {
                denied.push_back(place.place);
            } else {
                failed += L"; not switched off in Task Manager for " + std::wstring(PlaceLabel(place.place)) +
                          L", which refused the change (error " + std::to_wstring(place.switched->status) + L")";
            }
            break;
        }
    }
    std::wstring text;
    if (!written.empty()) {
        text += L"; switched off in Task Manager for " + PlaceList(written);
    }
    if (!already.empty()) {
        text += L"; already switched off in Task Manager for " + PlaceList(already);
    }
    if (!unknown.empty()) {
        text += L"; Task Manager's switch for " + PlaceList(unknown) +
                L" holds data Windows does not write, so it was left as it was";
    }
    if (!denied.empty()) {
        text += L"; not switched off in Task Manager for " + PlaceList(denied) +
                (denied.size() == 1 ? L", which needs" : L", which need") + L" administrator rights";
    }
    return text + failed;
}

} // namespace

std::wstring ActionReason(const ActionResult& result, const ReasonWording& wording) {
    const std::wstring code = L" (error " + std::to_wstring(result.status) + L")";
    const std::wstring where = result.place ? std::wstring(L" in ") + PlaceLabel(*result.place) : std::wstring();
    const std::wstring remove_instead = L" " + wording.remove_instead + L" to take it out without a record.";
    if (!result.places.empty()) {
        // The deletes began: say what happened in each place.
        std::wstring text = result.recorded ? L"recorded for re-enabling; " : L"";
        text += PlacesSentence(result) + SwitchSentence(result) + L".";
        for (const PlaceResult& place : result.places) {
            if (place.outcome == PlaceOutcome::NeedsAdministrator ||
                (place.switched && place.switched->Failed() && place.switched->status == kAccessDenied)) {
                text += L" " + wording.run_as_administrator + L" to change it there.";
                break;
            }
        }
        return text;
    }
    switch (result.outcome) {
    case ActionOutcome::NeedsAdministrator:
        return L"not changed: " + (where.empty() ? std::wstring(L"it") : L"its value" + where) +
               L" needs administrator rights. " + wording.run_as_administrator + L" to change this entry.";
    case ActionOutcome::RecordFailed:
        return L"not changed: its MSConfig record could not be written" + code +
               L", so the entry was left in place rather than lost.";
    case ActionOutcome::NameNotRecordable:
        return L"not changed: its name cannot be recorded for MSConfig, so the entry was left in place." +
               remove_instead;
    case ActionOutcome::CommandNotText:
        return L"not changed: its Run value" + where +
               L" holds no command line (its data is not text), so MSConfig could not re-enable it and it was left "
               L"in place." +
               remove_instead;
    case ActionOutcome::EarlierRecordDamaged:
        return L"not changed: an earlier record of this name is there that " + wording.program +
               L" cannot read, so the entry was left in place to keep what that record holds." + remove_instead;
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

namespace {

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
        } else if (place.outcome == EnablePlaceOutcome::SwitchNotOn) {
            why = L"has its command back, but Task Manager's switch there " +
                  (place.status == kAccessDenied ? std::wstring(L"needs administrator rights to be switched on")
                                                 : L"could not be switched on (" + ErrorCode(place.status) + L")");
        } else {
            continue;
        }
        text += text.empty() ? L"" : L"; ";
        text += std::wstring(PlaceLabel(place.place)) + L" " + why;
    }
    return text;
}

} // namespace

std::wstring EnableReason(const EnableResult& result, const std::wstring& problem, const ReasonWording& wording) {
    if (!problem.empty()) {
        return L"not re-enabled: its record cannot be understood (" + problem + L"), so nothing was changed.";
    }
    const std::vector<RunPlace> back =
        PlacesOf(result.places, {EnablePlaceOutcome::Restored, EnablePlaceOutcome::AlreadyThere});
    const bool denied = !PlacesOf(result.places, {EnablePlaceOutcome::NeedsAdministrator}).empty() ||
                        std::any_of(result.places.begin(), result.places.end(), [](const EnablePlaceResult& place) {
                            return place.outcome == EnablePlaceOutcome::SwitchNotOn && place.status == kAccessDenied;
                        });
    std::vector<RunPlace> switched;
    for (const EnablePlaceResult& place : Sorted(result.places)) {
        if (place.switched && place.switched->change == SwitchChange::Written && place.switched->was_off) {
            switched.push_back(place.place);
        }
    }
    const std::wstring switched_on =
        switched.empty() ? std::wstring() : L"; switched on again in Task Manager for " + PlaceList(switched);
    const std::wstring asAdministrator =
        denied ? L" " + wording.run_as_administrator + L" to re-enable it there." : std::wstring();
    if (result.record_denied) {
        return L"not re-enabled: its record needs administrator rights to be deleted, so nothing was changed. " +
               wording.run_as_administrator + L" to re-enable it.";
    }
    switch (result.outcome) {
    case EnableOutcome::Done:
        return L"re-enabled in " + PlaceList(back) + switched_on + L".";
    case EnableOutcome::RecordNotDeleted:
        return L"re-enabled in " + PlaceList(back) + switched_on + L", but its record could not be deleted (" +
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

} // namespace runsweep
