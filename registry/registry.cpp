#include "registry/registry.h"

#include <numeric>
#include <utility>

namespace runsweep {

const wchar_t* HiveLabel(Hive hive) noexcept {
    return hive == Hive::CurrentUser ? L"HKCU" : L"HKLM";
}

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

long Registry::OpenKey(Hive hive, const std::wstring& path, KeyAccess access, RegKey& key) {
    key.reset();
    Count(RegistryOp::Open);
    std::uintptr_t handle = 0;
    const long status = DoOpenKey(hive, path, access, handle);
    if (status == kSuccess) {
        key = MakeKey(handle);
    }
    return status;
}

long Registry::CreateKey(Hive hive, const std::wstring& path, RegKey& key) {
    key.reset();
    Count(RegistryOp::Create);
    std::uintptr_t handle = 0;
    const long status = DoCreateKey(hive, path, handle);
    if (status == kSuccess) {
        key = MakeKey(handle);
    }
    return status;
}

long Registry::QueryValue(const RegKey& key, const std::wstring& name, unsigned long* type, unsigned char* data,
                          unsigned long* size) {
    Count(RegistryOp::Query);
    if (!key) {
        return kInvalidHandle;
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
    // UTF-16 units, low byte first, and the terminating NUL, as REG_SZ holds them.
    std::vector<unsigned char> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(c);
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
    }
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
    return DoSetValue(key.handle(), name, type, data.data(), data.size());
}

long Registry::DeleteValue(const RegKey& key, const std::wstring& name) {
    Count(RegistryOp::Delete);
    if (!key) {
        return kInvalidHandle;
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

long Registry::EnumValueNames(const RegKey& key, std::vector<std::wstring>& names) {
    names.clear();
    for (unsigned long index = 0;; ++index) {
        std::wstring name;
        const long status = EnumValueName(key, index, name);
        if (status == kNoMoreItems) {
            return kSuccess;
        }
        if (status != kSuccess) {
            return status;
        }
        names.push_back(std::move(name));
    }
}

std::size_t Registry::TotalCallCount() const noexcept {
    return std::accumulate(calls_.begin(), calls_.end(), std::size_t{0});
}

} // namespace runsweep
