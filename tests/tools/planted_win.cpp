// A stand-in for a program or a library that someone leaves where a program might pick it up by
// name: beside it in a downloads folder, or in the folder it is started from. Whatever starts or
// loads it leaves a mark, a file beside it named after it with ".ran" (program) or ".loaded"
// (library) appended, that names the program it ran in (UTF-16). As a program given "load <library>", it asks for the
// library by its bare name and ends with 0 when it got one: the control that shows a planted library is within reach of
// a search by name.
#include <windows.h>

#include <cwchar>

namespace {

void LeaveMark(HMODULE module, const wchar_t* suffix) {
    wchar_t path[MAX_PATH + 16] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    for (DWORD at = length; *suffix && at < MAX_PATH + 15; ++at) {
        path[at] = *suffix++;
    }
    wchar_t process[MAX_PATH] = {};
    const DWORD processLength = ::GetModuleFileNameW(nullptr, process, MAX_PATH);
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, process, processLength * sizeof(wchar_t), &written, nullptr);
        ::WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        ::CloseHandle(file);
    }
}

} // namespace

#ifdef RUNSWEEP_PLANTED_LIBRARY

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        LeaveMark(instance, L".loaded");
    }
    return TRUE;
}

#else

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"load") == 0) {
        return ::LoadLibraryW(argv[2]) ? 0 : 1;
    }
    LeaveMark(nullptr, L".ran");
    return 0;
}

#endif
