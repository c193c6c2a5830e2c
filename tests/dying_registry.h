#pragma once
// A registry that "dies" after a chosen number of changes, to stand for the process being killed
// there: every call goes to another registry, and the limit-th successful change throws Died.
#include "registry/registry.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace runsweep::contract {

// Thrown by DyingRegistry: the process ends on the spot, nothing after it runs.
struct Died {};

// Passes every call to another registry and "dies" right after its limit-th successful change
// (create, set, delete), which stands for the process being killed there. A limit of 0 never dies.
class DyingRegistry final : public Registry {
public:
    DyingRegistry(Registry& store, std::size_t limit) : store_(store), limit_(limit) {}
    std::size_t Changes() const noexcept { return changes_; }
    bool HasTwoViews() const noexcept override { return store_.HasTwoViews(); }

protected:
    long DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                   std::uintptr_t& handle) override {
        RegKey key;
        const long status = store_.OpenKey(hive, path, access, key, view);
        if (status == kSuccess) {
            handle = Keep(std::move(key));
        }
        return status;
    }
    long DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) override {
        RegKey key;
        const long status = store_.CreateKey(hive, path, key, view);
        if (status == kSuccess) {
            handle = Keep(std::move(key));
            Changed();
        }
        return status;
    }
    long DoDeleteKey(Hive hive, RegView view, const std::wstring& path) override {
        const long status = store_.DeleteKey(hive, path, view);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        return store_.EnumSubKeyName(keys_.at(handle), index, name);
    }
    long DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type, unsigned char* data,
                      unsigned long* size) override {
        return store_.QueryValue(keys_.at(handle), name, type, data, size);
    }
    long DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type, const unsigned char* data,
                    std::size_t size) override {
        const std::vector<unsigned char> bytes(data, data + size);
        const long status = store_.SetValue(keys_.at(handle), name, type, bytes);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoDeleteValue(std::uintptr_t handle, const std::wstring& name) override {
        const long status = store_.DeleteValue(keys_.at(handle), name);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        return store_.EnumValueName(keys_.at(handle), index, name);
    }
    long DoCountValues(std::uintptr_t handle, unsigned long& count) override {
        return store_.CountValues(keys_.at(handle), count);
    }
    long DoFlushKey(std::uintptr_t handle) override { return store_.FlushKey(keys_.at(handle)); }
    void DoCloseKey(std::uintptr_t handle) noexcept override { keys_.erase(handle); }

private:
    std::uintptr_t Keep(RegKey key) {
        keys_.emplace(next_, std::move(key));
        return next_++;
    }
    void Changed() {
        if (++changes_ == limit_) {
            throw Died{};
        }
    }

    Registry& store_;
    std::size_t limit_;
    std::size_t changes_ = 0;
    std::map<std::uintptr_t, RegKey> keys_;
    std::uintptr_t next_ = 1;
};

} // namespace runsweep::contract
