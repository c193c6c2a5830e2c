#pragma once
// Reading the in-memory registry's call log in the fault-injection tests.
#include "registry/memory_registry.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <ostream>
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

// One fault of the sweeps: the call refused with a status, or, with kSuccess, a write reported as
// done that storage dropped, cut short or changed.
struct SweepFault {
    long status;
    StoredWrite stored;
};

inline std::ostream& operator<<(std::ostream& out, const SweepFault& fault) {
    static const char* const kStored[] = {"dropped", "truncated", "corrupted"};
    out << "status " << fault.status;
    return fault.status == kSuccess ? out << ", " << kStored[static_cast<int>(fault.stored)] : out;
}

// The faults the sweeps try on a call of this kind.
inline std::vector<SweepFault> SweepFaults(RegistryOp op) {
    std::vector<SweepFault> faults{{kAccessDenied, StoredWrite::Dropped}, {kInvalidParameter, StoredWrite::Dropped}};
    if (IsWrite(op)) {
        faults.push_back({kSuccess, StoredWrite::Dropped});
    }
    if (op == RegistryOp::SetString || op == RegistryOp::SetValue) {
        faults.push_back({kSuccess, StoredWrite::Truncated});
        faults.push_back({kSuccess, StoredWrite::Corrupted});
    }
    return faults;
}

// What a call hit by the fault answers: its status, except that a key that is missing is not found
// before it is refused, as on Windows.
inline long FaultedStatus(const RegistryCall& clean, SweepFault fault) {
    const bool looks_up_key = clean.op == RegistryOp::Open || clean.op == RegistryOp::DeleteKey;
    return looks_up_key && clean.status == kFileNotFound && fault.status == kAccessDenied ? kFileNotFound
                                                                                          : fault.status;
}

// The fault on the nth call (counted as CallsWithoutClose counts).
inline FaultRule NthCallFault(std::size_t nth, SweepFault fault) {
    FaultRule rule;
    rule.nth = nth;
    rule.status = fault.status;
    rule.stored = fault.stored;
    return rule;
}

} // namespace runsweep::contract
