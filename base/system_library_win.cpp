#include "base/system_library_win.h"

namespace runsweep {

namespace {

// Systems without the search update refuse the flag as an invalid parameter.
HMODULE LoadFromSystemFolderOnly(const wchar_t* fileName) noexcept {
    return ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

void HardenLibrarySearch() noexcept {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel32 ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(proc));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // The program's own folder stays in the search there; the current folder, at least, leaves it.
    ::SetDllDirectoryW(L"");
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept {
    if (HMODULE module = LoadFromSystemFolderOnly(fileName)) {
        return module;
    }
    if (::GetLastError() != ERROR_INVALID_PARAMETER) {
        return nullptr;
    }
    try {
        const std::wstring folder = SystemFolder();
        if (folder.empty()) {
            return nullptr;
        }
        // The full path, and the library's own imports looked for in its folder first.
        const std::wstring path = folder + (folder.back() == L'\\' ? L"" : L"\\") + fileName;
        return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } catch (...) {
        return nullptr;
    }
}

HMODULE LoadSystemLibraryByName(const wchar_t* fileName) noexcept {
    if (HMODULE module = LoadFromSystemFolderOnly(fileName)) {
        return module;
    }
    // A full path would bypass the manifest's redirection; the name, after HardenLibrarySearch, is
    // redirected before any folder is searched.
    return ::GetLastError() == ERROR_INVALID_PARAMETER ? ::LoadLibraryW(fileName) : nullptr;
}

} // namespace runsweep
