#include "app/scan_startups.h"

#include "listbox/startup_list.h"

namespace runsweep {

void ScanStartups(const Catalogue& catalogue, Registry& registry, StartupList& list) {
    for (const FoundStartup& row : FindStartups(catalogue, registry)) {
        list.AddItem(row.name, row.description);
    }
}

} // namespace runsweep
