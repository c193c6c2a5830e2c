#include "registry/startup_record.h"

#include "registry/name_case.h"
#include "registry/scan.h"

#include <algorithm>
#include <array>

namespace runsweep {

namespace {

// Older versions numbered their further places; they refused a record past 64 and could write one
// more, so anything near this is damage rather than a record.
constexpr unsigned long kMostNumberedPlaces = 1024;

constexpr const wchar_t* kCommand = L"command";
constexpr const wchar_t* kHkey = L"hkey";
constexpr const wchar_t* kInimapping = L"inimapping";
constexpr const wchar_t* kItem = L"item";
constexpr const wchar_t* kKey = L"key";
constexpr const wchar_t* kType = L"RunsweepType";
constexpr const wchar_t* kNumberedCount = L"RunsweepPlaces";
constexpr const wchar_t* kCommandPrefix = L"RunsweepCommand";
constexpr std::array<const wchar_t*, 6> kDateNames = {L"YEAR", L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"};
constexpr std::array<RunPlace, 3> kAllPlaces = {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32};

const wchar_t* PlaceTag(RunPlace place) noexcept {
    switch (place) {
    case RunPlace::CurrentUser:
        return L"HKCU";
    case RunPlace::Machine64:
        return L"HKLM";
    case RunPlace::Machine32:
        return L"HKLM32";
    }
    return L"HKLM";
}

std::wstring PlaceCommandName(RunPlace place) {
    return std::wstring(kCommandPrefix) + PlaceTag(place);
}

std::wstring PlaceTypeName(RunPlace place) {
    return std::wstring(kType) + PlaceTag(place);
}

// RunsweepCommand2, RunsweepHkey2, RunsweepKey2, RunsweepType2, ...: older versions' numbered places.
bool IsNumberedPlaceValue(std::wstring_view name) {
    for (const std::wstring_view prefix : {L"RunsweepCommand", L"RunsweepHkey", L"RunsweepKey", L"RunsweepType"}) {
        if (name.size() > prefix.size() && RegistryNameStartsWith(name, prefix) &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
            return true;
        }
    }
    return false;
}

bool IsText(const RegValue& value) {
    return value.type == kRegSz || value.type == kRegExpandSz;
}

// kSuccess and the number; kInvalidData for anything but a REG_DWORD.
long DwordOf(const RegValue& value, unsigned long& number) {
    if (value.type != kRegDword || value.data.size() != 4) {
        return kInvalidData;
    }
    number = static_cast<unsigned long>(value.data[0]) | (static_cast<unsigned long>(value.data[1]) << 8) |
             (static_cast<unsigned long>(value.data[2]) << 16) | (static_cast<unsigned long>(value.data[3]) << 24);
    return kSuccess;
}

// The type a record gives a command: REG_SZ when it says none; nothing when it says something else
// than one of a command line.
std::optional<unsigned long> CommandType(const RecordImage& image, std::wstring_view type_name) {
    const RegValue* value = image.Find(type_name);
    if (value == nullptr) {
        return kRegSz;
    }
    unsigned long type = 0;
    if (DwordOf(*value, type) != kSuccess || (type != kRegSz && type != kRegExpandSz)) {
        return std::nullopt;
    }
    return type;
}

// One place named by a command, hkey and key value (the standard ones, or an older version's
// numbered ones). Sets `problem` when they say nothing this program can put back.
RecordedPlace ReadNamedPlace(const RecordImage& image, std::wstring_view command_name, std::wstring_view hkey_name,
                             std::wstring_view key_name, std::wstring_view type_name, std::wstring& problem,
                             StartupRecord* raw) {
    const RegValue* command = image.Find(command_name);
    const RegValue* hkey = image.Find(hkey_name);
    const RegValue* key = image.Find(key_name);
    if (raw != nullptr) {
        raw->raw_command = command ? DecodeRegString(*command) : std::wstring();
        raw->raw_hkey = hkey ? DecodeRegString(*hkey) : std::wstring();
        raw->raw_key = key ? DecodeRegString(*key) : std::wstring();
    }
    if (command == nullptr) {
        problem = L"it holds no command";
        return {};
    }
    if (!IsText(*command)) {
        problem = L"its command is not text";
        return {};
    }
    if (hkey == nullptr || !IsText(*hkey)) {
        problem = L"it does not say which hive the entry came from";
        return {};
    }
    const std::wstring hkey_text = DecodeRegString(*hkey);
    const std::wstring key_text = key ? DecodeRegString(*key) : std::wstring();
    const std::optional<RunPlace> where = PlaceOfRecord(hkey_text, key_text);
    if (!where || (key != nullptr && !IsText(*key))) {
        problem = L"it names no Run key (" + hkey_text + L"\\" + key_text + L")";
        return {};
    }
    const std::optional<unsigned long> type = CommandType(image, type_name);
    if (!type) {
        problem = L"its value type is not one of a command line";
        return {};
    }
    return RecordedPlace{*where, DecodeRegString(*command), *type};
}

std::optional<RecordTime> ReadTime(const RecordImage& image) {
    std::array<unsigned long, 6> parts{};
    for (std::size_t i = 0; i < kDateNames.size(); ++i) {
        const RegValue* value = image.Find(kDateNames[i]);
        if (value == nullptr || DwordOf(*value, parts[i]) != kSuccess) {
            return std::nullopt;
        }
    }
    return RecordTime{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

bool SameValue(const RegValue& a, const RegValue& b) {
    if (IsText(a) && IsText(b)) {
        // A terminator more or less is the same text.
        return a.type == b.type && DecodeRegString(a) == DecodeRegString(b);
    }
    return a.type == b.type && a.data == b.data;
}

// Builds the change list: each value set only when it differs, deleted only when it is there.
class ChangeList {
public:
    explicit ChangeList(const RecordImage& image) : image_(image) {}

    void Set(const std::wstring& name, const RegValue& value) {
        const RegValue* now = image_.Find(name);
        if (now == nullptr || !SameValue(*now, value)) {
            Add(name, value);
        }
    }
    void SetIfAbsent(const std::wstring& name, const RegValue& value) {
        if (image_.Find(name) == nullptr) {
            Add(name, value);
        }
    }
    void Delete(const std::wstring& name) {
        if (image_.Find(name) != nullptr) {
            Add(name, std::nullopt);
        }
    }
    std::vector<RecordChange> Take() { return std::move(changes_); }

private:
    void Add(const std::wstring& name, const std::optional<RegValue>& after) {
        const RegValue* now = image_.Find(name);
        changes_.push_back(RecordChange{name, now ? std::optional<RegValue>(*now) : std::nullopt, after});
        if (after) {
            image_.Set(name, *after);
        } else {
            image_.Erase(name);
        }
    }

    RecordImage image_;
    std::vector<RecordChange> changes_;
};

// Writes one value (or deletes it) and reads it back.
long MakeOne(Registry& registry, const RegKey& key, const std::wstring& name, const std::optional<RegValue>& value) {
    if (!value) {
        long status = registry.DeleteValue(key, name);
        if (status != kSuccess && status != kFileNotFound) {
            return status;
        }
        unsigned long size = 0;
        status = registry.QueryValue(key, name, nullptr, nullptr, &size);
        return status == kFileNotFound ? kSuccess : status == kSuccess ? kInvalidData : status;
    }
    long status = registry.SetValue(key, name, value->type, value->data);
    if (status != kSuccess) {
        return status;
    }
    RegValue stored;
    status = registry.ReadValue(key, name, stored);
    if (status != kSuccess) {
        return status;
    }
    return stored.type == value->type && stored.data == value->data ? kSuccess : kInvalidData;
}

} // namespace

const RecordedPlace* StartupRecord::Find(RunPlace place) const {
    const auto it = std::find_if(places.begin(), places.end(),
                                 [place](const RecordedPlace& recorded) { return recorded.place == place; });
    return it == places.end() ? nullptr : &*it;
}

const RegValue* RecordImage::Find(std::wstring_view name) const {
    for (const auto& [value_name, value] : values) {
        if (RegistryNamesEqual(value_name, name)) {
            return &value;
        }
    }
    return nullptr;
}

void RecordImage::Set(const std::wstring& name, const RegValue& value) {
    for (auto& [value_name, stored] : values) {
        if (RegistryNamesEqual(value_name, name)) {
            stored = value;
            return;
        }
    }
    values.emplace_back(name, value);
}

void RecordImage::Erase(std::wstring_view name) {
    values.erase(std::remove_if(values.begin(), values.end(),
                                [&](const auto& entry) { return RegistryNamesEqual(entry.first, name); }),
                 values.end());
}

RegValue RecordText(const std::wstring& text) {
    RegValue value{kRegSz, Utf16Bytes(text)};
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

RegValue RecordNumber(unsigned long number) {
    return RegValue{kRegDword,
                    {static_cast<unsigned char>(number & 0xFF), static_cast<unsigned char>((number >> 8) & 0xFF),
                     static_cast<unsigned char>((number >> 16) & 0xFF),
                     static_cast<unsigned char>((number >> 24) & 0xFF)}};
}

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

StartupRecord ParseStartupRecord(const std::wstring& key_name, const RecordImage& image) {
    StartupRecord record;
    record.key_name = key_name;
    if (const RegValue* item = image.Find(kItem)) {
        record.item = DecodeRegString(*item);
    }
    static constexpr std::array<const wchar_t*, 5> kStandard = {kCommand, kHkey, kInimapping, kItem, kKey};
    record.complete = std::all_of(kStandard.begin(), kStandard.end(),
                                  [&](const wchar_t* name) { return image.Find(name) != nullptr; });
    record.keeps_commands = std::any_of(image.values.begin(), image.values.end(), [](const auto& entry) {
        return RegistryNamesEqual(entry.first, kCommand) || RegistryNameStartsWith(entry.first, kCommandPrefix);
    });
    const auto fail = [&](std::wstring problem) {
        record.problem = std::move(problem);
        record.places.clear();
        return record;
    };

    if (std::any_of(key_name.begin(), key_name.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; })) {
        // No program writes a Run value of such a name; putting one back would plant it.
        ReadNamedPlace(image, kCommand, kHkey, kKey, kType, record.problem, &record);
        return fail(L"its name holds control characters");
    }

    // Newest last: the standard values, an older version's numbered places in their order, then
    // this version's places by name.
    std::array<std::optional<RecordedPlace>, 3> newest;
    const auto keep = [&](const RecordedPlace& place) { newest[static_cast<std::size_t>(place.place)] = place; };

    const bool standard = image.Find(kCommand) != nullptr;
    if (standard) {
        std::wstring problem;
        const RecordedPlace first = ReadNamedPlace(image, kCommand, kHkey, kKey, kType, problem, &record);
        if (!problem.empty()) {
            return fail(std::move(problem));
        }
        record.standard_place = first.place;
        keep(first);
    }
    if (const RegValue* count_value = image.Find(kNumberedCount)) {
        unsigned long count = 0;
        if (DwordOf(*count_value, count) != kSuccess || count < 1 || count > kMostNumberedPlaces) {
            return fail(L"its count of places is damaged");
        }
        for (unsigned long i = 2; i <= count; ++i) {
            const std::wstring n = std::to_wstring(i);
            std::wstring problem;
            const RecordedPlace place = ReadNamedPlace(image, L"RunsweepCommand" + n, L"RunsweepHkey" + n,
                                                       L"RunsweepKey" + n, L"RunsweepType" + n, problem, nullptr);
            if (!problem.empty()) {
                return fail(L"place " + n + L": " + problem);
            }
            keep(place);
        }
    }
    for (const RunPlace place : kAllPlaces) {
        const RegValue* command = image.Find(PlaceCommandName(place));
        if (command == nullptr) {
            continue;
        }
        const std::optional<unsigned long> type = CommandType(image, PlaceTypeName(place));
        if (!IsText(*command) || !type) {
            return fail(std::wstring(L"the command it keeps for ") + PlaceLabel(place) + L" is not a command line");
        }
        keep(RecordedPlace{place, DecodeRegString(*command), *type});
    }

    // The place the standard values name first, then the others in the order of the places.
    if (record.standard_place) {
        record.places.push_back(*newest[static_cast<std::size_t>(*record.standard_place)]);
    }
    for (const RunPlace place : kAllPlaces) {
        if (newest[static_cast<std::size_t>(place)] && place != record.standard_place) {
            record.places.push_back(*newest[static_cast<std::size_t>(place)]);
        }
    }
    if (record.places.empty()) {
        ReadNamedPlace(image, kCommand, kHkey, kKey, kType, record.problem, &record);
        return record;
    }
    record.disabled_at = ReadTime(image);
    return record;
}

long ReadRecordImage(Registry& registry, const RegKey& key, RecordImage& image) {
    image.values.clear();
    std::vector<std::wstring> names;
    long status = registry.EnumValueNames(key, names);
    if (status != kSuccess) {
        return status;
    }
    for (const std::wstring& name : names) {
        RegValue value;
        status = registry.ReadValue(key, name, value);
        if (status == kFileNotFound) {
            continue; // deleted since the enumeration
        }
        if (status != kSuccess) {
            return status;
        }
        image.values.emplace_back(name, std::move(value));
    }
    return kSuccess;
}

long ReadStartupRecord(Registry& registry, const std::wstring& key_name, StartupRecord& record, RecordImage* image) {
    record = StartupRecord{};
    record.key_name = key_name;
    RegKey key;
    long status = registry.OpenKey(Hive::LocalMachine, StartupRecordPath(key_name), KeyAccess::Query, key);
    if (status != kSuccess) {
        return status;
    }
    RecordImage read;
    status = ReadRecordImage(registry, key, read);
    if (status != kSuccess) {
        return status;
    }
    record = ParseStartupRecord(key_name, read);
    if (image != nullptr) {
        *image = std::move(read);
    }
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

std::vector<RecordChange> PlanRecordChanges(const RecordImage& image, const std::wstring& key_name,
                                            const std::vector<RecordedPlace>& places,
                                            const std::optional<RecordTime>& when) {
    ChangeList changes(image);
    if (places.empty()) {
        return changes.Take();
    }
    const StartupRecord now = ParseStartupRecord(key_name, image);
    const RecordedPlace& first = places.front();

    // The other places first: each counts once its command is in, and its type goes before it. A
    // place these values keep overrides what the standard values say of it, so the standard values
    // can change below without any place being out of the record meanwhile.
    for (const RecordedPlace& place : places) {
        if (place.place != first.place) {
            changes.Set(PlaceTypeName(place.place), RecordNumber(place.type));
            changes.Set(PlaceCommandName(place.place), RecordText(place.command));
        }
    }

    std::vector<std::pair<std::wstring, RegValue>> date;
    if (when) {
        const std::array<unsigned long, 6> parts = {when->year, when->month,  when->day,
                                                    when->hour, when->minute, when->second};
        for (std::size_t i = 0; i < parts.size(); ++i) {
            date.emplace_back(kDateNames[i], RecordNumber(parts[i]));
        }
    }
    if (now.standard_place == first.place) {
        // The same place: its command and type change where they are; values an older tool left
        // out are filled in.
        changes.SetIfAbsent(kInimapping, RecordText(L"0"));
        changes.SetIfAbsent(kItem, RecordText(key_name));
        changes.SetIfAbsent(kKey, RecordText(RecordKey(first.place)));
        for (const auto& [name, value] : date) {
            changes.Set(name, value);
        }
        changes.Set(kType, RecordNumber(first.type));
        changes.Set(kCommand, RecordText(first.command));
    } else {
        // Another place (or none yet): without its command the standard values name no place, so
        // hkey and key can change; the command goes in last.
        changes.Delete(kCommand);
        changes.Set(kHkey, RecordText(RecordHkey(first.place)));
        changes.Set(kKey, RecordText(RecordKey(first.place)));
        changes.SetIfAbsent(kInimapping, RecordText(L"0"));
        changes.SetIfAbsent(kItem, RecordText(key_name));
        for (const auto& [name, value] : date) {
            changes.Set(name, value);
        }
        changes.Set(kType, RecordNumber(first.type));
        changes.Set(kCommand, RecordText(first.command));
    }

    // An older version's numbered places: the count first, so they stop counting all at once.
    changes.Delete(kNumberedCount);
    for (const auto& [name, value] : image.values) {
        if (IsNumberedPlaceValue(name)) {
            changes.Delete(name);
        }
    }
    // Places the record no longer keeps by name (the standard values' own place included).
    for (const RunPlace place : kAllPlaces) {
        const bool kept = std::any_of(places.begin() + 1, places.end(),
                                      [place](const RecordedPlace& other) { return other.place == place; });
        if (!kept) {
            changes.Delete(PlaceCommandName(place));
            changes.Delete(PlaceTypeName(place));
        }
    }
    return changes.Take();
}

RecordImage AppliedChanges(RecordImage image, const std::vector<RecordChange>& changes, std::size_t count) {
    for (std::size_t i = 0; i < count && i < changes.size(); ++i) {
        if (changes[i].after) {
            image.Set(changes[i].name, *changes[i].after);
        } else {
            image.Erase(changes[i].name);
        }
    }
    return image;
}

long MakeRecordChanges(Registry& registry, const RegKey& key, const std::vector<RecordChange>& changes,
                       std::size_t& made) {
    made = 0;
    for (const RecordChange& change : changes) {
        ++made;
        const long status = MakeOne(registry, key, change.name, change.after);
        if (status != kSuccess) {
            return status;
        }
    }
    return kSuccess;
}

long UndoRecordChanges(Registry& registry, const RegKey& key, const std::vector<RecordChange>& changes,
                       std::size_t made) {
    for (std::size_t i = std::min(made, changes.size()); i > 0; --i) {
        const long status = MakeOne(registry, key, changes[i - 1].name, changes[i - 1].before);
        if (status != kSuccess) {
            return status;
        }
    }
    return kSuccess;
}

} // namespace runsweep
