// "Disable" cut short: the process may die right after any change it makes to the registry (a crash,
// a power cut, the user ending it). Whenever that happens, every command that was in a Run key or a
// record before must still be in one, and running "Disable" again on what is left must finish the
// job with the very record a run without the interruption would have written.
#include "disable_scenario.h"
#include "registry_contract.h"

#include "registry/memory_registry.h"

#include <cstdio>
#include <map>
#include <optional>

namespace runsweep::contract {
namespace {

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

const std::wstring& kName = kScenarioName;

StartupRecord RecordOf(Registry& registry) {
    StartupRecord record;
    ReadStartupRecord(registry, kName, record);
    return record;
}

TEST(DisableInterrupted, AKillAfterAnyChangeLosesNothingAndTheNextRunWritesTheSameRecord) {
    const RecordTime when{2026, 12, 8, 23, 30, 5};
    std::size_t kills = 0;
    std::size_t lost = 0;
    for (const Scenario& scenario : DisableScenarios()) {
        SCOPED_TRACE(scenario.label);
        std::size_t changes = 0;
        StartupRecord whole_record;
        {
            MemoryRegistry store;
            ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
            DyingRegistry whole(store, 0);
            MessageLog messages;
            ASSERT_EQ(DisableStartup(whole, kName, messages, when).outcome, ActionOutcome::Done);
            changes = whole.Changes();
            ASSERT_EQ(LostCommands(store, scenario), "");
            whole_record = RecordOf(store);
            ASSERT_TRUE(whole_record.Understood());
        }
        // At least one value written or one delete.
        ASSERT_GE(changes, 2u);

        for (std::size_t k = 1; k <= changes; ++k) {
            SCOPED_TRACE(::testing::Message() << "killed after change " << k);
            MemoryRegistry store;
            ASSERT_NO_FATAL_FAILURE(SeedScenario(store, scenario));
            {
                DyingRegistry dying(store, k);
                MessageLog messages;
                EXPECT_THROW(DisableStartup(dying, kName, messages, when), Died);
            }
            ++kills;
            EXPECT_EQ(store.OpenHandleCount(), 0u);
            if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                ++lost;
                ADD_FAILURE() << "lost after the kill:" << missing;
            }

            // The next run finds what is left and finishes the job.
            MessageLog messages;
            const ActionResult again = DisableStartup(store, kName, messages, when);
            EXPECT_TRUE(again.TookEffect()) << again.status;
            EXPECT_FALSE(AnyRunValueLeft(store));
            if (const std::string missing = LostCommands(store, scenario); !missing.empty()) {
                ++lost;
                ADD_FAILURE() << "lost after the second run:" << missing;
            }
            const StartupRecord record = RecordOf(store);
            EXPECT_TRUE(record.complete);
            EXPECT_EQ(record.places, whole_record.places) << "not the record an uninterrupted run writes";
        }
    }
    // For the reliability summary.
    std::printf("DisableInterrupted: %zu kills simulated, %zu entries lost\n", kills, lost);
    EXPECT_EQ(lost, 0u);
}

} // namespace
} // namespace runsweep::contract
