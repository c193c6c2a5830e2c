#include "catalogue/program_folder.h"

namespace runsweep {

std::wstring FolderOfPath(const std::wstring& path) {
    const std::size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) {
        return std::wstring();
    }
    std::wstring folder = path.substr(0, last);
    // "C:" alone names the drive's current folder, not its root.
    if (folder.size() == 2 && folder[1] == L':') {
        return path.substr(0, last + 1);
    }
    // "\\server\share" is a share's root: keep its separator like a drive's.
    if (folder.size() > 2 && (folder[0] == L'\\' || folder[0] == L'/') && (folder[1] == L'\\' || folder[1] == L'/')) {
        const std::size_t server_end = folder.find_first_of(L"\\/", 2);
        if (server_end != std::wstring::npos && folder.find_first_of(L"\\/", server_end + 1) == std::wstring::npos) {
            return path.substr(0, last + 1);
        }
    }
    return folder;
}

} // namespace runsweep
