#include "registry/actions.h"

#include "base/message_sink.h"
#include "registry/clock.h"
#include "registry/registry.h"
#include "registry/scan.h"

#include <algorithm>
#include <utility>

namespace runsweep {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;

ActionResult FailureFor(long status, ActionOutcome otherwise) {
    ActionResult result;
    result.outcome = status == kAccessDenied ? ActionOutcome::NeedsAdministrator : otherwise;
    result.status = status;
    return result;
}

// A failure to change a Run key only matters when the key really holds the value: a user without
// rights to HKLM can still remove an entry that lives in HKCU alone.
long UnlessAbsent(Registry& registry, RunPlace place, const std::wstring& name, long status) {
    return ReadRunValue(registry, place, name).status == kFileNotFound ? kSuccess : status;
}

// Deletes the name from one place. kSuccess also when the key or the value does not exist.
long DeleteRunValue(Registry& registry, RunPlace place, const std::wstring& name, bool& deleted) {
    deleted = false;
    RegKey key;
    long status = registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Write, key, PlaceView(place));
    if (status == kFileNotFound) {
        return kSuccess;
    }
    if (status != kSuccess) {
        return UnlessAbsent(registry, place, name, status);
    }
    status = registry.DeleteValue(key, name);
    if (status == kSuccess) {
        deleted = true;
        return kSuccess;
    }
    return status == kFileNotFound ? kSuccess : UnlessAbsent(registry, place, name, status);
}

// Every place in `order`; each is tried even when an earlier one fails.
ActionResult DeleteFromPlaces(Registry& registry, const std::wstring& name, const std::vector<RunPlace>& order) {
    ActionResult result;
    std::size_t removed = 0;
    bool all_denied = true;
    for (const RunPlace place : order) {
        bool deleted = false;
        const long status = DeleteRunValue(registry, place, name, deleted);
        if (deleted) {
            ++removed;
            result.places.push_back(PlaceResult{place, PlaceOutcome::Removed, kSuccess});
        } else if (status != kSuccess) {
            const PlaceOutcome outcome =
                status == kAccessDenied ? PlaceOutcome::NeedsAdministrator : PlaceOutcome::Failed;
            all_denied = all_denied && status == kAccessDenied;
            result.places.push_back(PlaceResult{place, outcome, status});
            if (result.status == kSuccess) {
                result.status = status;
            }
        }
    }
    if (result.status == kSuccess) {
        result.outcome = removed > 0 ? ActionOutcome::Done : ActionOutcome::AlreadyGone;
    } else if (removed > 0) {
        result.outcome = ActionOutcome::Partial;
    } else {
        result.outcome = all_denied ? ActionOutcome::NeedsAdministrator : ActionOutcome::Failed;
    }
    return result;
}

// One value of a record as it is written and then read back.
struct RecordValue {
    std::wstring name;
    unsigned long type = kRegSz;
    std::wstring text;        // for REG_SZ
    unsigned long number = 0; // for REG_DWORD
};

std::vector<unsigned char> DwordBytes(unsigned long number) {
    return {static_cast<unsigned char>(number & 0xFF), static_cast<unsigned char>((number >> 8) & 0xFF),
            static_cast<unsigned char>((number >> 16) & 0xFF), static_cast<unsigned char>((number >> 24) & 0xFF)};
}

RecordValue Text(std::wstring name, std::wstring text) {
    return RecordValue{std::move(name), kRegSz, std::move(text), 0};
}

RecordValue Number(std::wstring name, unsigned long number) {
    return RecordValue{std::move(name), kRegDword, std::wstring(), number};
}

// The values that keep place `index` (1: the five the System Configuration utility reads).
void AddPlaceValues(std::vector<RecordValue>& values, const RecordedPlace& place, std::size_t index,
                    const std::wstring& item) {
    if (index == 1) {
        values.push_back(Text(L"command", place.command));
        values.push_back(Text(L"hkey", RecordHkey(place.place)));
        values.push_back(Text(L"inimapping", L"0"));
        values.push_back(Text(L"item", item));
        values.push_back(Text(L"key", RecordKey(place.place)));
        if (place.type != kRegSz) {
            values.push_back(Number(L"RunsweepType", place.type));
        }
        return;
    }
    const std::wstring n = std::to_wstring(index);
    values.push_back(Text(L"RunsweepCommand" + n, place.command));
    values.push_back(Text(L"RunsweepHkey" + n, RecordHkey(place.place)));
    values.push_back(Text(L"RunsweepKey" + n, RecordKey(place.place)));
    if (place.type != kRegSz) {
        values.push_back(Number(L"RunsweepType" + n, place.type));
    }
}

long WriteValue(Registry& registry, const RegKey& key, const RecordValue& value) {
    if (value.type == kRegDword) {
        return registry.SetValue(key, value.name, kRegDword, DwordBytes(value.number));
    }
    return registry.SetStringValue(key, value.name, value.text);
}

// A write the storage reported but did not keep must not cost the user the entry.
long VerifyValue(Registry& registry, const RegKey& key, const RecordValue& value) {
    RegValue stored;
    const long status = registry.ReadValue(key, value.name, stored);
    if (status != kSuccess) {
        return status;
    }
    if (value.type == kRegDword) {
        return stored.type == kRegDword && stored.data == DwordBytes(value.number) ? kSuccess : kInvalidData;
    }
    return stored.type == kRegSz && DecodeRegString(stored) == value.text ? kSuccess : kInvalidData;
}

// The record after this Disable: the earlier record's places as they were, then every place of
// the entry now that the earlier record does not already keep.
struct RecordPlan {
    bool fresh = true;    // no earlier record to keep: write the whole record
    bool existed = false; // a record key of that name was there before
    std::size_t kept = 0; // places of the earlier record (fresh: 0)
    std::vector<RecordedPlace> places;
    std::vector<RecordValue> fill_in; // standard values an earlier record lacks
};

bool HoldsCommand(const std::vector<RecordedPlace>& places, const std::wstring& command) {
    return std::any_of(places.begin(), places.end(),
                       [&](const RecordedPlace& place) { return place.command == command; });
}

// kSuccess and a plan, or the outcome that stops the Disable.
ActionResult PlanRecord(Registry& registry, const std::wstring& name, const std::vector<RecordedPlace>& now,
                        RecordPlan& plan) {
    StartupRecord earlier;
    const long status = ReadStartupRecord(registry, name, earlier);
    if (status == kFileNotFound) {
        plan.places = now;
        return ActionResult{};
    }
    if (status != kSuccess) {
        return FailureFor(status, ActionOutcome::RecordFailed);
    }
    plan.existed = true;
    if (!earlier.Understood() || !earlier.complete) {
        // What an interrupted Disable of this very entry leaves: a record cut short, whose command,
        // if it got one, is still in a Run key. It is written again whole.
        if (earlier.raw_command.empty() || HoldsCommand(now, earlier.raw_command)) {
            plan.places = now;
            return ActionResult{};
        }
        // Somebody's record that this program cannot read must stay as it is.
        if (!earlier.Understood()) {
            return ActionResult{ActionOutcome::EarlierRecordDamaged, kInvalidData};
        }
        // A record that names its place but lacks some of the standard values (written by hand, or
        // by an older tool) is kept and completed.
        RegKey key;
        const long open = registry.OpenKey(Hive::LocalMachine, StartupRecordPath(name), KeyAccess::Query, key);
        if (open != kSuccess) {
            return FailureFor(open, ActionOutcome::RecordFailed);
        }
        const std::vector<RecordValue> standard = {Text(L"inimapping", L"0"), Text(L"item", name),
                                                   Text(L"key", RecordKey(earlier.places.front().place))};
        for (const RecordValue& value : standard) {
            unsigned long size = 0;
            const long found = registry.QueryValue(key, value.name, nullptr, nullptr, &size);
            if (found == kFileNotFound) {
                plan.fill_in.push_back(value);
            } else if (found != kSuccess) {
                return FailureFor(found, ActionOutcome::RecordFailed);
            }
        }
    }
    plan.fresh = false;
    plan.kept = earlier.places.size();
    plan.places = std::move(earlier.places);
    for (const RecordedPlace& place : now) {
        if (std::find(plan.places.begin(), plan.places.end(), place) == plan.places.end()) {
            plan.places.push_back(place);
        }
    }
    return ActionResult{};
}

// Writes what the plan adds, reads it back and flushes it. On failure takes back what it wrote,
// so an earlier record is left as it was.
ActionResult WriteRecord(Registry& registry, const std::wstring& name, const RecordPlan& plan, const RecordTime& now,
                         MessageSink& messages) {
    std::vector<RecordValue> values = plan.fill_in;
    for (std::size_t i = plan.kept; i < plan.places.size(); ++i) {
        AddPlaceValues(values, plan.places[i], i + 1, name);
    }
    const bool count_changes = plan.places.size() > std::max<std::size_t>(plan.kept, 1);
    if (count_changes) {
        // Last of the places: places 2 and up count only once all their values are in.
        values.push_back(Number(L"RunsweepPlaces", static_cast<unsigned long>(plan.places.size())));
    }
    if (plan.fresh) {
        for (const auto& [part, value] :
             {std::pair{L"YEAR", now.year}, std::pair{L"MONTH", now.month}, std::pair{L"DAY", now.day},
              std::pair{L"HOUR", now.hour}, std::pair{L"MINUTE", now.minute}, std::pair{L"SECOND", now.second}}) {
            values.push_back(Number(part, value));
        }
    }

    const std::wstring path = StartupRecordPath(name);
    RegKey record;
    long status = registry.CreateKey(Hive::LocalMachine, path, record, RegView::k64);
    if (status != kSuccess) {
        messages.ShowMessage(L"Error on value: " + name + L". There was an error creating a MSConfig key.",
                             MessageIcon::Error);
        return FailureFor(status, ActionOutcome::RecordFailed);
    }

    std::size_t written = 0;
    for (; written < values.size() && status == kSuccess; ++written) {
        status = WriteValue(registry, record, values[written]);
    }
    for (std::size_t i = 0; i < values.size() && status == kSuccess; ++i) {
        status = VerifyValue(registry, record, values[i]);
    }
    if (status == kSuccess) {
        status = registry.FlushKey(record);
    }
    if (status == kSuccess) {
        ActionResult result;
        result.recorded = true;
        return result;
    }

    // Take back what this Disable wrote; what fails here stays as a record cut short, which the
    // next Disable of the entry recognises and writes again.
    if (!plan.existed) {
        record.reset();
        registry.DeleteKey(Hive::LocalMachine, path, RegView::k64);
    } else if (!plan.fresh) {
        for (std::size_t i = 0; i < written; ++i) {
            if (values[i].name == L"RunsweepPlaces" && plan.kept > 1) {
                WriteValue(registry, record, Number(L"RunsweepPlaces", static_cast<unsigned long>(plan.kept)));
            } else {
                registry.DeleteValue(record, values[i].name);
            }
        }
        registry.FlushKey(record);
    }
    return FailureFor(status, ActionOutcome::RecordFailed);
}

} // namespace

bool IsRecordableName(const std::wstring& name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(L'\\') == std::wstring::npos;
}

RunValue ReadRunValue(Registry& registry, RunPlace place, const std::wstring& name) {
    RunValue value;
    RegKey key;
    value.status = registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place));
    if (value.status != kSuccess) {
        return value;
    }
    RegValue data;
    value.status = registry.ReadValue(key, name, data);
    if (value.status == kSuccess) {
        value.type = data.type;
        value.command = DecodeRegString(data);
    }
    return value;
}

ActionResult RemoveStartup(Registry& registry, const std::wstring& sValue) {
    if (sValue.empty()) {
        // Would delete the Run keys' unnamed default values, which no catalogue entry names.
        return ActionResult{ActionOutcome::Failed, kInvalidParameter};
    }
    return DeleteFromPlaces(registry, sValue, RunPlaces(registry));
}

ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages) {
    return DisableStartup(registry, sValue, messages, LocalTimeNow());
}

ActionResult DisableStartup(Registry& registry, const std::wstring& sValue, MessageSink& messages,
                            const RecordTime& now) {
    if (!IsRecordableName(sValue)) {
        return ActionResult{ActionOutcome::NameNotRecordable, kInvalidParameter};
    }

    // Where the entry lives now. A place that cannot be read might hold a command the record would
    // then miss: nothing is done.
    std::vector<RecordedPlace> found;
    for (const RunPlace place : RunPlaces(registry)) {
        const RunValue value = ReadRunValue(registry, place, sValue);
        if (value.status == kFileNotFound) {
            continue;
        }
        if (!value.Present()) {
            ActionResult result = FailureFor(value.status, ActionOutcome::Failed);
            result.place = place;
            return result;
        }
        if (!value.IsText()) {
            ActionResult result{ActionOutcome::CommandNotText, kInvalidData};
            result.place = place;
            return result;
        }
        found.push_back(RecordedPlace{place, value.command, value.type});
    }
    if (found.empty()) {
        // Nothing to record; an earlier record of the name stays as it is.
        return ActionResult{ActionOutcome::AlreadyGone, kSuccess};
    }
    // The recorded command is the first place's that has one: HKCU, then HKLM, then HKLM's
    // 32-bit view.
    const auto source =
        std::find_if(found.begin(), found.end(), [](const RecordedPlace& place) { return !place.command.empty(); });
    if (source != found.end()) {
        std::rotate(found.begin(), source, source + 1);
    }

    RecordPlan plan;
    if (ActionResult stop = PlanRecord(registry, sValue, found, plan); stop.outcome != ActionOutcome::Done) {
        return stop;
    }
    if (ActionResult written = WriteRecord(registry, sValue, plan, now, messages); !written.recorded) {
        return written;
    }

    // The recorded place's value goes last, so that a kill between the deletes leaves the value the
    // record's standard values name where the next run finds it.
    std::vector<RunPlace> order;
    for (std::size_t i = 1; i < found.size(); ++i) {
        order.push_back(found[i].place);
    }
    order.push_back(found.front().place);
    ActionResult result = DeleteFromPlaces(registry, sValue, order);
    result.recorded = true;
    return result;
}

} // namespace runsweep
