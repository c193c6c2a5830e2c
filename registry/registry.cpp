#include "registry/registry.h"

#include <numeric>
#include <utility>

namespace runsweep {

std::vector<unsigned char> Utf16Bytes(const std::wstring& text) {
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() * 2);
    const auto put = [&](std::uint32_t unit) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
    };
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) { // only where wchar_t holds whole code points
            put(0xD800 + ((code - 0x10000) >> 10));
            put(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            put(code);
        }
    }
    return bytes;
}

std::wstring Utf16Text(const std::vector<unsigned char>& bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    const auto unit_at = [&](std::size_t i) { return static_cast<std::uint32_t>(bytes[i] | (bytes[i + 1] << 8)); };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const std::uint32_t unit = unit_at(i);
        if (unit == 0) {
            break;
        }
        if constexpr (sizeof(wchar_t) > 2) {
            if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
                const std::uint32_t low = unit_at(i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                    i += 2;
                    continue;
                }
            }
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
}

const wchar_t* HiveLabel(Hive hive) noexcept {
    return hive == Hive::CurrentUser ? L"HKCU" : L"HKLM";
}

Hive PlaceHive(RunPlace place) noexcept {
    return place == RunPlace::CurrentUser ? Hive::CurrentUser : Hive::LocalMachine;
}

RegView PlaceView(RunPlace place) noexcept {
    return place == RunPlace::Machine32 ? RegView::k32 : RegView::k64;
}

const wchar_t* PlaceLabel(RunPlace place) noexcept {
    switch (place) {
    case RunPlace::CurrentUser:
        return L"HKCU";
    case RunPlace::Machine64:
        return L"HKLM";
    case RunPlace::Machine32:
        return L"HKLM (32-bit)";
    }
    return L"HKLM";
}

std::vector<RunPlace> RunPlaces(const Registry& registry) {
    if (registry.HasTwoViews()) {
        return {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32};
    }
    return {RunPlace::CurrentUser, RunPlace::Machine64};
}

namespace {

bool HoldsNul(const std::wstring& text) noexcept {
    return text.find(L'\0') != std::wstring::npos;
}

} // namespace

RegKey::RegKey(RegKey&& other) noexcept
    : registry_(std::exchange(other.registry_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::exchange(other.registry_, nullptr);
        handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
}

void RegKey::reset() noexcept {
    if (registry_ != nullptr) {
        std::exchange(registry_, nullptr)->CloseKey(std::exchange(handle_, 0));
    }
}

long Registry::OpenKey(Hive hive, const std::wstring& path, KeyAccess access, RegKey& key, RegView view) {
    key.reset();
    Count(RegistryOp::Open);
    if (HoldsNul(path)) {
        return kInvalidParameter;
    }
    std::uintptr_t handle = 0;
    const long status = DoOpenKey(hive, view, path, access, handle);
    if (status == kSuccess) {
        key = MakeKey(handle);
    }
    return status;
}

long Registry::CreateKey(Hive hive, const std::wstring& path, RegKey& key, RegView view) {
    key.reset();
    Count(RegistryOp::Create);
    if (HoldsNul(path)) {
        return kInvalidParameter;
    }
    std::uintptr_t handle = 0;
    const long status = DoCreateKey(hive, view, path, handle);
    if (status == kSuccess) {
        key = MakeKey(handle);
    }
    return status;
}

long Registry::DeleteKey(Hive hive, const std::wstring& path, RegView view) {
    Count(RegistryOp::DeleteKey);
    if (HoldsNul(path) || path.empty()) {
        return kInvalidParameter;
    }
    return DoDeleteKey(hive, view, path);
}

long Registry::QueryValue(const RegKey& key, const std::wstring& name, unsigned long* type, unsigned char* data,
                          unsigned long* size) {
    Count(RegistryOp::Query);
    if (!key) {
        return kInvalidHandle;
    }
    if (HoldsNul(name)) {
        return kInvalidParameter;
    }
    if (data != nullptr && size == nullptr) {
        return kInvalidParameter;
    }
    return DoQueryValue(key.handle(), name, type, data, size);
}

long Registry::SetStringValue(const RegKey& key, const std::wstring& name, const std::wstring& text) {
    Count(RegistryOp::SetString);
    if (!key) {
        return kInvalidHandle;
    }
    if (HoldsNul(name)) {
        return kInvalidParameter;
    }
    std::vector<unsigned char> bytes = Utf16Bytes(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return DoSetValue(key.handle(), name, kRegSz, bytes.data(), bytes.size());
}

long Registry::SetValue(const RegKey& key, const std::wstring& name, unsigned long type,
                        const std::vector<unsigned char>& data) {
    Count(RegistryOp::SetValue);
    if (!key) {
        return kInvalidHandle;
    }
    if (HoldsNul(name)) {
        return kInvalidParameter;
    }
    return DoSetValue(key.handle(), name, type, data.data(), data.size());
}

long Registry::DeleteValue(const RegKey& key, const std::wstring& name) {
    Count(RegistryOp::Delete);
    if (!key) {
        return kInvalidHandle;
    }
    if (HoldsNul(name)) {
        return kInvalidParameter;
    }
    return DoDeleteValue(key.handle(), name);
}

long Registry::EnumValueName(const RegKey& key, unsigned long index, std::wstring& name) {
    Count(RegistryOp::Enumerate);
    if (!key) {
        return kInvalidHandle;
    }
    return DoEnumValueName(key.handle(), index, name);
}

long Registry::EnumSubKeyName(const RegKey& key, unsigned long index, std::wstring& name) {
    Count(RegistryOp::EnumerateKeys);
    if (!key) {
        return kInvalidHandle;
    }
    return DoEnumSubKeyName(key.handle(), index, name);
}

long Registry::CountValues(const RegKey& key, unsigned long& count) {
    Count(RegistryOp::CountValues);
    count = 0;
    if (!key) {
        return kInvalidHandle;
    }
    return DoCountValues(key.handle(), count);
}

long Registry::FlushKey(const RegKey& key) {
    Count(RegistryOp::Flush);
    if (!key) {
        return kInvalidHandle;
    }
    return DoFlushKey(key.handle());
}

void Registry::CloseKey(std::uintptr_t handle) noexcept {
    Count(RegistryOp::Close);
    DoCloseKey(handle);
}

long Registry::ReadValue(const RegKey& key, const std::wstring& name, RegValue& value) {
    // Most values are short command lines: one query usually does.
    constexpr unsigned long kFirstTry = 512;
    constexpr int kAttempts = 8;
    value.data.resize(kFirstTry);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto size = static_cast<unsigned long>(value.data.size());
        unsigned long type = kRegNone;
        const long status = QueryValue(key, name, &type, value.data.data(), &size);
        if (status == kSuccess) {
            value.type = type;
            value.data.resize(size);
            return kSuccess;
        }
        if (status != kMoreData) {
            value.data.clear();
            value.type = kRegNone;
            return status;
        }
        // The value may grow again before the next query; ask for a little headroom.
        value.data.resize(static_cast<std::size_t>(size) + 64);
    }
    value.data.clear();
    value.type = kRegNone;
    return kMoreData;
}

namespace {

// Every name an index-by-index enumeration gives, in its order.
template <class EnumOne> long EnumAll(EnumOne enum_one, std::vector<std::wstring>& names) {
    names.clear();
    for (unsigned long index = 0;; ++index) {
        std::wstring name;
        const long status = enum_one(index, name);
        if (status == kNoMoreItems) {
            return kSuccess;
        }
        if (status != kSuccess) {
            return status;
        }
        names.push_back(std::move(name));
    }
}

} // namespace

long Registry::EnumValueNames(const RegKey& key, std::vector<std::wstring>& names) {
    return EnumAll([&](unsigned long index, std::wstring& name) { return EnumValueName(key, index, name); }, names);
}

long Registry::EnumSubKeyNames(const RegKey& key, std::vector<std::wstring>& names) {
    return EnumAll([&](unsigned long index, std::wstring& name) { return EnumSubKeyName(key, index, name); }, names);
}

std::size_t Registry::TotalCallCount() const noexcept {
    return std::accumulate(calls_.begin(), calls_.end(), std::size_t{0});
}

} // namespace runsweep
