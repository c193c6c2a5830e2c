#pragma once
// What an action did to one entry, in a sentence for the user: what was done in each place that
// held the value, or why nothing was changed. The window's closing message and the console program
// both say it; only the advice on what to do next names the program the user is in.
#include "registry/actions.h"
#include "registry/entry_actions.h"
#include "registry/reenable.h"
#include "registry/startup_approved.h"

#include <string>
#include <vector>

namespace runsweep {

struct ReasonWording {
    // Begins the advice for a place that needs administrator rights, e.g. "Close Runsweep and run
    // it as administrator"; " to change it there." or " to change this entry." follows.
    std::wstring run_as_administrator;
    // Begins the advice for an entry a record cannot keep, e.g. "Choose \"Remove\""; " to take it
    // out without a record." follows.
    std::wstring remove_instead;
    // The program as the user knows it, for "an earlier record ... that <program> cannot read".
    std::wstring program;
};

// The window's wording.
ReasonWording WindowReasonWording();

// "HKCU", "HKCU and HKLM", "HKCU, HKLM and HKLM (32-bit)".
std::wstring PlaceList(const std::vector<RunPlace>& places);

// For an action whose deletes began, what happened in each place ("recorded for re-enabling;
// removed from HKCU; not removed from HKLM, which needs administrator rights. ..."); otherwise why
// the entry was not changed ("not changed: ..."). Empty for an action that took effect without
// touching any place.
std::wstring ActionReason(const ActionResult& result, const ReasonWording& wording);

// What re-enabling one record did: "re-enabled in HKCU and HKLM.", or why not ("not re-enabled:
// ..."). `problem` is why the record was not understood, when it was not; nothing was tried then.
std::wstring EnableReason(const EnableResult& result, const std::wstring& problem, const ReasonWording& wording);

// What switching on did, place by place (`writes` in the order of `places`): "switched on again in
// HKCU." or, for example, "switched on again in HKCU; not in HKLM, which needs administrator
// rights. Close Runsweep and run it as administrator to change it there."
std::wstring SwitchOnReason(const std::vector<RunPlace>& places, const std::vector<SwitchWrite>& writes,
                            const ReasonWording& wording);

// What happened to one file ("Adobe Gamma Loader.lnk moved from Startup folder (all users) to
// C:\Windows\pss\Adobe Gamma Loader.lnk.CommonStartup and recorded for re-enabling."), or why it
// was left; `disable` tells Disable from Remove.
std::wstring FolderReason(const FolderActionRecord& record, bool disable, const ReasonWording& wording);

// What re-enabling did: "back in Startup folder (all users)." or why not.
std::wstring FolderEnableReason(const FolderActionRecord& record, const ReasonWording& wording);

// The Run keys' sentence (ActionReason) and each file's, one after the other.
std::wstring EntryReason(const EntryResult& result, bool disable, const ReasonWording& wording);

} // namespace runsweep
