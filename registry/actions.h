#pragma once
// Disable and remove a startup entry in every place it lives: HKCU's Run key and HKLM's Run key in
// each registry view. Both return what happened in each place, so the caller can tell the user the
// truth about every entry instead of assuming success.
#include "registry/registry.h"
#include "registry/startup_approved.h"
#include "registry/startup_record.h"

#include <optional>
#include <string>
#include <vector>

namespace runsweep {

class MessageSink;

enum class ActionOutcome {
    Done,                 // the value is gone from every place that held it (and, for Disable, recorded first)
    AlreadyGone,          // no place held the value any longer: nothing to do, nothing changed
    NeedsAdministrator,   // access denied on a key the action must change (usually HKLM); nothing was removed
    RecordFailed,         // the record could not be written and verified: the value was left in place
    NameNotRecordable,    // the name cannot be a registry key name ('\' or over 255 characters): left in place
    CommandNotText,       // a Run value holds no command line (binary, a number, a list): a record could not keep
                          // it, so the value was left in place
    Failed,               // any other registry failure; nothing was removed
    Partial,              // removed from some places and not from others: `places` says which
    EarlierRecordDamaged, // a record of that name exists that this program cannot read; to keep what it
                          // holds, the entry was left in place
};

// What happened to the value in one place that held it.
enum class PlaceOutcome { Removed, NeedsAdministrator, Failed };

struct PlaceResult {
    PlaceResult() = default;
    PlaceResult(RunPlace place_, PlaceOutcome outcome_, long status_)
        : place(place_), outcome(outcome_), status(status_) {}

    RunPlace place = RunPlace::CurrentUser;
    PlaceOutcome outcome = PlaceOutcome::Removed;
    long status = 0;
    // Disable on a Windows that keeps its startup switch: what switching the place off did.
    std::optional<SwitchWrite> switched;
};

struct ActionResult {
    ActionResult() = default;
    ActionResult(ActionOutcome outcome_, long status_) : outcome(outcome_), status(status_) {}

    ActionOutcome outcome = ActionOutcome::Done;
    long status = 0; // the Win32 status of the call that failed, 0 when none did
    // Disable: every command the entry had is in its record.
    bool recorded = false;
    // Every place that held the value when the deletes began, in the order they were tried.
    std::vector<PlaceResult> places;
    // The place whose value could not be read or is not text, when that stopped the action.
    std::optional<RunPlace> place;

    bool TookEffect() const { return outcome == ActionOutcome::Done || outcome == ActionOutcome::AlreadyGone; }
    // Windows' switch of a place taken out could not be switched off.
    bool SwitchFailed() const;
    // Took effect, switches and all.
    bool Complete() const { return TookEffect() && !SwitchFailed(); }
};

// What a Disable will do, found by reading alone: the window's and runsweepc's real runs carry it
// out, and runsweepc's dry run tells it, so what is foretold is what is done.
struct DisablePlan {
    std::wstring name;
    // An outcome other than Done stops the Disable before any change.
    ActionResult refused;
    std::vector<RecordedPlace> found;  // every place that holds the value, in the order of places
    std::vector<RunPlace> denied;      // of those, the ones this user may not change: left alone
    std::vector<RecordedPlace> taking; // the others: recorded, then taken out
    bool record_allowed = true;        // this user may write the record
    RecordImage earlier;               // the record key's values before, if it has any
    // The record after this Disable, its standard values' place first: every place taken out with
    // its command now, and every other place an earlier record keeps, as it keeps it.
    std::vector<RecordedPlace> record;
    // Windows keeps its startup switch: each place taken out is switched off.
    bool switch_off = false;
    std::vector<StartupSwitch> switches; // then the switch of each place in `taking`, as read

    // What carrying the plan out will report when no call fails unforeseen.
    ActionResult Foreseen() const;
};

// `keeps_switch`: Windows keeps its startup switch (Windows 8 and later).
DisablePlan PlanDisable(Registry& registry, const std::wstring& sValue, bool keeps_switch = false);

// Writes the record and reads it back whole, flushes it, then takes the value out of every place of
// the plan; the record then keeps only the places whose value really went (none: the record is
// as it was before, or gone when there was none). Where Windows keeps its startup switch, each
// place is switched off (03 and the time now) once the record is safe and before its value goes,
// unless it is off already, so that Windows does not start the entry if its program writes the
// value back. Shows "Error on value: ..." through messages when the record key cannot be created.
// `now` dates the record.
ActionResult CarryOutDisable(Registry& registry, const DisablePlan& plan, MessageSink& messages, const RecordTime& now);

// Both of the above; dated with the local time when no time is given.
ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages,
                            const RecordTime& now, bool keeps_switch = false);
ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages,
                            bool keeps_switch = false);

struct RemovePlan {
    std::wstring name;
    ActionResult refused;
    std::vector<RunPlace> present; // the places that hold the value (or could not say), in order
    std::vector<RunPlace> denied;  // of those, the ones this user may not change

    ActionResult Foreseen() const;
};

// Which places hold the entry and which of them this user may change. The empty name is refused
// (Failed, status 87): it would address the Run keys' unnamed default values.
RemovePlan PlanRemove(Registry& registry, const std::wstring& sValue);
// Deletes the entry from every place the plan may change; a place that does not hold the value is
// no failure.
ActionResult CarryOutRemove(Registry& registry, const RemovePlan& plan);
ActionResult RemoveStartup(Registry& registry, const std::wstring& sValue);

// What one Run key holds under a name.
struct RunValue {
    long status = kFileNotFound; // kSuccess: present; kFileNotFound: absent; else unreadable
    std::wstring command;
    unsigned long type = kRegNone;
    // A command line: REG_SZ or REG_EXPAND_SZ. A record keeps text, so data of any other type
    // (binary, a number, a list of texts) would be lost by deleting the value.
    bool IsText() const { return type == kRegSz || type == kRegExpandSz; }
    bool Present() const { return status == kSuccess; }
};
RunValue ReadRunValue(Registry& registry, RunPlace place, const std::wstring& name);

// Whether a record key can bear the name and Re-enable can write it back: not empty, no '\', no
// control character (C0 or DEL), at most 255 characters. Disable leaves any other name in place
// (NameNotRecordable).
bool IsRecordableName(const std::wstring& name);

// Whether this user may change the key: it is opened for writing, which changes nothing. A key that
// does not exist yet is judged by the nearest key above it, where it would be created.
bool MayChange(Registry& registry, Hive hive, std::wstring path, RegView view);

} // namespace runsweep
