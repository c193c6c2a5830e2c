#pragma once
// The "Disabled items" window's rules, apart from any window: what each record's row says, the
// boxes the rows offer, carrying out the choices and the one message that says what came of them.
#include "app/continue_choices.h"
#include "listbox/list_model.h"
#include "registry/entry_actions.h"
#include "registry/folder_record.h"
#include "registry/reenable.h"
#include "registry/startup_record.h"
#include "registry/startup_state.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {

inline constexpr const wchar_t* kDisabledItemsCaption = L"Disabled items";
inline constexpr const wchar_t* kDisabledItemsHeader =
    L"These startup entries were disabled by Runsweep, the System Configuration utility or Task Manager. Check "
    L"\"Re-enable\" "
    L"for each one that should start with Windows again, then press \"Re-enable chosen\".";
inline constexpr const wchar_t* kNoDisabledItems = L"No disabled items found!";
inline constexpr const wchar_t* kReenableButton = L"Re-enable chosen";
inline constexpr const wchar_t* kCloseButton = L"Close";

// What GetChoice reports for the two boxes.
namespace ReenableAction {
inline constexpr const wchar_t* kEnable = L"enable";
inline constexpr const wchar_t* kKeep = L"keep";
} // namespace ReenableAction

// "Re-enable" and "Keep disabled", the latter checked on every new row and winning when both are.
ListChoices ReenableChoices();

// A row's two texts: the name ("item", or the key's name when it has none; both when they differ,
// since the value comes back under the key's name), and where the entry goes back to, the date it
// was disabled and its command; or, for a record not understood, why it cannot be re-enabled.
std::wstring RecordTitle(const StartupRecord& record);
std::wstring RecordDescription(const StartupRecord& record);

// A Startup-folder item's row: its file's name, and the folder it goes back to, the date it was
// disabled and its command; or why it cannot be re-enabled.
std::wstring FolderRecordTitle(const FolderRecord& record);
std::wstring FolderRecordDescription(const FolderRecord& record);

// The row of an entry switched off in Task Manager: its name, and the places, the date and its
// command ("Switched off in Task Manager for HKCU on 2025-06-01: C:\qt.exe").
std::wstring SwitchedOffDescription(const SwitchedOff& entry);

// One row whose choice was "enable", and what came of it.
struct EnableRecord {
    int row = 0;
    std::wstring name; // the Run value it comes back as: the record key's name
    std::wstring title;
    std::wstring problem; // the record was not understood: nothing was tried
    EnableResult result;
    // A row of an entry only switched off: its places and what switching each on did.
    bool switch_only = false;
    std::vector<RunPlace> switch_places;
    std::vector<SwitchWrite> switched;
    // A Startup-folder item's row: what moving its file back did.
    std::optional<FolderActionRecord> file;

    bool TookEffect() const;
};

using EnableFn = std::function<EnableResult(const StartupRecord& record)>;
using SwitchOnFn = std::function<std::vector<SwitchWrite>(const SwitchedOff& entry)>;
using FolderEnableFn = std::function<FolderActionRecord(const FolderRecord& record)>;

// Walks the rows once; row i stands for records[i]. A row chosen "enable" whose record is not
// understood is reported, and `enable` is never called for it.
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           const EnableFn& enable);
// The same through the registry, each record read again just before it is put back.
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const std::vector<StartupRecord>& records,
                                           Registry& registry);
// Both kinds of row, the records' first and then the entries only switched off, in the order of
// `items`: a record's through `enable`, an entry only switched off through `switch_on`.
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, const EnableFn& enable,
                                           const SwitchOnFn& switch_on);
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, Registry& registry);
// Every kind of row, a folder item's through `enable_file`.
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, const EnableFn& enable,
                                           const FolderEnableFn& enable_file, const SwitchOnFn& switch_on);
// The same through the registry and the files; each folder item's switch turned on where Windows
// keeps one.
std::vector<EnableRecord> CarryOutReenable(const StartupList& list, const DisabledItems& items, Registry& registry,
                                           FolderFiles& files, bool keeps_switch);

// The Run values that came back in at least one place, or were there already: the main list shows
// them again, and must not offer to switch them off at once.
std::vector<std::wstring> ReenabledNames(const std::vector<EnableRecord>& results);

// Every outcome, one paragraph per entry: the information icon when each one came back, the error
// icon otherwise.
ClosingMessage ComposeReenableMessage(const std::vector<EnableRecord>& results);

} // namespace runsweep
