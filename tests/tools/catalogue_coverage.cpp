// Coverage of the built-in catalogue on real machines' Run keys: for the machine listings in a
// folder (tests/data/runkeys/*.txt, one "Place|Value name" a line) prints how many entries the
// catalogue lists, how many of the optional ones (all but the kinds in never_list.txt), and every
// never-list entry the catalogue would list (there must be none). The machines the entries were
// chosen from and the machines held out (the Sample column of PROVENANCE.md) are counted apart:
// only the held-out figure says how the catalogue fares on machines it was not written from.
// Figures only; it fails only when it cannot read its data.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "registry/name_case.h"

namespace {

using runsweep::Catalogue;
using runsweep::CatalogueEntry;

struct RunValue {
    std::string machine;
    std::string place;
    std::wstring name;
    bool heldOut = false;
};

struct Figures {
    std::size_t machines = 0;
    std::size_t values = 0;
    std::size_t known = 0;
    std::size_t optional = 0;
    std::size_t optionalKnown = 0;
    std::size_t optionalKnownByOriginals = 0;
    std::size_t never = 0;
    std::size_t neverListed = 0;
};

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // the data files are ASCII
}

std::string Narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

std::vector<std::string> DataLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

// The first catalogue entry that lists a value of this name, or nullptr.
bool Listed(const Catalogue& catalogue, std::wstring_view valueName, CatalogueEntry& found) {
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        const bool listed = entry.prefix ? runsweep::MatchesPrefix(entry.name, valueName)
                                         : runsweep::RegistryNamesEqual(entry.name, valueName);
        if (listed) {
            found = entry;
            return true;
        }
    }
    return false;
}

double Percent(std::size_t part, std::size_t whole) {
    return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

// File name -> held out, from the rows of PROVENANCE.md's table ("| mNN-x.txt | ... | Sample |").
bool ReadSamples(const std::filesystem::path& provenance, std::map<std::string, bool>& heldOut) {
    std::ifstream in(provenance);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("| m", 0) != 0) {
            continue;
        }
        const std::string file = line.substr(2, line.find(" |") - 2);
        const std::size_t last = line.rfind(" |");
        const std::size_t cell = line.rfind("| ", last - 1);
        heldOut[file] = line.substr(cell + 2, last - cell - 2) == "held out";
    }
    return true;
}

void PrintFigures(const char* title, const Figures& f) {
    std::printf("%s: %zu machines, %zu Run entries, known %zu (%.1f%%)\n", title, f.machines, f.values, f.known,
                Percent(f.known, f.values));
    std::printf("  optional entries (never-list kinds left out): %zu, known: %zu (%.1f%%), by the original 101 alone: "
                "%zu\n",
                f.optional, f.optionalKnown, Percent(f.optionalKnown, f.optional), f.optionalKnownByOriginals);
    std::printf("  never-list entries: %zu, listed by today's programs: %zu\n", f.never, f.neverListed);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: catalogue_coverage <folder of machine listings and never_list.txt>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::filesystem::path neverFile = folder / "never_list.txt";
    if (!std::filesystem::exists(neverFile)) {
        std::fprintf(stderr, "no %s\n", neverFile.string().c_str());
        return 2;
    }
    std::vector<std::wstring> never;
    for (const std::string& line : DataLines(neverFile)) {
        never.push_back(Widen(line.substr(0, line.find('|'))));
    }

    std::map<std::string, bool> heldOut;
    if (!ReadSamples(folder / "PROVENANCE.md", heldOut)) {
        std::fprintf(stderr, "no %s\n", (folder / "PROVENANCE.md").string().c_str());
        return 2;
    }
    std::vector<std::filesystem::path> machines;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.path().extension() == ".txt" && item.path().filename() != "never_list.txt") {
            machines.push_back(item.path());
        }
    }
    std::sort(machines.begin(), machines.end());
    std::vector<RunValue> values;
    Figures inSample;
    Figures outOfSample;
    for (const auto& machine : machines) {
        const auto sample = heldOut.find(machine.filename().string());
        if (sample == heldOut.end()) {
            // A machine without provenance cannot be told in or out of sample, nor checked by a reader.
            std::fprintf(stderr, "%s has no row in PROVENANCE.md\n", machine.filename().string().c_str());
            return 2;
        }
        ++(sample->second ? outOfSample : inSample).machines;
        for (const std::string& line : DataLines(machine)) {
            const std::size_t bar = line.find('|');
            if (bar == std::string::npos) {
                std::fprintf(stderr, "%s: not Place|Name: %s\n", machine.string().c_str(), line.c_str());
                return 2;
            }
            values.push_back(
                RunValue{machine.stem().string(), line.substr(0, bar), Widen(line.substr(bar + 1)), sample->second});
        }
    }
    if (values.empty()) {
        std::fprintf(stderr, "no machine listings in %s\n", folder.string().c_str());
        return 2;
    }

    Catalogue catalogue;
    runsweep::BuildCatalogue(catalogue);
    std::size_t known = 0;
    std::size_t optional = 0;
    std::size_t optionalKnown = 0;
    std::size_t optionalKnownByOriginals = 0;
    std::size_t neverCount = 0;
    std::vector<std::string> neverListed;
    std::vector<std::string> neverListedByOriginals; // the 101 original entries are kept as given
    std::map<std::string, int> unknownOptional;
    for (const RunValue& value : values) {
        CatalogueEntry entry{};
        const bool listed = Listed(catalogue, value.name, entry);
        Figures& group = value.heldOut ? outOfSample : inSample;
        ++group.values;
        group.known += listed ? 1 : 0;
        known += listed ? 1 : 0;
        const bool isNever = std::any_of(never.begin(), never.end(), [&](const std::wstring& name) {
            return runsweep::RegistryNamesEqual(name, value.name);
        });
        if (isNever) {
            ++neverCount;
            ++group.never;
            group.neverListed += listed && entry.index >= runsweep::kBuiltInCount ? 1 : 0;
            if (listed) {
                const std::string line = value.machine + " " + value.place + " " + Narrow(value.name) + " <- entry " +
                                         std::to_string(entry.index) + " " + Narrow(entry.name) +
                                         (entry.prefix ? "*" : "");
                (entry.index < runsweep::kBuiltInCount ? neverListedByOriginals : neverListed).push_back(line);
            }
            continue;
        }
        ++optional;
        ++group.optional;
        if (listed) {
            ++optionalKnown;
            ++group.optionalKnown;
            optionalKnownByOriginals += entry.index < runsweep::kBuiltInCount ? 1 : 0;
            group.optionalKnownByOriginals += entry.index < runsweep::kBuiltInCount ? 1 : 0;
        } else {
            ++unknownOptional[Narrow(value.name)];
        }
    }

    std::printf("Catalogue: %zu entries (%zu original, %zu today's programs)\n", catalogue.size(),
                runsweep::kBuiltInCount, runsweep::CurrentProgramCount());
    std::printf("Machines: %zu, Run entries: %zu\n", machines.size(), values.size());
    std::printf("Known by the whole catalogue: %zu of %zu (%.1f%%)\n", known, values.size(),
                Percent(known, values.size()));
    std::printf("Optional entries (never-list kinds left out): %zu, known: %zu (%.1f%%)\n", optional, optionalKnown,
                Percent(optionalKnown, optional));
    std::printf("  of which by the original 101 alone: %zu (%.1f%%)\n", optionalKnownByOriginals,
                Percent(optionalKnownByOriginals, optional));
    std::printf("Never-list entries: %zu, listed by today's programs: %zu, by the original 101 (kept as given): %zu\n",
                neverCount, neverListed.size(), neverListedByOriginals.size());
    PrintFigures("In sample (entries were chosen with these machines in view)", inSample);
    PrintFigures("Out of sample (held out: no entry was chosen from them)", outOfSample);
    for (const std::string& line : neverListed) {
        std::printf("  NEVER-LIST ENTRY LISTED: %s\n", line.c_str());
    }
    for (const std::string& line : neverListedByOriginals) {
        std::printf("  by an original entry: %s\n", line.c_str());
    }
    std::printf("Optional entries the catalogue does not know:\n");
    for (const auto& [name, count] : unknownOptional) {
        std::printf("  %s (%d)\n", name.c_str(), count);
    }
    return 0;
}
