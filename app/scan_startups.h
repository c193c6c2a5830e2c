#pragma once
// The main window's list filled from the scan: one row per entry found, in the scan's order.
#include "registry/scan.h"

namespace runsweep {

class StartupList;

void ScanStartups(const Catalogue& catalogue, Registry& registry, StartupList& list);

} // namespace runsweep
