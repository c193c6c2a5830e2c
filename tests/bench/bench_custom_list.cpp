// The custom list's cost on large custom.txt files: the memory LoadCustomList adds on top of the
// decoded text it is handed (resident size after the load less before it), and its time.
// One case per run, so that each peak is its own:
//   bench_custom_list empty-lf | empty-crlf | sparse | entries
#include "base/message_sink.h"
#include "catalogue/catalogue.h"
#include "catalogue/custom_list.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace runsweep;

constexpr std::size_t kFileBytes = 64u * 1024 * 1024; // the largest custom.txt that is read

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class CountedMessages final : public MessageSink {
public:
    void ShowMessage(const std::wstring&, MessageIcon) override { ++count; }
    std::size_t count = 0;
};

// The decoded text of a 64 MiB file in a one-byte encoding: one character per byte.
std::wstring Text(const char* kind) {
    std::wstring text;
    text.reserve(kFileBytes);
    if (std::strcmp(kind, "empty-lf") == 0) {
        text.assign(kFileBytes, L'\n');
    } else if (std::strcmp(kind, "empty-crlf") == 0) {
        while (text.size() < kFileBytes) {
            text += L"\r\n";
        }
    } else if (std::strcmp(kind, "sparse") == 0) { // one entry, then 999 empty lines, over and over
        for (std::size_t n = 0; text.size() < kFileBytes; ++n) {
            text += L"Updater" + std::to_wstring(n) + L",Update checker" + std::wstring(999, L'\n') + L"\n";
        }
    } else if (std::strcmp(kind, "entries") == 0) {
        for (std::size_t n = 0; text.size() < kFileBytes; ++n) {
            text += L"Updater" + std::to_wstring(n) + L",Update checker of program " + std::to_wstring(n) + L"\r\n";
        }
    } else {
        return std::wstring();
    }
    text.resize(kFileBytes);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_custom_list empty-lf|empty-crlf|sparse|entries\n");
        return 2;
    }
    const std::wstring text = Text(argv[1]);
    if (text.empty()) {
        std::fprintf(stderr, "bench_custom_list: unknown case %s\n", argv[1]);
        return 2;
    }
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    const long before = ResidentKiB();
    CountedMessages messages;
    const auto start = std::chrono::steady_clock::now();
    LoadCustomList(text, catalogue, messages);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::size_t entries = 0;
    for (const CatalogueEntry& entry : catalogue.Entries()) {
        entries += entry.index >= FirstCustomIndex() ? 1 : 0;
    }
    std::printf("%-11s %10zu lines  %8zu entries  %7.1f MiB kept  %6lld ms\n", argv[1],
                catalogue.size() - FirstCustomIndex(), entries, static_cast<double>(ResidentKiB() - before) / 1024.0,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    return messages.count == 0 ? 0 : 1;
}
