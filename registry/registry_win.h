#pragma once
// The Windows registry through advapi32's wide-character functions.
#include "registry/registry.h"

#include <memory>

namespace runsweep {

// The machine's registry; every key is opened in the view its caller names.
std::unique_ptr<Registry> MakeWin32Registry();

#ifdef RUNSWEEP_FAULT_INJECTION
// Counts one change to the registry or to a file and ends the process without any clean-up right
// after the N-th (RUNSWEEP_KILL_AFTER_WRITES=N), so tests can prove that a crash at any point,
// between any two changes of either kind, leaves nothing lost.
void CountChangeAndMaybeDie() noexcept;
#endif

} // namespace runsweep
