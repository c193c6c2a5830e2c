#pragma once
// What Windows' own startup switch says of the entries the scan found: the switch of each place
// that holds an entry, the entry's state over all of them, and the disabled entries of every kind.
#include "registry/folder_record.h"
#include "registry/scan.h"
#include "registry/startup_approved.h"
#include "registry/startup_record.h"

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

// An entry that Windows' switch keeps from starting although its Run value is there: what Task
// Manager's own "Disable" leaves behind.
struct SwitchedOff {
    std::wstring name;            // as the first place's Run key spells it
    std::vector<RunPlace> places; // switched off there with the Run value present, in RunPlaces order
    FileTime since = 0;           // the latest time one of them was switched off; 0 when none says
    std::wstring command;         // the first place's command line, for showing
};

// Every switched-off entry of the Run keys, in the order of the first switch key that holds it.
// Each switch key and each Run key is opened once. A switch key or Run key that cannot be read
// gives its status, and what the others hold is still listed.
long ListSwitchedOff(Registry& registry, std::vector<SwitchedOff>& entries);

// Switches the entry on in each of its places, and changes nothing else: the Run values are there
// already. One result per place, in its order.
std::vector<SwitchWrite> SwitchOnEverywhere(Registry& registry, const SwitchedOff& entry);

// The disabled entries, as the Disabled items window and runsweepc list them: every record, the
// Startup-folder items' records, then the entries only switched off in Task Manager.
struct DisabledItems {
    std::vector<StartupRecord> records;
    // Startup-folder items kept in %windir%\pss, by Runsweep or the System Configuration utility.
    std::vector<FolderRecord> folder_records;
    // Entries only switched off in Task Manager: their Run value is there and Windows' switch keeps
    // it from starting. A place a record of the name puts back is the record's alone.
    std::vector<SwitchedOff> switched_off;
    // Windows keeps its startup switch: re-enabling a record switches each place on too.
    bool keeps_switch = false;

    std::size_t size() const { return records.size() + folder_records.size() + switched_off.size(); }
};

// Reads the records of both kinds, and on a Windows that keeps the switch the entries switched off
// there. Returns the records' status (the switched-off entries are listed as far as they can be read).
long ReadDisabledItems(Registry& registry, bool keeps_switch, DisabledItems& items);

// Whether every place's switch now lets Windows start the entry.
bool AllSwitchedOn(const std::vector<SwitchWrite>& writes);

} // namespace runsweep
