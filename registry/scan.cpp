#include "registry/scan.h"

#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/name_case.h"

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
// name asked directly. Either way each name is asked of the registry at most once.
class RunKeyIndex {
public:
    RunKeyIndex(Registry& registry, Hive hive, std::size_t names_to_ask) : registry_(registry) {
        if (registry_.OpenKey(hive, kRunKeyPath, KeyAccess::Query, key_) != kSuccess) {
            return; // missing or unreadable: holds nothing
        }
        // Enumerating costs one call per value and one more; asking costs one call per name.
        unsigned long count = 0;
        if (registry_.CountValues(key_, count) == kSuccess && count >= names_to_ask) {
            indexed_ = false;
            return;
        }
        std::vector<std::wstring> names;
        if (registry_.EnumValueNames(key_, names) != kSuccess) {
            // An index built from half an enumeration could miss a value; ask for every name instead.
            indexed_ = false;
            return;
        }
        for (const std::wstring& name : names) {
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
        const bool present = ValueExists(registry_, key_, name);
        verdicts_.emplace(name, present);
        return present;
    }

private:
    Registry& registry_;
    RegKey key_;
    bool indexed_ = true;
    std::unordered_set<std::wstring> keys_;
    std::unordered_map<std::wstring, bool> verdicts_; // by exact name: a name listed twice is asked once
};

} // namespace

bool IsStartupPresent(Registry& registry, const std::wstring& sValue) {
    if (sValue.empty()) {
        return false;
    }
    for (const Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        RegKey key;
        if (registry.OpenKey(hive, kRunKeyPath, KeyAccess::Query, key) == kSuccess &&
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

void ScanStartups(const Catalogue& catalogue, Registry& registry, StartupList& list) {
    const auto entries = catalogue.Entries();
    const auto names_to_ask = static_cast<std::size_t>(std::distance(entries.begin(), entries.end()));
    RunKeyIndex current_user(registry, Hive::CurrentUser, names_to_ask);
    RunKeyIndex local_machine(registry, Hive::LocalMachine, names_to_ask);
    std::wstring name;
    for (const CatalogueEntry& entry : entries) {
        name.assign(entry.name);
        // HKCU decides first; HKLM is asked only when HKCU does not hold the name.
        if (current_user.Holds(name) || local_machine.Holds(name)) {
            list.AddItem(name, std::wstring(entry.description));
        }
    }
}

} // namespace runsweep
