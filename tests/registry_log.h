#pragma once
// Reading the in-memory registry's call log in the fault-injection tests.
#include "registry/memory_registry.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace runsweep::contract {

// Every call but the closes, which the faults never hit: the numbering the fault rules count in.
inline std::vector<RegistryCall> CallsWithoutClose(const MemoryRegistry& registry) {
    std::vector<RegistryCall> calls;
    std::copy_if(registry.Log().begin(), registry.Log().end(), std::back_inserter(calls),
                 [](const RegistryCall& call) { return call.op != RegistryOp::Close; });
    return calls;
}

// Calls whose change may be lost after they reported success (the read-back must notice).
inline bool IsWrite(RegistryOp op) {
    return op == RegistryOp::SetString || op == RegistryOp::SetValue || op == RegistryOp::Flush;
}

} // namespace runsweep::contract
