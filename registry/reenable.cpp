#include "registry/reenable.h"

#include "registry/actions.h"
#include "registry/scan.h"

#include <algorithm>
#include <cstddef>

namespace runsweep {

namespace {

EnablePlaceOutcome PlaceFailure(long status) {
    return status == kAccessDenied ? EnablePlaceOutcome::NeedsAdministrator : EnablePlaceOutcome::Failed;
}

// The value's data as Disable found it: the text and its terminating NUL.
std::vector<unsigned char> CommandBytes(const std::wstring& command) {
    std::vector<unsigned char> bytes = Utf16Bytes(command);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Writes the command into the place's Run key (made if it is missing), reads it back and flushes
// it, so that the record is deleted only after the command is on disk.
long WriteRunValue(Registry& registry, const std::wstring& name, const RecordedPlace& place) {
    RegKey key;
    long status = registry.CreateKey(PlaceHive(place.place), kRunKeyPath, key, PlaceView(place.place));
    if (status != kSuccess) {
        return status;
    }
    const std::vector<unsigned char> bytes = CommandBytes(place.command);
    status = registry.SetValue(key, name, place.type, bytes);
    if (status != kSuccess) {
        return status;
    }
    RegValue stored;
    status = registry.ReadValue(key, name, stored);
    if (status != kSuccess) {
        return status;
    }
    if (stored.type != place.type || stored.data != bytes) {
        return kInvalidData;
    }
    return registry.FlushKey(key);
}

bool IsBack(const EnablePlaceResult& place) {
    return place.outcome == EnablePlaceOutcome::Restored || place.outcome == EnablePlaceOutcome::AlreadyThere;
}

// Done when every place is back; otherwise partly back or not at all, with the first failure's
// status.
void Conclude(EnableResult& result) {
    bool any_back = false;
    bool all_denied = true;
    result.status = kSuccess;
    for (const EnablePlaceResult& place : result.places) {
        if (IsBack(place)) {
            any_back = true;
            continue;
        }
        all_denied =
            all_denied && (place.outcome == EnablePlaceOutcome::NeedsAdministrator ||
                           (place.outcome == EnablePlaceOutcome::SwitchNotOn && place.status == kAccessDenied));
        if (result.status == kSuccess) {
            result.status = place.status;
        }
    }
    if (result.status == kSuccess) {
        result.outcome = EnableOutcome::Done;
    } else if (any_back) {
        result.outcome = EnableOutcome::Partial;
    } else {
        result.outcome = all_denied ? EnableOutcome::NeedsAdministrator : EnableOutcome::Failed;
    }
}

// Keeps in the record only the places that are not back, so that none shows both as starting and
// as disabled. The record is read again first: if it is no longer the one the plan read, it is
// left alone (every place it keeps still comes back with the next Re-enable or shows a conflict).
void KeepOnlyThoseNotBack(Registry& registry, const StartupRecord& planned, const std::vector<RunPlace>& back) {
    RegKey key;
    if (registry.OpenKey(Hive::LocalMachine, StartupRecordPath(planned.key_name), KeyAccess::Write, key) != kSuccess) {
        return;
    }
    RecordImage image;
    if (ReadRecordImage(registry, key, image) != kSuccess) {
        return;
    }
    const StartupRecord now = ParseStartupRecord(planned.key_name, image);
    if (!now.Understood() || now.places != planned.places) {
        return;
    }
    std::vector<RecordedPlace> rest;
    for (const RecordedPlace& place : now.places) {
        if (std::find(back.begin(), back.end(), place.place) == back.end()) {
            rest.push_back(place);
        }
    }
    if (rest.empty() || rest.size() == now.places.size()) {
        return;
    }
    if (rest.front().place != now.places.front().place) {
        const auto with_command =
            std::find_if(rest.begin(), rest.end(), [](const RecordedPlace& place) { return !place.command.empty(); });
        if (with_command != rest.end()) {
            std::rotate(rest.begin(), with_command, with_command + 1);
        }
    }
    const std::vector<RecordChange> changes = PlanRecordChanges(image, planned.key_name, rest, now.disabled_at);
    std::size_t made = 0;
    long status = MakeRecordChanges(registry, key, changes, made);
    if (status == kSuccess) {
        RecordImage written;
        status = ReadRecordImage(registry, key, written);
        if (status == kSuccess && ParseStartupRecord(planned.key_name, written).places != rest) {
            status = kInvalidData;
        }
    }
    if (status != kSuccess) {
        UndoRecordChanges(registry, key, changes, made);
    }
    registry.FlushKey(key);
}

} // namespace

EnablePlan PlanEnable(Registry& registry, const StartupRecord& record, bool keeps_switch) {
    EnablePlan plan;
    plan.record = record;
    plan.switch_on = keeps_switch;
    const std::wstring& name = record.key_name;
    if (!record.Understood() || record.places.empty()) {
        plan.refused.outcome = EnableOutcome::NotUnderstood;
        plan.refused.status = kInvalidData;
        return plan;
    }
    if (!IsRecordableName(name)) {
        // The empty name would address the Run keys' default values and the record root itself; a
        // name with control characters is no entry a program wrote.
        plan.refused.outcome = EnableOutcome::NotUnderstood;
        plan.refused.status = kInvalidParameter;
        return plan;
    }
    // Nothing is written when a place holds other data under the name, or cannot be read: a value of
    // that name with other data belongs to somebody, and a record half put back would leave the
    // user guessing which half.
    long unreadable = kSuccess;
    bool conflict = false;
    for (const RecordedPlace& place : record.places) {
        const RunValue now = ReadRunValue(registry, place.place, name);
        EnablePlaceResult entry{place.place, EnablePlaceOutcome::NotTried, kSuccess};
        if (now.Present()) {
            const bool same = now.type == place.type && now.command == place.command;
            entry.outcome = same ? EnablePlaceOutcome::AlreadyThere : EnablePlaceOutcome::Conflict;
            conflict = conflict || !same;
        } else if (now.status != kFileNotFound) {
            entry.outcome = PlaceFailure(now.status);
            entry.status = now.status;
            unreadable = unreadable == kSuccess ? now.status : unreadable;
        } else if (!MayChange(registry, PlaceHive(place.place), kRunKeyPath, PlaceView(place.place))) {
            entry.outcome = EnablePlaceOutcome::NeedsAdministrator;
            entry.status = kAccessDenied;
        }
        if (keeps_switch) {
            StartupSwitch state;
            ReadStartupSwitch(registry, RunSwitchKey(place.place), name, state);
            // What switching on will do, for the dry run: a switch that says on already stays, and a
            // missing one is written on without changing what Windows does.
            entry.switched = SwitchWrite{state.value == SwitchValue::On             ? SwitchChange::AlreadySo
                                         : state.value == SwitchValue::Unrecognised ? SwitchChange::Unrecognised
                                                                                    : SwitchChange::Written,
                                         kSuccess, state.Off()};
        }
        plan.places.push_back(entry);
    }
    if (conflict || unreadable != kSuccess) {
        // AlreadyThere places were back before; nothing is changed.
        plan.refused.places = plan.places;
        for (EnablePlaceResult& entry : plan.refused.places) {
            entry.switched.reset();
        }
        plan.refused.outcome = conflict                      ? EnableOutcome::Conflict
                               : unreadable == kAccessDenied ? EnableOutcome::NeedsAdministrator
                                                             : EnableOutcome::Failed;
        plan.refused.status = unreadable;
        return plan;
    }
    if (!MayChange(registry, Hive::LocalMachine, StartupRecordPath(name), RegView::k64)) {
        plan.refused.outcome = EnableOutcome::NeedsAdministrator;
        plan.refused.status = kAccessDenied;
        plan.refused.record_denied = true;
        return plan;
    }
    return plan;
}

EnableResult EnablePlan::Foreseen() const {
    if (refused.outcome != EnableOutcome::Done) {
        return refused;
    }
    EnableResult result;
    result.places = places;
    for (EnablePlaceResult& place : result.places) {
        if (place.outcome == EnablePlaceOutcome::NotTried) {
            place.outcome = EnablePlaceOutcome::Restored;
        }
    }
    Conclude(result);
    return result;
}

EnableResult CarryOutEnable(Registry& registry, const EnablePlan& plan) {
    if (plan.refused.outcome != EnableOutcome::Done) {
        return plan.refused;
    }
    const std::wstring& name = plan.record.key_name;
    EnableResult result;
    result.places = plan.places;
    std::vector<RunPlace> back;
    for (std::size_t i = 0; i < result.places.size(); ++i) {
        EnablePlaceResult& entry = result.places[i];
        if (entry.outcome == EnablePlaceOutcome::NotTried) {
            const long status = WriteRunValue(registry, name, plan.record.places[i]);
            entry.outcome = status == kSuccess ? EnablePlaceOutcome::Restored : PlaceFailure(status);
            entry.status = status;
        }
        entry.switched.reset();
        if (plan.switch_on && IsBack(entry)) {
            // After the command is back and before the record goes: a kill in between leaves the
            // record, and the next Re-enable finds the command there and switches it on.
            entry.switched = SwitchOn(registry, RunSwitchKey(entry.place), name);
            if (entry.switched->Failed()) {
                entry.outcome = EnablePlaceOutcome::SwitchNotOn;
                entry.status = entry.switched->status;
            }
        }
        if (IsBack(entry)) {
            back.push_back(entry.place);
        }
    }
    Conclude(result);
    if (result.outcome == EnableOutcome::Partial) {
        KeepOnlyThoseNotBack(registry, plan.record, back);
        return result;
    }
    if (result.outcome != EnableOutcome::Done) {
        return result;
    }
    const long status = registry.DeleteKey(Hive::LocalMachine, StartupRecordPath(name), RegView::k64);
    if (status != kSuccess && status != kFileNotFound) {
        result.outcome = EnableOutcome::RecordNotDeleted;
        result.status = status;
    }
    return result;
}

EnableResult EnableStartup(Registry& registry, const StartupRecord& record, bool keeps_switch) {
    return CarryOutEnable(registry, PlanEnable(registry, record, keeps_switch));
}

EnableResult EnableStartup(Registry& registry, const std::wstring& key_name, bool keeps_switch) {
    StartupRecord record;
    const long status = ReadStartupRecord(registry, key_name, record);
    if (status == kSuccess) {
        return EnableStartup(registry, record, keeps_switch);
    }
    EnableResult result;
    result.status = status;
    result.outcome = status == kFileNotFound   ? EnableOutcome::RecordGone
                     : status == kAccessDenied ? EnableOutcome::NeedsAdministrator
                                               : EnableOutcome::Failed;
    return result;
}

} // namespace runsweep
