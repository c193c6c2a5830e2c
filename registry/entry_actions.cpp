#include "registry/entry_actions.h"

#include "base/message_sink.h"

namespace runsweep {

namespace {

std::wstring Code(long status) {
    return L"error " + std::to_wstring(status);
}

// Why a step on a file failed, in words where the status says more than its number.
std::wstring Why(long status) {
    switch (status) {
    case kSharingViolation:
        return L"it is in use by a program that is running (" + Code(status) + L")";
    case kAlreadyExists:
    case kFileExists:
        return L"a file of that name is in the way (" + Code(status) + L")";
    default:
        return Code(status);
    }
}

} // namespace

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

std::wstring FolderReason(const FolderActionRecord& record, bool disable, const ReasonWording& wording) {
    const FolderResult& result = record.result;
    const std::wstring file = record.item.name;
    const std::wstring place = FolderLabel(record.item.folder);
    const std::wstring left = file + L" was left in " + place;
    const std::wstring remove_instead = L" " + wording.remove_instead + L" to take it out without a record.";
    switch (result.outcome) {
    case FolderOutcome::Done: {
        if (!disable) {
            return file +
                   (IsShortcut(KindOfItem(file)) ? L" deleted from " + place
                                                 : L" moved from " + place + L" to the Recycle Bin") +
                   L".";
        }
        std::wstring text = file + L" moved from " + place + L" to " + result.backup + L" and recorded for re-enabling";
        if (record.switched && record.switched->Failed()) {
            text += L"; Windows' switch for it could not be turned off (" + Code(record.switched->status) + L")";
        }
        return text + L".";
    }
    case FolderOutcome::AlreadyGone:
        return std::wstring();
    case FolderOutcome::NeedsAdministrator:
        return file + L" was left in " + place + L", which needs administrator rights" +
               (disable ? L" (and so do its record and %windir%\\pss). " : L". ") + wording.run_as_administrator +
               L" to change it there.";
    case FolderOutcome::NotRecordable:
        return left + L": its path is too long to be recorded for re-enabling." + remove_instead;
    case FolderOutcome::EarlierCopyKept:
        return left + L": a copy disabled earlier is still kept at " + result.backup +
               L" and its record must not be written over. Re-enable that copy first, or choose \"Remove\".";
    case FolderOutcome::RecordFailed:
        return left + L": its record could not be written (" + Code(result.status) + L"), so it was not moved.";
    case FolderOutcome::MoveFailed:
        return left + L": it could not be moved" + (disable ? L" to " + result.backup : std::wstring()) + L" (" +
               Why(result.status) + L")" +
               (result.record_left ? L"; its record stays behind and is cleared when it is re-enabled." : L".");
    case FolderOutcome::NoRecycleBin:
        return left + L": its drive has no Recycle Bin that takes it, and it is never deleted outright.";
    case FolderOutcome::Failed:
    default:
        return left + L" (" + Why(result.status) + L").";
    }
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

std::wstring FolderEnableReason(const FolderActionRecord& record, const ReasonWording& wording) {
    const FolderResult& result = record.result;
    const std::wstring where = ParentFolder(record.item.path);
    switch (result.outcome) {
    case FolderOutcome::Done: {
        std::wstring text = L"back in " + where;
        if (record.switched && record.switched->Failed()) {
            text += L", but Windows' switch for it could not be turned on (" + Code(record.switched->status) +
                    L"), so Windows may still skip it";
        }
        return text + L".";
    }
    case FolderOutcome::AlreadyGone:
        return L"nothing to do: its record is gone.";
    case FolderOutcome::NeedsAdministrator:
        return L"not re-enabled: its record, " + where + L" and %windir%\\pss need administrator rights. " +
               wording.run_as_administrator + L" to re-enable it.";
    case FolderOutcome::NotUnderstood:
        return L"not re-enabled: its record does not say where the file is kept and where it goes back to.";
    case FolderOutcome::Conflict:
        return L"not re-enabled: " + record.item.path + L" is there again, and the disabled copy stays at " +
               result.backup + L". Nothing was changed.";
    case FolderOutcome::FolderMissing:
        return L"not re-enabled: the folder it goes back to, " + where + L", no longer exists. Nothing was changed.";
    case FolderOutcome::BackupMissing:
        return L"not re-enabled: its file is no longer at " + result.backup + L", where its record says it is kept.";
    case FolderOutcome::MoveFailed:
        return L"not re-enabled: it could not be moved back (" + Why(result.status) + L").";
    case FolderOutcome::RecordNotDeleted:
        return L"back in " + where + L", but its record could not be deleted (" + Code(result.status) + L").";
    default:
        return L"not re-enabled (" + Why(result.status) + L").";
    }
}

std::wstring EntryReason(const EntryResult& result, bool disable, const ReasonWording& wording) {
    std::wstring text = ActionReason(result.run, wording);
    for (const FolderActionRecord& file : result.files) {
        const std::wstring sentence = FolderReason(file, disable, wording);
        if (!sentence.empty()) {
            text += (text.empty() ? L"" : L" ") + sentence;
        }
    }
    return text;
}

} // namespace runsweep
