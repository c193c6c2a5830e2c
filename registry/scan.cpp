#include "registry/scan.h"

#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/name_case.h"

#include <cstdint>
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

// One Run key as the scan sees it: opened once, its value names enumerated once and indexed by
// MatchKey, and the registry's verdict on each name asked so far.
class RunKeyIndex {
public:
    RunKeyIndex(Registry& registry, Hive hive) : registry_(registry) {
        if (registry_.OpenKey(hive, kRunKeyPath, KeyAccess::Query, key_) != kSuccess) {
            return; // missing or unreadable: holds nothing
        }
        std::vector<std::wstring> names;
        if (registry_.EnumValueNames(key_, names) != kSuccess) {
            // An index built from half an enumeration could miss a value; ask for every name instead.
            complete_ = false;
            return;
        }
        for (const std::wstring& name : names) {
            if (!name.empty()) {
                keys_.insert(MatchKey(name));
            }
        }
    }

    bool Holds(const std::wstring& name) {
        if (name.empty() || !key_ || (complete_ && keys_.count(MatchKey(name)) == 0)) {
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
    bool complete_ = true;
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
    std::wstring text;
    text.reserve(value.data.size() / 2);
    // UTF-16 units, low byte first; an odd last byte belongs to no unit.
    for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const auto unit = static_cast<std::uint16_t>(value.data[i] | (value.data[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
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
    RunKeyIndex current_user(registry, Hive::CurrentUser);
    RunKeyIndex local_machine(registry, Hive::LocalMachine);
    std::wstring name;
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        name.assign(entry.name);
        // HKCU decides first; HKLM is asked only when HKCU does not hold the name.
        if (current_user.Holds(name) || local_machine.Holds(name)) {
            list.AddItem(name, std::wstring(entry.description));
        }
    }
}

} // namespace runsweep
