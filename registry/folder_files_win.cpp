// The shell library and COM are loaded only when an operation needs them, from the system folder
// (system_library_win.h): importing them would make every start of runsweepc load them, which
// under Wine costs more than the whole scan, although most runs never read a shortcut or recycle a
// file.
#include "registry/folder_files_win.h"

#include "base/system_library_win.h"
#include "base/win_handles_win.h"
#include "registry/registry_win.h"

#include <windows.h>

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <string>
#include <vector>

namespace runsweep {

namespace {

template <typename Fn> Fn Proc(HMODULE module, const char* name) noexcept {
    return module == nullptr ? nullptr
                             : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

struct ComFunctions {
    decltype(&::CoInitializeEx) initialize = nullptr;
    decltype(&::CoUninitialize) uninitialize = nullptr;
    decltype(&::CoCreateInstance) create = nullptr;
    decltype(&::CoTaskMemFree) free = nullptr;
    bool Loaded() const noexcept { return initialize && uninitialize && create && free; }
};

// Loaded once and kept for the rest of the run, as the shell's own objects expect.
const ComFunctions& Com() {
    static const ComFunctions functions = [] {
        const HMODULE ole32 = LoadSystemLibrary(L"ole32.dll");
        ComFunctions loaded;
        loaded.initialize = Proc<decltype(&::CoInitializeEx)>(ole32, "CoInitializeEx");
        loaded.uninitialize = Proc<decltype(&::CoUninitialize)>(ole32, "CoUninitialize");
        loaded.create = Proc<decltype(&::CoCreateInstance)>(ole32, "CoCreateInstance");
        loaded.free = Proc<decltype(&::CoTaskMemFree)>(ole32, "CoTaskMemFree");
        return loaded;
    }();
    return functions;
}

struct ShellFunctions {
    decltype(&::SHGetKnownFolderPath) knownFolderPath = nullptr;
    decltype(&::SHFileOperationW) fileOperation = nullptr;
    decltype(&::SHQueryRecycleBinW) queryRecycleBin = nullptr;
    decltype(&::SHCreateItemFromParsingName) itemFromParsingName = nullptr;
};

const ShellFunctions& Shell() {
    static const ShellFunctions functions = [] {
        const HMODULE shell32 = LoadSystemLibrary(L"shell32.dll");
        ShellFunctions loaded;
        loaded.knownFolderPath = Proc<decltype(&::SHGetKnownFolderPath)>(shell32, "SHGetKnownFolderPath");
        loaded.fileOperation = Proc<decltype(&::SHFileOperationW)>(shell32, "SHFileOperationW");
        loaded.queryRecycleBin = Proc<decltype(&::SHQueryRecycleBinW)>(shell32, "SHQueryRecycleBinW");
        loaded.itemFromParsingName =
            Proc<decltype(&::SHCreateItemFromParsingName)>(shell32, "SHCreateItemFromParsingName");
        return loaded;
    }();
    return functions;
}

// COM for the calling thread while it lives. A thread whose COM was set up otherwise before
// (RPC_E_CHANGED_MODE) can use it as it is.
class ComScope {
public:
    ComScope() noexcept {
        const ComFunctions& com = Com();
        if (!com.Loaded()) {
            status_ = ERROR_MOD_NOT_FOUND;
            return;
        }
        const HRESULT hr = com.initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        initialized_ = SUCCEEDED(hr);
        status_ = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE ? ERROR_SUCCESS : static_cast<long>(hr);
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (initialized_) {
            Com().uninitialize();
        }
    }
    long status() const noexcept { return status_; }

private:
    bool initialized_ = false;
    long status_ = ERROR_SUCCESS;
};

// An interface pointer released when it goes.
template <typename T> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p_ != nullptr) {
            p_->Release();
        }
    }
    T* operator->() const noexcept { return p_; }
    T* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void** put() noexcept { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// A Win32 status from an HRESULT: the code of a FACILITY_WIN32 result, or the result itself.
long StatusOf(HRESULT hr) noexcept {
    if (SUCCEEDED(hr)) {
        return ERROR_SUCCESS;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
        return HRESULT_CODE(hr);
    }
    return static_cast<long>(hr);
}

long NotFoundAsAbsent(DWORD error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kFileNotFound : static_cast<long>(error);
}

void CountChange() noexcept {
#ifdef RUNSWEEP_FAULT_INJECTION
    CountChangeAndMaybeDie();
#endif
}

bool IsAbsolute(const std::wstring& path) noexcept {
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

// Where the shell keeps the folder's location: the value the known-folder function itself reads
// (for redirected folders too), with its environment strings expanded. Reading it costs two
// registry calls; asking the shell costs loading it.
long StoredFolderPath(StartupFolder folder, std::wstring& path) {
    const HKEY root = folder == StartupFolder::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const wchar_t* name = folder == StartupFolder::User ? L"Startup" : L"Common Startup";
    UniqueKey key;
    LSTATUS status =
        ::RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<wchar_t> stored(MAX_PATH + 1);
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
        status = ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()), &size);
        if (status == ERROR_MORE_DATA && size < 65536) {
            stored.resize(size / sizeof(wchar_t) + 2);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return ERROR_INVALID_DATA;
        }
        stored.resize(size / sizeof(wchar_t) + 1);
        stored.back() = L'\0';
        break;
    }
    const DWORD needed = ::ExpandEnvironmentStringsW(stored.data(), nullptr, 0);
    if (needed == 0) {
        return static_cast<long>(::GetLastError());
    }
    std::vector<wchar_t> expanded(needed + 1);
    if (::ExpandEnvironmentStringsW(stored.data(), expanded.data(), needed + 1) == 0) {
        return static_cast<long>(::GetLastError());
    }
    path = expanded.data();
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    // A value that still names a variable, or no full path, is no location this program can use.
    return IsAbsolute(path) && path.find(L'%') == std::wstring::npos ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

// Refuses any delete that would not go to the Recycle Bin: the shell deletes a file outright,
// without asking when told not to ask, where the bin cannot take it (a drive without one, a file
// larger than the bin).
class RecycleOnly final : public IFileOperationProgressSink {
public:
    bool refused = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IFileOperationProgressSink)) {
            *object = static_cast<IFileOperationProgressSink*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // It lives on the stack of the one call that uses it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override {
        if ((flags & TSF_DELETE_RECYCLE_IF_POSSIBLE) == 0) {
            refused = true;
            return E_ABORT;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};

// The shell's file operation object with the sink above; nothing when the system has no such object
// (before Vista) or does not carry it out (E_NOTIMPL, as Wine 8).
std::optional<long> RecycleWithFileOperation(const std::wstring& path) {
    const ShellFunctions& shell = Shell();
    if (shell.itemFromParsingName == nullptr) {
        return std::nullopt;
    }
    ComPtr<IFileOperation> operation;
    if (FAILED(Com().create(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation, operation.put()))) {
        return std::nullopt;
    }
    HRESULT hr = operation->SetOperationFlags(FOFX_RECYCLEONDELETE | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI |
                                              FOFX_EARLYFAILURE);
    if (hr == E_NOTIMPL) {
        return std::nullopt;
    }
    if (FAILED(hr)) {
        return StatusOf(hr);
    }
    ComPtr<IShellItem> item;
    hr = shell.itemFromParsingName(path.c_str(), nullptr, IID_IShellItem, item.put());
    if (FAILED(hr)) {
        return NotFoundAsAbsent(static_cast<DWORD>(StatusOf(hr)));
    }
    RecycleOnly sink;
    hr = operation->DeleteItem(item.get(), &sink);
    if (hr == E_NOTIMPL) {
        return std::nullopt;
    }
    if (SUCCEEDED(hr)) {
        hr = operation->PerformOperations();
    }
    if (hr == E_NOTIMPL) {
        return std::nullopt;
    }
    if (sink.refused) {
        return kNotSupported;
    }
    BOOL aborted = FALSE;
    if (SUCCEEDED(hr) && SUCCEEDED(operation->GetAnyOperationsAborted(&aborted)) && aborted) {
        return static_cast<long>(ERROR_CANCELLED);
    }
    return StatusOf(hr);
}

long RecycledCount(const std::wstring& path, long long& count) {
    const std::wstring root = path.substr(0, 3);
    SHQUERYRBINFO info{};
    info.cbSize = sizeof(info);
    const HRESULT hr = Shell().queryRecycleBin(root.c_str(), &info);
    count = info.i64NumItems;
    return SUCCEEDED(hr) ? ERROR_SUCCESS : kNotSupported;
}

// Without the file operation object: the older shell call, which deletes outright where the bin
// cannot take the file. It is asked only where the drive has a bin, and the bin must hold one
// more item afterwards.
long RecycleWithShellCall(const std::wstring& path) {
    const ShellFunctions& shell = Shell();
    if (shell.fileOperation == nullptr || shell.queryRecycleBin == nullptr) {
        return kNotSupported;
    }
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return NotFoundAsAbsent(::GetLastError());
    }
    long long before = 0;
    if (!IsAbsolute(path) || path[1] != L':' || RecycledCount(path, before) != ERROR_SUCCESS) {
        return kNotSupported;
    }
    std::wstring from = path;
    from.push_back(L'\0'); // the list of paths ends in a second NUL
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
    const int result = shell.fileOperation(&operation);
    if (result != 0) {
        return result;
    }
    if (operation.fAnyOperationsAborted) {
        return ERROR_CANCELLED;
    }
    long long after = 0;
    if (RecycledCount(path, after) != ERROR_SUCCESS || after <= before) {
        // Gone, but not to the bin: nothing can bring it back now; say so rather than claim it.
        return ERROR_FILE_INVALID;
    }
    return ERROR_SUCCESS;
}

class WinFolderFiles final : public FolderFiles {
protected:
    long DoKnownFolderPath(StartupFolder folder, std::wstring& path) override {
        if (StoredFolderPath(folder, path) == ERROR_SUCCESS) {
            return kSuccess;
        }
        return ShellKnownFolderPath(folder, path);
    }

    long DoBackupFolderPath(std::wstring& path) override {
        wchar_t folder[MAX_PATH + 1] = {};
        const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
        if (length == 0 || length > MAX_PATH) {
            return static_cast<long>(::GetLastError());
        }
        path = JoinPath(std::wstring(folder, length), L"pss");
        return kSuccess;
    }

    long DoList(const std::wstring& folder, std::vector<std::wstring>& names) override {
        WIN32_FIND_DATAW data{};
        const std::wstring pattern = JoinPath(folder, L"*");
        const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                               FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            // A drive's root holds no "." entry: an empty one finds nothing at all.
            if (error == ERROR_FILE_NOT_FOUND && DoExists(folder) == kSuccess) {
                return kSuccess;
            }
            return static_cast<long>(error);
        }
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(data.cFileName);
            }
        } while (::FindNextFileW(find, &data));
        const DWORD error = ::GetLastError();
        ::FindClose(find);
        return error == ERROR_NO_MORE_FILES ? kSuccess : static_cast<long>(error);
    }

    long DoExists(const std::wstring& path) override {
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return kSuccess;
        }
        return NotFoundAsAbsent(::GetLastError());
    }

    long DoRead(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) override {
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            return static_cast<long>(::GetLastError());
        }
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.get(), &size)) {
            return static_cast<long>(::GetLastError());
        }
        if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > limit) {
            return kMoreData;
        }
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t got = 0;
        while (got < bytes.size()) {
            DWORD read = 0;
            if (!::ReadFile(file.get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &read, nullptr)) {
                return static_cast<long>(::GetLastError());
            }
            if (read == 0) {
                break; // shorter than it was a moment ago
            }
            got += read;
        }
        bytes.resize(got);
        return kSuccess;
    }

    long DoMove(const std::wstring& from, const std::wstring& to) override {
        // No MOVEFILE_COPY_ALLOWED: a copy and a delete could leave the file at both names, or at
        // neither, when the process ends in between. No MOVEFILE_REPLACE_EXISTING: never replace.
        if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return static_cast<long>(::GetLastError());
        }
        CountChange();
        return kSuccess;
    }

    long DoMayChange(const std::wstring& path) override {
        // Opened for what the change asks (deleting the file, which a rename asks too; adding a file
        // to the folder) and closed unchanged: the system checks this user's rights and other
        // programs' sharing as the change itself would.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        const bool there = attributes != INVALID_FILE_ATTRIBUTES;
        const std::wstring target = there ? path : ParentFolder(path);
        const HANDLE file = ::CreateFileW(
            target.c_str(), there ? DELETE : FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return static_cast<long>(::GetLastError());
        }
        ::CloseHandle(file);
        return kSuccess;
    }

    long DoDelete(const std::wstring& path) override {
        if (!::DeleteFileW(path.c_str())) {
            return static_cast<long>(::GetLastError());
        }
        CountChange();
        return kSuccess;
    }

    long DoRecycle(const std::wstring& path) override {
        const ComScope com;
        if (com.status() != ERROR_SUCCESS) {
            return com.status();
        }
        std::optional<long> status = RecycleWithFileOperation(path);
        if (!status) {
            status = RecycleWithShellCall(path);
        }
        if (*status == ERROR_SUCCESS) {
            CountChange();
        }
        return *status;
    }

    long DoMakeFolder(const std::wstring& path) override {
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            CountChange();
            return kSuccess;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS) {
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return kSuccess;
            }
        }
        return static_cast<long>(error);
    }

    long DoReadShortcut(const std::wstring& path, Shortcut& shortcut) override {
        const ComScope com;
        if (com.status() != ERROR_SUCCESS) {
            return com.status();
        }
        ComPtr<IShellLinkW> link;
        HRESULT hr = Com().create(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put());
        if (FAILED(hr)) {
            return StatusOf(hr);
        }
        ComPtr<IPersistFile> file;
        hr = link->QueryInterface(IID_IPersistFile, file.put());
        if (SUCCEEDED(hr)) {
            hr = file->Load(path.c_str(), STGM_READ);
        }
        if (FAILED(hr)) {
            return StatusOf(hr);
        }
        // The path as stored, without resolving the link: resolving may search the disk for a moved
        // target and rewrite the shortcut.
        std::vector<wchar_t> text(32768);
        if (link->GetPath(text.data(), static_cast<int>(text.size()), nullptr, 0) == S_OK) {
            shortcut.target = text.data();
        }
        text[0] = L'\0';
        if (SUCCEEDED(link->GetArguments(text.data(), static_cast<int>(text.size())))) {
            shortcut.arguments = text.data();
        }
        return kSuccess;
    }
};

} // namespace

long ShellKnownFolderPath(StartupFolder folder, std::wstring& path) {
    const ShellFunctions& shell = Shell();
    const ComFunctions& com = Com();
    if (shell.knownFolderPath == nullptr || com.free == nullptr) {
        return ERROR_MOD_NOT_FOUND;
    }
    PWSTR found = nullptr;
    const HRESULT hr = shell.knownFolderPath(folder == StartupFolder::User ? FOLDERID_Startup : FOLDERID_CommonStartup,
                                             KF_FLAG_DONT_VERIFY, nullptr, &found);
    if (SUCCEEDED(hr) && found != nullptr) {
        path = found;
    }
    com.free(found);
    return StatusOf(hr);
}

std::unique_ptr<FolderFiles> MakeWin32FolderFiles() {
    return std::make_unique<WinFolderFiles>();
}

} // namespace runsweep
