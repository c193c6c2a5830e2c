#pragma once
// The main window's list filled from the scan: one row per entry found, in the scan's order, and
// what a row says of Windows' own startup switch.
#include "listbox/list_model.h"
#include "registry/scan.h"
#include "registry/startup_state.h"

#include <string>

namespace runsweep {

class StartupList;

// With `files`, the Startup folders' entries too.
void ScanStartups(const Catalogue& catalogue, Registry& registry, StartupList& list, FolderFiles* files = nullptr);

// What the window says when some Run keys could not be read, so that an empty or short list is not
// taken for a clean machine: which ones, the error, and what to do about missing rights.
std::wstring UnreadablePlacesMessage(const std::vector<UnreadablePlace>& places);

// What a row says of the switch: nothing for an entry that is on; otherwise, for example,
// "Switched off in Task Manager on 2025-06-01." or, when some places are on,
// "Switched off in Task Manager for HKCU on 2025-06-01; still on for HKLM."
std::wstring SwitchSentence(const FoundStartup& entry);

// Where a row's entry starts from, when that is more than the one Run key the list has always
// meant: "Found in: HKCU and HKLM (32-bit)." or "Found in: Startup folder (all users)."; nothing
// for an entry of one Run key.
std::wstring PlacesSentence(const FoundStartup& entry);

// The row's description: the switch sentence and the places sentence, when there are, before the
// catalogue's text.
std::wstring RowDescription(const FoundStartup& entry);

// The box a new row starts with. An entry Windows does not start anyway costs no start-up time:
// "No action", so that nothing is changed unless the user asks. Every other row starts at Disable.
RowBox PresetBox(const FoundStartup& entry);

} // namespace runsweep
