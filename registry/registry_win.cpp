// The wide-character registry functions take the names exactly as the program holds them: no
// conversion to the ANSI code page, so no "best-fit" lookalike (a fullwidth letter, "8" for the
// infinity sign) can ever stand in for the name the user saw.
#include "registry/registry_win.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <limits>
#include <vector>

namespace runsweep {

#ifdef RUNSWEEP_FAULT_INJECTION
void CountChangeAndMaybeDie() noexcept {
    static const long limit = [] {
        wchar_t text[32] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"RUNSWEEP_KILL_AFTER_WRITES", text, 32);
        if (length == 0 || length >= 32) {
            return 0L;
        }
        return std::wcstol(text, nullptr, 10);
    }();
    static long changes = 0;
    if (limit > 0 && ++changes == limit) {
        ::TerminateProcess(::GetCurrentProcess(), 99);
    }
}
#endif

namespace {

// A value name is at most 16,383 characters.
constexpr DWORD kMaxValueNameChars = 16384;

HKEY RootKey(Hive hive) noexcept {
    return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Both builds name the view on every open, so the x86 build under WOW64 sees what the x64 build
// sees; 32-bit Windows ignores the flags and has its one view.
REGSAM ViewFlag(RegView view) noexcept {
    return view == RegView::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

HKEY AsKey(std::uintptr_t handle) noexcept {
    return reinterpret_cast<HKEY>(handle);
}

bool OnTwoViewWindows() noexcept {
#ifdef _WIN64
    return true;
#else
    // A 32-bit program has two views to name only under WOW64.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel32 ? ::GetProcAddress(kernel32, "IsWow64Process") : nullptr;
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(proc));
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

class Win32Registry final : public Registry {
public:
    Win32Registry() : two_views_(OnTwoViewWindows()) {}
    bool HasTwoViews() const noexcept override { return two_views_; }

protected:
    long DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                   std::uintptr_t& handle) override {
        const REGSAM sam = (access == KeyAccess::Write ? (KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS)
                                                       : (KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS)) |
                           ViewFlag(view);
        HKEY key = nullptr;
        const LSTATUS status = ::RegOpenKeyExW(RootKey(hive), path.c_str(), 0, sam, &key);
        if (status == ERROR_SUCCESS) {
            handle = reinterpret_cast<std::uintptr_t>(key);
        }
        return status;
    }

    long DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) override {
        HKEY key = nullptr;
        const LSTATUS status = ::RegCreateKeyExW(
            RootKey(hive), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
            KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view), nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            handle = reinterpret_cast<std::uintptr_t>(key);
#ifdef RUNSWEEP_FAULT_INJECTION
            CountChangeAndMaybeDie();
#endif
        }
        return status;
    }

    long DoDeleteKey(Hive hive, RegView view, const std::wstring& path) override {
        const LSTATUS status = ::RegDeleteKeyExW(RootKey(hive), path.c_str(), ViewFlag(view), 0);
#ifdef RUNSWEEP_FAULT_INJECTION
        if (status == ERROR_SUCCESS) {
            CountChangeAndMaybeDie();
        }
#endif
        return status;
    }

    long DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        // A key name is at most 255 characters.
        wchar_t buffer[256] = {};
        DWORD length = 256;
        const LSTATUS status =
            ::RegEnumKeyExW(AsKey(handle), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            name.assign(buffer, length);
        } else {
            name.clear();
        }
        return status;
    }

    long DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type, unsigned char* data,
                      unsigned long* size) override {
        DWORD value_type = REG_NONE;
        DWORD byte_count = size != nullptr ? *size : 0;
        const LSTATUS status = ::RegQueryValueExW(AsKey(handle), name.c_str(), nullptr, &value_type, data,
                                                  size != nullptr ? &byte_count : nullptr);
        if (type != nullptr) {
            *type = value_type;
        }
        if (size != nullptr) {
            *size = byte_count;
        }
        return status;
    }

    long DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type, const unsigned char* data,
                    std::size_t size) override {
        if (size > std::numeric_limits<DWORD>::max()) {
            return ERROR_INVALID_PARAMETER;
        }
        const LSTATUS status = ::RegSetValueExW(AsKey(handle), name.c_str(), 0, type, data, static_cast<DWORD>(size));
#ifdef RUNSWEEP_FAULT_INJECTION
        if (status == ERROR_SUCCESS) {
            CountChangeAndMaybeDie();
        }
#endif
        return status;
    }

    long DoDeleteValue(std::uintptr_t handle, const std::wstring& name) override {
        const LSTATUS status = ::RegDeleteValueW(AsKey(handle), name.c_str());
#ifdef RUNSWEEP_FAULT_INJECTION
        if (status == ERROR_SUCCESS) {
            CountChangeAndMaybeDie();
        }
#endif
        return status;
    }

    long DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        if (name_buffer_.empty()) {
            name_buffer_.resize(kMaxValueNameChars);
        }
        DWORD length = kMaxValueNameChars;
        const LSTATUS status =
            ::RegEnumValueW(AsKey(handle), index, name_buffer_.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            name.assign(name_buffer_.data(), length);
        } else {
            name.clear();
        }
        return status;
    }

    long DoCountValues(std::uintptr_t handle, unsigned long& count) override {
        DWORD values = 0;
        const LSTATUS status = ::RegQueryInfoKeyW(AsKey(handle), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr);
        count = status == ERROR_SUCCESS ? values : 0;
        return status;
    }

    long DoFlushKey(std::uintptr_t handle) override {
        return ::RegFlushKey(AsKey(handle));
    }

    void DoCloseKey(std::uintptr_t handle) noexcept override {
        ::RegCloseKey(AsKey(handle));
    }

private:
    bool two_views_;
    std::vector<wchar_t> name_buffer_; // one for every enumeration: a value name may need 32 KiB
};

} // namespace

std::unique_ptr<Registry> MakeWin32Registry() {
    return std::make_unique<Win32Registry>();
}

} // namespace runsweep
