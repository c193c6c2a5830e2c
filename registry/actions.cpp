#include "registry/actions.h"

#include "base/message_sink.h"
#include "registry/registry.h"
#include "registry/scan.h"

#include <array>
#include <utility>

namespace runsweep {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;

ActionResult FailureFor(long status, ActionOutcome otherwise) {
    return ActionResult{status == kAccessDenied ? ActionOutcome::NeedsAdministrator : otherwise, status};
}

// What one Run key holds under the name.
struct RunValue {
    long status = kFileNotFound; // kSuccess: present; kFileNotFound: absent; else unreadable
    std::wstring command;
    // A command line: REG_SZ or REG_EXPAND_SZ. The record's "command" is text, so data of any other
    // type (binary, a number, a list of texts) would be lost by deleting the value.
    bool text = true;
    bool present() const { return status == kSuccess; }
};

RunValue ReadRunValue(Registry& registry, Hive hive, const std::wstring& name) {
    RunValue value;
    RegKey key;
    value.status = registry.OpenKey(hive, kRunKeyPath, KeyAccess::Query, key);
    if (value.status != kSuccess) {
        return value;
    }
    RegValue data;
    value.status = registry.ReadValue(key, name, data);
    if (value.status == kSuccess) {
        value.text = data.type == kRegSz || data.type == kRegExpandSz;
        value.command = DecodeRegString(data);
    }
    return value;
}

// A failure to change a Run key only matters when the key really holds the value: a user without
// rights to HKLM can still remove an entry that lives in HKCU alone.
long UnlessAbsent(Registry& registry, Hive hive, const std::wstring& name, long status) {
    std::wstring ignored;
    return ReadRegString(registry, hive, kRunKeyPath, name, ignored) == kFileNotFound ? kSuccess : status;
}

// Deletes the name from one Run key. kSuccess also when the key or the value does not exist.
long DeleteRunValue(Registry& registry, Hive hive, const std::wstring& name, bool& deleted) {
    RegKey key;
    long status = registry.OpenKey(hive, kRunKeyPath, KeyAccess::Write, key);
    if (status == kFileNotFound) {
        return kSuccess;
    }
    if (status != kSuccess) {
        return UnlessAbsent(registry, hive, name, status);
    }
    status = registry.DeleteValue(key, name);
    if (status == kSuccess) {
        deleted = true;
        return kSuccess;
    }
    return status == kFileNotFound ? kSuccess : UnlessAbsent(registry, hive, name, status);
}

// Both Run keys, `first` first; the second is tried even when the first fails.
ActionResult DeleteFromRunKeys(Registry& registry, const std::wstring& name, Hive first = Hive::CurrentUser) {
    bool deleted = false;
    long first_failure = kSuccess;
    const Hive second = first == Hive::CurrentUser ? Hive::LocalMachine : Hive::CurrentUser;
    for (const Hive hive : {first, second}) {
        const long status = DeleteRunValue(registry, hive, name, deleted);
        if (status != kSuccess && first_failure == kSuccess) {
            first_failure = status;
        }
    }
    if (first_failure != kSuccess) {
        return FailureFor(first_failure, ActionOutcome::Failed);
    }
    return ActionResult{deleted ? ActionOutcome::Done : ActionOutcome::AlreadyGone, kSuccess};
}

bool Recordable(const std::wstring& name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(L'\\') == std::wstring::npos;
}

} // namespace

ActionResult RemoveStartup(Registry& registry, const std::wstring& sValue) {
    if (sValue.empty()) {
        // Would delete the Run keys' unnamed default values, which no catalogue entry names.
        return ActionResult{ActionOutcome::Failed, kInvalidParameter};
    }
    return DeleteFromRunKeys(registry, sValue);
}

ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages) {
    if (!Recordable(sValue)) {
        return ActionResult{ActionOutcome::NameNotRecordable, kInvalidParameter};
    }

    const RunValue user = ReadRunValue(registry, Hive::CurrentUser, sValue);
    if (!user.present() && user.status != kFileNotFound) {
        return FailureFor(user.status, ActionOutcome::Failed);
    }
    const RunValue machine = ReadRunValue(registry, Hive::LocalMachine, sValue);
    if (!machine.present() && machine.status != kFileNotFound) {
        return FailureFor(machine.status, ActionOutcome::Failed);
    }
    if (!user.present() && !machine.present()) {
        // A second row of the same name: the first one's record must stay as it is.
        return ActionResult{ActionOutcome::AlreadyGone, kSuccess};
    }
    if ((user.present() && !user.text) || (machine.present() && !machine.text)) {
        return ActionResult{ActionOutcome::CommandNotText, kInvalidData};
    }
    // HKCU's command when it has one; the label always names the hive the command came from.
    const bool from_user = user.present() && (!user.command.empty() || !machine.present());
    const RunValue& source = from_user ? user : machine;

    const std::wstring record_path = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\" + sValue;
    RegKey record;
    long status = registry.CreateKey(Hive::LocalMachine, record_path, record);
    if (status != kSuccess) {
        messages.ShowMessage(L"Error on value: " + sValue + L". There was an error creating a MSConfig key.",
                             MessageIcon::Error);
        return FailureFor(status, ActionOutcome::RecordFailed);
    }

    const std::array<std::pair<const wchar_t*, std::wstring>, 5> fields = {{
        {L"command", source.command},
        {L"hkey", from_user ? L"HKCU" : L"HKLM"},
        {L"inimapping", L"0"},
        {L"item", sValue},
        {L"key", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    }};
    for (const auto& [name, text] : fields) {
        status = registry.SetStringValue(record, name, text);
        if (status != kSuccess) {
            return FailureFor(status, ActionOutcome::RecordFailed);
        }
    }
    // A write the storage reported but did not keep must not cost the user the entry.
    for (const auto& [name, text] : fields) {
        RegValue stored;
        status = registry.ReadValue(record, name, stored);
        if (status != kSuccess) {
            return FailureFor(status, ActionOutcome::RecordFailed);
        }
        if (stored.type != kRegSz || DecodeRegString(stored) != text) {
            return ActionResult{ActionOutcome::RecordFailed, kInvalidData};
        }
    }
    status = registry.FlushKey(record);
    if (status != kSuccess) {
        return FailureFor(status, ActionOutcome::RecordFailed);
    }
    record.reset();

    // The recorded hive's value goes last. Should the process die between the two deletes, a later
    // run then finds the value the record was taken from and records the same command again; were
    // it the other way round, that run would find only the other hive's value and overwrite the
    // record with it, and the recorded command would be lost.
    return DeleteFromRunKeys(registry, sValue, from_user ? Hive::LocalMachine : Hive::CurrentUser);
}

} // namespace runsweep
