#include "catalogue/program_folder.h"

#include <windows.h>

#include <stdexcept>

namespace runsweep {

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw std::runtime_error("The program could not find out which folder it was started from.");
        }
        if (length < path.size()) {
            path.resize(length);
            return FolderOfPath(path);
        }
        path.resize(path.size() * 2);
    }
}

} // namespace runsweep
