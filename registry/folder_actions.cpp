#include "registry/folder_actions.h"

#include "registry/name_case.h"

namespace runsweep {

namespace {

constexpr int kBackupNamesTried = 100;

FolderResult Failure(long status, FolderOutcome otherwise) {
    FolderResult result;
    result.outcome = status == kAccessDenied ? FolderOutcome::NeedsAdministrator : otherwise;
    result.status = status;
    return result;
}

// After a rename the system reported done: kInvalidData when the file is seen still at `gone` or
// not at `there` (a rename the storage dropped), kSuccess otherwise. A look that fails tells
// nothing, and the system's word stands.
long CheckMoved(FolderFiles& files, const std::wstring& gone, const std::wstring& there) {
    if (files.Exists(gone) == kSuccess || files.Exists(there) == kFileNotFound) {
        return kInvalidData;
    }
    return kSuccess;
}

} // namespace

std::vector<FolderListing> ListStartupFolders(FolderFiles& files) {
    std::vector<FolderListing> listings;
    for (const StartupFolder folder : kStartupFolders) {
        FolderListing listing;
        listing.folder = folder;
        listing.status = files.KnownFolderPath(folder, listing.path);
        if (listing.status == kSuccess) {
            std::vector<std::wstring> names;
            listing.status = files.List(listing.path, names);
            if (listing.status == kFileNotFound || listing.status == kPathNotFound) {
                listing.status = kSuccess; // no folder, no items
            }
            for (std::wstring& name : names) {
                if (IsStartupItemName(name)) {
                    listing.names.push_back(std::move(name));
                }
            }
        }
        listings.push_back(std::move(listing));
    }
    return listings;
}

std::vector<FolderItem> ItemsNamed(const std::vector<FolderListing>& listings, const std::wstring& name) {
    std::vector<FolderItem> items;
    if (name.empty()) {
        return items;
    }
    for (const FolderListing& listing : listings) {
        for (const std::wstring& file : listing.names) {
            if (RegistryNamesEqual(FileStem(file), name)) {
                items.push_back(FolderItem{listing.folder, JoinPath(listing.path, file), file});
            }
        }
    }
    return items;
}

long ChooseBackupPath(FolderFiles& files, const std::wstring& backup_folder, const FolderItem& item,
                      std::wstring& backup) {
    const std::wstring extension = BackupExtension(item.folder);
    for (int n = 1; n <= kBackupNamesTried; ++n) {
        backup = JoinPath(backup_folder, item.name + (n == 1 ? L"" : L" (" + std::to_wstring(n) + L")") + extension);
        const long status = files.Exists(backup);
        if (status == kFileNotFound) {
            return kSuccess;
        }
        if (status != kSuccess) {
            return status;
        }
    }
    return kAlreadyExists;
}

FolderResult DisableFolderItem(Registry& registry, FolderFiles& files, const FolderItem& item, const RecordTime& now) {
    FolderRecord record;
    record.key_name = FolderRecordKeyName(item.path);
    if (!IsFolderRecordKeyName(record.key_name)) {
        return FolderResult{FolderOutcome::NotRecordable, kInvalidParameter, {}, false};
    }
    if (const long there = files.Exists(item.path); there != kSuccess) {
        return there == kFileNotFound ? FolderResult{FolderOutcome::AlreadyGone, kSuccess, {}, false}
                                      : Failure(there, FolderOutcome::Failed);
    }

    // A record of the same path may keep an earlier copy of the file (the program put its shortcut
    // back after an earlier Disable). Writing over it would leave that copy named by nothing.
    FolderRecord earlier;
    const long read = ReadFolderRecord(registry, record.key_name, earlier);
    if (read != kSuccess && read != kFileNotFound) {
        return Failure(read, FolderOutcome::RecordFailed);
    }
    if (read == kSuccess && !earlier.backup.empty()) {
        const long kept = files.Exists(earlier.backup);
        if (kept == kSuccess) {
            return FolderResult{FolderOutcome::EarlierCopyKept, kAlreadyExists, earlier.backup, false};
        }
        if (kept != kFileNotFound) {
            return Failure(kept, FolderOutcome::Failed);
        }
    }

    std::wstring backup_folder;
    long status = files.BackupFolderPath(backup_folder);
    if (status == kSuccess) {
        status = files.MakeFolder(backup_folder);
    }
    if (status != kSuccess) {
        return Failure(status, FolderOutcome::MoveFailed);
    }
    FolderResult result;
    status = ChooseBackupPath(files, backup_folder, item, result.backup);
    if (status != kSuccess) {
        FolderResult failed = Failure(status, FolderOutcome::Failed);
        failed.backup = result.backup;
        return failed;
    }

    record.path = item.path;
    record.location = ParentFolder(item.path);
    record.item = FileStem(item.name);
    // The command only describes the item; an unreadable shortcut is recorded by its own path.
    ItemCommand(files, item.path, record.command);
    record.backup = result.backup;
    record.backup_extension = BackupExtension(item.folder);
    EarlierFolderRecord earlier_values;
    status = WriteFolderRecord(registry, record, now, &earlier_values);
    if (status != kSuccess) {
        FolderResult failed = Failure(status, FolderOutcome::RecordFailed);
        failed.backup = result.backup;
        return failed;
    }

    status = files.Move(item.path, result.backup);
    if (status == kSuccess) {
        status = CheckMoved(files, item.path, result.backup);
    }
    if (status != kSuccess) {
        // The file stayed where it was (a rename is all or nothing): its record must not claim
        // otherwise. If it cannot be taken back it names a backup that does not exist, which
        // Re-enable and the next Disable both recognise.
        FolderResult failed = Failure(status, FolderOutcome::MoveFailed);
        failed.backup = result.backup;
        if (files.Exists(item.path) == kSuccess) {
            failed.record_left = RestoreFolderRecord(registry, record.key_name, earlier_values) != kSuccess;
        }
        return failed;
    }
    return result;
}

FolderResult RemoveFolderItem(FolderFiles& files, const FolderItem& item) {
    if (const long there = files.Exists(item.path); there != kSuccess) {
        return there == kFileNotFound ? FolderResult{FolderOutcome::AlreadyGone, kSuccess, {}, false}
                                      : Failure(there, FolderOutcome::Failed);
    }
    const bool shortcut = IsShortcut(KindOfItem(item.name));
    long status = shortcut ? files.Delete(item.path) : files.Recycle(item.path);
    if (status == kSuccess) {
        // A delete the system reported but did not carry out is no removal.
        const long left = files.Exists(item.path);
        status = left == kFileNotFound ? kSuccess : left == kSuccess ? kInvalidData : left;
    }
    if (status == kNotSupported && !shortcut) {
        return FolderResult{FolderOutcome::NoRecycleBin, status, {}, false};
    }
    return status == kSuccess ? FolderResult{} : Failure(status, FolderOutcome::Failed);
}

FolderResult EnableFolderRecord(Registry& registry, FolderFiles& files, const FolderRecord& record) {
    if (!record.Understood()) {
        return FolderResult{FolderOutcome::NotUnderstood, kInvalidData, {}, false};
    }
    const long at_path = files.Exists(record.path);
    if (at_path != kSuccess && at_path != kFileNotFound) {
        return Failure(at_path, FolderOutcome::Failed);
    }
    const long at_backup = files.Exists(record.backup);
    if (at_backup != kSuccess && at_backup != kFileNotFound) {
        return Failure(at_backup, FolderOutcome::Failed);
    }
    if (at_path == kSuccess) {
        if (at_backup == kSuccess) {
            // Both are somebody's file: which one should start is the user's to say.
            return FolderResult{FolderOutcome::Conflict, kAlreadyExists, record.backup, false};
        }
        // Back already (a Re-enable cut short after the move): only the record is left to go.
        const long status = DeleteFolderRecord(registry, record.key_name);
        return status == kSuccess ? FolderResult{} : FolderResult{FolderOutcome::RecordNotDeleted, status, {}, false};
    }
    if (at_backup == kFileNotFound) {
        return FolderResult{FolderOutcome::BackupMissing, kFileNotFound, record.backup, false};
    }
    const long folder = files.Exists(ParentFolder(record.path));
    if (folder == kFileNotFound) {
        return FolderResult{FolderOutcome::FolderMissing, kPathNotFound, record.backup, false};
    }
    if (folder != kSuccess) {
        return Failure(folder, FolderOutcome::Failed);
    }

    long status = files.Move(record.backup, record.path);
    if (status == kSuccess) {
        status = CheckMoved(files, record.backup, record.path);
    }
    if (status == kAlreadyExists || status == kFileExists) {
        // A file came to the path since it was looked at.
        return FolderResult{FolderOutcome::Conflict, status, record.backup, false};
    }
    if (status != kSuccess) {
        return Failure(status, FolderOutcome::MoveFailed);
    }
    status = DeleteFolderRecord(registry, record.key_name);
    if (status != kSuccess) {
        return FolderResult{FolderOutcome::RecordNotDeleted, status, {}, false};
    }
    return FolderResult{};
}

} // namespace runsweep
