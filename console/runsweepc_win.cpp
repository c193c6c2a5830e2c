// runsweepc's entry: the command line, the catalogue with the custom list beside the program, the
// machine's registry, and the two output streams. To a console the text goes as UTF-16 through
// WriteConsoleW, so every name shows whatever the console's code page; to a file or a pipe it goes
// as UTF-8 without a byte-order mark. A write that fails ends the run with exit status 1 and, for
// standard output, the system's reason on standard error. Nothing is read from standard input.
#include "base/system_library_win.h"
#include "catalogue/custom_list.h"
#include "catalogue/file_system.h"
#include "catalogue/program_folder.h"
#include "console/console_run.h"
#include "registry/change_lock_win.h"
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

// The system's words for a failure, without the line end it ends them with.
std::wstring FailureText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return L"error " + std::to_wstring(error) + (text.empty() ? L"" : L": " + text);
}

class StdStreams final : public ConsoleStreams {
public:
    StdStreams() : out_(::GetStdHandle(STD_OUTPUT_HANDLE)), err_(::GetStdHandle(STD_ERROR_HANDLE)) {}

protected:
    std::optional<std::wstring> WriteOut(const std::wstring& text) override { return Write(out_, text); }
    std::optional<std::wstring> WriteErr(const std::wstring& text) override { return Write(err_, text); }

private:
    static std::optional<std::wstring> Write(HANDLE handle, const std::wstring& text) noexcept {
        if (text.empty()) {
            return std::nullopt;
        }
        try {
            if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
                return std::wstring(L"there is no such stream");
            }
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
                        return FailureText(::GetLastError());
                    }
                    at += count;
                }
                return std::nullopt;
            }
            const std::string bytes = ToUtf8(text);
            std::size_t at = 0;
            while (at < bytes.size()) {
                DWORD written = 0;
                const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
                if (!::WriteFile(handle, bytes.data() + at, count, &written, nullptr)) {
                    return FailureText(::GetLastError());
                }
                if (written == 0) {
                    return FailureText(ERROR_WRITE_FAULT);
                }
                at += written;
            }
            return std::nullopt;
        } catch (...) {
            return std::wstring(L"the program ran out of memory");
        }
    }

    HANDLE out_;
    HANDLE err_;
};

int Run(int argc, wchar_t** argv, StdStreams& streams) {
    const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::wstring>(argv + 1, argv + argc));
    if (const std::optional<int> status = AnswerWithoutScan(parsed, streams)) {
        return streams.Concluded(*status);
    }
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    ErrorStreamMessages messages(streams);
    LoadCustomListAtStartup(ProgramFolder(), catalogue, NativeFileSystem(), messages);
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    ConsoleOptions options = parsed.options;
    options.keeps_switch = KeepsStartupSwitch(RunningWindowsVersion());
    const std::unique_ptr<FolderFiles> files = MakeWin32FolderFiles();
    const std::unique_ptr<ChangeLock> lock = MakeMachineChangeLock();
    return streams.Concluded(RunConsoleCommand(options, catalogue, *registry, streams,
                                               FolderAccess{files.get(), options.keeps_switch}, lock.get()));
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
        streams.ErrLine(L"the program ran out of memory.");
    } catch (const std::exception& error) {
        streams.ErrLine(runsweep::Widen(error.what()));
    } catch (...) {
        streams.ErrLine(L"an unknown error occurred.");
    }
    return runsweep::kExitNotDone;
}
