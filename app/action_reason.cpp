#include "app/action_reason.h"

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

std::wstring SwitchOnReason(const std::vector<RunPlace>& places, const std::vector<SwitchWrite>& writes,
                            const ReasonWording& wording) {
    std::vector<RunPlace> on;
    std::vector<RunPlace> denied;
    std::vector<std::wstring> parts;
    for (std::size_t i = 0; i < places.size() && i < writes.size(); ++i) {
        if (!writes[i].Failed()) {
            on.push_back(places[i]);
        } else if (writes[i].status == kAccessDenied) {
            denied.push_back(places[i]);
        } else {
            parts.push_back(std::wstring(L"not in ") + PlaceLabel(places[i]) + L", which refused the change (error " +
                            std::to_wstring(writes[i].status) + L")");
        }
    }
    if (!denied.empty()) {
        parts.insert(parts.begin(), L"not in " + PlaceList(denied) +
                                        (denied.size() == 1 ? L", which needs" : L", which need") +
                                        L" administrator rights");
    }
    if (!on.empty()) {
        parts.insert(parts.begin(), L"switched on again in " + PlaceList(on));
    } else if (!parts.empty()) {
        parts.front().replace(0, 3, L"not switched on");
    }
    std::wstring text;
    for (const std::wstring& part : parts) {
        text += (text.empty() ? L"" : L"; ") + part;
    }
    text += L".";
    if (!denied.empty()) {
        text += L" " + wording.run_as_administrator + L" to change it there.";
    }
    return text;
}

namespace {

std::wstring Code(long status) {
    return L"error " + std::to_wstring(status);
}

// Why a step on a file failed, in words where the status says more than its number.
std::wstring Why(long status) {
    switch (status) {
    case kSharingViolation:
        return L"it is in use by a program that is running (" + Code(status) + L")";
    case kAlreadyExists:
    case kFileExists:
        return L"a file of that name is in the way (" + Code(status) + L")";
    default:
        return Code(status);
    }
}

} // namespace

std::wstring FolderReason(const FolderActionRecord& record, bool disable, const ReasonWording& wording) {
    const FolderResult& result = record.result;
    const std::wstring file = record.item.name;
    const std::wstring place = FolderLabel(record.item.folder);
    const std::wstring left = file + L" was left in " + place;
    const std::wstring remove_instead = L" " + wording.remove_instead + L" to take it out without a record.";
    switch (result.outcome) {
    case FolderOutcome::Done: {
        if (!disable) {
            return file +
                   (IsShortcut(KindOfItem(file)) ? L" deleted from " + place
                                                 : L" moved from " + place + L" to the Recycle Bin") +
                   L".";
        }
        std::wstring text = file + L" moved from " + place + L" to " + result.backup + L" and recorded for re-enabling";
        if (record.switched && record.switched->Failed()) {
            text += L"; Windows' switch for it could not be turned off (" + Code(record.switched->status) + L")";
        }
        return text + L".";
    }
    case FolderOutcome::AlreadyGone:
        return std::wstring();
    case FolderOutcome::NeedsAdministrator:
        return file + L" was left in " + place + L", which needs administrator rights" +
               (disable ? L" (and so do its record and %windir%\\pss). " : L". ") + wording.run_as_administrator +
               L" to change it there.";
    case FolderOutcome::NotRecordable:
        return left + L": its path is too long to be recorded for re-enabling." + remove_instead;
    case FolderOutcome::EarlierCopyKept:
        return left + L": a copy disabled earlier is still kept at " + result.backup +
               L" and its record must not be written over. Re-enable that copy first, or choose \"Remove\".";
    case FolderOutcome::RecordFailed:
        return left + L": its record could not be written (" + Code(result.status) + L"), so it was not moved.";
    case FolderOutcome::MoveFailed:
        return left + L": it could not be moved" + (disable ? L" to " + result.backup : std::wstring()) + L" (" +
               Why(result.status) + L")" +
               (result.record_left ? L"; its record stays behind and is cleared when it is re-enabled." : L".");
    case FolderOutcome::NoRecycleBin:
        return left + L": its drive has no Recycle Bin that takes it, and it is never deleted outright.";
    case FolderOutcome::Failed:
    default:
        return left + L" (" + Why(result.status) + L").";
    }
}

std::wstring FolderEnableReason(const FolderActionRecord& record, const ReasonWording& wording) {
    const FolderResult& result = record.result;
    const std::wstring where = ParentFolder(record.item.path);
    switch (result.outcome) {
    case FolderOutcome::Done: {
        std::wstring text = L"back in " + where;
        if (record.switched && record.switched->Failed()) {
            text += L", but Windows' switch for it could not be turned on (" + Code(record.switched->status) +
                    L"), so Windows may still skip it";
        }
        return text + L".";
    }
    case FolderOutcome::AlreadyGone:
        return L"nothing to do: its record is gone.";
    case FolderOutcome::NeedsAdministrator:
        return L"not re-enabled: its record, " + where + L" and %windir%\\pss need administrator rights. " +
               wording.run_as_administrator + L" to re-enable it.";
    case FolderOutcome::NotUnderstood:
        return L"not re-enabled: its record does not say where the file is kept and where it goes back to.";
    case FolderOutcome::Conflict:
        return L"not re-enabled: " + record.item.path + L" is there again, and the disabled copy stays at " +
               result.backup + L". Nothing was changed.";
    case FolderOutcome::FolderMissing:
        return L"not re-enabled: the folder it goes back to, " + where + L", no longer exists. Nothing was changed.";
    case FolderOutcome::BackupMissing:
        return L"not re-enabled: its file is no longer at " + result.backup + L", where its record says it is kept.";
    case FolderOutcome::MoveFailed:
        return L"not re-enabled: it could not be moved back (" + Why(result.status) + L").";
    case FolderOutcome::RecordNotDeleted:
        return L"back in " + where + L", but its record could not be deleted (" + Code(result.status) + L").";
    default:
        return L"not re-enabled (" + Why(result.status) + L").";
    }
}

std::wstring EntryReason(const EntryResult& result, bool disable, const ReasonWording& wording) {
    std::wstring text = ActionReason(result.run, wording);
    for (const FolderActionRecord& file : result.files) {
        const std::wstring sentence = FolderReason(file, disable, wording);
        if (!sentence.empty()) {
            text += (text.empty() ? L"" : L" ") + sentence;
        }
    }
    return text;
}

} // namespace runsweep
