#include "registry/scan.h"

#include "catalogue/catalogue.h"
#include "registry/folder_actions.h"
#include "registry/name_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace runsweep {

namespace {

bool ValueExists(Registry& registry, const RegKey& key, const std::wstring& name) {
    // No buffer: the registry answers for a value of any length or type.
    unsigned long size = 0;
    return registry.QueryValue(key, name, nullptr, nullptr, &size) == kSuccess;
}

// One Run key as the scan sees it: opened once, and either its value names enumerated once and
// indexed by MatchKey, or, when the key holds more values than there are names to look for, each
// name asked directly. Either way each name is asked of the registry at most once. A key that
// cannot be read is no empty key: the first status that kept it from being read is kept.
class RunKeyIndex {
public:
    RunKeyIndex(Registry& registry, RunPlace place, std::size_t names_to_ask, bool need_names) : registry_(registry) {
        const long opened = registry_.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key_, PlaceView(place));
        if (opened != kSuccess) {
            failure_ = opened == kFileNotFound ? kSuccess : opened; // missing: holds nothing
            return;
        }
        // Enumerating costs one call per value and one more; asking costs one call per name.
        unsigned long count = 0;
        if (!need_names && registry_.CountValues(key_, count) == kSuccess && count >= names_to_ask) {
            indexed_ = false;
            return;
        }
        if (const long listed = registry_.EnumValueNames(key_, names_); listed != kSuccess) {
            // An index built from half an enumeration could miss a value; ask for every name instead.
            // Names that begin with a prefix can only be found by enumerating.
            names_.clear();
            indexed_ = false;
            failure_ = need_names ? listed : kSuccess;
            return;
        }
        for (const std::wstring& name : names_) {
            if (!name.empty()) {
                keys_.insert(MatchKey(name));
            }
        }
    }

    bool Holds(const std::wstring& name) {
        if (name.empty() || !key_ || (indexed_ && keys_.count(MatchKey(name)) == 0)) {
            return false;
        }
        const auto known = verdicts_.find(name);
        if (known != verdicts_.end()) {
            return known->second;
        }
        unsigned long size = 0;
        const long status = registry_.QueryValue(key_, name, nullptr, nullptr, &size);
        if (status != kSuccess && status != kFileNotFound && failure_ == kSuccess) {
            failure_ = status;
        }
        verdicts_.emplace(name, status == kSuccess);
        return status == kSuccess;
    }

    // The key's value names, in enumeration order (none when it was not enumerated).
    const std::vector<std::wstring>& Names() const noexcept { return names_; }
    // kSuccess, or why some of what the key holds could not be read.
    long Failure() const noexcept { return failure_; }

private:
    Registry& registry_;
    RegKey key_;
    bool indexed_ = true;
    long failure_ = kSuccess;
    std::vector<std::wstring> names_;
    std::unordered_set<std::wstring> keys_;
    std::unordered_map<std::wstring, bool> verdicts_; // by exact name: a name listed twice is asked once
};

} // namespace

bool IsStartupPresent(Registry& registry, const std::wstring& sValue) {
    if (sValue.empty()) {
        return false;
    }
    for (const RunPlace place : RunPlaces(registry)) {
        RegKey key;
        if (registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place)) == kSuccess &&
            ValueExists(registry, key, sValue)) {
            return true;
        }
    }
    return false;
}

std::wstring DecodeRegString(const RegValue& value) {
    if (value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) {
        return std::wstring();
    }
    return Utf16Text(value.data);
}

long ReadRegString(Registry& registry, Hive hive, const std::wstring& path, const std::wstring& name,
                   std::wstring& text) {
    text.clear();
    RegKey key;
    long status = registry.OpenKey(hive, path, KeyAccess::Query, key);
    if (status != kSuccess) {
        return status;
    }
    RegValue value;
    status = registry.ReadValue(key, name, value);
    if (status == kSuccess) {
        text = DecodeRegString(value);
    }
    return status;
}

std::wstring ReadRegString(Registry& registry, Hive hive, const std::wstring& path, const std::wstring& name) {
    std::wstring text;
    ReadRegString(registry, hive, path, name, text);
    return text;
}

std::vector<std::wstring> EntryPlaceLabels(const FoundStartup& entry) {
    std::vector<std::wstring> labels;
    for (const RunPlace place : entry.places) {
        labels.emplace_back(PlaceLabel(place));
    }
    for (const StartupFolder folder : kStartupFolders) {
        if (std::any_of(entry.files.begin(), entry.files.end(),
                        [&](const FolderItem& item) { return item.folder == folder; })) {
            labels.emplace_back(FolderLabel(folder));
        }
    }
    return labels;
}

std::vector<FoundStartup> FindStartups(const Catalogue& catalogue, Registry& registry, FolderFiles* files,
                                       std::vector<UnreadablePlace>* unreadable) {
    const auto entries = catalogue.Entries();
    std::size_t names_to_ask = 0;
    bool prefixes = false;
    for (const CatalogueEntry& entry : entries) {
        ++names_to_ask;
        prefixes = prefixes || entry.prefix;
    }
    const std::vector<RunPlace> places = RunPlaces(registry);
    std::vector<RunKeyIndex> keys;
    keys.reserve(places.size());
    for (const RunPlace place : places) {
        keys.emplace_back(registry, place, names_to_ask, prefixes);
    }

    // The folders' items by their name without extension, as names compare.
    std::vector<FolderListing> listings;
    std::unordered_map<std::wstring, std::vector<FolderItem>> items;
    if (files != nullptr) {
        listings = ListStartupFolders(*files);
        for (const FolderListing& listing : listings) {
            for (const std::wstring& file : listing.names) {
                items[RegistryUpcase(FileStem(file))].push_back(
                    FolderItem{listing.folder, JoinPath(listing.path, file), file});
            }
        }
    }

    std::vector<FoundStartup> found;
    // Names already found, by their name as the registry compares names.
    std::unordered_set<std::wstring> listed;
    const auto add = [&](const CatalogueEntry& entry, const std::wstring& name) {
        const std::wstring key = RegistryUpcase(name);
        if (listed.count(key) != 0) {
            return;
        }
        FoundStartup row;
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (keys[i].Holds(name)) {
                row.places.push_back(places[i]);
            }
        }
        if (const auto named = items.find(key); named != items.end() && !name.empty()) {
            row.files = named->second;
        }
        if (row.places.empty() && row.files.empty()) {
            return;
        }
        listed.insert(key);
        row.index = entry.index;
        row.name = name;
        row.description.assign(entry.description);
        found.push_back(std::move(row));
    };

    std::wstring name;
    for (const CatalogueEntry& entry : entries) {
        if (!entry.prefix) {
            name.assign(entry.name);
            add(entry, name);
            continue;
        }
        for (const RunKeyIndex& key : keys) {
            for (const std::wstring& value : key.Names()) {
                if (!value.empty() && RegistryNameStartsWith(value, entry.name)) {
                    add(entry, value);
                }
            }
        }
        for (const FolderListing& listing : listings) {
            for (const std::wstring& file : listing.names) {
                const std::wstring stem = FileStem(file);
                if (!stem.empty() && RegistryNameStartsWith(stem, entry.name)) {
                    add(entry, stem);
                }
            }
        }
    }
    if (unreadable != nullptr) {
        unreadable->clear();
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (keys[i].Failure() != kSuccess) {
                unreadable->push_back(UnreadablePlace{places[i], keys[i].Failure()});
            }
        }
    }
    return found;
}

} // namespace runsweep
