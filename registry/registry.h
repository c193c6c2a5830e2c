#pragma once
// The registry operations the program needs, as an interface with two implementations: the Win32
// one over advapi32 (registry_win.h) and an in-memory one with fault injection (memory_registry.h).
// Results are Win32 status codes, so "absent" (kFileNotFound) stays distinguishable from "failed"
// (kAccessDenied, ...). Keys are RegKey holders that close themselves: no handle outlives a call.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace runsweep {

// Win32 status codes, as the registry functions return them.
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kOutOfMemory = 14;
inline constexpr long kInvalidData = 13;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kMoreData = 234;
inline constexpr long kNoMoreItems = 259;
inline constexpr long kKeyDeleted = 1018;

// Value types, with the Win32 numbers.
inline constexpr unsigned long kRegNone = 0;
inline constexpr unsigned long kRegSz = 1;
inline constexpr unsigned long kRegExpandSz = 2;
inline constexpr unsigned long kRegBinary = 3;
inline constexpr unsigned long kRegDword = 4;
inline constexpr unsigned long kRegMultiSz = 7;

enum class Hive { CurrentUser, LocalMachine };

// Which view of the registry a key is opened in. On 64-bit Windows the per-machine software keys
// exist twice, once for 64-bit and once for 32-bit programs (which the 64-bit view shows under
// "Wow6432Node"); every key is opened in a view named here, whatever the program's own bitness, so
// the x86 and the x64 builds see the same keys. On 32-bit Windows there is one view and both names
// reach it. HKCU's software keys are shared by the two views.
enum class RegView { k64, k32 };

// The places a startup entry can live: HKCU's Run key (shared by both views) and HKLM's Run key in
// each view.
enum class RunPlace { CurrentUser, Machine64, Machine32 };
Hive PlaceHive(RunPlace place) noexcept;
RegView PlaceView(RunPlace place) noexcept;
// "HKCU", "HKLM" or "HKLM (32-bit)".
const wchar_t* PlaceLabel(RunPlace place) noexcept;

// Query opens for reading and enumerating values; Write also allows setting and deleting them.
enum class KeyAccess { Query, Write };

// Every operation, for the per-operation call counters.
enum class RegistryOp {
    Open,
    Create,
    Query,
    SetString,
    SetValue,
    Delete,
    Enumerate,
    CountValues,
    Flush,
    Close,
    EnumerateKeys,
    DeleteKey
};
inline constexpr std::size_t kRegistryOpCount = 12;

// "HKCU" or "HKLM".
const wchar_t* HiveLabel(Hive hive) noexcept;

// Text as the registry stores it: UTF-16 units, low byte first, no terminator added. Where wchar_t
// holds whole code points (not on Windows), those beyond U+FFFF become surrogate pairs.
std::vector<unsigned char> Utf16Bytes(const std::wstring& text);
// The reverse, up to the first NUL unit; an odd last byte belongs to no unit.
std::wstring Utf16Text(const std::vector<unsigned char>& bytes);

class Registry;

// An open key. Closes itself through its registry when destroyed or reset; move-only.
class RegKey {
public:
    RegKey() noexcept = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    ~RegKey() { reset(); }

    explicit operator bool() const noexcept { return registry_ != nullptr; }
    std::uintptr_t handle() const noexcept { return handle_; }
    void reset() noexcept;

private:
    friend class Registry;
    RegKey(Registry& registry, std::uintptr_t handle) noexcept : registry_(&registry), handle_(handle) {}

    Registry* registry_ = nullptr;
    std::uintptr_t handle_ = 0;
};

// A value as a whole read returns it.
struct RegValue {
    unsigned long type = kRegNone;
    std::vector<unsigned char> data;
};

// The public operations count themselves and then call the implementation's Do... function; keys
// handed to an operation must have been opened by the same registry.
class Registry {
public:
    virtual ~Registry() = default;

    // Whether per-machine keys have a 32-bit view of their own (64-bit Windows). When not, the
    // two views are one and the same keys: ask once.
    virtual bool HasTwoViews() const noexcept = 0;

    // Every name and path handed to the operations below is refused with kInvalidParameter when
    // it holds a NUL: the system's calls would cut it there and act on another name.

    // Opens an existing key. On failure `key` is left empty.
    long OpenKey(Hive hive, const std::wstring& path, KeyAccess access, RegKey& key, RegView view = RegView::k64);
    // Opens the key for writing, creating it and any missing keys above it.
    long CreateKey(Hive hive, const std::wstring& path, RegKey& key, RegView view = RegView::k64);
    // Deletes a key that has no subkeys; kFileNotFound when there is none.
    long DeleteKey(Hive hive, const std::wstring& path, RegView view = RegView::k64);
    // Queries a value like RegQueryValueExW: `type` may be null; `size` is the buffer's size in
    // bytes on entry and the data's size on return. With `data` null only the size is asked for
    // (and `size` may be null too, to ask only whether the value exists);
    // with a short buffer the result is kMoreData and `size` holds the size needed. The empty name
    // is the key's default value; names match without regard to letter case.
    long QueryValue(const RegKey& key, const std::wstring& name, unsigned long* type, unsigned char* data,
                    unsigned long* size);
    // Writes `text` and its terminating NUL as REG_SZ, replacing any value of that name.
    long SetStringValue(const RegKey& key, const std::wstring& name, const std::wstring& text);
    // Writes raw data of any type.
    long SetValue(const RegKey& key, const std::wstring& name, unsigned long type,
                  const std::vector<unsigned char>& data);
    // Deletes a value; kFileNotFound, with nothing changed, when there is none.
    long DeleteValue(const RegKey& key, const std::wstring& name);
    // The name of the index-th value, like RegEnumValueW; kNoMoreItems past the last.
    long EnumValueName(const RegKey& key, unsigned long index, std::wstring& name);
    // The name of the index-th subkey, like RegEnumKeyExW; kNoMoreItems past the last.
    long EnumSubKeyName(const RegKey& key, unsigned long index, std::wstring& name);
    // How many values the key holds, like RegQueryInfoKeyW.
    long CountValues(const RegKey& key, unsigned long& count);
    // Writes the key's changes to storage before returning.
    long FlushKey(const RegKey& key);

    // Reads the whole value however long: queries with a small buffer and again with the size the
    // registry asks for (several times if the value keeps growing meanwhile).
    long ReadValue(const RegKey& key, const std::wstring& name, RegValue& value);
    // Every value name of the key, in enumeration order.
    long EnumValueNames(const RegKey& key, std::vector<std::wstring>& names);
    // Every subkey name of the key, in enumeration order.
    long EnumSubKeyNames(const RegKey& key, std::vector<std::wstring>& names);

    // Calls made through this registry since construction or the last ResetCallCounts.
    std::size_t CallCount(RegistryOp op) const noexcept { return calls_[static_cast<std::size_t>(op)]; }
    std::size_t TotalCallCount() const noexcept;
    void ResetCallCounts() noexcept { calls_.fill(0); }

protected:
    // The public operation whose Do... function is running (SetString and SetValue share one).
    RegistryOp CurrentOp() const noexcept { return current_op_; }
    // Wraps an implementation's handle so that it closes through DoCloseKey.
    RegKey MakeKey(std::uintptr_t handle) noexcept { return RegKey(*this, handle); }

    virtual long DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                           std::uintptr_t& handle) = 0;
    virtual long DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) = 0;
    virtual long DoDeleteKey(Hive hive, RegView view, const std::wstring& path) = 0;
    virtual long DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) = 0;
    virtual long DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type, unsigned char* data,
                              unsigned long* size) = 0;
    virtual long DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type,
                            const unsigned char* data, std::size_t size) = 0;
    virtual long DoDeleteValue(std::uintptr_t handle, const std::wstring& name) = 0;
    virtual long DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) = 0;
    virtual long DoCountValues(std::uintptr_t handle, unsigned long& count) = 0;
    virtual long DoFlushKey(std::uintptr_t handle) = 0;
    virtual void DoCloseKey(std::uintptr_t handle) noexcept = 0;

private:
    friend class RegKey;
    void Count(RegistryOp op) noexcept {
        current_op_ = op;
        ++calls_[static_cast<std::size_t>(op)];
    }
    void CloseKey(std::uintptr_t handle) noexcept;

    std::array<std::size_t, kRegistryOpCount> calls_{};
    RegistryOp current_op_ = RegistryOp::Open;
};

// The per-user and per-machine Run keys share this path (in either view).
inline constexpr const wchar_t* kRunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The places to look in on this machine, in the order the program asks them: HKCU, HKLM's 64-bit
// view, then HKLM's 32-bit view where it is a view of its own.
std::vector<RunPlace> RunPlaces(const Registry& registry);

} // namespace runsweep
