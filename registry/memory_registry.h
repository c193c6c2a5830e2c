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

// What storage keeps of a write that a fault lets report success (status kSuccess): nothing, the
// first half of the data, or data of the same size with one byte changed. Only a read-back that
// compares the data tells the last two from a sound write.
enum class StoredWrite { Dropped, Truncated, Corrupted };

// Which calls a fault hits. Unset fields match anything.
struct FaultRule {
    std::optional<RegistryOp> op; // unset: every operation except Close
    std::optional<Hive> hive;
    std::optional<std::wstring> path;  // the key's path, compared without regard to case
    std::optional<std::wstring> value; // the value name, likewise
    std::optional<KeyAccess> access;   // for OpenKey
    std::size_t nth = 0;               // 0: every matching call; n: only the n-th matching call
    // The status the call returns instead of doing its work. For writes, deletes and flushes,
    // kSuccess makes the call report success while changing nothing: a change the storage dropped
    // (or, for a value written, kept as `stored` says). As on Windows, a key that does not exist is
    // not found before it is refused: an Open or DeleteKey of a missing key answers kFileNotFound
    // whatever access fault matches it.
    long status = kAccessDenied;
    std::optional<RegView> view; // for HKLM keys (HKCU's are in the 64-bit view of the model)
    StoredWrite stored = StoredWrite::Dropped;
};

// One call as the log holds it.
struct RegistryCall {
    RegistryOp op;
    Hive hive;
    RegView view;
    std::wstring path;
    std::wstring value; // the value name, for value operations
    long status;
};

class MemoryRegistry final : public Registry {
public:
    // two_views: a 64-bit Windows, whose HKLM keys exist in a 64-bit and a 32-bit view; otherwise
    // a 32-bit Windows, where both views name the same keys. HKCU is one tree either way.
    explicit MemoryRegistry(bool two_views = true);
    ~MemoryRegistry() override;

    bool HasTwoViews() const noexcept override { return two_views_; }

    void AddFault(FaultRule rule) { faults_.push_back(Fault{std::move(rule), 0}); }
    void ClearFaults() noexcept { faults_.clear(); }

    const std::vector<RegistryCall>& Log() const noexcept { return log_; }
    void ClearLog() noexcept { log_.clear(); }

    // Keys currently open; zero once every operation has returned.
    std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

protected:
    long DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                   std::uintptr_t& handle) override;
    long DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) override;
    long DoDeleteKey(Hive hive, RegView view, const std::wstring& path) override;
    long DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) override;
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
        bool deleted = false; // handles opened before the key was deleted can do nothing with it
        Value* FindValue(const std::wstring& value_name);
    };
    struct Handle {
        Hive hive;
        RegView view;
        std::wstring path;
        KeyAccess access;
        Node* node;
    };
    struct Fault {
        FaultRule rule;
        std::size_t matched;
    };

    // The view a key really lives in: HKCU's keys and a one-view machine's keys are all in one.
    RegView Effective(Hive hive, RegView view) const noexcept {
        return hive == Hive::CurrentUser || !two_views_ ? RegView::k64 : view;
    }
    Node& Root(Hive hive, RegView view) noexcept {
        if (hive == Hive::CurrentUser) {
            return current_user_;
        }
        return Effective(hive, view) == RegView::k32 ? local_machine32_ : local_machine_;
    }
    bool KeyExists(Hive hive, RegView view, const std::wstring& path);
    // Looks up (or with create, makes) the key at path; nullptr and a status when it cannot.
    Node* Walk(Hive hive, RegView view, const std::wstring& path, bool create, long& status);
    // The injected status for this call, if a fault hits it.
    const Fault* FaultFor(RegistryOp op, Hive hive, RegView view, const std::wstring& path, const std::wstring* value,
                          std::optional<KeyAccess> access);
    long Finish(RegistryOp op, const Handle& where, const std::wstring& value, long status);
    long Finish(RegistryOp op, Hive hive, RegView view, const std::wstring& path, const std::wstring& value,
                long status);
    const Handle* FindHandle(std::uintptr_t handle) const noexcept;

    bool two_views_;
    Node current_user_;
    Node local_machine_;
    Node local_machine32_;
    std::map<std::uintptr_t, Handle> handles_;
    std::vector<std::unique_ptr<Node>> deleted_; // kept for the handles still open on them
    std::uintptr_t next_handle_ = 1;
    std::vector<Fault> faults_;
    std::vector<RegistryCall> log_;
};

} // namespace runsweep
