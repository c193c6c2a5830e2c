#include "registry/reenable.h"

#include "registry/actions.h"
#include "registry/scan.h"

#include <algorithm>
#include <cstddef>

namespace runsweep {

namespace {

EnablePlaceOutcome PlaceFailure(long status) {
    return status == kAccessDenied ? EnablePlaceOutcome::NeedsAdministrator : EnablePlaceOutcome::Failed;
}

// The value's data as Disable found it: the text and its terminating NUL.
std::vector<unsigned char> CommandBytes(const std::wstring& command) {
    std::vector<unsigned char> bytes = Utf16Bytes(command);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Writes the command into the place's Run key (made if it is missing), reads it back and flushes
// it, so that the record is deleted only after the command is on disk.
long WriteRunValue(Registry& registry, const std::wstring& name, const RecordedPlace& place) {
    RegKey key;
    long status = registry.CreateKey(PlaceHive(place.place), kRunKeyPath, key, PlaceView(place.place));
    if (status != kSuccess) {
        return status;
    }
    const std::vector<unsigned char> bytes = CommandBytes(place.command);
    status = registry.SetValue(key, name, place.type, bytes);
    if (status != kSuccess) {
        return status;
    }
    RegValue stored;
    status = registry.ReadValue(key, name, stored);
    if (status != kSuccess) {
        return status;
    }
    if (stored.type != place.type || stored.data != bytes) {
        // The name was free before this write (EnableStartup makes sure): what storage made of it
        // goes, or it would start damaged at log-on and stand in the way of the next try.
        registry.DeleteValue(key, name);
        return kInvalidData;
    }
    return registry.FlushKey(key);
}

EnableOutcome Overall(const std::vector<EnablePlaceResult>& places, EnableOutcome when_none_back) {
    const bool any_back = std::any_of(places.begin(), places.end(), [](const EnablePlaceResult& place) {
        return place.outcome == EnablePlaceOutcome::Restored || place.outcome == EnablePlaceOutcome::AlreadyThere;
    });
    return any_back ? EnableOutcome::Partial : when_none_back;
}

} // namespace

std::vector<RecordedPlace> PlacesToEnable(const StartupRecord& record) {
    std::vector<RecordedPlace> places;
    for (std::size_t i = 0; i < record.places.size(); ++i) {
        const auto later =
            std::find_if(record.places.begin() + static_cast<std::ptrdiff_t>(i) + 1, record.places.end(),
                         [&](const RecordedPlace& other) { return other.place == record.places[i].place; });
        if (later == record.places.end()) {
            places.push_back(record.places[i]);
        }
    }
    return places;
}

EnableResult EnableStartup(Registry& registry, const StartupRecord& record) {
    EnableResult result;
    const std::wstring& name = record.key_name;
    if (!record.Understood() || record.places.empty()) {
        result.outcome = EnableOutcome::NotUnderstood;
        result.status = kInvalidData;
        return result;
    }
    if (name.empty() || name.find(L'\\') != std::wstring::npos) {
        // The empty name would address the Run keys' default values and the record root itself.
        result.outcome = EnableOutcome::NotUnderstood;
        result.status = kInvalidParameter;
        return result;
    }

    // Nothing is written until every place is known to take its command: a value of that name
    // with other data belongs to somebody, and a record half put back would leave the user
    // guessing which half.
    const std::vector<RecordedPlace> places = PlacesToEnable(record);
    bool conflict = false;
    for (const RecordedPlace& place : places) {
        const RunValue now = ReadRunValue(registry, place.place, name);
        EnablePlaceResult entry{place.place, EnablePlaceOutcome::NotTried, kSuccess};
        if (now.Present()) {
            const bool same = now.type == place.type && now.command == place.command;
            entry.outcome = same ? EnablePlaceOutcome::AlreadyThere : EnablePlaceOutcome::Conflict;
            conflict = conflict || !same;
        } else if (now.status != kFileNotFound) {
            entry.outcome = PlaceFailure(now.status);
            entry.status = now.status;
            if (result.status == kSuccess) {
                result.status = now.status;
            }
        }
        result.places.push_back(entry);
    }
    if (conflict || result.status != kSuccess) {
        // AlreadyThere places were back before this call; nothing was changed by it.
        result.outcome = conflict                         ? EnableOutcome::Conflict
                         : result.status == kAccessDenied ? EnableOutcome::NeedsAdministrator
                                                          : EnableOutcome::Failed;
        return result;
    }

    bool all_denied = true;
    for (std::size_t i = 0; i < places.size(); ++i) {
        EnablePlaceResult& entry = result.places[i];
        if (entry.outcome == EnablePlaceOutcome::AlreadyThere) {
            continue;
        }
        const long status = WriteRunValue(registry, name, places[i]);
        if (status == kSuccess) {
            entry.outcome = EnablePlaceOutcome::Restored;
            continue;
        }
        entry.outcome = PlaceFailure(status);
        entry.status = status;
        all_denied = all_denied && status == kAccessDenied;
        if (result.status == kSuccess) {
            result.status = status;
        }
    }
    if (result.status != kSuccess) {
        result.outcome = Overall(result.places, all_denied ? EnableOutcome::NeedsAdministrator : EnableOutcome::Failed);
        return result;
    }

    const long status = registry.DeleteKey(Hive::LocalMachine, StartupRecordPath(name), RegView::k64);
    if (status != kSuccess && status != kFileNotFound) {
        result.outcome = EnableOutcome::RecordNotDeleted;
        result.status = status;
        return result;
    }
    result.outcome = EnableOutcome::Done;
    return result;
}

EnableResult EnableStartup(Registry& registry, const std::wstring& key_name) {
    StartupRecord record;
    const long status = ReadStartupRecord(registry, key_name, record);
    if (status == kSuccess) {
        return EnableStartup(registry, record);
    }
    EnableResult result;
    result.status = status;
    result.outcome = status == kFileNotFound   ? EnableOutcome::RecordGone
                     : status == kAccessDenied ? EnableOutcome::NeedsAdministrator
                                               : EnableOutcome::Failed;
    return result;
}

} // namespace runsweep
