#include "registry/memory_registry.h"

#include "registry/name_case.h"

#include <algorithm>
#include <cstring>

namespace runsweep {

namespace {

// The documented limit of a key name; Wine accepts one character more.
constexpr std::size_t kMaxKeyNameLength = 255;

} // namespace

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Value* MemoryRegistry::Node::FindValue(const std::wstring& value_name) {
    for (Value& value : values) {
        if (RegistryNamesEqual(value.name, value_name)) {
            return &value;
        }
    }
    return nullptr;
}

MemoryRegistry::Node* MemoryRegistry::Walk(Hive hive, const std::wstring& path, bool create, long& status) {
    Node* node = &Root(hive);
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

std::optional<long> MemoryRegistry::FaultFor(RegistryOp op, Hive hive, const std::wstring& path,
                                             const std::wstring* value, std::optional<KeyAccess> access) {
    for (Fault& fault : faults_) {
        const FaultRule& rule = fault.rule;
        if (rule.op ? *rule.op != op : op == RegistryOp::Close) {
            continue;
        }
        if ((rule.hive && *rule.hive != hive) || (rule.path && !RegistryNamesEqual(*rule.path, path)) ||
            (rule.value && (value == nullptr || !RegistryNamesEqual(*rule.value, *value))) ||
            (rule.access && access != rule.access)) {
            continue;
        }
        ++fault.matched;
        if (rule.nth == 0 || rule.nth == fault.matched) {
            return rule.status;
        }
    }
    return std::nullopt;
}

long MemoryRegistry::Finish(RegistryOp op, Hive hive, const std::wstring& path, const std::wstring& value,
                            long status) {
    log_.push_back(RegistryCall{op, hive, path, value, status});
    return status;
}

const MemoryRegistry::Handle* MemoryRegistry::FindHandle(std::uintptr_t handle) const noexcept {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &it->second;
}

long MemoryRegistry::DoOpenKey(Hive hive, const std::wstring& path, KeyAccess access, std::uintptr_t& handle) {
    if (const auto fault = FaultFor(RegistryOp::Open, hive, path, nullptr, access); fault && *fault != kSuccess) {
        return Finish(RegistryOp::Open, hive, path, L"", *fault);
    }
    long status = kSuccess;
    Node* node = Walk(hive, path, false, status);
    if (node != nullptr) {
        handle = next_handle_++;
        handles_.emplace(handle, Handle{hive, path, access, node});
    }
    return Finish(RegistryOp::Open, hive, path, L"", status);
}

long MemoryRegistry::DoCreateKey(Hive hive, const std::wstring& path, std::uintptr_t& handle) {
    if (const auto fault = FaultFor(RegistryOp::Create, hive, path, nullptr, KeyAccess::Write);
        fault && *fault != kSuccess) {
        return Finish(RegistryOp::Create, hive, path, L"", *fault);
    }
    long status = kSuccess;
    Node* node = Walk(hive, path, true, status);
    if (node != nullptr) {
        handle = next_handle_++;
        handles_.emplace(handle, Handle{hive, path, KeyAccess::Write, node});
    }
    return Finish(RegistryOp::Create, hive, path, L"", status);
}

long MemoryRegistry::DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type,
                                  unsigned char* data, unsigned long* size) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const auto fault = FaultFor(RegistryOp::Query, open->hive, open->path, &name, std::nullopt);
        fault && *fault != kSuccess) {
        return Finish(RegistryOp::Query, open->hive, open->path, name, *fault);
    }
    const Value* value = open->node->FindValue(name);
    if (value == nullptr) {
        return Finish(RegistryOp::Query, open->hive, open->path, name, kFileNotFound);
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
    return Finish(RegistryOp::Query, open->hive, open->path, name, status);
}

long MemoryRegistry::DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type,
                                const unsigned char* data, std::size_t size) {
    const RegistryOp op = CurrentOp();
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const auto fault = FaultFor(op, open->hive, open->path, &name, std::nullopt)) {
        return Finish(op, open->hive, open->path, name, *fault);
    }
    if (open->access != KeyAccess::Write) {
        return Finish(op, open->hive, open->path, name, kAccessDenied);
    }
    std::vector<unsigned char> bytes(data, data + size);
    if (Value* value = open->node->FindValue(name)) {
        // The value keeps the spelling it was created with.
        value->type = type;
        value->data = std::move(bytes);
    } else {
        open->node->values.push_back(Value{name, type, std::move(bytes)});
    }
    return Finish(op, open->hive, open->path, name, kSuccess);
}

long MemoryRegistry::DoDeleteValue(std::uintptr_t handle, const std::wstring& name) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const auto fault = FaultFor(RegistryOp::Delete, open->hive, open->path, &name, std::nullopt)) {
        return Finish(RegistryOp::Delete, open->hive, open->path, name, *fault);
    }
    if (open->access != KeyAccess::Write) {
        return Finish(RegistryOp::Delete, open->hive, open->path, name, kAccessDenied);
    }
    auto& values = open->node->values;
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const Value& value) { return RegistryNamesEqual(value.name, name); });
    if (it == values.end()) {
        return Finish(RegistryOp::Delete, open->hive, open->path, name, kFileNotFound);
    }
    values.erase(it);
    return Finish(RegistryOp::Delete, open->hive, open->path, name, kSuccess);
}

long MemoryRegistry::DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const auto fault = FaultFor(RegistryOp::Enumerate, open->hive, open->path, nullptr, std::nullopt);
        fault && *fault != kSuccess) {
        return Finish(RegistryOp::Enumerate, open->hive, open->path, L"", *fault);
    }
    const auto& values = open->node->values;
    if (index >= values.size()) {
        return Finish(RegistryOp::Enumerate, open->hive, open->path, L"", kNoMoreItems);
    }
    name = values[index].name;
    return Finish(RegistryOp::Enumerate, open->hive, open->path, name, kSuccess);
}

long MemoryRegistry::DoCountValues(std::uintptr_t handle, unsigned long& count) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    if (const auto fault = FaultFor(RegistryOp::CountValues, open->hive, open->path, nullptr, std::nullopt);
        fault && *fault != kSuccess) {
        return Finish(RegistryOp::CountValues, open->hive, open->path, L"", *fault);
    }
    count = static_cast<unsigned long>(open->node->values.size());
    return Finish(RegistryOp::CountValues, open->hive, open->path, L"", kSuccess);
}

long MemoryRegistry::DoFlushKey(std::uintptr_t handle) {
    const Handle* open = FindHandle(handle);
    if (open == nullptr) {
        return kInvalidHandle;
    }
    const auto fault = FaultFor(RegistryOp::Flush, open->hive, open->path, nullptr, std::nullopt);
    return Finish(RegistryOp::Flush, open->hive, open->path, L"", fault.value_or(kSuccess));
}

void MemoryRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        return;
    }
    try {
        log_.push_back(RegistryCall{RegistryOp::Close, it->second.hive, it->second.path, L"", kSuccess});
    } catch (...) {
        // The log is a test aid; running out of memory for it must not keep a key open.
    }
    handles_.erase(it);
}

} // namespace runsweep
