#pragma once
// Disable and remove a startup entry. Both return what happened, so the caller can tell the user
// the truth about every entry instead of assuming success.
#include <string>

namespace runsweep {

class Registry;
class MessageSink;

enum class ActionOutcome {
    Done,               // the value is gone from every Run key that held it (and, for Disable, recorded first)
    AlreadyGone,        // neither Run key held the value any longer: nothing to do, nothing changed
    NeedsAdministrator, // access denied on a key the action must change (usually HKLM)
    RecordFailed,       // the MSConfig record could not be written and verified: the value was left in place
    NameNotRecordable,  // the name cannot be a registry key name ('\' or over 255 characters): left in place
    CommandNotText,     // a Run value holds no command line (binary, a number, a list): a record could not keep
                        // it, so the value was left in place
    Failed,             // any other registry failure; the value may be left in one or both Run keys
};

struct ActionResult {
    ActionOutcome outcome = ActionOutcome::Done;
    long status = 0; // the Win32 status of the call that failed, 0 when none did

    bool TookEffect() const { return outcome == ActionOutcome::Done || outcome == ActionOutcome::AlreadyGone; }
};

// Records the entry where the System Configuration utility can re-enable it, then deletes it from
// both Run keys. Shows "Error on value: ..." through messages when the record key cannot be created.
ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages);

// Deletes the entry from the per-user and the per-machine Run key. A hive that does not hold the
// value is no failure, even when the user may not change that hive. The empty name is refused
// (Failed, status 87): it would address the Run keys' unnamed default values.
ActionResult RemoveStartup(Registry& registry, const std::wstring& sValue);

} // namespace runsweep
