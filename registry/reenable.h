#pragma once
// Puts a disabled startup entry back: every command its record keeps goes back into the Run key it
// came from, and only once all of them are back is the record deleted. At every moment the entry is
// in its Run keys, in its record, or in both, so a failure or a kill half-way loses nothing, and
// doing it again finishes the job.
#include "registry/registry.h"
#include "registry/startup_approved.h"
#include "registry/startup_record.h"

#include <optional>
#include <string>
#include <vector>

namespace runsweep {

enum class EnableOutcome {
    Done,               // every place holds the command again and the record is deleted
    RecordNotDeleted,   // every place holds the command again, but the record could not be deleted
    NotUnderstood,      // the record says nothing this program can put back: nothing was done
    Conflict,           // a Run key holds a value of that name with other data: nothing was changed
    NeedsAdministrator, // access denied on a key that must change; nothing was put back
    Failed,             // any other registry failure; nothing was put back
    Partial,            // some places are back and others are not: the record keeps the others, `places` says which
    RecordGone,         // no record of that name any longer: nothing to do
};

enum class EnablePlaceOutcome {
    Restored,           // written, read back and flushed
    AlreadyThere,       // the Run key already held the same command of the same type
    Conflict,           // the Run key holds other data under that name
    NeedsAdministrator, // access denied
    Failed,             // any other failure: `status`
    NotTried,           // another place stopped the whole record before this one was changed
    SwitchNotOn,        // the command is back, but Windows' startup switch there could not be switched on
                        // (`status`): the record keeps the place, and the next Re-enable tries again
};

struct EnablePlaceResult {
    EnablePlaceResult() = default;
    EnablePlaceResult(RunPlace place_, EnablePlaceOutcome outcome_, long status_)
        : place(place_), outcome(outcome_), status(status_) {}

    RunPlace place = RunPlace::CurrentUser;
    EnablePlaceOutcome outcome = EnablePlaceOutcome::Restored;
    long status = kSuccess;
    // On a Windows that keeps its startup switch: what switching the place on did (or, foreseen,
    // will do) once its command was back.
    std::optional<SwitchWrite> switched;
};

struct EnableResult {
    EnableOutcome outcome = EnableOutcome::Done;
    long status = kSuccess; // the Win32 status of the call that failed, 0 when none did
    // One per place the entry goes back to, in the record's order.
    std::vector<EnablePlaceResult> places;
    // The record cannot be deleted by this user: nothing was put back, lest the entry show both as
    // starting and as disabled.
    bool record_denied = false;

    bool TookEffect() const { return outcome == EnableOutcome::Done; }
};

// What a Re-enable will do, found by reading alone: every place's Run key as it is now and what
// this user may change. The real run carries it out; runsweepc's dry run tells it.
struct EnablePlan {
    StartupRecord record;
    // An outcome other than Done stops the Re-enable before any change.
    EnableResult refused;
    // One per place of the record, in its order: NotTried for a place to write, AlreadyThere,
    // Conflict, NeedsAdministrator or Failed for one that will not be written.
    std::vector<EnablePlaceResult> places;
    // Windows keeps its startup switch: each place is switched on once its command is back.
    bool switch_on = false;

    // What carrying the plan out will report when no call fails unforeseen.
    EnableResult Foreseen() const;
};

// `keeps_switch`: Windows keeps its startup switch (Windows 8 and later).
EnablePlan PlanEnable(Registry& registry, const StartupRecord& record, bool keeps_switch = false);
// Puts back every place the plan writes, each read back and flushed, and where Windows keeps its
// startup switch switches each place on (02 and zeros) once its command is there; then deletes the
// record when every place is back and on, or keeps in it only the places that are not.
EnableResult CarryOutEnable(Registry& registry, const EnablePlan& plan);

// Re-enables the entry `record` describes (as ReadStartupRecord or ListStartupRecords read it).
EnableResult EnableStartup(Registry& registry, const StartupRecord& record, bool keeps_switch = false);
// Reads the record of that name afresh and re-enables it; RecordGone when there is none.
EnableResult EnableStartup(Registry& registry, const std::wstring& key_name, bool keeps_switch = false);

} // namespace runsweep
