#pragma once
// One suite of tests for every Registry implementation: the in-memory one natively, the Win32 one
// against Wine's (or Windows') real registry. Where the two disagree, the in-memory one is wrong.
//
// An Env type provides the registry under test:
//   static const char* SkipReason();  nullptr when the registry may be used
//   void SetUp();                     the Run keys and the MSConfig record key are absent
//   void TearDown();                  puts back whatever SetUp found
//   Registry& registry();
// Tests touch nothing but the two Run keys and keys under HKLM "...\Shared Tools\MSConfig".
#include "app/scan_startups.h"
#include "base/message_sink.h"
#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/actions.h"
#include "registry/folder_files.h"
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace runsweep {

inline void PrintTo(ActionOutcome outcome, std::ostream* os) {
    static const char* const kNames[] = {
        "Done", "AlreadyGone", "NeedsAdministrator", "RecordFailed", "NameNotRecordable", "CommandNotText", "Failed"};
    *os << kNames[static_cast<int>(outcome)];
}

} // namespace runsweep

namespace runsweep::contract {

inline const std::wstring kRecordRoot = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

// Rows as the scan hands them over.
class RowLog final : public StartupList {
public:
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    void AddItem(const std::wstring& sValue, const std::wstring& sDescription) override {
        rows.emplace_back(sValue, sDescription);
    }
    int ListCount() const override { return static_cast<int>(rows.size()); }
    std::wstring GetChoice(int) const override { return StartupAction::kDisable; }
    std::wstring GetValue(int iItem) const override { return rows.at(static_cast<std::size_t>(iItem)).first; }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const auto& row : rows) {
            names.push_back(row.first);
        }
        return names;
    }
};

class MessageLog final : public MessageSink {
public:
    std::vector<std::pair<std::wstring, MessageIcon>> messages;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { messages.emplace_back(text, icon); }
};

inline Catalogue CatalogueOf(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> entries) {
    Catalogue catalogue;
    for (const auto& [name, description] : entries) {
        catalogue.AppendEntry(name, description);
    }
    return catalogue;
}

// A record key's values, by name: the texts, and the numbers (the date, the program's own counts
// and types); `exists` false when there is no such key.
struct Record {
    bool exists = false;
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, unsigned long> numbers;
};

inline std::vector<unsigned char> Utf16Bytes(const std::wstring& text, bool terminate) {
    std::vector<unsigned char> bytes = runsweep::Utf16Bytes(text);
    if (terminate) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

template <class Env> class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = Env::SkipReason()) {
            GTEST_SKIP() << why;
        }
        env_.SetUp();
        ready_ = true;
    }
    void TearDown() override {
        if (ready_) {
            env_.TearDown();
        }
    }

    Registry& registry() { return env_.registry(); }

    void SeedRaw(Hive hive, const std::wstring& name, unsigned long type, const std::vector<unsigned char>& data,
                 RegView view = RegView::k64) {
        RegKey key;
        ASSERT_EQ(registry().CreateKey(hive, kRunKeyPath, key, view), kSuccess);
        ASSERT_EQ(registry().SetValue(key, name, type, data), kSuccess);
    }
    void Seed(Hive hive, const std::wstring& name, const std::wstring& command, RegView view = RegView::k64) {
        SeedRaw(hive, name, kRegSz, Utf16Bytes(command, true), view);
    }
    void Seed(RunPlace place, const std::wstring& name, const std::wstring& command) {
        Seed(PlaceHive(place), name, command, PlaceView(place));
    }
    void CreateRunKey(Hive hive, RegView view = RegView::k64) {
        RegKey key;
        ASSERT_EQ(registry().CreateKey(hive, kRunKeyPath, key, view), kSuccess);
    }

    // The Run value's text, or nothing when the place does not hold it.
    std::optional<std::wstring> RunValue(RunPlace place, const std::wstring& name) {
        const runsweep::RunValue value = ReadRunValue(registry(), place, name);
        if (value.status == kFileNotFound) {
            return std::nullopt;
        }
        EXPECT_EQ(value.status, kSuccess) << "reading the Run value";
        return value.command;
    }
    std::optional<std::wstring> RunValue(Hive hive, const std::wstring& name) {
        return RunValue(hive == Hive::CurrentUser ? RunPlace::CurrentUser : RunPlace::Machine64, name);
    }

    Record ReadRecord(const std::wstring& name) {
        Record record;
        RegKey key;
        if (registry().OpenKey(Hive::LocalMachine, kRecordRoot + L"\\" + name, KeyAccess::Query, key) != kSuccess) {
            return record;
        }
        record.exists = true;
        std::vector<std::wstring> names;
        EXPECT_EQ(registry().EnumValueNames(key, names), kSuccess);
        for (const std::wstring& value_name : names) {
            RegValue value;
            EXPECT_EQ(registry().ReadValue(key, value_name, value), kSuccess);
            if (value.type == kRegDword && value.data.size() == 4) {
                record.numbers[value_name] = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                             (static_cast<unsigned long>(value.data[3]) << 24);
                continue;
            }
            EXPECT_EQ(value.type, kRegSz) << "record value " << ::testing::PrintToString(value_name);
            record.values[value_name] = DecodeRegString(value);
        }
        return record;
    }

    // The record's standard values name exactly this place and command, and it is dated. (Values of
    // the program's own, for further places, are left to the caller.)
    void ExpectRecord(const std::wstring& name, const std::wstring& command, const std::wstring& hive_label,
                      const std::wstring& run_key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run") {
        const Record record = ReadRecord(name);
        ASSERT_TRUE(record.exists) << "no record key for " << ::testing::PrintToString(name);
        const std::map<std::wstring, std::wstring> expected = {
            {L"command", command}, {L"hkey", hive_label}, {L"inimapping", L"0"}, {L"item", name}, {L"key", run_key},
        };
        std::map<std::wstring, std::wstring> standard;
        for (const auto& [value_name, text] : record.values) {
            if (value_name.rfind(L"Runsweep", 0) != 0) {
                standard[value_name] = text;
            }
        }
        EXPECT_EQ(standard, expected);
        for (const wchar_t* part : {L"YEAR", L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"}) {
            EXPECT_EQ(record.numbers.count(part), 1u) << "no " << ::testing::PrintToString(std::wstring(part));
        }
        EXPECT_GE(record.numbers.count(L"YEAR") ? record.numbers.at(L"YEAR") : 0, 2000u);
    }

    bool KeyExists(Hive hive, const std::wstring& path) {
        RegKey key;
        return registry().OpenKey(hive, path, KeyAccess::Query, key) == kSuccess;
    }

    std::vector<std::wstring> Scan(const Catalogue& catalogue) {
        RowLog list;
        ScanStartups(catalogue, registry(), list);
        return list.Names();
    }

    Env env_;
    bool ready_ = false;
};

// ---------------------------------------------------------------------------------------------
// The registry's own semantics.

TYPED_TEST_SUITE_P(RegistryContract);

TYPED_TEST_P(RegistryContract, KeysAreCreatedWithTheirParentsAndFoundWhateverTheCase) {
    Registry& reg = this->registry();
    const std::wstring deep = kRecordRoot + L"\\Contract\\Deep\\Leaf";
    RegKey key;
    EXPECT_EQ(reg.OpenKey(Hive::LocalMachine, deep, KeyAccess::Query, key), kFileNotFound);
    EXPECT_FALSE(key);

    ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, deep, key), kSuccess);
    ASSERT_EQ(reg.SetStringValue(key, L"kept", L"yes"), kSuccess);
    key.reset();
    EXPECT_TRUE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Contract"));
    EXPECT_TRUE(this->KeyExists(Hive::LocalMachine, L"software\\MICROSOFT\\shared tools\\msconfig\\STARTUPREG\\"
                                                    L"contract\\deep\\LEAF"));
    EXPECT_FALSE(this->KeyExists(Hive::CurrentUser, deep)) << "hives are separate";

    // Creating an existing key opens it, values intact.
    ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, deep, key), kSuccess);
    RegValue value;
    EXPECT_EQ(reg.ReadValue(key, L"KEPT", value), kSuccess);
    EXPECT_EQ(DecodeRegString(value), L"yes");
}

TYPED_TEST_P(RegistryContract, QueryReportsTheSizeAndAsksForMoreRoomWhenTheBufferIsShort) {
    Registry& reg = this->registry();
    const std::wstring text(300, L'x'); // 602 bytes with the NUL: more than the old 255-byte probe
    this->Seed(Hive::CurrentUser, L"long", text);
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Query, key), kSuccess);

    unsigned long type = kRegNone;
    unsigned long size = 0;
    EXPECT_EQ(reg.QueryValue(key, L"long", &type, nullptr, &size), kSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 602u);
    EXPECT_EQ(reg.QueryValue(key, L"long", nullptr, nullptr, nullptr), kSuccess);

    std::vector<unsigned char> buffer(255);
    size = 255;
    EXPECT_EQ(reg.QueryValue(key, L"long", nullptr, buffer.data(), &size), kMoreData);
    EXPECT_EQ(size, 602u);

    buffer.assign(602, 0xCC);
    size = 602;
    EXPECT_EQ(reg.QueryValue(key, L"long", &type, buffer.data(), &size), kSuccess);
    EXPECT_EQ(buffer, Utf16Bytes(text, true));

    RegValue whole;
    EXPECT_EQ(reg.ReadValue(key, L"long", whole), kSuccess);
    EXPECT_EQ(whole.data, Utf16Bytes(text, true));

    size = 16;
    EXPECT_EQ(reg.QueryValue(key, L"absent", &type, buffer.data(), &size), kFileNotFound);
    EXPECT_EQ(reg.ReadValue(key, L"absent", whole), kFileNotFound);
}

TYPED_TEST_P(RegistryContract, ValueNamesIgnoreLetterCaseButNotLookalikes) {
    Registry& reg = this->registry();
    this->Seed(Hive::CurrentUser, L"Mixed Case", L"one");
    this->Seed(Hive::CurrentUser, L"\u00e9t\u00e9", L"summer"); // "été"
    this->Seed(Hive::CurrentUser, L"\xff51ttask", L"fullwidth q");

    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"MIXED case"), L"one");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"\u00c9T\u00c9"), L"summer"); // "ÉTÉ"
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"ete"), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"qttask"), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"\xff31TTASK"), L"fullwidth q");

    // Writing under another spelling replaces the data; the value keeps its first spelling.
    this->Seed(Hive::CurrentUser, L"MIXED CASE", L"two");
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Query, key), kSuccess);
    std::vector<std::wstring> names;
    ASSERT_EQ(reg.EnumValueNames(key, names), kSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Mixed Case", L"\u00e9t\u00e9", L"\xff51ttask"}));
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"mixed case"), L"two");

    std::wstring name;
    EXPECT_EQ(reg.EnumValueName(key, 3, name), kNoMoreItems);
    unsigned long count = 0;
    EXPECT_EQ(reg.CountValues(key, count), kSuccess);
    EXPECT_EQ(count, 3u);
}

TYPED_TEST_P(RegistryContract, TheEmptyNameIsTheDefaultValue) {
    Registry& reg = this->registry();
    this->CreateRunKey(Hive::CurrentUser);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L""), std::nullopt);
    this->Seed(Hive::CurrentUser, L"", L"default");
    this->Seed(Hive::CurrentUser, L"named", L"x");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L""), L"default");

    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Write, key), kSuccess);
    std::vector<std::wstring> names;
    ASSERT_EQ(reg.EnumValueNames(key, names), kSuccess);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), L""), names.end());
    EXPECT_EQ(reg.DeleteValue(key, L""), kSuccess);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L""), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"named"), L"x");
}

TYPED_TEST_P(RegistryContract, DeletingAMissingValueFailsAndChangesNothing) {
    Registry& reg = this->registry();
    this->Seed(Hive::LocalMachine, L"stay", L"here");
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::LocalMachine, kRunKeyPath, KeyAccess::Write, key), kSuccess);
    EXPECT_EQ(reg.DeleteValue(key, L"absent"), kFileNotFound);
    EXPECT_EQ(reg.DeleteValue(key, L"STAY"), kSuccess);
    EXPECT_EQ(reg.DeleteValue(key, L"stay"), kFileNotFound);
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"stay"), std::nullopt);
    EXPECT_EQ(reg.FlushKey(key), kSuccess);
}

TYPED_TEST_P(RegistryContract, AQueryOnlyKeyRefusesChanges) {
    Registry& reg = this->registry();
    this->Seed(Hive::CurrentUser, L"guarded", L"cmd");
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Query, key), kSuccess);
    EXPECT_EQ(reg.SetStringValue(key, L"guarded", L"changed"), kAccessDenied);
    EXPECT_EQ(reg.SetStringValue(key, L"new", L"x"), kAccessDenied);
    EXPECT_EQ(reg.DeleteValue(key, L"guarded"), kAccessDenied);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"guarded"), L"cmd");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"new"), std::nullopt);
}

// Windows documents 255 characters as the limit; Wine lets one more through. A name of 256
// characters is therefore left out of the contract (the actions never try one).
TYPED_TEST_P(RegistryContract, OverlongKeyNamesCannotBeCreated) {
    Registry& reg = this->registry();
    RegKey key;
    EXPECT_EQ(reg.CreateKey(Hive::LocalMachine, kRecordRoot + L"\\" + std::wstring(255, L'n'), key), kSuccess);
    EXPECT_EQ(reg.CreateKey(Hive::LocalMachine, kRecordRoot + L"\\" + std::wstring(257, L'n'), key), kInvalidParameter);
    EXPECT_FALSE(key);
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\" + std::wstring(257, L'n')));
}

TYPED_TEST_P(RegistryContract, ReadRegStringReadsWholeTextsUpToTheFirstNul) {
    this->Seed(Hive::CurrentUser, L"empty", L"");
    this->Seed(Hive::CurrentUser, L"254", std::wstring(254, L'a'));
    const std::wstring long_command = L"\"C:\\Program Files\\Vendor\\agent.exe\" " + std::wstring(400, L'z');
    this->Seed(Hive::CurrentUser, L"long", long_command);
    this->SeedRaw(Hive::CurrentUser, L"cut", kRegSz, Utf16Bytes(std::wstring(L"before") + L'\0' + L"after", true));
    this->SeedRaw(Hive::CurrentUser, L"unterminated", kRegSz, Utf16Bytes(L"no nul", false));
    this->SeedRaw(Hive::CurrentUser, L"expand", kRegExpandSz, Utf16Bytes(L"%WINDIR%\\x.exe", true));
    this->SeedRaw(Hive::CurrentUser, L"dword", kRegDword, {0x41, 0x00, 0x00, 0x00});
    this->SeedRaw(Hive::CurrentUser, L"odd", kRegSz, {0x41, 0x00, 0x42});
    // U+1F600 beyond the 16-bit range: a surrogate pair in the registry whatever wchar_t is.
    const std::wstring beyond = std::wstring(L"smile ") + L"\U0001F600";
    this->Seed(Hive::CurrentUser, L"beyond", beyond);

    Registry& reg = this->registry();
    const auto read = [&](const wchar_t* name) { return ReadRegString(reg, Hive::CurrentUser, kRunKeyPath, name); };
    EXPECT_EQ(read(L"empty"), L"");
    EXPECT_EQ(read(L"254"), std::wstring(254, L'a'));
    EXPECT_EQ(read(L"long"), long_command);
    EXPECT_EQ(read(L"cut"), L"before");
    EXPECT_EQ(read(L"unterminated"), L"no nul");
    EXPECT_EQ(read(L"expand"), L"%WINDIR%\\x.exe");
    EXPECT_EQ(read(L"dword"), L"") << "data of another type is no command line";
    EXPECT_EQ(read(L"odd"), L"A");
    EXPECT_EQ(read(L"beyond"), beyond);
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Query, key), kSuccess);
    RegValue stored;
    ASSERT_EQ(reg.ReadValue(key, L"beyond", stored), kSuccess);
    EXPECT_EQ(stored.data.size(), 2u * (6 + 2 + 1)) << "six units, a surrogate pair and the NUL";
    EXPECT_EQ(read(L"absent"), L"");
    EXPECT_EQ(ReadRegString(reg, Hive::LocalMachine, kRunKeyPath, L"254"), L"") << "no HKLM Run key";

    std::wstring text = L"stale";
    EXPECT_EQ(ReadRegString(reg, Hive::CurrentUser, kRunKeyPath, L"dword", text), kSuccess) << "present";
    EXPECT_EQ(text, L"");
    EXPECT_EQ(ReadRegString(reg, Hive::LocalMachine, kRunKeyPath, L"dword", text), kFileNotFound);
}

TYPED_TEST_P(RegistryContract, NamesWithANulAreRefusedAndNoOtherNameIsTouched) {
    Registry& reg = this->registry();
    this->Seed(Hive::CurrentUser, L"Foo", L"C:\\foo.exe");
    const std::wstring cut(L"Foo\0Bar", 7);
    RegKey key;
    ASSERT_EQ(reg.OpenKey(Hive::CurrentUser, kRunKeyPath, KeyAccess::Write, key), kSuccess);
    unsigned long size = 0;
    EXPECT_EQ(reg.QueryValue(key, cut, nullptr, nullptr, &size), kInvalidParameter);
    EXPECT_EQ(reg.DeleteValue(key, cut), kInvalidParameter);
    EXPECT_EQ(reg.SetStringValue(key, cut, L"x"), kInvalidParameter);
    key.reset();
    EXPECT_EQ(reg.OpenKey(Hive::CurrentUser, std::wstring(L"Software\0Other", 14), KeyAccess::Query, key),
              kInvalidParameter);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"Foo"), L"C:\\foo.exe");
    EXPECT_EQ(RemoveStartup(reg, cut).outcome, ActionOutcome::Failed);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"Foo"), L"C:\\foo.exe");
    EXPECT_FALSE(IsStartupPresent(reg, cut));
}

TYPED_TEST_P(RegistryContract, TheMachineHasTwoViewsAndTheUserOne) {
    Registry& reg = this->registry();
    ASSERT_TRUE(reg.HasTwoViews()) << "the tests run on 64-bit Windows or the model of it";
    this->Seed(Hive::LocalMachine, L"In64", L"64.exe", RegView::k64);
    this->Seed(Hive::LocalMachine, L"In32", L"32.exe", RegView::k32);
    this->Seed(Hive::CurrentUser, L"User", L"u.exe", RegView::k32);
    EXPECT_EQ(this->RunValue(RunPlace::Machine64, L"In64"), L"64.exe");
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"In64"), std::nullopt);
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"In32"), L"32.exe");
    EXPECT_EQ(this->RunValue(RunPlace::Machine64, L"In32"), std::nullopt);
    EXPECT_EQ(this->RunValue(RunPlace::CurrentUser, L"User"), L"u.exe") << "HKCU's Run key is shared";
    EXPECT_EQ(RunPlaces(reg), (std::vector<RunPlace>{RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}));
}

TYPED_TEST_P(RegistryContract, SubkeysAreEnumeratedAndDeleted) {
    Registry& reg = this->registry();
    for (const wchar_t* name : {L"Alpha", L"Beta"}) {
        RegKey key;
        ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, kRecordRoot + L"\\" + name, key), kSuccess);
    }
    RegKey root;
    ASSERT_EQ(reg.OpenKey(Hive::LocalMachine, kRecordRoot, KeyAccess::Query, root), kSuccess);
    std::vector<std::wstring> names;
    ASSERT_EQ(reg.EnumSubKeyNames(root, names), kSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"Beta"}));
    EXPECT_EQ(reg.DeleteKey(Hive::LocalMachine, kRecordRoot + L"\\ALPHA"), kSuccess);
    EXPECT_EQ(reg.DeleteKey(Hive::LocalMachine, kRecordRoot + L"\\Alpha"), kFileNotFound);
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Alpha"));
    EXPECT_TRUE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Beta"));
    EXPECT_NE(reg.DeleteKey(Hive::LocalMachine, kRecordRoot), kSuccess) << "a key with subkeys stays";
    EXPECT_TRUE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Beta"));
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContract, KeysAreCreatedWithTheirParentsAndFoundWhateverTheCase,
                            QueryReportsTheSizeAndAsksForMoreRoomWhenTheBufferIsShort,
                            ValueNamesIgnoreLetterCaseButNotLookalikes, TheEmptyNameIsTheDefaultValue,
                            DeletingAMissingValueFailsAndChangesNothing, AQueryOnlyKeyRefusesChanges,
                            OverlongKeyNamesCannotBeCreated, ReadRegStringReadsWholeTextsUpToTheFirstNul,
                            NamesWithANulAreRefusedAndNoOtherNameIsTouched, TheMachineHasTwoViewsAndTheUserOne,
                            SubkeysAreEnumeratedAndDeleted);

// ---------------------------------------------------------------------------------------------
// The scan.

template <class Env> class ScanContract : public RegistryContract<Env> {};
TYPED_TEST_SUITE_P(ScanContract);

TYPED_TEST_P(ScanContract, FindsValuesInEitherHiveOncePerEntryInCatalogueOrder) {
    this->Seed(Hive::CurrentUser, L"OnlyUser", L"u.exe");
    this->Seed(Hive::LocalMachine, L"OnlyMachine", L"m.exe");
    this->Seed(Hive::CurrentUser, L"Both", L"cu.exe");
    this->Seed(Hive::LocalMachine, L"Both", L"lm.exe");
    this->Seed(Hive::LocalMachine, L"NotListed", L"x.exe");
    const Catalogue catalogue = CatalogueOf(
        {{L"Absent", L"a"}, {L"OnlyMachine", L"om"}, {L"Both", L"b"}, {L"OnlyUser", L"ou"}, {L"Absent too", L"a2"}});
    RowLog list;
    ScanStartups(catalogue, this->registry(), list);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"OnlyMachine", L"om"}, {L"Both", L"b"}, {L"OnlyUser", L"ou"}};
    EXPECT_EQ(list.rows, expected);

    EXPECT_TRUE(IsStartupPresent(this->registry(), L"OnlyUser"));
    EXPECT_TRUE(IsStartupPresent(this->registry(), L"onlymachine"));
    EXPECT_FALSE(IsStartupPresent(this->registry(), L"Absent"));
}

TYPED_TEST_P(ScanContract, LongCommandLinesCountAsPresent) {
    this->Seed(Hive::CurrentUser, L"LongUser", L"u.exe " + std::wstring(300, L'u'));
    this->Seed(Hive::LocalMachine, L"LongMachine", L"m.exe " + std::wstring(2000, L'm'));
    this->SeedRaw(Hive::LocalMachine, L"Binary", kRegBinary, std::vector<unsigned char>(1000, 0x7F));
    const Catalogue catalogue = CatalogueOf({{L"LongUser", L""}, {L"LongMachine", L""}, {L"Binary", L""}});
    EXPECT_EQ(this->Scan(catalogue), (std::vector<std::wstring>{L"LongUser", L"LongMachine", L"Binary"}));
    EXPECT_TRUE(IsStartupPresent(this->registry(), L"LongUser"));
}

TYPED_TEST_P(ScanContract, ARunKeyLargerThanTheCatalogueGivesTheSameRows) {
    for (int i = 0; i < 12; ++i) {
        this->Seed(Hive::CurrentUser, L"Tool " + std::to_wstring(i), L"tool.exe");
    }
    this->Seed(Hive::CurrentUser, L"D\u00c9MARRAGE D'OFFICE", L"osa.exe");
    this->Seed(Hive::CurrentUser, L"", L"default.exe");
    this->Seed(Hive::LocalMachine, L"NVIEW", L"nview.exe");
    const Catalogue catalogue =
        CatalogueOf({{L"nview", L""}, {L"D\u00e9marrage d'Office", L""}, {L"Tool 99", L""}, {L"nview", L""}});
    EXPECT_EQ(this->Scan(catalogue), (std::vector<std::wstring>{L"nview", L"D\u00e9marrage d'Office"}));
}

TYPED_TEST_P(ScanContract, LetterCaseDiffersAndTheRowShowsTheCatalogueSpelling) {
    this->Seed(Hive::CurrentUser, L"ctfmon.exe", L"ctfmon.exe");
    this->Seed(Hive::LocalMachine, L"QTTASK", L"qttask.exe");
    this->Seed(Hive::LocalMachine, L"D\u00c9MARRAGE D'OFFICE", L"osa.exe"); // "DÉMARRAGE D'OFFICE"
    const Catalogue catalogue = CatalogueOf({{L"CTFMON.EXE", L""},
                                             {L"ctfmon", L""},
                                             {L"qttask", L""},
                                             {L"D\u00e9marrage d'Office", L""},
                                             {L"Demarrage d'Office", L""}});
    EXPECT_EQ(this->Scan(catalogue), (std::vector<std::wstring>{L"CTFMON.EXE", L"qttask", L"D\u00e9marrage d'Office"}));
}

TYPED_TEST_P(ScanContract, ARunValueIsListedOnceForTheFirstEntryThatNamesIt) {
    // One row per Run value: two rows would carry two choices for one value, and the later row's
    // default would override what the user chose on the first.
    this->Seed(Hive::LocalMachine, L"CTDVDDet", L"ctdvddet.exe");
    this->Seed(Hive::CurrentUser, L"ctfmon", L"ctfmon.exe");
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    catalogue.AppendEntry(L"CTFMON", L"a custom line repeating a built-in name");
    catalogue.AppendEntry(L"CTDVDDet", L"another");
    RowLog list;
    ScanStartups(catalogue, this->registry(), list);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].first, L"ctfmon");
    EXPECT_EQ(list.rows[1].first, L"CTDVDDet");
    EXPECT_EQ(list.rows[1].second, std::wstring(catalogue.StartupDescriptions[60]));
}

TYPED_TEST_P(ScanContract, FindsEachValueOnceWhateverPlacesAndViewsHoldIt) {
    this->Seed(RunPlace::CurrentUser, L"Everywhere", L"cu.exe");
    this->Seed(RunPlace::Machine64, L"Everywhere", L"lm.exe");
    this->Seed(RunPlace::Machine32, L"EVERYWHERE", L"lm32.exe");
    this->Seed(RunPlace::Machine32, L"Only32", L"32.exe");
    this->Seed(RunPlace::Machine64, L"Only64", L"64.exe");
    this->Seed(RunPlace::Machine32, L"Long32", L"C:\\" + std::wstring(400, L'x'));
    this->Seed(RunPlace::Machine32, L"Unknown32", L"u.exe");
    const Catalogue catalogue = CatalogueOf(
        {{L"Only32", L"a"}, {L"Everywhere", L"b"}, {L"Long32", L"c"}, {L"Only64", L"d"}, {L"Absent", L"e"}});
    const std::vector<FoundStartup> found = FindStartups(catalogue, this->registry());
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, L"Only32");
    EXPECT_EQ(found[0].places, std::vector<RunPlace>{RunPlace::Machine32});
    EXPECT_EQ(found[1].name, L"Everywhere");
    EXPECT_EQ(found[1].places,
              (std::vector<RunPlace>{RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}));
    EXPECT_EQ(found[2].places, std::vector<RunPlace>{RunPlace::Machine32});
    EXPECT_EQ(found[3].name, L"Only64");
    EXPECT_EQ(found[3].places, std::vector<RunPlace>{RunPlace::Machine64});
    EXPECT_TRUE(IsStartupPresent(this->registry(), L"only32"));
}

TYPED_TEST_P(ScanContract, TheBuiltInCatalogueFindsAccentedAndSpacedNames) {
    this->Seed(Hive::CurrentUser, L"Microsoft Recherche acc\u00e9l\u00e9r\u00e9e", L"findfast.exe");
    this->Seed(Hive::LocalMachine, L"dumprep 0 -k", L"dumprep 0 -k");
    this->Seed(Hive::LocalMachine, L"SoundMan", L"soundman.exe");
    this->Seed(Hive::CurrentUser, L"Microsoft Office Fast Cache", L"cache.exe");
    this->Seed(Hive::CurrentUser, L"Adobe Reader Speed Launcher", L"not listed");
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    EXPECT_EQ(this->Scan(catalogue),
              (std::vector<std::wstring>{L"SoundMan", L"dumprep 0 -k", L"Microsoft Recherche acc\u00e9l\u00e9r\u00e9e",
                                         L"Microsoft Office Fast Cache"}));
}

TYPED_TEST_P(ScanContract, MissingOrEmptyRunKeysGiveNoRows) {
    Catalogue catalogue;
    BuildCatalogue(catalogue);
    EXPECT_TRUE(this->Scan(catalogue).empty());
    this->CreateRunKey(Hive::CurrentUser);
    this->CreateRunKey(Hive::LocalMachine);
    EXPECT_TRUE(this->Scan(catalogue).empty());
}

TYPED_TEST_P(ScanContract, EmptySlotsNeverMatchTheDefaultValue) {
    this->Seed(Hive::CurrentUser, L"", L"default.exe");
    this->Seed(Hive::LocalMachine, L"", L"default.exe");
    this->Seed(Hive::LocalMachine, L"jusched", L"jusched.exe");
    Catalogue catalogue = CatalogueOf({{L"jusched", L"j"}});
    catalogue.Resize(4); // slots of skipped custom lines
    catalogue.AppendEntry(L"jusched", L"again");
    RowLog list;
    ScanStartups(catalogue, this->registry(), list);
    EXPECT_EQ(list.Names(), (std::vector<std::wstring>{L"jusched"}));
    EXPECT_FALSE(IsStartupPresent(this->registry(), L""));
}

REGISTER_TYPED_TEST_SUITE_P(ScanContract, FindsValuesInEitherHiveOncePerEntryInCatalogueOrder,
                            LongCommandLinesCountAsPresent, ARunKeyLargerThanTheCatalogueGivesTheSameRows,
                            LetterCaseDiffersAndTheRowShowsTheCatalogueSpelling,
                            ARunValueIsListedOnceForTheFirstEntryThatNamesIt,
                            FindsEachValueOnceWhateverPlacesAndViewsHoldIt,
                            TheBuiltInCatalogueFindsAccentedAndSpacedNames, MissingOrEmptyRunKeysGiveNoRows,
                            EmptySlotsNeverMatchTheDefaultValue);

// ---------------------------------------------------------------------------------------------
// Disable and remove.

template <class Env> class ActionContract : public RegistryContract<Env> {
protected:
    ActionResult Disable(const std::wstring& name) { return DisableStartup(this->registry(), name, messages_); }
    ActionResult Remove(const std::wstring& name) { return RemoveStartup(this->registry(), name); }
    MessageLog messages_;
};
TYPED_TEST_SUITE_P(ActionContract);

TYPED_TEST_P(ActionContract, DisableRecordsTheCommandOfTheHiveThatHoldsIt) {
    this->Seed(Hive::CurrentUser, L"UserOnly", L"C:\\u.exe /tray");
    this->Seed(Hive::LocalMachine, L"MachineOnly", L"C:\\m.exe");
    this->Seed(Hive::CurrentUser, L"Both", L"C:\\cu.exe");
    this->Seed(Hive::LocalMachine, L"Both", L"C:\\lm.exe");
    this->Seed(Hive::LocalMachine, L"Other", L"C:\\other.exe");

    EXPECT_EQ(this->Disable(L"UserOnly").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"UserOnly", L"C:\\u.exe /tray", L"HKCU");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"UserOnly"), std::nullopt);

    EXPECT_EQ(this->Disable(L"MachineOnly").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"MachineOnly", L"C:\\m.exe", L"HKLM");
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"MachineOnly"), std::nullopt);

    EXPECT_EQ(this->Disable(L"Both").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"Both", L"C:\\cu.exe", L"HKCU");
    // HKLM's command is kept too, or deleting HKLM's value would lose it for good.
    EXPECT_EQ(this->ReadRecord(L"Both").values.at(L"RunsweepCommandHKLM"), L"C:\\lm.exe");
    EXPECT_EQ(this->ReadRecord(L"Both").numbers.at(L"RunsweepTypeHKLM"), kRegSz);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"Both"), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"Both"), std::nullopt);

    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"Other"), L"C:\\other.exe");
    EXPECT_TRUE(this->messages_.messages.empty());
}

TYPED_TEST_P(ActionContract, TheHiveLabelAlwaysNamesTheHiveOfTheRecordedCommand) {
    this->Seed(Hive::CurrentUser, L"EmptyUser", L"");
    this->Seed(Hive::LocalMachine, L"EmptyUser", L"C:\\lm.exe");
    this->Seed(Hive::CurrentUser, L"EmptyOnlyUser", L"");

    EXPECT_EQ(this->Disable(L"EmptyUser").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"EmptyUser", L"C:\\lm.exe", L"HKLM");
    EXPECT_EQ(this->ReadRecord(L"EmptyUser").values.at(L"RunsweepCommandHKCU"), L"");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"EmptyUser"), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"EmptyUser"), std::nullopt);

    EXPECT_EQ(this->Disable(L"EmptyOnlyUser").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"EmptyOnlyUser", L"", L"HKCU");
}

TYPED_TEST_P(ActionContract, ALongCommandIsRecordedWhole) {
    const std::wstring command =
        L"\"C:\\Program Files\\Vendor\\Updater\\updater.exe\" /background " + std::wstring(700, L'a') + L" /end";
    this->Seed(Hive::LocalMachine, L"LongOne", command);
    EXPECT_EQ(this->Disable(L"LongOne").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"LongOne", command, L"HKLM");
}

TYPED_TEST_P(ActionContract, AnEarlierRecordKeepsWhatItHoldsAndGainsTheNewCommand) {
    RegKey key;
    ASSERT_EQ(this->registry().CreateKey(Hive::LocalMachine, kRecordRoot + L"\\qttask", key), kSuccess);
    ASSERT_EQ(this->registry().SetStringValue(key, L"command", L"old.exe"), kSuccess);
    ASSERT_EQ(this->registry().SetStringValue(key, L"hkey", L"HKCU"), kSuccess);
    ASSERT_EQ(this->registry().SetStringValue(key, L"extra", L"kept"), kSuccess);
    key.reset();
    this->Seed(RunPlace::Machine32, L"qttask", L"C:\\qttask.exe");

    EXPECT_EQ(this->Disable(L"qttask").outcome, ActionOutcome::Done);
    const Record record = this->ReadRecord(L"qttask");
    const std::map<std::wstring, std::wstring> expected = {
        {L"command", L"old.exe"},
        {L"hkey", L"HKCU"},
        {L"extra", L"kept"},
        {L"inimapping", L"0"},
        {L"item", L"qttask"},
        {L"key", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {L"RunsweepCommandHKLM32", L"C:\\qttask.exe"},
    };
    EXPECT_EQ(record.values, expected);
    EXPECT_EQ(record.numbers.at(L"RunsweepTypeHKLM32"), kRegSz);
    EXPECT_EQ(record.numbers.at(L"RunsweepType"), kRegSz) << "a type with every command";
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"qttask"), std::nullopt);
}

TYPED_TEST_P(ActionContract, TheSecondDisableOfANameLeavesTheFirstRecordAlone) {
    this->Seed(Hive::CurrentUser, L"CTDVDDet", L"C:\\ctdvddet.exe");
    EXPECT_EQ(this->Disable(L"CTDVDDet").outcome, ActionOutcome::Done);
    const ActionResult second = this->Disable(L"CTDVDDet");
    EXPECT_EQ(second.outcome, ActionOutcome::AlreadyGone);
    EXPECT_TRUE(second.TookEffect());
    this->ExpectRecord(L"CTDVDDet", L"C:\\ctdvddet.exe", L"HKCU");
    EXPECT_TRUE(this->messages_.messages.empty());
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Never there"));
    EXPECT_EQ(this->Disable(L"Never there").outcome, ActionOutcome::AlreadyGone);
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Never there"));
}

TYPED_TEST_P(ActionContract, AccentedNamesAreRecordedUnderTheirOwnName) {
    const std::wstring name = L"D\u00e9marrage rapide du logiciel HP Image Zone";
    this->Seed(Hive::CurrentUser, L"D\u00c9MARRAGE RAPIDE DU LOGICIEL HP IMAGE ZONE", L"C:\\hpqtra08.exe");
    EXPECT_EQ(this->Disable(name).outcome, ActionOutcome::Done);
    this->ExpectRecord(name, L"C:\\hpqtra08.exe", L"HKCU");
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, name), std::nullopt);
}

TYPED_TEST_P(ActionContract, NamesThatCannotNameAKeyAreLeftByDisableButRemoved) {
    const std::wstring slashed = L"Vendor\\Agent";
    const std::wstring too_long(256, L'L');
    const std::wstring longest(255, L'K');
    for (const std::wstring* name : {&slashed, &too_long, &longest}) {
        this->Seed(Hive::CurrentUser, *name, L"C:\\a.exe");
    }
    for (const std::wstring* name : {&slashed, &too_long}) {
        EXPECT_EQ(this->Disable(*name).outcome, ActionOutcome::NameNotRecordable);
        EXPECT_EQ(this->RunValue(Hive::CurrentUser, *name), L"C:\\a.exe");
        EXPECT_EQ(this->Remove(*name).outcome, ActionOutcome::Done);
        EXPECT_EQ(this->RunValue(Hive::CurrentUser, *name), std::nullopt);
    }
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\Vendor"));
    EXPECT_EQ(this->Disable(longest).outcome, ActionOutcome::Done);
    this->ExpectRecord(longest, L"C:\\a.exe", L"HKCU");
    EXPECT_TRUE(this->messages_.messages.empty());
}

TYPED_TEST_P(ActionContract, RunValuesThatHoldNoCommandLineAreRefusedAndLeftInPlace) {
    // Binary data, a number, a list of texts, no type at all: a text record would lose them.
    const std::vector<unsigned char> binary = {0x0a, 0x00, 0xff, 0x41};
    const std::vector<unsigned char> number = {0x34, 0x12, 0x00, 0x00};
    const std::vector<unsigned char> list = Utf16Bytes(std::wstring(L"C:\\a.exe\0C:\\b.exe\0", 18), true);
    this->SeedRaw(Hive::CurrentUser, L"Binary", kRegBinary, binary);
    this->SeedRaw(Hive::LocalMachine, L"Number", kRegDword, number);
    this->SeedRaw(Hive::CurrentUser, L"List", kRegMultiSz, list);
    this->SeedRaw(Hive::CurrentUser, L"Untyped", kRegNone, {});
    // Text in one hive does not make up for what the other hive would lose.
    this->SeedRaw(Hive::CurrentUser, L"Mixed", kRegBinary, binary);
    this->Seed(Hive::LocalMachine, L"Mixed", L"C:\\mixed.exe");

    for (const auto& [hive, name, type, data] :
         {std::tuple{Hive::CurrentUser, L"Binary", kRegBinary, binary},
          std::tuple{Hive::LocalMachine, L"Number", kRegDword, number},
          std::tuple{Hive::CurrentUser, L"List", kRegMultiSz, list},
          std::tuple{Hive::CurrentUser, L"Untyped", kRegNone, std::vector<unsigned char>{}},
          std::tuple{Hive::CurrentUser, L"Mixed", kRegBinary, binary}}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(name)));
        const ActionResult result = this->Disable(name);
        EXPECT_EQ(result.outcome, ActionOutcome::CommandNotText);
        EXPECT_FALSE(result.TookEffect());
        EXPECT_NE(result.status, kSuccess);
        EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot + L"\\" + name));
        RegKey key;
        ASSERT_EQ(this->registry().OpenKey(hive, kRunKeyPath, KeyAccess::Query, key), kSuccess);
        RegValue stored;
        ASSERT_EQ(this->registry().ReadValue(key, name, stored), kSuccess);
        EXPECT_EQ(stored.type, type);
        EXPECT_EQ(stored.data, data);
    }
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"Mixed"), L"C:\\mixed.exe");
    EXPECT_TRUE(this->messages_.messages.empty());
    // "Remove" still takes them out.
    EXPECT_EQ(this->Remove(L"Binary").outcome, ActionOutcome::Done);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"Binary"), std::nullopt);
}

TYPED_TEST_P(ActionContract, ExpandableAndEmptyCommandsAreRecordedAsStored) {
    // The text as stored, variables unexpanded; data of no bytes at all is the empty command.
    this->SeedRaw(Hive::CurrentUser, L"Expand", kRegExpandSz, Utf16Bytes(L"%ProgramFiles%\\x.exe /tray", true));
    this->SeedRaw(Hive::LocalMachine, L"NoBytes", kRegSz, {});
    EXPECT_EQ(this->Disable(L"Expand").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"Expand", L"%ProgramFiles%\\x.exe /tray", L"HKCU");
    EXPECT_EQ(this->ReadRecord(L"Expand").numbers.at(L"RunsweepType"), kRegExpandSz);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"Expand"), std::nullopt);
    EXPECT_EQ(this->Disable(L"NoBytes").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"NoBytes", L"", L"HKLM");
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"NoBytes"), std::nullopt);
}

TYPED_TEST_P(ActionContract, EmptyNamesAreNeverTouched) {
    this->Seed(Hive::CurrentUser, L"", L"C:\\default.exe");
    this->Seed(Hive::LocalMachine, L"", L"C:\\default.exe");
    EXPECT_EQ(this->Disable(L"").outcome, ActionOutcome::NameNotRecordable);
    EXPECT_EQ(this->Remove(L"").outcome, ActionOutcome::Failed);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L""), L"C:\\default.exe");
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L""), L"C:\\default.exe");
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot));
}

TYPED_TEST_P(ActionContract, RemoveDeletesFromEveryPlaceAndMissingValuesAreNoFailure) {
    this->Seed(Hive::CurrentUser, L"jusched", L"C:\\cu.exe");
    this->Seed(Hive::LocalMachine, L"JUSCHED", L"C:\\lm.exe");
    this->Seed(RunPlace::Machine32, L"jusched", L"C:\\lm32.exe");
    this->Seed(RunPlace::Machine32, L"Other32", L"C:\\other.exe");
    this->Seed(Hive::LocalMachine, L"Machine", L"C:\\m.exe");
    EXPECT_EQ(this->Remove(L"JuSched").outcome, ActionOutcome::Done);
    EXPECT_EQ(this->RunValue(Hive::CurrentUser, L"jusched"), std::nullopt);
    EXPECT_EQ(this->RunValue(Hive::LocalMachine, L"jusched"), std::nullopt);
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"jusched"), std::nullopt);
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"Other32"), L"C:\\other.exe");
    EXPECT_EQ(this->Remove(L"Machine").outcome, ActionOutcome::Done);
    EXPECT_EQ(this->Remove(L"Machine").outcome, ActionOutcome::AlreadyGone);
    EXPECT_FALSE(this->KeyExists(Hive::LocalMachine, kRecordRoot)) << "remove writes no record";
}

TYPED_TEST_P(ActionContract, DisableRecordsA32BitEntryTheWayTheConfigurationUtilityDoes) {
    const std::wstring command = L"\"C:\\Program Files (x86)\\Java\\jre\\bin\\jusched.exe\" " + std::wstring(300, L'j');
    this->Seed(RunPlace::Machine32, L"SunJavaUpdateSched", command);
    this->Seed(RunPlace::Machine64, L"Unrelated", L"C:\\u.exe");
    EXPECT_EQ(this->Disable(L"SunJavaUpdateSched").outcome, ActionOutcome::Done);
    this->ExpectRecord(L"SunJavaUpdateSched", command, L"HKLM",
                       L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(this->RunValue(RunPlace::Machine32, L"SunJavaUpdateSched"), std::nullopt);
    EXPECT_EQ(this->RunValue(RunPlace::Machine64, L"Unrelated"), L"C:\\u.exe");
}

REGISTER_TYPED_TEST_SUITE_P(ActionContract, DisableRecordsTheCommandOfTheHiveThatHoldsIt,
                            TheHiveLabelAlwaysNamesTheHiveOfTheRecordedCommand, ALongCommandIsRecordedWhole,
                            AnEarlierRecordKeepsWhatItHoldsAndGainsTheNewCommand,
                            TheSecondDisableOfANameLeavesTheFirstRecordAlone, AccentedNamesAreRecordedUnderTheirOwnName,
                            NamesThatCannotNameAKeyAreLeftByDisableButRemoved,
                            RunValuesThatHoldNoCommandLineAreRefusedAndLeftInPlace,
                            ExpandableAndEmptyCommandsAreRecordedAsStored, EmptyNamesAreNeverTouched,
                            RemoveDeletesFromEveryPlaceAndMissingValuesAreNoFailure,
                            DisableRecordsA32BitEntryTheWayTheConfigurationUtilityDoes);

// ---------------------------------------------------------------------------------------------
// The Startup folders' files. A FilesEnv type provides the files under test:
//   static const char* SkipReason();
//   void SetUp(); void TearDown();
//   FolderFiles& files();
//   std::wstring Scratch();   an existing, empty folder the tests may fill
//   void Put(const std::wstring& path, const std::string& bytes);
//   void PutShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments);

template <class Env> class FolderFilesContract : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = Env::SkipReason()) {
            GTEST_SKIP() << why;
        }
        env_.SetUp();
        ready_ = true;
        scratch_ = env_.Scratch();
    }
    void TearDown() override {
        if (ready_) {
            env_.TearDown();
        }
    }
    FolderFiles& files() { return env_.files(); }
    std::wstring At(const std::wstring& name) const { return scratch_ + L"\\" + name; }
    std::string Bytes(const std::wstring& path) {
        std::vector<unsigned char> bytes;
        EXPECT_EQ(files().Read(path, bytes, 1 << 20), kSuccess) << ::testing::PrintToString(path);
        return std::string(bytes.begin(), bytes.end());
    }

    Env env_;
    bool ready_ = false;
    std::wstring scratch_;
};

TYPED_TEST_SUITE_P(FolderFilesContract);

TYPED_TEST_P(FolderFilesContract, ListingGivesFilesNotFoldersAndAMissingFolderIsAbsent) {
    this->env_.Put(this->At(L"Adobe Gamma Loader.lnk"), "link");
    this->env_.Put(this->At(L"desktop.ini"), "[.ShellClassInfo]");
    this->env_.Put(this->At(L"tool.exe"), "MZ");
    ASSERT_EQ(this->files().MakeFolder(this->At(L"Sub")), kSuccess);
    std::vector<std::wstring> names;
    ASSERT_EQ(this->files().List(this->scratch_, names), kSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Adobe Gamma Loader.lnk", L"desktop.ini", L"tool.exe"}));

    const long missing = this->files().List(this->At(L"Nowhere"), names);
    EXPECT_TRUE(missing == kFileNotFound || missing == kPathNotFound) << missing;
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(this->files().Exists(this->At(L"Sub")), kSuccess);
    EXPECT_EQ(this->files().Exists(this->At(L"TOOL.EXE")), kSuccess) << "names compare without regard to case";
    EXPECT_EQ(this->files().Exists(this->At(L"none.lnk")), kFileNotFound);
    EXPECT_EQ(this->files().Exists(this->At(L"Nowhere\\none.lnk")), kFileNotFound);
}

TYPED_TEST_P(FolderFilesContract, AMoveRenamesOnceAndNeverReplacesOrLeavesTheVolume) {
    static const char raw[] = "L\0\0\0\x01\x14\x02\0\xff binary";
    const std::string bytes(raw, sizeof(raw) - 1);
    this->env_.Put(this->At(L"a.lnk"), bytes);
    this->env_.Put(this->At(L"taken.Startup"), "someone else's");
    ASSERT_EQ(this->files().MakeFolder(this->At(L"pss")), kSuccess);
    ASSERT_EQ(this->files().MakeFolder(this->At(L"pss")), kSuccess) << "a folder that exists is made already";

    const long onto = this->files().Move(this->At(L"a.lnk"), this->At(L"taken.Startup"));
    EXPECT_TRUE(onto == kAlreadyExists || onto == kFileExists) << onto;
    EXPECT_EQ(this->Bytes(this->At(L"taken.Startup")), "someone else's");
    EXPECT_EQ(this->files().Move(this->At(L"a.lnk"), this->At(L"Nowhere\\a.lnk.Startup")), kPathNotFound);
    EXPECT_EQ(this->files().Move(this->At(L"none.lnk"), this->At(L"pss\\none.lnk.Startup")), kFileNotFound);
    EXPECT_EQ(this->Bytes(this->At(L"a.lnk")), bytes) << "a refused move changes nothing";

    ASSERT_EQ(this->files().Move(this->At(L"a.lnk"), this->At(L"pss\\a.lnk.Startup")), kSuccess);
    EXPECT_EQ(this->files().Exists(this->At(L"a.lnk")), kFileNotFound);
    EXPECT_EQ(this->Bytes(this->At(L"pss\\a.lnk.Startup")), bytes);
    ASSERT_EQ(this->files().Move(this->At(L"pss\\a.lnk.Startup"), this->At(L"a.lnk")), kSuccess);
    EXPECT_EQ(this->Bytes(this->At(L"a.lnk")), bytes) << "back byte for byte";
}

TYPED_TEST_P(FolderFilesContract, ReadsDeletesAndRefusesNamesWithANul) {
    this->env_.Put(this->At(L"page.url"), "[InternetShortcut]\r\nURL=https://example.com/\r\n");
    std::vector<unsigned char> bytes;
    EXPECT_EQ(this->files().Read(this->At(L"page.url"), bytes, 8), kMoreData);
    EXPECT_EQ(this->files().Read(this->At(L"none.url"), bytes, 8), kFileNotFound);
    EXPECT_EQ(this->files().Exists(std::wstring(this->At(L"page.url")) + std::wstring(1, L'\0') + L"x"),
              kInvalidParameter);
    EXPECT_EQ(this->files().Delete(this->At(L"page.url") + std::wstring(1, L'\0')), kInvalidParameter);
    EXPECT_EQ(this->files().Exists(this->At(L"page.url")), kSuccess);
    std::wstring command;
    EXPECT_EQ(ItemCommand(this->files(), this->At(L"page.url"), command), kSuccess);
    EXPECT_EQ(command, L"https://example.com/");
    EXPECT_EQ(this->files().Delete(this->At(L"page.url")), kSuccess);
    EXPECT_EQ(this->files().Exists(this->At(L"page.url")), kFileNotFound);
    EXPECT_EQ(this->files().Delete(this->At(L"page.url")), kFileNotFound);
    EXPECT_EQ(this->files().MakeFolder(this->At(L"Nowhere\\Sub")), kPathNotFound);
}

TYPED_TEST_P(FolderFilesContract, AShortcutGivesItsTargetAndArgumentsAndOtherFilesTheirOwnPath) {
    this->env_.PutShortcut(this->At(L"Microsoft Office.lnk"), L"C:\\Program Files\\Microsoft Office\\Office\\OSA9.EXE",
                           L"-b -l");
    this->env_.PutShortcut(this->At(L"tool.lnk"), L"C:\\Tools\\tool.exe", L"");
    this->env_.Put(this->At(L"broken.lnk"), "not a shortcut at all");
    this->env_.Put(this->At(L"run.cmd"), "@echo off");
    Shortcut shortcut;
    ASSERT_EQ(this->files().ReadShortcut(this->At(L"Microsoft Office.lnk"), shortcut), kSuccess);
    EXPECT_TRUE(SameFileName(shortcut.target, L"C:\\Program Files\\Microsoft Office\\Office\\OSA9.EXE"))
        << ::testing::PrintToString(shortcut.target);
    EXPECT_EQ(shortcut.arguments, L"-b -l");

    const std::vector<std::pair<std::wstring, std::wstring>> commands = {
        {L"Microsoft Office.lnk", L"\"C:\\Program Files\\Microsoft Office\\Office\\OSA9.EXE\" -b -l"},
        {L"tool.lnk", L"C:\\Tools\\tool.exe"},
        {L"run.cmd", this->At(L"run.cmd")},
    };
    for (const auto& [name, expected] : commands) {
        std::wstring command;
        EXPECT_EQ(ItemCommand(this->files(), this->At(name), command), kSuccess);
        EXPECT_TRUE(SameFileName(command, expected)) << ::testing::PrintToString(command);
    }
    std::wstring command;
    EXPECT_NE(ItemCommand(this->files(), this->At(L"broken.lnk"), command), kSuccess);
    EXPECT_EQ(command, this->At(L"broken.lnk")) << "an unreadable shortcut is shown by its own path";
}

REGISTER_TYPED_TEST_SUITE_P(FolderFilesContract, ListingGivesFilesNotFoldersAndAMissingFolderIsAbsent,
                            AMoveRenamesOnceAndNeverReplacesOrLeavesTheVolume, ReadsDeletesAndRefusesNamesWithANul,
                            AShortcutGivesItsTargetAndArgumentsAndOtherFilesTheirOwnPath);

} // namespace runsweep::contract
