// The program's entry: runs Main, then the message loop until the main window's exit. An error
// that nothing else handles ends up here and is shown before the program ends.
#include "app/forms_win.h"
#include "app/main_win.h"
#include "base/system_library_win.h"

#include <windows.h>

#include <exception>
#include <new>
#include <string>

namespace {

std::wstring Widen(const char* text) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

void ShowFatalError(const std::wstring& what) noexcept {
    const std::wstring text = L"Runsweep has to stop because of an error it cannot recover from:\r\n\r\n" + what;
    ::MessageBoxW(nullptr, text.c_str(), runsweep::kApplicationTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    runsweep::HardenLibrarySearch();
    try {
        runsweep::Program program;
        if (!program.Main()) {
            return 0;
        }
        return runsweep::RunMessageLoop();
    } catch (const std::bad_alloc&) {
        ShowFatalError(L"The program ran out of memory.");
    } catch (const std::exception& error) {
        ShowFatalError(Widen(error.what()));
    } catch (...) {
        ShowFatalError(L"An unknown error occurred.");
    }
    return 1;
}
