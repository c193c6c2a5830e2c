// Times the Run-key scan against the real registry: the built-in catalogue and a catalogue of
// 32,767 entries, with 0, 50 and 1,000 catalogue names present in the Run keys (a third in each of
// HKCU's and HKLM's two views, among 20 unlisted values in each). Prints the time per scan and the
// registry calls one scan makes, the opens and enumerated values among them. It replaces the three
// Run keys, so it runs only with RUNSWEEP_THROWAWAY_PREFIX=1.
#include "app/scan_startups.h"
#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/registry_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace runsweep;

namespace {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

class CountedRows final : public StartupList {
public:
    void AddItem(const std::wstring&, const std::wstring&) override { ++count_; }
    int ListCount() const override { return count_; }
    std::wstring GetChoice(int) const override { return StartupAction::kNone; }
    std::wstring GetValue(int) const override { return std::wstring(); }

private:
    int count_ = 0;
};

Catalogue FullCatalogue() {
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    for (std::size_t i = catalogue.size(); i <= 32766; ++i) {
        // Names of the length and mix of real ones, some with accented letters.
        std::wstring name = (i % 7 == 0 ? L"Programme acc\u00e9l\u00e9r\u00e9 " : L"Vendor Update Agent ");
        name += std::to_wstring(i);
        catalogue.AppendEntry(name, L"A custom entry for timing the scan.");
    }
    return catalogue;
}

const wchar_t* const kRunKey32Path = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

void DeleteRunKeys() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRunKeyPath);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRunKeyPath);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRunKey32Path);
}

bool ReplaceRunKeys(const Catalogue& catalogue, std::size_t present) {
    DeleteRunKeys();
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    RegKey keys[3];
    if (registry->CreateKey(Hive::CurrentUser, kRunKeyPath, keys[0]) != kSuccess ||
        registry->CreateKey(Hive::LocalMachine, kRunKeyPath, keys[1], RegView::k64) != kSuccess ||
        registry->CreateKey(Hive::LocalMachine, kRunKeyPath, keys[2], RegView::k32) != kSuccess) {
        return false;
    }
    for (int hive = 0; hive < 3; ++hive) {
        for (int i = 0; i < 20; ++i) {
            registry->SetStringValue(keys[hive], L"Unlisted tool " + std::to_wstring(i), L"C:\\tool.exe /background");
        }
    }
    // Spread over the whole catalogue, so both the built-in and the custom part hold some.
    for (std::size_t k = 0; k < present; ++k) {
        const std::size_t index = k * (catalogue.size() - 1) / std::max<std::size_t>(present, 1);
        const std::wstring name(catalogue.StartupNames[index]);
        if (registry->SetStringValue(keys[k % 3], name, L"\"C:\\Program Files\\" + name + L"\\agent.exe\"") !=
            kSuccess) {
            return false;
        }
    }
    return true;
}

struct Timing {
    double per_scan;
    int rows;
    std::size_t calls;
    std::size_t queries;
    std::size_t opens = 0;
    std::size_t enumerated = 0;
};

Timing Measured(const Registry& registry, std::vector<double>& times, int rows) {
    std::sort(times.begin(), times.end());
    return Timing{times[times.size() / 2],
                  rows,
                  registry.TotalCallCount(),
                  registry.CallCount(RegistryOp::Query),
                  registry.CallCount(RegistryOp::Open),
                  registry.CallCount(RegistryOp::Enumerate)};
}

Timing TimeScan(const Catalogue& catalogue, int repeats) {
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    std::vector<double> times;
    int rows = 0;
    for (int r = 0; r < repeats; ++r) {
        registry->ResetCallCounts();
        CountedRows list;
        const double start = Now();
        ScanStartups(catalogue, *registry, list);
        times.push_back(Now() - start);
        rows = list.ListCount();
    }
    return Measured(*registry, times, rows);
}

// The straightforward way for comparison: every Run key opened and asked for each name in turn.
Timing TimeNameByName(const Catalogue& catalogue, int repeats) {
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    std::vector<double> times;
    int rows = 0;
    for (int r = 0; r < repeats; ++r) {
        registry->ResetCallCounts();
        rows = 0;
        const double start = Now();
        for (const CatalogueEntry& entry : catalogue.Entries()) {
            rows += IsStartupPresent(*registry, std::wstring(entry.name)) ? 1 : 0;
        }
        times.push_back(Now() - start);
    }
    return Measured(*registry, times, rows);
}

void PrintTiming(const char* what, std::size_t entries, std::size_t present, const Timing& t) {
    std::printf("%-14s %7zu entries  %5zu present  %5d rows  %9.3f ms/scan  %6zu calls (%zu queries, %zu opens, "
                "%zu enumeration calls)\n",
                what, entries, present, t.rows, t.per_scan * 1000.0, t.calls, t.queries, t.opens, t.enumerated);
}

} // namespace

int main() {
    const char* flag = std::getenv("RUNSWEEP_THROWAWAY_PREFIX");
    if (flag == nullptr || std::string(flag) != "1") {
        std::fprintf(stderr, "bench_scan replaces the Run keys: run it with RUNSWEEP_THROWAWAY_PREFIX=1 in a "
                             "throwaway prefix\n");
        return 2;
    }
    Catalogue built_in;
    BuildCatalogue(built_in);
    const Catalogue full = FullCatalogue();
    // The original entries alone, timed beside the whole built-in catalogue: what today's programs
    // cost the scan, as a ratio that machine noise does not move.
    Catalogue original;
    for (std::size_t i = 0; i < kBuiltInCount; ++i) {
        original.AppendEntry(std::wstring(built_in.StartupNames[i]), std::wstring(built_in.StartupDescriptions[i]));
    }

    for (const std::size_t present : {std::size_t{0}, std::size_t{50}, std::size_t{1000}}) {
        if (!ReplaceRunKeys(full, present)) {
            std::fprintf(stderr, "cannot seed the Run keys\n");
            return 1;
        }
        // Alternating rounds, the faster of each kept, so that a slow spell of the machine falls on both.
        Timing alone = TimeScan(original, 100);
        Timing whole = TimeScan(built_in, 100);
        for (int round = 1; round < 3; ++round) {
            const Timing a = TimeScan(original, 100);
            const Timing w = TimeScan(built_in, 100);
            alone = a.per_scan < alone.per_scan ? a : alone;
            whole = w.per_scan < whole.per_scan ? w : whole;
        }
        PrintTiming("scan", original.size(), present, alone);
        PrintTiming("scan", built_in.size(), present, whole);
        std::printf("%-14s %7zu entries against %zu: %.2f\n", "time ratio", built_in.size(), original.size(),
                    whole.per_scan / alone.per_scan);
        PrintTiming("scan", full.size(), present, TimeScan(full, 20));
        PrintTiming("name by name", built_in.size(), present, TimeNameByName(built_in, 20));
        std::fflush(stdout);
    }
    std::printf("(each Run key holds 20 unlisted values besides the present ones: an enumeration of all three "
                "costs their values plus 3 calls)\n");
    DeleteRunKeys();
    return 0;
}
