// The contract suite against the real registry. It changes the Run keys and the MSConfig record
// keys, so it runs only in a throwaway prefix (RUNSWEEP_THROWAWAY_PREFIX=1, which ctest sets in the
// Windows build) and puts every key it touches back as it found it.
#include "registry_contract.h"

#include "base/win_handles_win.h"
#include "registry/name_case.h"
#include "registry/registry_win.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

namespace runsweep::contract {
namespace {

// A key's values and subkeys, to put back after a test.
struct KeyTree {
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::wstring, KeyTree>> subkeys;
};

KeyTree Capture(HKEY key) {
    KeyTree tree;
    DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values, &max_name,
                           &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegQueryInfoKeyW";
        return tree;
    }
    for (DWORD i = 0; i < values; ++i) {
        std::wstring name(max_name + 1, L'\0');
        std::vector<BYTE> data(max_data + 1);
        DWORD name_length = max_name + 1, size = max_data + 1, type = 0;
        if (::RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
            name.resize(name_length);
            data.resize(size);
            tree.values.push_back(KeyTree::Value{name, type, data});
        }
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        std::wstring name(max_subkey + 1, L'\0');
        DWORD name_length = max_subkey + 1;
        if (::RegEnumKeyExW(key, i, name.data(), &name_length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            name.resize(name_length);
            UniqueKey child;
            if (::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
                tree.subkeys.emplace_back(name, Capture(child.get()));
            }
        }
    }
    return tree;
}

void Restore(HKEY parent, const std::wstring& name, const KeyTree& tree) {
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    for (const KeyTree::Value& value : tree.values) {
        ::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                         static_cast<DWORD>(value.data.size()));
    }
    for (const auto& [child_name, child] : tree.subkeys) {
        Restore(key.get(), child_name, child);
    }
}

// One key the tests may change: its state before, to be put back afterwards.
class GuardedKey {
public:
    GuardedKey(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {
        UniqueKey key;
        if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            before_ = Capture(key.get());
        }
        Remove();
    }
    ~GuardedKey() {
        Remove();
        if (before_) {
            Restore(root_, path_, *before_);
        }
    }
    GuardedKey(const GuardedKey&) = delete;
    GuardedKey& operator=(const GuardedKey&) = delete;

private:
    void Remove() {
        const LSTATUS status = ::RegDeleteTreeW(root_, path_.c_str());
        if (status == ERROR_SUCCESS) {
            ::RegDeleteKeyW(root_, path_.c_str());
        }
    }
    HKEY root_;
    std::wstring path_;
    std::optional<KeyTree> before_;
};

bool ThrowawayPrefix() {
    const char* flag = std::getenv("RUNSWEEP_THROWAWAY_PREFIX");
    return flag != nullptr && std::string(flag) == "1";
}

class Win32Env {
public:
    static const char* SkipReason() {
        return ThrowawayPrefix() ? nullptr
                                 : "changes the Run keys: set RUNSWEEP_THROWAWAY_PREFIX=1 in a throwaway prefix";
    }
    void SetUp() {
        guards_.push_back(std::make_unique<GuardedKey>(HKEY_CURRENT_USER, kRunKeyPath));
        guards_.push_back(std::make_unique<GuardedKey>(HKEY_LOCAL_MACHINE, kRunKeyPath));
        // HKLM's 32-bit view, as a 64-bit program sees it.
        guards_.push_back(std::make_unique<GuardedKey>(
            HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"));
        guards_.push_back(std::make_unique<GuardedKey>(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools"));
        registry_ = MakeWin32Registry();
    }
    void TearDown() {
        registry_.reset();
        guards_.clear();
    }
    Registry& registry() { return *registry_; }

private:
    std::vector<std::unique_ptr<GuardedKey>> guards_;
    std::unique_ptr<Registry> registry_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, RegistryContract, Win32Env);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ScanContract, Win32Env);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ActionContract, Win32Env);

// The scan's index must never tell apart two names the system holds equal. The system upper-cases
// names unit by unit; LCMapStringEx with the invariant locale exposes that table.
TEST(Win32NameCase, TheScanIndexFoldsEveryUnitAsTheSystemDoesOrWider) {
    int checked = 0;
    for (unsigned c = 1; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue; // halves of surrogate pairs map to themselves
        }
        const wchar_t unit = static_cast<wchar_t>(c);
        wchar_t upper[4] = {};
        const int length =
            ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &unit, 1, upper, 4, nullptr, nullptr, 0);
        if (length != 1 || upper[0] == unit) {
            continue;
        }
        ++checked;
        EXPECT_EQ(MatchKey(std::wstring(1, unit)), MatchKey(std::wstring(1, upper[0])))
            << "U+" << std::hex << c << " upper-cases to U+" << static_cast<unsigned>(upper[0]);
    }
    EXPECT_GT(checked, 500) << "the system table maps more than a few hundred letters";
}

// The in-memory model agrees with the system where the scenarios rely on it: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic.
TEST(Win32NameCase, TheInMemoryTableAgreesWithTheSystem) {
    for (unsigned c = 1; c <= 0x045F; ++c) {
        if (c > 0x017F && !(c >= 0x0391 && c <= 0x03CE) && c < 0x0400) {
            continue; // Latin Extended-B, IPA and the rarer Greek letters are outside the model
        }
        const wchar_t unit = static_cast<wchar_t>(c);
        wchar_t upper[4] = {};
        const int length =
            ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &unit, 1, upper, 4, nullptr, nullptr, 0);
        ASSERT_EQ(length, 1);
        EXPECT_EQ(static_cast<unsigned>(RegistryUpcase(unit)), static_cast<unsigned>(upper[0]))
            << "U+" << std::hex << c;
    }
}

} // namespace
} // namespace runsweep::contract
