#include "registry/startup_record.h"

#include "registry/name_case.h"
#include "registry/scan.h"

#include <array>

namespace runsweep {

namespace {

// More places than the three Run keys can only come from merging records; far more is damage.
constexpr unsigned long kMostPlaces = 64;

long ReadText(Registry& registry, const RegKey& key, const std::wstring& name, std::wstring& text, bool& is_text) {
    RegValue value;
    const long status = registry.ReadValue(key, name, value);
    is_text = value.type == kRegSz || value.type == kRegExpandSz;
    text = DecodeRegString(value);
    return status;
}

long ReadDword(Registry& registry, const RegKey& key, const std::wstring& name, unsigned long& number) {
    RegValue value;
    const long status = registry.ReadValue(key, name, value);
    if (status != kSuccess) {
        return status;
    }
    if (value.type != kRegDword || value.data.size() != 4) {
        return kInvalidData;
    }
    number = static_cast<unsigned long>(value.data[0]) | (static_cast<unsigned long>(value.data[1]) << 8) |
             (static_cast<unsigned long>(value.data[2]) << 16) | (static_cast<unsigned long>(value.data[3]) << 24);
    return kSuccess;
}

// Reads one place from the values named command/hkey/key/type. kSuccess with `problem` set when the
// values are there but say nothing this program can put back.
long ReadPlace(Registry& registry, const RegKey& key, const std::wstring& command_name, const std::wstring& hkey_name,
               const std::wstring& key_name, const std::wstring& type_name, RecordedPlace& place, std::wstring& problem,
               StartupRecord* raw) {
    bool is_text = false;
    std::wstring command;
    long status = ReadText(registry, key, command_name, command, is_text);
    if (status == kFileNotFound) {
        problem = L"it holds no command";
        return kSuccess;
    }
    if (status != kSuccess) {
        return status;
    }
    std::wstring hkey;
    bool hkey_text = false;
    status = ReadText(registry, key, hkey_name, hkey, hkey_text);
    if (status != kSuccess && status != kFileNotFound) {
        return status;
    }
    std::wstring run_key;
    bool key_text = false;
    const long key_status = ReadText(registry, key, key_name, run_key, key_text);
    if (key_status != kSuccess && key_status != kFileNotFound) {
        return key_status;
    }
    if (raw != nullptr) {
        raw->raw_command = command;
        raw->raw_hkey = hkey;
        raw->raw_key = run_key;
    }
    if (!is_text) {
        problem = L"its command is not text";
        return kSuccess;
    }
    if (status == kFileNotFound || !hkey_text) {
        problem = L"it does not say which hive the entry came from";
        return kSuccess;
    }
    const std::optional<RunPlace> where = PlaceOfRecord(hkey, key_status == kFileNotFound ? std::wstring() : run_key);
    if (!where || (key_status == kSuccess && !key_text)) {
        problem = L"it names no Run key (" + hkey + L"\\" + run_key + L")";
        return kSuccess;
    }
    unsigned long type = kRegSz;
    status = ReadDword(registry, key, type_name, type);
    if (status == kInvalidData || (status == kSuccess && type != kRegSz && type != kRegExpandSz)) {
        problem = L"its value type is not one of a command line";
        return kSuccess;
    }
    if (status != kSuccess && status != kFileNotFound) {
        return status;
    }
    place = RecordedPlace{*where, command, type};
    return kSuccess;
}

std::optional<RecordTime> ReadTime(Registry& registry, const RegKey& key) {
    static const std::array<const wchar_t*, 6> kNames = {L"YEAR", L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"};
    std::array<unsigned long, 6> parts{};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (ReadDword(registry, key, kNames[i], parts[i]) != kSuccess) {
            return std::nullopt;
        }
    }
    return RecordTime{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

} // namespace

std::wstring StartupRecordPath(const std::wstring& key_name) {
    return std::wstring(kStartupRecordRoot) + L"\\" + key_name;
}

std::optional<RunPlace> PlaceOfRecord(const std::wstring& hkey, const std::wstring& key) {
    const bool user = RegistryNamesEqual(hkey, L"HKCU");
    const bool machine = RegistryNamesEqual(hkey, L"HKLM");
    if (!user && !machine) {
        return std::nullopt;
    }
    if (key.empty() || RegistryNamesEqual(key, kRecordRunKey)) {
        return user ? RunPlace::CurrentUser : RunPlace::Machine64;
    }
    if (machine && RegistryNamesEqual(key, kRecordRunKey32)) {
        return RunPlace::Machine32;
    }
    return std::nullopt;
}

const wchar_t* RecordHkey(RunPlace place) noexcept {
    return place == RunPlace::CurrentUser ? L"HKCU" : L"HKLM";
}

const wchar_t* RecordKey(RunPlace place) noexcept {
    return place == RunPlace::Machine32 ? kRecordRunKey32 : kRecordRunKey;
}

long ReadStartupRecord(Registry& registry, const std::wstring& key_name, StartupRecord& record) {
    record = StartupRecord{};
    record.key_name = key_name;
    RegKey key;
    long status = registry.OpenKey(Hive::LocalMachine, StartupRecordPath(key_name), KeyAccess::Query, key);
    if (status != kSuccess) {
        return status;
    }
    bool item_text = false;
    status = ReadText(registry, key, L"item", record.item, item_text);
    if (status != kSuccess && status != kFileNotFound) {
        return status;
    }

    record.complete = true;
    for (const wchar_t* standard : {L"command", L"hkey", L"inimapping", L"item", L"key"}) {
        unsigned long size = 0;
        const long found = registry.QueryValue(key, standard, nullptr, nullptr, &size);
        if (found == kFileNotFound) {
            record.complete = false;
        } else if (found != kSuccess) {
            return found;
        }
    }

    RecordedPlace first;
    status = ReadPlace(registry, key, L"command", L"hkey", L"key", L"RunsweepType", first, record.problem, &record);
    if (status != kSuccess) {
        return status;
    }
    if (!record.Understood()) {
        return kSuccess;
    }
    record.places.push_back(std::move(first));

    unsigned long count = 1;
    status = ReadDword(registry, key, L"RunsweepPlaces", count);
    if (status == kInvalidData || (status == kSuccess && (count < 1 || count > kMostPlaces))) {
        record.problem = L"its count of places is damaged";
        record.places.clear();
        return kSuccess;
    }
    if (status != kSuccess && status != kFileNotFound) {
        return status;
    }
    for (unsigned long i = 2; i <= count; ++i) {
        const std::wstring n = std::to_wstring(i);
        RecordedPlace place;
        std::wstring problem;
        status = ReadPlace(registry, key, L"RunsweepCommand" + n, L"RunsweepHkey" + n, L"RunsweepKey" + n,
                           L"RunsweepType" + n, place, problem, nullptr);
        if (status != kSuccess) {
            return status;
        }
        if (!problem.empty()) {
            record.problem = L"place " + n + L": " + problem;
            record.places.clear();
            return kSuccess;
        }
        record.places.push_back(std::move(place));
    }
    record.disabled_at = ReadTime(registry, key);
    return kSuccess;
}

long ListStartupRecords(Registry& registry, std::vector<StartupRecord>& records) {
    records.clear();
    std::vector<std::wstring> names;
    {
        RegKey root;
        long status = registry.OpenKey(Hive::LocalMachine, kStartupRecordRoot, KeyAccess::Query, root);
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
        StartupRecord record;
        const long status = ReadStartupRecord(registry, name, record);
        if (status == kFileNotFound) {
            continue; // gone since the enumeration
        }
        if (status != kSuccess) {
            record.places.clear();
            record.problem = L"it could not be read (error " + std::to_wstring(status) + L")";
        }
        records.push_back(std::move(record));
    }
    return kSuccess;
}

} // namespace runsweep
