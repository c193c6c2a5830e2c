#include "registry/entry_actions.h"

#include "base/message_sink.h"

namespace runsweep {

bool EntryResult::TookEffect() const {
    if (!run.TookEffect()) {
        return false;
    }
    for (const FolderActionRecord& file : files) {
        if (!file.TookEffect()) {
            return false;
        }
    }
    return true;
}

std::vector<FolderItem> EntryFiles(FolderFiles& files, const std::wstring& name) {
    return ItemsNamed(ListStartupFolders(files), name);
}

EntryResult DisableEntry(Registry& registry, FolderFiles& files, const std::wstring& name, MessageSink& messages,
                         const RecordTime& now, const SwitchClock& clock) {
    EntryResult result(DisableStartup(registry, name, messages, now, clock.has_value()));
    for (const FolderItem& item : EntryFiles(files, name)) {
        FolderActionRecord record{item, DisableFolderItem(registry, files, item, now), std::nullopt};
        // Task Manager shows the item switched off too, and Windows skips it should the program put
        // its shortcut back.
        if (clock && record.result.outcome == FolderOutcome::Done) {
            record.switched = SwitchOff(registry, StartupFolderSwitchKey(FolderHive(item.folder)), item.name, *clock);
        }
        result.files.push_back(std::move(record));
    }
    return result;
}

EntryResult RemoveEntry(Registry& registry, FolderFiles& files, const std::wstring& name) {
    EntryResult result(RemoveStartup(registry, name));
    for (const FolderItem& item : EntryFiles(files, name)) {
        result.files.push_back(FolderActionRecord{item, RemoveFolderItem(files, item), std::nullopt});
    }
    return result;
}

std::optional<StartupFolder> FolderOfRecordPath(FolderFiles& files, const FolderRecord& record) {
    if (record.folder) {
        return record.folder;
    }
    for (const StartupFolder folder : kStartupFolders) {
        std::wstring path;
        if (files.KnownFolderPath(folder, path) == kSuccess && SameFileName(path, ParentFolder(record.path))) {
            return folder;
        }
    }
    return std::nullopt;
}

FolderActionRecord EnableFolderEntry(Registry& registry, FolderFiles& files, const std::wstring& key_name,
                                     bool keeps_switch) {
    FolderActionRecord done;
    FolderRecord record;
    const long status = ReadFolderRecord(registry, key_name, record);
    done.item.path = record.path.empty() ? key_name : record.path;
    done.item.name = FileNameOf(done.item.path);
    if (status != kSuccess) {
        done.result.outcome = status == kFileNotFound   ? FolderOutcome::AlreadyGone
                              : status == kAccessDenied ? FolderOutcome::NeedsAdministrator
                                                        : FolderOutcome::Failed;
        done.result.status = status == kFileNotFound ? kSuccess : status;
        return done;
    }
    const std::optional<StartupFolder> folder = FolderOfRecordPath(files, record);
    done.item.folder = folder.value_or(StartupFolder::User);
    done.result = EnableFolderRecord(registry, files, record);
    if (keeps_switch && folder && done.result.outcome == FolderOutcome::Done) {
        done.switched = SwitchOn(registry, StartupFolderSwitchKey(FolderHive(*folder)), done.item.name);
    }
    return done;
}

} // namespace runsweep
