#include "registry/memory_registry.h"

#include "registry/name_case.h"

#include <algorithm>
#include <cstring>

namespace runsweep {

namespace {

// The documented limit of a key name; Wine accepts one character more.
constexpr std::size_t kMaxKeyNameLength = 255;

} // namespace

MemoryRegistry::MemoryRegistry(bool two_views) : two_views_(two_views) {}
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Value* MemoryRegistry::Node::FindValue(const std::wstring& value_name) {
    for (Value& value : values) {
        if (RegistryNamesEqual(value.name, value_name)) {
            return &value;
        }
    }
    return nullptr;
}

MemoryRegistry::Node* MemoryRegistry::Walk(Hive hive, RegView view, const std::wstring& path, bool create,
                                           long& status) {
    Node* node = &Root(hive, view);
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part.size() > kMaxKeyNameLength) {
            status = kInvalidParameter;
            return nullptr;
        }
        const std::wstring folded = RegistryUpcase(part);
        auto it = node->subkeys.find(folded);
        if (it == node->subkeys.end()) {
            if (!create) {
                status = kFileNotFound;
                return nullptr;
            }
            auto child = std::make_unique<Node>();
            child->name = part;
            it = node->subkeys.emplace(folded, std::move(child)).first;
        }
        node = it->second.get();
    }
    status = kSuccess;
    return node;
}

const MemoryRegistry::Fault* MemoryRegistry::FaultFor(RegistryOp op, Hive hive, RegView view, const std::wstring& path,
                                                      const std::wstring* value, std::optional<KeyAccess> access) {
    for (Fault& fault : faults_) {
        const FaultRule& rule = fault.rule;
        if (rule.op ? *rule.op != op : op == RegistryOp::Close) {
            continue;
        }
        if ((rule.hive && *rule.hive != hive) || (rule.view && *rule.view != Effective(hive, view)) ||
            (rule.path && !RegistryNamesEqual(*rule.path, path)) ||
            (rule.value && (value == nullptr || !RegistryNamesEqual(*rule.value, *value))) ||
            (rule.access && access != rule.access)) {
            continue;
        }
        ++fault.matched;
        if (rule.nth == 0 || rule.nth == fault.matched) {
            return &fault;
        }
    }
    return nullptr;
}

bool MemoryRegistry::KeyExists(Hive hive, RegView view, const std::wstring& path) {
    long status = kSuccess;
    return Walk(hive, view, path, false, status) != nullptr;
}

long MemoryRegistry::Finish(RegistryOp op, Hive hive, RegView view, const std::wstring& path, const std::wstring& value,
                            long status) {
    log_.push_back(RegistryCall{op, hive, Effective(hive, view), path, value, status});
    return status;
}

long MemoryRegistry::Finish(RegistryOp op, const Handle& where, const std::wstring& value, long status) {
    return Finish(op, where.hive, where.view, where.path, value, status);
}

const MemoryRegistry::Handle* MemoryRegistry::FindHandle(std::uintptr_t handle) const noexcept {
    const auto it = handles_.find(handle);
    return it == handles_.end() || it->second.node->deleted ? nullptr : &it->second;
}

long MemoryRegistry::DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                               std::uintptr_t& handle) {
    if (const Fault* fault = FaultFor(RegistryOp::Open, hive, view, path, nullptr, access);
        fault && fault->rule.status != kSuccess &&
        (fault->rule.status != kAccessDenied || KeyExists(hive, view, path))) {
        return Finish(RegistryOp::Open, hive, view, path, L"", fault->rule.status);
    }
    long status = kSuccess;
    Node* node = Walk(hive, view, path, false, status);
    if (node != nullptr) {
        handle = next_handle_++;
        handles_.emplace(handle, Handle{hive, Effective(hive, view), path, access, node});
    }
    return Finish(RegistryOp::Open, hive, view, path, L"", status);
}

long MemoryRegistry::DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) {
    if (const Fault* fault = FaultFor(RegistryOp::Create, hive, view, path, nullptr, KeyAccess::Write);
        fault && fault->rule.status != kSuccess) {
        return Finish(RegistryOp::Create, hive, view, path, L"", fault->rule.status);
    }
    long status = kSuccess;
    Node* node = Walk(hive, view, path, true, status);
    if (node != nullptr) {
        handle = next_handle_++;
        handles_.emplace(handle, Handle{hive, Effective(hive, view), path, KeyAccess::Write, node});
    }
    return Finish(RegistryOp::Create, hive, view, path, L"", status);
}

long MemoryRegistry::DoDeleteKey(Hive hive, RegView view, const std::wstring& path) {
    if (const Fault* fault = FaultFor(RegistryOp::DeleteKey, hive, view, path, nullptr, KeyAccess::Write);
        fault && (fault->rule.status != kAccessDenied || KeyExists(hive, view, path))) {
        return Finish(RegistryOp::DeleteKey, hive, view, path, L"", fault->rule.status);
    }
    const std::size_t cut = path.rfind(L'\\');
    const std::wstring parent_path = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
    const std::wstring leaf = cut == std::wstring::npos ? path : path.substr(cut + 1);
    long status = kSuccess;
    Node* parent = parent_path.empty() ? &Root(hive, view) : Walk(hive, view, parent_path, false, status);
    if (parent == nullptr) {
        return Finish(RegistryOp::DeleteKey, hive, view, path, L"", status);
    }
    const auto it = parent->subkeys.find(RegistryUpcase(leaf));
    if (it == parent->subkeys.end()) {
        return Finish(RegistryOp::DeleteKey, hive, view, path, L"", kFileNotFound);
    }
    if (!it->second->subkeys.empty()) {
        return Finish(RegistryOp::DeleteKey, hive, view, path, L"", kAccessDenied);
    }
    // Handles still open on the key stay open but can do nothing with it, as with the real registry.
    it->second->deleted = true;
    deleted_.push_back(std::move(it->second));
    parent->subkeys.erase(it);
    return Finish(RegistryOp::DeleteKey, hive, view, path, L"", kSuccess);
}

long MemoryRegistry::DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const Fault* fault =
            FaultFor(RegistryOp::EnumerateKeys, open->hive, open->view, open->path, nullptr, std::nullopt);
        fault && fault->rule.status != kSuccess) {
        return Finish(RegistryOp::EnumerateKeys, *open, L"", fault->rule.status);
    }
    const auto& subkeys = open->node->subkeys;
    if (index >= subkeys.size()) {
        return Finish(RegistryOp::EnumerateKeys, *open, L"", kNoMoreItems);
    }
    name = std::next(subkeys.begin(), static_cast<std::ptrdiff_t>(index))->second->name;
    return Finish(RegistryOp::EnumerateKeys, *open, name, kSuccess);
}

long MemoryRegistry::DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type,
                                  unsigned char* data, unsigned long* size) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const Fault* fault = FaultFor(RegistryOp::Query, open->hive, open->view, open->path, &name, std::nullopt);
        fault && fault->rule.status != kSuccess) {
        return Finish(RegistryOp::Query, *open, name, fault->rule.status);
    }
    const Value* value = open->node->FindValue(name);
    if (value == nullptr) {
        return Finish(RegistryOp::Query, *open, name, kFileNotFound);
    }
    const auto needed = static_cast<unsigned long>(value->data.size());
    if (type != nullptr) {
        *type = value->type;
    }
    long status = kSuccess;
    if (data != nullptr && *size < needed) {
        status = kMoreData;
    } else if (data != nullptr && needed > 0) {
        std::memcpy(data, value->data.data(), needed);
    }
    if (size != nullptr) {
        *size = needed;
    }
    return Finish(RegistryOp::Query, *open, name, status);
}

long MemoryRegistry::DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type,
                                const unsigned char* data, std::size_t size) {
    const RegistryOp op = CurrentOp();
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    std::vector<unsigned char> bytes(data, data + size);
    if (const Fault* fault = FaultFor(op, open->hive, open->view, open->path, &name, std::nullopt)) {
        if (fault->rule.status != kSuccess || fault->rule.stored == StoredWrite::Dropped ||
            open->access != KeyAccess::Write) {
            return Finish(op, *open, name, fault->rule.status);
        }
        if (fault->rule.stored == StoredWrite::Truncated) {
            bytes.resize(bytes.size() / 2);
        } else if (bytes.empty()) {
            bytes = {'?', 0};
        } else {
            bytes[bytes.size() / 2] ^= 0x01;
        }
    }
    if (open->access != KeyAccess::Write) {
        return Finish(op, *open, name, kAccessDenied);
    }
    if (Value* value = open->node->FindValue(name)) {
        // The value keeps the spelling it was created with.
        value->type = type;
        value->data = std::move(bytes);
    } else {
        open->node->values.push_back(Value{name, type, std::move(bytes)});
    }
    return Finish(op, *open, name, kSuccess);
}

long MemoryRegistry::DoDeleteValue(std::uintptr_t handle, const std::wstring& name) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const Fault* fault = FaultFor(RegistryOp::Delete, open->hive, open->view, open->path, &name, std::nullopt)) {
        return Finish(RegistryOp::Delete, *open, name, fault->rule.status);
    }
    if (open->access != KeyAccess::Write) {
        return Finish(RegistryOp::Delete, *open, name, kAccessDenied);
    }
    auto& values = open->node->values;
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const Value& value) { return RegistryNamesEqual(value.name, name); });
    if (it == values.end()) {
        return Finish(RegistryOp::Delete, *open, name, kFileNotFound);
    }
    values.erase(it);
    return Finish(RegistryOp::Delete, *open, name, kSuccess);
}

long MemoryRegistry::DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const Fault* fault = FaultFor(RegistryOp::Enumerate, open->hive, open->view, open->path, nullptr, std::nullopt);
        fault && fault->rule.status != kSuccess) {
        return Finish(RegistryOp::Enumerate, *open, L"", fault->rule.status);
    }
    const auto& values = open->node->values;
    if (index >= values.size()) {
        return Finish(RegistryOp::Enumerate, *open, L"", kNoMoreItems);
    }
    name = values[index].name;
    return Finish(RegistryOp::Enumerate, *open, name, kSuccess);
}

long MemoryRegistry::DoCountValues(std::uintptr_t handle, unsigned long& count) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const Fault* fault =
            FaultFor(RegistryOp::CountValues, open->hive, open->view, open->path, nullptr, std::nullopt);
        fault && fault->rule.status != kSuccess) {
        return Finish(RegistryOp::CountValues, *open, L"", fault->rule.status);
    }
    count = static_cast<unsigned long>(open->node->values.size());
    return Finish(RegistryOp::CountValues, *open, L"", kSuccess);
}

long MemoryRegistry::DoFlushKey(std::uintptr_t handle) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    const Fault* fault = FaultFor(RegistryOp::Flush, open->hive, open->view, open->path, nullptr, std::nullopt);
    return Finish(RegistryOp::Flush, *open, L"", fault != nullptr ? fault->rule.status : kSuccess);
}

void MemoryRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        return;
    }
    try {
        log_.push_back(
            RegistryCall{RegistryOp::Close, it->second.hive, it->second.view, it->second.path, L"", kSuccess});
    } catch (...) {
        // The log is a test aid; running out of memory for it must not keep a key open.
    }
    handles_.erase(it);
}

} // namespace runsweep
