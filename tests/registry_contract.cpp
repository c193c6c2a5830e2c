// The contract suite against the in-memory registry.
#include "registry_contract.h"

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

} // namespace
} // namespace runsweep::contract
