#include "registry/actions.h"

#include "base/message_sink.h"
#include "registry/clock.h"
#include "registry/registry.h"
#include "registry/scan.h"

#include <algorithm>
#include <utility>

namespace runsweep {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;

ActionResult FailureFor(long status, ActionOutcome otherwise) {
    ActionResult result;
    result.outcome = status == kAccessDenied ? ActionOutcome::NeedsAdministrator : otherwise;
    result.status = status;
    return result;
}

// A failure to change a Run key only matters when the key really holds the value: a user without
// rights to HKLM can still remove an entry that lives in HKCU alone.
long UnlessAbsent(Registry& registry, RunPlace place, const std::wstring& name, long status) {
    return ReadRunValue(registry, place, name).status == kFileNotFound ? kSuccess : status;
}

// Deletes the name from one place. kSuccess also when the key or the value does not exist.
long DeleteRunValue(Registry& registry, RunPlace place, const std::wstring& name, bool& deleted) {
    deleted = false;
    RegKey key;
    long status = registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Write, key, PlaceView(place));
    if (status == kFileNotFound) {
        return kSuccess;
    }
    if (status != kSuccess) {
        return UnlessAbsent(registry, place, name, status);
    }
    status = registry.DeleteValue(key, name);
    if (status == kSuccess) {
        deleted = true;
        return kSuccess;
    }
    return status == kFileNotFound ? kSuccess : UnlessAbsent(registry, place, name, status);
}

PlaceResult Denied(RunPlace place) {
    return PlaceResult{place, PlaceOutcome::NeedsAdministrator, kAccessDenied};
}

// The overall outcome of the places tried: done when none failed, partial when some value went.
void Conclude(ActionResult& result) {
    std::size_t removed = 0;
    bool all_denied = true;
    result.status = kSuccess;
    for (const PlaceResult& place : result.places) {
        if (place.outcome == PlaceOutcome::Removed) {
            ++removed;
            continue;
        }
        all_denied = all_denied && place.outcome == PlaceOutcome::NeedsAdministrator;
        if (result.status == kSuccess) {
            result.status = place.status;
        }
    }
    if (result.status == kSuccess) {
        result.outcome = removed > 0 ? ActionOutcome::Done : ActionOutcome::AlreadyGone;
    } else if (removed > 0) {
        result.outcome = ActionOutcome::Partial;
    } else {
        result.outcome = all_denied ? ActionOutcome::NeedsAdministrator : ActionOutcome::Failed;
    }
}

// Every place in `order`; each is tried even when an earlier one fails. A place whose value is no
// longer there is left out of the result.
std::vector<PlaceResult> DeleteFromPlaces(Registry& registry, const std::wstring& name,
                                          const std::vector<RunPlace>& order) {
    std::vector<PlaceResult> places;
    for (const RunPlace place : order) {
        bool deleted = false;
        const long status = DeleteRunValue(registry, place, name, deleted);
        if (deleted) {
            places.push_back(PlaceResult{place, PlaceOutcome::Removed, kSuccess});
        } else if (status != kSuccess) {
            places.push_back(PlaceResult{
                place, status == kAccessDenied ? PlaceOutcome::NeedsAdministrator : PlaceOutcome::Failed, status});
        }
    }
    return places;
}

bool Holds(const std::vector<RecordedPlace>& places, RunPlace place) {
    return std::any_of(places.begin(), places.end(),
                       [place](const RecordedPlace& held) { return held.place == place; });
}

// The record of `places` after some of them left it: the standard values' place stays first when
// it is kept, otherwise the first place kept with a command takes its role.
std::vector<RecordedPlace> Without(const std::vector<RecordedPlace>& places, const std::vector<RunPlace>& gone) {
    std::vector<RecordedPlace> kept;
    for (const RecordedPlace& place : places) {
        if (std::find(gone.begin(), gone.end(), place.place) == gone.end()) {
            kept.push_back(place);
        }
    }
    if (!kept.empty() && (places.empty() || kept.front().place != places.front().place)) {
        const auto with_command =
            std::find_if(kept.begin(), kept.end(), [](const RecordedPlace& place) { return !place.command.empty(); });
        if (with_command != kept.end()) {
            std::rotate(kept.begin(), with_command, with_command + 1);
        }
    }
    return kept;
}

// Makes the changes on the record key, reads the whole record back and flushes it. On failure
// takes the changes back, so the record is as it was. kSuccess or the status that stopped it.
long ChangeRecord(Registry& registry, const RegKey& key, const std::wstring& name,
                  const std::vector<RecordChange>& changes, const std::vector<RecordedPlace>& expected) {
    std::size_t made = 0;
    long status = MakeRecordChanges(registry, key, changes, made);
    if (status == kSuccess && !expected.empty()) {
        // Every record written must read back as exactly the record meant: a reader that disagrees
        // with the writer would show or put back something else.
        RecordImage image;
        status = ReadRecordImage(registry, key, image);
        if (status == kSuccess) {
            const StartupRecord written = ParseStartupRecord(name, image);
            status = written.Understood() && written.places == expected ? kSuccess : kInvalidData;
        }
    }
    if (status == kSuccess) {
        status = registry.FlushKey(key);
    }
    if (status != kSuccess) {
        // What cannot be taken back stays as one of the records the changes passed through.
        UndoRecordChanges(registry, key, changes, made);
        registry.FlushKey(key);
    }
    return status;
}

} // namespace

bool IsRecordableName(const std::wstring& name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(L'\\') == std::wstring::npos &&
           std::none_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
}

bool MayChange(Registry& registry, Hive hive, std::wstring path, RegView view) {
    for (;;) {
        RegKey key;
        const long status = registry.OpenKey(hive, path, KeyAccess::Write, key, view);
        if (status != kFileNotFound) {
            return status != kAccessDenied;
        }
        const std::size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) {
            return true;
        }
        path.resize(cut);
    }
}

RunValue ReadRunValue(Registry& registry, RunPlace place, const std::wstring& name) {
    RunValue value;
    RegKey key;
    value.status = registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place));
    if (value.status != kSuccess) {
        return value;
    }
    RegValue data;
    value.status = registry.ReadValue(key, name, data);
    if (value.status == kSuccess) {
        value.type = data.type;
        value.command = DecodeRegString(data);
    }
    return value;
}

RemovePlan PlanRemove(Registry& registry, const std::wstring& sValue) {
    RemovePlan plan;
    plan.name = sValue;
    if (sValue.empty()) {
        // Would delete the Run keys' unnamed default values, which no catalogue entry names.
        plan.refused = ActionResult{ActionOutcome::Failed, kInvalidParameter};
        return plan;
    }
    for (const RunPlace place : RunPlaces(registry)) {
        if (ReadRunValue(registry, place, sValue).status == kFileNotFound) {
            continue;
        }
        plan.present.push_back(place);
        if (!MayChange(registry, PlaceHive(place), kRunKeyPath, PlaceView(place))) {
            plan.denied.push_back(place);
        }
    }
    return plan;
}

ActionResult RemovePlan::Foreseen() const {
    if (refused.outcome != ActionOutcome::Done) {
        return refused;
    }
    ActionResult result;
    for (const RunPlace place : present) {
        const bool may = std::find(denied.begin(), denied.end(), place) == denied.end();
        result.places.push_back(may ? PlaceResult{place, PlaceOutcome::Removed, kSuccess} : Denied(place));
    }
    Conclude(result);
    return result;
}

ActionResult CarryOutRemove(Registry& registry, const RemovePlan& plan) {
    if (plan.refused.outcome != ActionOutcome::Done) {
        return plan.refused;
    }
    ActionResult result;
    for (const RunPlace place : plan.present) {
        if (std::find(plan.denied.begin(), plan.denied.end(), place) != plan.denied.end()) {
            result.places.push_back(Denied(place));
            continue;
        }
        const std::vector<PlaceResult> done = DeleteFromPlaces(registry, plan.name, {place});
        result.places.insert(result.places.end(), done.begin(), done.end());
    }
    Conclude(result);
    return result;
}

ActionResult RemoveStartup(Registry& registry, const std::wstring& sValue) {
    return CarryOutRemove(registry, PlanRemove(registry, sValue));
}

DisablePlan PlanDisable(Registry& registry, const std::wstring& sValue, bool keeps_switch) {
    DisablePlan plan;
    plan.name = sValue;
    if (!IsRecordableName(sValue)) {
        plan.refused = ActionResult{ActionOutcome::NameNotRecordable, kInvalidParameter};
        return plan;
    }

    // Where the entry lives now. A place that cannot be read might hold a command the record would
    // then miss: nothing is done.
    for (const RunPlace place : RunPlaces(registry)) {
        const RunValue value = ReadRunValue(registry, place, sValue);
        if (value.status == kFileNotFound) {
            continue;
        }
        if (!value.Present()) {
            plan.refused = FailureFor(value.status, ActionOutcome::Failed);
            plan.refused.place = place;
            return plan;
        }
        if (!value.IsText()) {
            plan.refused = ActionResult{ActionOutcome::CommandNotText, kInvalidData};
            plan.refused.place = place;
            return plan;
        }
        plan.found.push_back(RecordedPlace{place, value.command, value.type});
    }
    if (plan.found.empty()) {
        // Nothing to record; an earlier record of the name stays as it is.
        plan.refused = ActionResult{ActionOutcome::AlreadyGone, kSuccess};
        return plan;
    }

    StartupRecord earlier;
    const long status = ReadStartupRecord(registry, sValue, earlier, &plan.earlier);
    if (status != kSuccess && status != kFileNotFound) {
        plan.refused = FailureFor(status, ActionOutcome::RecordFailed);
        return plan;
    }
    if (!earlier.Understood() && earlier.keeps_commands) {
        // A record this program cannot read whole is never changed: what it holds would be lost.
        plan.refused = ActionResult{ActionOutcome::EarlierRecordDamaged, kInvalidData};
        return plan;
    }

    for (const RecordedPlace& place : plan.found) {
        if (MayChange(registry, PlaceHive(place.place), kRunKeyPath, PlaceView(place.place))) {
            plan.taking.push_back(place);
        } else {
            plan.denied.push_back(place.place);
        }
    }
    plan.record_allowed = MayChange(registry, Hive::LocalMachine, StartupRecordPath(sValue), RegView::k64);
    plan.switch_off = keeps_switch;
    if (keeps_switch) {
        for (const RecordedPlace& place : plan.taking) {
            StartupSwitch state;
            ReadStartupSwitch(registry, RunSwitchKey(place.place), sValue, state);
            plan.switches.push_back(state);
        }
    }

    // The standard values keep naming the place an earlier record's name, so that record is only
    // added to and brought up to date; a new record names the first place with a command (HKCU,
    // then HKLM, then HKLM's 32-bit view).
    std::optional<RunPlace> first = earlier.standard_place;
    if (!first) {
        const auto with_command = std::find_if(plan.taking.begin(), plan.taking.end(),
                                               [](const RecordedPlace& place) { return !place.command.empty(); });
        if (with_command != plan.taking.end()) {
            first = with_command->place;
        } else if (!plan.taking.empty()) {
            first = plan.taking.front().place;
        }
    }
    for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        const auto taken = std::find_if(plan.taking.begin(), plan.taking.end(),
                                        [place](const RecordedPlace& held) { return held.place == place; });
        const RecordedPlace* kept = earlier.Find(place);
        if (taken != plan.taking.end()) {
            plan.record.push_back(*taken);
        } else if (kept != nullptr) {
            plan.record.push_back(*kept);
        } else {
            continue;
        }
        if (place == first) {
            std::rotate(plan.record.begin(), plan.record.end() - 1, plan.record.end());
        }
    }
    return plan;
}

ActionResult DisablePlan::Foreseen() const {
    if (refused.outcome != ActionOutcome::Done) {
        return refused;
    }
    ActionResult result;
    if (!record_allowed) {
        return ActionResult{ActionOutcome::NeedsAdministrator, kAccessDenied};
    }
    result.recorded = !taking.empty();
    for (const RecordedPlace& place : found) {
        result.places.push_back(Holds(taking, place.place) ? PlaceResult{place.place, PlaceOutcome::Removed, kSuccess}
                                                           : Denied(place.place));
        for (std::size_t i = 0; switch_off && i < taking.size() && i < switches.size(); ++i) {
            if (taking[i].place == place.place) {
                const SwitchValue value = switches[i].value;
                result.places.back().switched =
                    SwitchWrite{value == SwitchValue::Off            ? SwitchChange::AlreadySo
                                : value == SwitchValue::Unrecognised ? SwitchChange::Unrecognised
                                                                     : SwitchChange::Written,
                                kSuccess};
            }
        }
    }
    Conclude(result);
    return result;
}

ActionResult CarryOutDisable(Registry& registry, const DisablePlan& plan, MessageSink& messages,
                             const RecordTime& now) {
    if (plan.refused.outcome != ActionOutcome::Done) {
        return plan.refused;
    }
    const std::wstring& name = plan.name;
    const auto cannot_create = [&](long status) {
        messages.ShowMessage(L"Error on value: " + name + L". There was an error creating a MSConfig key.",
                             MessageIcon::Error);
        return FailureFor(status, ActionOutcome::RecordFailed);
    };
    if (!plan.record_allowed) {
        return cannot_create(kAccessDenied);
    }
    if (plan.taking.empty()) {
        // Every place needs rights this user lacks: no record for what stays where it is.
        return plan.Foreseen();
    }
    const std::wstring path = StartupRecordPath(name);
    RegKey record;
    long status = registry.CreateKey(Hive::LocalMachine, path, record, RegView::k64);
    if (status != kSuccess) {
        return cannot_create(status);
    }
    const bool had_key = !plan.earlier.values.empty();
    const std::vector<RecordChange> changes = PlanRecordChanges(plan.earlier, name, plan.record, now);
    status = ChangeRecord(registry, record, name, changes, plan.record);
    if (status != kSuccess) {
        if (!had_key) {
            record.reset();
            registry.DeleteKey(Hive::LocalMachine, path, RegView::k64);
        }
        return FailureFor(status, ActionOutcome::RecordFailed);
    }

    // The place the standard values name goes last, so that a kill between the deletes leaves the
    // value they name where the next run finds it.
    std::vector<RunPlace> order;
    for (const RecordedPlace& place : plan.taking) {
        if (place.place != plan.record.front().place) {
            order.push_back(place.place);
        }
    }
    if (Holds(plan.taking, plan.record.front().place)) {
        order.push_back(plan.record.front().place);
    }
    // Windows' switch of each place goes off before its value goes: a kill in between leaves the
    // value where the next Disable finds it and finishes, and a delete refused after it still leaves
    // Windows not starting what the user chose to disable.
    std::vector<std::pair<RunPlace, SwitchWrite>> switched;
    if (plan.switch_off) {
        const FileTime at = FileTimeNow();
        for (const RunPlace place : order) {
            switched.emplace_back(place, SwitchOff(registry, RunSwitchKey(place), name, at));
        }
    }
    ActionResult result;
    result.places = DeleteFromPlaces(registry, name, order);
    result.recorded = true;
    for (PlaceResult& place : result.places) {
        for (const auto& [where, write] : switched) {
            if (where == place.place) {
                place.switched = write;
            }
        }
    }

    // The record keeps only places whose value really went: anything else would show an entry
    // both as starting and as disabled.
    std::vector<RunPlace> stayed;
    for (const PlaceResult& place : result.places) {
        if (place.outcome != PlaceOutcome::Removed) {
            stayed.push_back(place.place);
        }
    }
    if (stayed.size() == plan.taking.size()) {
        // Nothing went: the record is put back as it was, or goes when there was none.
        std::size_t all = changes.size();
        if (!had_key) {
            record.reset();
            status = registry.DeleteKey(Hive::LocalMachine, path, RegView::k64);
        } else {
            status = UndoRecordChanges(registry, record, changes, all);
            if (status == kSuccess) {
                status = registry.FlushKey(record);
            }
        }
        result.recorded = status != kSuccess && status != kFileNotFound;
    } else if (!stayed.empty()) {
        const std::vector<RecordedPlace> kept = Without(plan.record, stayed);
        const std::vector<RecordChange> trim =
            PlanRecordChanges(AppliedChanges(plan.earlier, changes, changes.size()), name, kept, now);
        ChangeRecord(registry, record, name, trim, kept);
    }
    for (const RunPlace place : plan.denied) {
        result.places.push_back(Denied(place));
    }
    Conclude(result);
    return result;
}

ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages, bool keeps_switch) {
    return DisableStartup(registry, sValue, messages, LocalTimeNow(), keeps_switch);
}

bool ActionResult::SwitchFailed() const {
    return std::any_of(places.begin(), places.end(),
                       [](const PlaceResult& place) { return place.switched && place.switched->Failed(); });
}

ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages,
                            const RecordTime& now, bool keeps_switch) {
    return CarryOutDisable(registry, PlanDisable(registry, sValue, keeps_switch), messages, now);
}

} // namespace runsweep
