#include "registry/folder_record.h"

#include "registry/name_case.h"
#include "registry/scan.h"

#include <algorithm>
#include <array>

namespace runsweep {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;

bool EndsWith(const std::wstring& text, const std::wstring& ending) {
    return text.size() >= ending.size() &&
           RegistryNamesEqual(std::wstring_view(text).substr(text.size() - ending.size()), ending);
}

bool IsFullPath(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

std::vector<unsigned char> DwordBytes(unsigned long number) {
    return {static_cast<unsigned char>(number & 0xFF), static_cast<unsigned char>((number >> 8) & 0xFF),
            static_cast<unsigned char>((number >> 16) & 0xFF), static_cast<unsigned char>((number >> 24) & 0xFF)};
}

// kSuccess and the text of a string value; kFileNotFound when there is none; kInvalidData when it
// holds no text.
long ReadText(Registry& registry, const RegKey& key, const wchar_t* name, std::wstring& text) {
    RegValue value;
    const long status = registry.ReadValue(key, name, value);
    if (status != kSuccess) {
        return status;
    }
    if (value.type != kRegSz && value.type != kRegExpandSz) {
        return kInvalidData;
    }
    text = DecodeRegString(value);
    return kSuccess;
}

const std::array<const wchar_t*, 6> kDateNames = {L"YEAR", L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"};

std::optional<RecordTime> ReadTime(Registry& registry, const RegKey& key) {
    std::array<unsigned long, 6> parts{};
    for (std::size_t i = 0; i < kDateNames.size(); ++i) {
        RegValue value;
        if (registry.ReadValue(key, kDateNames[i], value) != kSuccess || value.type != kRegDword ||
            value.data.size() != 4) {
            return std::nullopt;
        }
        parts[i] = static_cast<unsigned long>(value.data[0]) | (static_cast<unsigned long>(value.data[1]) << 8) |
                   (static_cast<unsigned long>(value.data[2]) << 16) |
                   (static_cast<unsigned long>(value.data[3]) << 24);
    }
    return RecordTime{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

struct Written {
    const wchar_t* name;
    unsigned long type;
    std::vector<unsigned char> data;
};

std::vector<unsigned char> TextBytes(const std::wstring& text) {
    std::vector<unsigned char> bytes = Utf16Bytes(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

} // namespace

std::wstring FolderRecordKeyName(const std::wstring& path) {
    std::wstring name = path;
    std::replace(name.begin(), name.end(), L'\\', L'^');
    return name;
}

std::wstring FolderRecordPath(const std::wstring& key_name) {
    return std::wstring(kFolderRecordRoot) + L"\\" + key_name;
}

bool IsFolderRecordKeyName(const std::wstring& key_name) {
    return !key_name.empty() && key_name.size() <= kMaxKeyNameLength && key_name.find(L'\\') == std::wstring::npos &&
           key_name.find(L'\0') == std::wstring::npos;
}

const wchar_t* BackupExtension(StartupFolder folder) noexcept {
    return folder == StartupFolder::User ? L".Startup" : L".CommonStartup";
}

const wchar_t* OldLocation(StartupFolder folder) noexcept {
    return folder == StartupFolder::User ? L"Startup" : L"Common Startup";
}

std::optional<StartupFolder> FolderOfRecord(const std::wstring& backup_extension, const std::wstring& location,
                                            const std::wstring& backup) {
    for (const StartupFolder folder : {StartupFolder::Common, StartupFolder::User}) {
        if (RegistryNamesEqual(backup_extension, BackupExtension(folder))) {
            return folder;
        }
    }
    for (const StartupFolder folder : {StartupFolder::Common, StartupFolder::User}) {
        if (RegistryNamesEqual(location, OldLocation(folder))) {
            return folder;
        }
    }
    // "...lnkCommon Startup" of Windows XP, "....lnk.CommonStartup" of later ones; both end in
    // "Startup", so the longer endings are asked first.
    if (EndsWith(backup, L"Common Startup") || EndsWith(backup, L"CommonStartup")) {
        return StartupFolder::Common;
    }
    if (EndsWith(backup, L"Startup")) {
        return StartupFolder::User;
    }
    return std::nullopt;
}

namespace {

// The values a record holds, in the order they are written.
std::vector<Written> RecordValues(const FolderRecord& record, const RecordTime& now) {
    return {
        {L"path", kRegSz, TextBytes(record.path)},
        {L"location", kRegSz, TextBytes(record.location)},
        {L"item", kRegSz, TextBytes(record.item)},
        {L"command", kRegSz, TextBytes(record.command)},
        {L"backupExtension", kRegSz, TextBytes(record.backup_extension)},
        {L"YEAR", kRegDword, DwordBytes(now.year)},
        {L"MONTH", kRegDword, DwordBytes(now.month)},
        {L"DAY", kRegDword, DwordBytes(now.day)},
        {L"HOUR", kRegDword, DwordBytes(now.hour)},
        {L"MINUTE", kRegDword, DwordBytes(now.minute)},
        {L"SECOND", kRegDword, DwordBytes(now.second)},
        // Last: a record cut short names no backup, so nothing reads it as a file kept there.
        {L"backup", kRegSz, TextBytes(record.backup)},
    };
}

} // namespace

long WriteFolderRecord(Registry& registry, const FolderRecord& record, const RecordTime& now,
                       EarlierFolderRecord* earlier_out) {
    if (!IsFolderRecordKeyName(record.key_name)) {
        return kInvalidParameter;
    }
    const std::vector<Written> values = RecordValues(record, now);
    const std::wstring path = FolderRecordPath(record.key_name);
    EarlierFolderRecord earlier;
    {
        RegKey key;
        long status = registry.OpenKey(Hive::LocalMachine, path, KeyAccess::Query, key, RegView::k64);
        if (status != kSuccess && status != kFileNotFound) {
            return status;
        }
        earlier.existed = status == kSuccess;
        for (std::size_t i = 0; earlier.existed && i < values.size(); ++i) {
            RegValue value;
            status = registry.ReadValue(key, values[i].name, value);
            if (status == kSuccess) {
                earlier.values.emplace_back(values[i].name, std::move(value));
            } else if (status != kFileNotFound) {
                return status;
            }
        }
    }
    long status = kSuccess;
    {
        RegKey key;
        status = registry.CreateKey(Hive::LocalMachine, path, key, RegView::k64);
        for (std::size_t i = 0; i < values.size() && status == kSuccess; ++i) {
            status = registry.SetValue(key, values[i].name, values[i].type, values[i].data);
        }
        // A write the storage reported but did not keep must not cost the user the file.
        for (std::size_t i = 0; i < values.size() && status == kSuccess; ++i) {
            RegValue stored;
            status = registry.ReadValue(key, values[i].name, stored);
            if (status == kSuccess && (stored.type != values[i].type || stored.data != values[i].data)) {
                status = kInvalidData;
            }
        }
        if (status == kSuccess) {
            status = registry.FlushKey(key);
        }
    }
    if (status != kSuccess) {
        RestoreFolderRecord(registry, record.key_name, earlier);
    } else if (earlier_out != nullptr) {
        *earlier_out = std::move(earlier);
    }
    return status;
}

long RestoreFolderRecord(Registry& registry, const std::wstring& key_name, const EarlierFolderRecord& earlier) {
    if (!IsFolderRecordKeyName(key_name)) {
        return kInvalidParameter;
    }
    if (!earlier.existed) {
        return DeleteFolderRecord(registry, key_name);
    }
    RegKey key;
    long status = registry.OpenKey(Hive::LocalMachine, FolderRecordPath(key_name), KeyAccess::Write, key, RegView::k64);
    if (status != kSuccess) {
        return status;
    }
    for (const Written& value : RecordValues(FolderRecord{}, RecordTime{})) {
        const auto before = std::find_if(earlier.values.begin(), earlier.values.end(),
                                         [&](const auto& held) { return held.first == value.name; });
        const long step = before == earlier.values.end()
                              ? registry.DeleteValue(key, value.name)
                              : registry.SetValue(key, before->first, before->second.type, before->second.data);
        if (step != kSuccess && step != kFileNotFound && status == kSuccess) {
            status = step;
        }
    }
    const long flushed = registry.FlushKey(key);
    return status == kSuccess ? flushed : status;
}

long ReadFolderRecord(Registry& registry, const std::wstring& key_name, FolderRecord& record) {
    record = FolderRecord{};
    record.key_name = key_name;
    if (!IsFolderRecordKeyName(key_name)) {
        return kFileNotFound;
    }
    RegKey key;
    long status = registry.OpenKey(Hive::LocalMachine, FolderRecordPath(key_name), KeyAccess::Query, key, RegView::k64);
    if (status != kSuccess) {
        return status;
    }
    struct Field {
        const wchar_t* name;
        std::wstring* text;
        bool needed;
    };
    const std::array<Field, 6> fields = {
        Field{L"path", &record.path, true},          Field{L"backup", &record.backup, true},
        Field{L"location", &record.location, false}, Field{L"item", &record.item, false},
        Field{L"command", &record.command, false},   Field{L"backupExtension", &record.backup_extension, false}};
    for (const Field& field : fields) {
        status = ReadText(registry, key, field.name, *field.text);
        if (status == kFileNotFound || status == kInvalidData) {
            field.text->clear();
            if (field.needed && record.problem.empty()) {
                record.problem = std::wstring(L"its \"") + field.name + L"\" value is missing or not text";
            }
            continue;
        }
        if (status != kSuccess) {
            return status;
        }
    }
    record.disabled_at = ReadTime(registry, key);
    record.folder = FolderOfRecord(record.backup_extension, record.location, record.backup);
    if (!record.Understood()) {
        return kSuccess;
    }
    if (!IsFullPath(record.path) || FileNameOf(record.path).empty()) {
        record.problem = L"its path is not a file's full path (" + record.path + L")";
    } else if (!IsFullPath(record.backup) || FileNameOf(record.backup).empty()) {
        record.problem = L"its backup is not a file's full path (" + record.backup + L")";
    }
    return kSuccess;
}

long ListFolderRecords(Registry& registry, std::vector<FolderRecord>& records) {
    records.clear();
    std::vector<std::wstring> names;
    {
        RegKey root;
        long status = registry.OpenKey(Hive::LocalMachine, kFolderRecordRoot, KeyAccess::Query, root, RegView::k64);
        if (status == kFileNotFound) {
            return kSuccess;
        }
        if (status != kSuccess) {
            return status;
        }
        status = registry.EnumSubKeyNames(root, names);
        if (status != kSuccess) {
            return status;
        }
    }
    for (const std::wstring& name : names) {
        FolderRecord record;
        const long status = ReadFolderRecord(registry, name, record);
        if (status == kFileNotFound) {
            continue; // gone since the enumeration
        }
        if (status != kSuccess) {
            record.problem = L"it could not be read (error " + std::to_wstring(status) + L")";
        }
        records.push_back(std::move(record));
    }
    return kSuccess;
}

long DeleteFolderRecord(Registry& registry, const std::wstring& key_name) {
    if (!IsFolderRecordKeyName(key_name)) {
        return kInvalidParameter;
    }
    const long status = registry.DeleteKey(Hive::LocalMachine, FolderRecordPath(key_name), RegView::k64);
    return status == kFileNotFound ? kSuccess : status;
}

} // namespace runsweep
