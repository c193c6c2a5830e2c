#pragma once
// The Windows registry through advapi32's wide-character functions.
#include "registry/registry.h"

#include <memory>

namespace runsweep {

// The machine's registry; every key is opened in the view its caller names.
std::unique_ptr<Registry> MakeWin32Registry();

} // namespace runsweep
