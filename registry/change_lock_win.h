#pragma once
// The machine's change lock: one named mutex in the global namespace, shared by every copy of
// Runsweep and runsweepc, of every user and session (the records live in HKLM).
#include "registry/change_lock.h"

#include <memory>

namespace runsweep {

std::unique_ptr<ChangeLock> MakeMachineChangeLock();

} // namespace runsweep
