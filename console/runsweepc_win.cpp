// runsweepc's entry: the command line, the catalogue with the custom list beside the program, the
// machine's registry, and the two output streams. To a console the text goes as UTF-16 through
// WriteConsoleW, so every name shows whatever the console's code page; to a file or a pipe it goes
// as UTF-8 without a byte-order mark. Nothing is read from standard input.
#include "base/system_library_win.h"
#include "catalogue/custom_list.h"
#include "catalogue/file_system.h"
#include "catalogue/program_folder.h"
#include "console/console_run.h"
#include "registry/folder_files_win.h"
#include "registry/registry_win.h"
#include "registry/startup_approved.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {
namespace {

class StdStreams final : public ConsoleStreams {
public:
    StdStreams() : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE)) {}
    void Out(const std::wstring& text) override { Write(out_, text); }
    void Err(const std::wstring& text) override { Write(err_, text); }

private:
    // Failures (a closed pipe, no stream at all) are ignored: there is nowhere to report them.
    static void Write(HANDLE handle, const std::wstring& text) noexcept {
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) {
            return;
        }
        try {
            DWORD mode = 0;
            if (::GetConsoleMode(handle, &mode)) {
                // Pieces, as consoles refuse very long writes.
                constexpr std::size_t kPiece = 8192;
                for (std::size_t at = 0; at < text.size();) {
                    std::size_t count = std::min(kPiece, text.size() - at);
                    // Not half a surrogate pair at the end of a piece: the console would show two
                    // replacement characters for the one character.
                    if (at + count < text.size() && text[at + count - 1] >= 0xD800 && text[at + count - 1] <= 0xDBFF) {
                        --count;
                    }
                    DWORD written = 0;
                    if (!::WriteConsoleW(handle, text.data() + at, static_cast<DWORD>(count), &written, nullptr)) {
                        break;
                    }
                    at += count;
                }
                return;
            }
            const std::string bytes = ToUtf8(text);
            std::size_t at = 0;
            while (at < bytes.size()) {
                DWORD written = 0;
                const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
                if (!::WriteFile(handle, bytes.data() + at, count, &written, nullptr) || written == 0) {
                    break;
                }
                at += written;
            }
        } catch (...) {
            // Out of memory while converting: the text is lost, the run goes on.
        }
    }

    HANDLE out_;
    HANDLE err_;
};

int Run(int argc, wchar_t** argv, StdStreams& streams) {
    const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::wstring>(argv + 1, argv + argc));
    if (const std::optional<int> status = AnswerWithoutScan(parsed, streams)) {
        return *status;
    }
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    ErrorStreamMessages messages(streams);
    LoadCustomListAtStartup(ProgramFolder(), catalogue, NativeFileSystem(), messages);
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    ConsoleOptions options = parsed.options;
    options.keeps_switch = KeepsStartupSwitch(RunningWindowsVersion());
    const std::unique_ptr<FolderFiles> files = MakeWin32FolderFiles();
    return RunConsoleCommand(options, catalogue, *registry, streams, FolderAccess{files.get(), options.keeps_switch});
}

// what() of the program's own exceptions is ASCII.
std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    }
    return wide;
}

} // namespace
} // namespace runsweep

int wmain(int argc, wchar_t** argv) {
    runsweep::HardenLibrarySearch();
    runsweep::StdStreams streams;
    try {
        return runsweep::Run(argc, argv, streams);
    } catch (const std::bad_alloc&) {
        streams.Err(L"runsweepc: the program ran out of memory.\r\n");
    } catch (const std::exception& error) {
        streams.Err(L"runsweepc: " + runsweep::Widen(error.what()) + L"\r\n");
    } catch (...) {
        streams.Err(L"runsweepc: an unknown error occurred.\r\n");
    }
    return runsweep::kExitNotDone;
}
