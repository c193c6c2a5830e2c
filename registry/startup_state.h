#pragma once
// What Windows' own startup switch says of the entries the scan found: the switch of each place
// that holds an entry, the entry's state over all of them, and how a row tells the user.
#include "listbox/list_model.h"
#include "registry/scan.h"
#include "registry/startup_approved.h"

#include <string>
#include <vector>

namespace runsweep {

// On: Windows starts the entry from every place that holds it. Off: from none, as Task Manager
// switched each one off. Mixed: from some.
enum class EntryState { On, Off, Mixed };

// "on", "off" or "mixed", as runsweepc prints them.
const wchar_t* StateWord(EntryState state) noexcept;

// Reads the switch of every place that holds each found entry into its `switches`. Each place's
// switch key is opened at most once, and only when a found entry lives there; each name is asked
// once per place.
void ReadStartupSwitches(Registry& registry, std::vector<FoundStartup>& found);

// On for an entry whose switches were not read (Windows 7 and earlier keep none).
EntryState StateOf(const FoundStartup& entry);

// The latest of the times its places were switched off; 0 when none of them says.
FileTime LatestSwitchOff(const FoundStartup& entry);

// Year-month-day in local time, which reads the same in every country.
std::wstring SwitchDate(FileTime time);

// What a row says of the switch: nothing for an entry that is on; otherwise, for example,
// "Switched off in Task Manager on 2025-06-01." or, when some places are on,
// "Switched off in Task Manager for HKCU on 2025-06-01; still on for HKLM."
std::wstring SwitchSentence(const FoundStartup& entry);

// The row's description: the switch sentence, when there is one, before the catalogue's text.
std::wstring RowDescription(const FoundStartup& entry);

// The box a new row starts with. An entry Windows does not start anyway costs no start-up time:
// "No action", so that nothing is changed unless the user asks. Every other row starts at Disable.
RowBox PresetBox(const FoundStartup& entry);

} // namespace runsweep
