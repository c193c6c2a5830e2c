// The contract suite against the in-memory registry.
#include "registry_contract.h"

#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"

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
