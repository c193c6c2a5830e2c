#pragma once
// Disable and Remove of a whole entry: its values in the Run keys and its files in the Startup
// folders, each place done as it must be (folder_actions.h for the files).
#include "registry/actions.h"
#include "registry/folder_actions.h"
#include "registry/startup_approved.h"

#include <optional>
#include <string>
#include <vector>

namespace runsweep {

class MessageSink;

// What an action did with one of the entry's Startup-folder files.
struct FolderActionRecord {
    FolderItem item;
    FolderResult result;
    // Windows' switch of the file on Windows 8 and later: turned off after it was disabled, on after
    // it came back. Nothing where Windows keeps no switch, or when the file did not move.
    std::optional<SwitchWrite> switched;

    bool TookEffect() const { return result.TookEffect(); }
};

struct EntryResult {
    EntryResult() = default;
    // An action on the Run keys alone.
    EntryResult(ActionResult run_) : run(std::move(run_)) {} // NOLINT: implicit on purpose

    ActionResult run; // the Run keys; AlreadyGone when none holds the name
    std::vector<FolderActionRecord> files;

    bool TookEffect() const;
};

// When Windows keeps its own startup switch (8 and later): the time to date a switch-off with.
// Nothing on a Windows that keeps none.
using SwitchClock = std::optional<FileTime>;

// The entry's files in both Startup folders now, each folder listed once.
std::vector<FolderItem> EntryFiles(FolderFiles& files, const std::wstring& name);

// Disables the entry in every Run key (DisableStartup) and every file of that name in the Startup
// folders (DisableFolderItem), switching each place taken out and each moved file off where Windows
// keeps the switch.
EntryResult DisableEntry(Registry& registry, FolderFiles& files, const std::wstring& name, MessageSink& messages,
                         const RecordTime& now, const SwitchClock& clock);
// Removes the entry from every Run key and every file of that name from the Startup folders.
EntryResult RemoveEntry(Registry& registry, FolderFiles& files, const std::wstring& name);

// Re-enables the Startup-folder item of that record key, read afresh: the file goes back to its
// folder, the record goes, and where Windows keeps the switch (`keeps_switch`) the file's switch
// is turned on, so Task Manager does not keep it from starting.
FolderActionRecord EnableFolderEntry(Registry& registry, FolderFiles& files, const std::wstring& key_name,
                                     bool keeps_switch);
// The folder a record's file goes back to: what the record says, or else the known folder its path
// lies in; nothing when neither tells.
std::optional<StartupFolder> FolderOfRecordPath(FolderFiles& files, const FolderRecord& record);

} // namespace runsweep
