// The contract suite against the in-memory registry.
#include "registry_contract.h"

#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"
#include "registry/scan.h"

#include <gtest/gtest.h>

namespace runsweep::contract {
namespace {

class MemoryEnv {
public:
    static const char* SkipReason() { return nullptr; }
    void SetUp() {}
    void TearDown() { EXPECT_EQ(registry_.OpenHandleCount(), 0u) << "a key outlived its call"; }
    Registry& registry() { return registry_; }

private:
    MemoryRegistry registry_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RegistryContract, MemoryEnv);
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, ScanContract, MemoryEnv);
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, ActionContract, MemoryEnv);

// The model's faults, which the sweeps rely on to defeat a safety check: a write reported as done
// may store nothing, half the data or changed data, and an access fault never hides that a key is
// missing (Windows looks the key up before it checks the rights).
TEST(MemoryRegistryFaults, AWriteReportedDoneStoresWhatTheFaultSaysAndMissingKeysStayNotFound) {
    const std::vector<unsigned char> data = Utf16Bytes(L"C:\\agent.exe", true);
    struct Case {
        StoredWrite stored;
        std::optional<std::vector<unsigned char>> kept; // nothing: no value at all
    };
    std::vector<unsigned char> half(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2));
    std::vector<unsigned char> changed = data;
    changed[changed.size() / 2] ^= 0x01;
    for (const Case& c : {Case{StoredWrite::Dropped, std::nullopt}, Case{StoredWrite::Truncated, half},
                          Case{StoredWrite::Corrupted, changed}}) {
        for (const bool as_string : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "stored " << static_cast<int>(c.stored) << ", string " << as_string);
            MemoryRegistry registry;
            RegKey key;
            ASSERT_EQ(registry.CreateKey(Hive::CurrentUser, kRunKeyPath, key), kSuccess);
            FaultRule rule;
            rule.op = as_string ? RegistryOp::SetString : RegistryOp::SetValue;
            rule.status = kSuccess;
            rule.stored = c.stored;
            registry.AddFault(rule);
            EXPECT_EQ(as_string ? registry.SetStringValue(key, L"agent", L"C:\\agent.exe")
                                : registry.SetValue(key, L"agent", kRegSz, data),
                      kSuccess);
            RegValue stored;
            const long status = registry.ReadValue(key, L"agent", stored);
            if (c.kept) {
                EXPECT_EQ(status, kSuccess);
                EXPECT_EQ(stored.type, kRegSz);
                EXPECT_EQ(stored.data, *c.kept);
            } else {
                EXPECT_EQ(status, kFileNotFound);
            }
        }
    }

    MemoryRegistry registry;
    RegKey key;
    ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRecordRoot, key), kSuccess);
    key.reset();
    FaultRule denied; // every open and key delete refused, as for a standard user
    denied.op = RegistryOp::Open;
    registry.AddFault(denied);
    denied.op = RegistryOp::DeleteKey;
    registry.AddFault(denied);
    const std::wstring missing = kRecordRoot + L"\\Missing";
    EXPECT_EQ(registry.OpenKey(Hive::LocalMachine, missing, KeyAccess::Write, key), kFileNotFound);
    EXPECT_EQ(registry.OpenKey(Hive::LocalMachine, missing + L"\\Deeper", KeyAccess::Query, key), kFileNotFound);
    EXPECT_EQ(registry.DeleteKey(Hive::LocalMachine, missing), kFileNotFound);
    EXPECT_EQ(registry.OpenKey(Hive::LocalMachine, kRecordRoot, KeyAccess::Write, key), kAccessDenied);
    EXPECT_EQ(registry.DeleteKey(Hive::LocalMachine, kRecordRoot), kAccessDenied);
    EXPECT_FALSE(key);
}

class MemoryFilesEnv {
public:
    static const char* SkipReason() { return nullptr; }
    void SetUp() { files_.AddFolder(Scratch()); }
    void TearDown() {}
    FolderFiles& files() { return files_; }
    std::wstring Scratch() const { return L"C:\\Scratch"; }
    void Put(const std::wstring& path, const std::string& bytes) {
        files_.PutFile(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    }
    void PutShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
        files_.PutFile(path, {'L', 0, 0, 0}, Shortcut{target, arguments});
    }

private:
    MemoryFolderFiles files_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, FolderFilesContract, MemoryFilesEnv);

} // namespace
} // namespace runsweep::contract
