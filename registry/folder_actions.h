#pragma once
// Disable, Remove and Re-enable of one Startup-folder item: a file that Windows starts at log-on
// because it lies in the user's or in all users' Startup folder.
//
// Disable keeps the file where the System Configuration utility kept it: the record first
// (folder_record.h: written, read back, flushed), then one rename of the file into %windir%\pss,
// checked. Re-enable renames it back and only then deletes the record. So whenever the process
// ends, the file is in its folder or at the backup place its record names; never neither, and
// never moved without a record that names it.
#include "registry/folder_files.h"
#include "registry/folder_record.h"
#include "registry/registry.h"
#include "registry/startup_record.h"

#include <string>
#include <vector>

namespace runsweep {

// What one folder held when it was listed.
struct FolderListing {
    StartupFolder folder = StartupFolder::User;
    std::wstring path;               // the folder's path (empty when it could not be asked)
    long status = kSuccess;          // kSuccess, or why it could not be listed
    std::vector<std::wstring> names; // its items (desktop.ini left out), in listing order
};

// Both folders, each asked for its path and listed once. A folder that does not exist holds
// nothing (kSuccess); one that cannot be listed holds nothing and says why.
std::vector<FolderListing> ListStartupFolders(FolderFiles& files);

// The items of the listings whose name without extension is `name`, letters compared as Windows
// compares names; in folder order, then listing order.
std::vector<FolderItem> ItemsNamed(const std::vector<FolderListing>& listings, const std::wstring& name);

enum class FolderOutcome {
    Done,               // Disable: recorded and moved; Remove: taken out; Re-enable: back and record deleted
    AlreadyGone,        // the file is no longer there: nothing to do, nothing changed
    NeedsAdministrator, // access denied on a step; nothing was changed
    NotRecordable,      // its path is too long to name a record key: left in place
    EarlierCopyKept,    // a record of this path names a file kept from an earlier Disable: left in place
    RecordFailed,       // the record could not be written and verified: the file was left in place
    MoveFailed,         // the file could not be moved (in use, ...): left in place, the record taken back
    NoRecycleBin,       // Remove: the file could only have been deleted outright: left in place
    Failed,             // any other failure; nothing was changed
    // Re-enable only:
    NotUnderstood,    // the record says nothing this program can put back: nothing was done
    Conflict,         // a file is at the record's path already: nothing was changed
    FolderMissing,    // the folder the file goes back to does not exist: nothing was changed
    BackupMissing,    // the file is at neither place: the record was kept as it is
    RecordNotDeleted, // the file is back, but its record could not be deleted
};

struct FolderResult {
    FolderOutcome outcome = FolderOutcome::Done;
    long status = kSuccess; // the Win32 status of the call that failed, 0 when none did
    std::wstring backup;    // Disable: where the file was, or would have been, moved
    // Disable: the record was written but could not be taken back after the move failed. It names
    // a backup that does not exist, which Re-enable recognises as already done.
    bool record_left = false;

    bool TookEffect() const { return outcome == FolderOutcome::Done || outcome == FolderOutcome::AlreadyGone; }
};

// The free name under the backup folder for the item: "<name><extension>", or when that is taken
// "<name> (2)<extension>" and so on; kSuccess, kAlreadyExists when the first hundred are all taken,
// or the status of the check that failed.
long ChooseBackupPath(FolderFiles& files, const std::wstring& backup_folder, const FolderItem& item,
                      std::wstring& backup);

FolderResult DisableFolderItem(Registry& registry, FolderFiles& files, const FolderItem& item, const RecordTime& now);

// A shortcut (.lnk, .url, .pif) is deleted; any other file goes to the Recycle Bin, never deleted
// outright.
FolderResult RemoveFolderItem(FolderFiles& files, const FolderItem& item);

// Moves the file back to the record's path and then deletes the record. A record whose file is in
// its folder already, with no file at its backup place, is what a Re-enable cut short leaves: its
// record is deleted and that counts as done.
FolderResult EnableFolderRecord(Registry& registry, FolderFiles& files, const FolderRecord& record);

} // namespace runsweep
