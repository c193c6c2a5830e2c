#pragma once
// A registry in memory with the semantics the program relies on (see registry.h), for tests and
// for running the core without Windows. It can fail chosen calls with chosen status codes and
// keeps a log of every call, so tests can prove what an operation did and did not touch.
#include "registry/registry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {

// Which calls a fault hits. Unset fields match anything.
struct FaultRule {
    std::optional<RegistryOp> op; // unset: every operation except Close
    std::optional<Hive> hive;
    std::optional<std::wstring> path;  // the key's path, compared without regard to case
    std::optional<std::wstring> value; // the value name, likewise
    std::optional<KeyAccess> access;   // for OpenKey
    std::size_t nth = 0;               // 0: every matching call; n: only the n-th matching call
    // The status the call returns instead of doing its work. For writes, deletes and flushes,
    // kSuccess makes the call report success while changing nothing: a change the storage dropped.
    long status = kAccessDenied;
};

// One call as the log holds it.
struct RegistryCall {
    RegistryOp op;
    Hive hive;
    std::wstring path;
    std::wstring value; // the value name, for value operations
    long status;
};

class MemoryRegistry final : public Registry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    void AddFault(FaultRule rule) { faults_.push_back(Fault{std::move(rule), 0}); }
    void ClearFaults() noexcept { faults_.clear(); }

    const std::vector<RegistryCall>& Log() const noexcept { return log_; }
    void ClearLog() noexcept { log_.clear(); }

    // Keys currently open; zero once every operation has returned.
    std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

protected:
    long DoOpenKey(Hive hive, const std::wstring& path, KeyAccess access, std::uintptr_t& handle) override;
    long DoCreateKey(Hive hive, const std::wstring& path, std::uintptr_t& handle) override;
    long DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type, unsigned char* data,
                      unsigned long* size) override;
    long DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type, const unsigned char* data,
                    std::size_t size) override;
    long DoDeleteValue(std::uintptr_t handle, const std::wstring& name) override;
    long DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) override;
    long DoCountValues(std::uintptr_t handle, unsigned long& count) override;
    long DoFlushKey(std::uintptr_t handle) override;
    void DoCloseKey(std::uintptr_t handle) noexcept override;

private:
    struct Value {
        std::wstring name;
        unsigned long type;
        std::vector<unsigned char> data;
    };
    struct Node {
        std::wstring name;
        std::vector<Value> values;                             // in creation order
        std::map<std::wstring, std::unique_ptr<Node>> subkeys; // by upper-cased name
        Value* FindValue(const std::wstring& value_name);
    };
    struct Handle {
        Hive hive;
        std::wstring path;
        KeyAccess access;
        Node* node;
    };
    struct Fault {
        FaultRule rule;
        std::size_t matched;
    };

    Node& Root(Hive hive) noexcept { return hive == Hive::CurrentUser ? current_user_ : local_machine_; }
    // Looks up (or with create, makes) the key at path; nullptr and a status when it cannot.
    Node* Walk(Hive hive, const std::wstring& path, bool create, long& status);
    // The injected status for this call, if a fault hits it.
    std::optional<long> FaultFor(RegistryOp op, Hive hive, const std::wstring& path, const std::wstring* value,
                                 std::optional<KeyAccess> access);
    long Finish(RegistryOp op, Hive hive, const std::wstring& path, const std::wstring& value, long status);
    const Handle* FindHandle(std::uintptr_t handle) const noexcept;

    Node current_user_;
    Node local_machine_;
    std::map<std::uintptr_t, Handle> handles_;
    std::uintptr_t next_handle_ = 1;
    std::vector<Fault> faults_;
    std::vector<RegistryCall> log_;
};

} // namespace runsweep
