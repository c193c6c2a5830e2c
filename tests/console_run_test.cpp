#include "console/console_run.h"

#include "app/continue_choices.h"
#include "app/scan_startups.h"
#include "catalogue/catalogue.h"
#include "catalogue/custom_list.h"
#include "listbox/list_model.h"
#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"
#include "registry/startup_approved.h"
#include "registry/startup_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {
namespace {

const std::wstring kCyrillicName = L"\u0417\u0430\u043f\u0443\u0441\u043a"; // "Запуск"
const std::wstring kAccentedName = L"Pr\u00e9chargeur";                     // "Préchargeur"

// The two streams, either of which can refuse every write from the n-th on (a disk that fills up, a
// reader that went away).
class CapturedStreams : public ConsoleStreams {
public:
    std::wstring out;
    std::wstring err;
    std::size_t out_fails_from = 0; // 0: never
    std::size_t err_fails_from = 0;

protected:
    std::optional<std::wstring> WriteOut(const std::wstring& text) override {
        if (out_fails_from != 0 && ++out_writes >= out_fails_from) {
            return std::wstring(L"error 112: There is not enough space on the disk");
        }
        out += text;
        return std::nullopt;
    }
    std::optional<std::wstring> WriteErr(const std::wstring& text) override {
        if (err_fails_from != 0 && ++err_writes >= err_fails_from) {
            return std::wstring(L"error 232: The pipe is being closed");
        }
        err += text;
        return std::nullopt;
    }

private:
    std::size_t out_writes = 0;
    std::size_t err_writes = 0;
};

// Another copy changing entries, or none.
class FakeLock : public ChangeLock {
public:
    bool busy = false;
    std::size_t asked = 0;
    bool Acquire(unsigned long) override {
        ++asked;
        return !busy;
    }
    void Release() noexcept override {}
};

std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

bool IsWrite(RegistryOp op) {
    return op == RegistryOp::Create || op == RegistryOp::SetString || op == RegistryOp::SetValue ||
           op == RegistryOp::Delete || op == RegistryOp::DeleteKey || op == RegistryOp::Flush;
}

class ConsoleRun : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue.AppendEntry(kAccentedName, L"Pr\u00e9chargement");
        catalogue.AppendEntry(kCyrillicName, L"Cyrillic");
        catalogue.AppendEntry(L"qttask", L"QuickTime");
        catalogue.AppendEntry(L"binary", L"Not a command line");
        Seed(registry);
    }

    static void Set(Registry& registry, RunPlace place, const std::wstring& name, const std::wstring& command) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, command), kSuccess);
    }

    // qttask in HKCU and HKLM's 32-bit view with different commands, the Cyrillic name in HKLM with a
    // command CSV must quote, and a value no catalogue entry names.
    static void Seed(Registry& registry) {
        Set(registry, RunPlace::CurrentUser, L"qttask", L"C:\\q.exe");
        Set(registry, RunPlace::Machine32, L"qttask", L"C:\\q32.exe");
        Set(registry, RunPlace::Machine64, kCyrillicName, L"x, \"y\"");
        Set(registry, RunPlace::CurrentUser, L"Bystander", L"C:\\keep.exe");
    }

    void SeedBinary() {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(Hive::CurrentUser, kRunKeyPath, key), kSuccess);
        ASSERT_EQ(registry.SetValue(key, L"binary", kRegBinary, {1, 2, 3}), kSuccess);
    }

    // keeps_switch: as on Windows 8 and later.
    int Run(std::vector<std::wstring> args, bool keeps_switch = false) {
        streams = CapturedStreams();
        registry.ClearLog();
        ParsedCommandLine parsed = ParseCommandLine(args);
        parsed.options.keeps_switch = keeps_switch;
        files.ClearLog();
        return RunConsoleCommand(parsed, catalogue, registry, streams, FolderAccess{&files, keeps_switch}, &lock);
    }

    void SetSwitch(RunPlace place, const std::wstring& name, const std::vector<unsigned char>& data) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(RunSwitchKey(place).hive, RunSwitchKey(place).path, key), kSuccess);
        ASSERT_EQ(registry.SetValue(key, name, kRegBinary, data), kSuccess);
    }
    StartupSwitch SwitchOf(RunPlace place, const std::wstring& name) {
        StartupSwitch state;
        EXPECT_EQ(ReadStartupSwitch(registry, RunSwitchKey(place), name, state), kSuccess);
        return state;
    }

    std::size_t Writes() const {
        return static_cast<std::size_t>(std::count_if(registry.Log().begin(), registry.Log().end(),
                                                      [](const RegistryCall& call) { return IsWrite(call.op); }));
    }

    std::vector<std::wstring> RunValueNames(RunPlace place) {
        RegKey key;
        std::vector<std::wstring> names;
        if (registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place)) == kSuccess) {
            registry.EnumValueNames(key, names);
        }
        return names;
    }

    Catalogue catalogue;
    MemoryRegistry registry;
    MemoryFolderFiles files;
    CapturedStreams streams;
    FakeLock lock;
};

// Without Windows' startup switch every entry is on; with it, switched off in Task Manager as the
// values say: the Cyrillic entry off (07), qttask off in HKCU only (03), and every format tells it.
TEST_F(ConsoleRun, ListsInCatalogueOrderInEachFormat) {
    const FileTime june = 133932528000000000ULL; // 2025-06-01 12:00 UTC
    std::vector<unsigned char> seven = SwitchOffData(june);
    seven[0] = 7;
    ASSERT_NO_FATAL_FAILURE(SetSwitch(RunPlace::Machine64, kCyrillicName, seven));
    ASSERT_NO_FATAL_FAILURE(SetSwitch(RunPlace::CurrentUser, L"qttask", SwitchOffData(june)));
    ASSERT_NO_FATAL_FAILURE(SetSwitch(RunPlace::Machine32, L"qttask", SwitchOnData()));
    for (const bool keeps_switch : {false, true}) {
        SCOPED_TRACE(keeps_switch ? "Windows 8 and later" : "Windows 7");
        const std::wstring cyrillic_state = keeps_switch ? L"off" : L"on";
        const std::wstring qttask_state = keeps_switch ? L"mixed" : L"on";
        ASSERT_EQ(Run({L"list", L"--format", L"csv"}, keeps_switch), kExitDone);
        EXPECT_EQ(streams.out, L"name,places,state,command,description\r\n" + kCyrillicName + L",HKLM," +
                                   cyrillic_state + L",\"x, \"\"y\"\"\",Cyrillic\r\nqttask,HKCU; HKLM (32-bit)," +
                                   qttask_state + L",C:\\q.exe,QuickTime\r\n");
        EXPECT_EQ(streams.err, L"");

        ASSERT_EQ(Run({}, keeps_switch), kExitDone);
        EXPECT_EQ(streams.out,
                  keeps_switch
                      ? L"Name    Places         State                                Command     Description\r\n" +
                            kCyrillicName +
                            L"  HKLM           off since 2025-06-01                 x, \"y\"      Cyrillic\r\n"
                            L"qttask  HKCU           mixed: off in HKCU since 2025-06-01  C:\\q.exe    QuickTime\r\n"
                            L"        HKLM (32-bit)                                       C:\\q32.exe\r\n"
                      : L"Name    Places         State  Command     Description\r\n" + kCyrillicName +
                            L"  HKLM           on     x, \"y\"      Cyrillic\r\n"
                            L"qttask  HKCU           on     C:\\q.exe    QuickTime\r\n"
                            L"        HKLM (32-bit)         C:\\q32.exe\r\n");

        ASSERT_EQ(Run({L"--format=json"}, keeps_switch), kExitDone);
        const std::wstring since = keeps_switch ? L"\"2025-06-01T12:00:00Z\"" : L"null";
        const std::wstring off = keeps_switch ? L"off" : L"on";
        EXPECT_EQ(
            streams.out,
            L"[\r\n  {\"name\": \"" + kCyrillicName + L"\", \"places\": [\"HKLM\"], \"state\": \"" + cyrillic_state +
                L"\", \"command\": \"x, \\\"y\\\"\", \"description\": \"Cyrillic\", "
                L"\"commands\": [{\"place\": \"HKLM\", \"command\": \"x, \\\"y\\\"\"}], \"switches\": [{\"place\": "
                L"\"HKLM\", \"state\": \"" +
                off + L"\", \"off_since\": " + since +
                L"}]},\r\n"
                L"  {\"name\": \"qttask\", \"places\": [\"HKCU\", \"HKLM (32-bit)\"], \"state\": \"" +
                qttask_state +
                L"\", \"command\": \"C:\\\\q.exe\", "
                L"\"description\": \"QuickTime\", \"commands\": [{\"place\": \"HKCU\", \"command\": \"C:\\\\q.exe\"}, "
                L"{\"place\": \"HKLM (32-bit)\", \"command\": \"C:\\\\q32.exe\"}], \"switches\": [{\"place\": "
                L"\"HKCU\", "
                L"\"state\": \"" +
                off + L"\", \"off_since\": " + since +
                L"}, {\"place\": \"HKLM (32-bit)\", \"state\": \"on\", \"off_since\": null}]}\r\n]\r\n");
        EXPECT_EQ(Writes(), 0u);
    }
}

TEST_F(ConsoleRun, ListsTheRowsTheWindowListsForTheBuiltInCatalogueToo) {
    BuildCatalogue(catalogue);
    Set(registry, RunPlace::Machine64, L"jusched", L"C:\\j.exe");
    Set(registry, RunPlace::CurrentUser, L"ctfmon", L"C:\\c.exe");
    ListModel window;
    ScanStartups(catalogue, registry, window);
    ASSERT_EQ(Run({L"--format", L"csv"}), kExitDone);
    std::vector<std::wstring> listed;
    for (std::size_t at = streams.out.find(L"\r\n") + 2; at < streams.out.size();) {
        const std::size_t end = streams.out.find(L"\r\n", at);
        const std::wstring line = streams.out.substr(at, end - at);
        listed.push_back(line.substr(0, line.find(L',')));
        at = end + 2;
    }
    std::vector<std::wstring> rows;
    for (int i = 0; i < window.ListCount(); ++i) {
        rows.push_back(window.GetValue(i));
    }
    EXPECT_EQ(listed, rows);
    EXPECT_GE(rows.size(), 3u);
}

TEST_F(ConsoleRun, NothingFoundIsSaidInTextAndEmptyInCsvAndJson) {
    MemoryRegistry empty;
    CapturedStreams out;
    EXPECT_EQ(RunConsoleCommand(ParseCommandLine({}), catalogue, empty, out), kExitDone);
    EXPECT_EQ(out.out, L"No unnecessary startups found!\r\n");
    out.out.clear();
    EXPECT_EQ(RunConsoleCommand(ParseCommandLine({L"--format", L"json"}), catalogue, empty, out), kExitDone);
    EXPECT_EQ(out.out, L"[]\r\n");
    out.out.clear();
    EXPECT_EQ(RunConsoleCommand(ParseCommandLine({L"disable", L"--all", L"--format", L"csv"}), catalogue, empty, out),
              kExitDone);
    EXPECT_EQ(out.out, L"name,action,result,details\r\n");
    EXPECT_EQ(out.err, L"");
}

TEST_F(ConsoleRun, DisablesNamedEntriesMatchedAsTheRegistryMatchesAndReportsTheRest) {
    const std::wstring upper = L"\u0437\u0410\u041f\u0423\u0421\u041a"; // the Cyrillic name in other letter cases
    ASSERT_EQ(Run({L"disable", L"nothere", L"QTTASK", upper, L"qttask", L"--format", L"csv"}), kExitNotDone);
    // Rows in the scan's order, each once; the name that matched nothing last.
    EXPECT_EQ(streams.out, L"name,action,result,details\r\n" + kCyrillicName +
                               L",disable,done,recorded for re-enabling; removed from HKLM.\r\n"
                               L"qttask,disable,done,recorded for re-enabling; removed from HKCU and HKLM (32-bit).\r\n"
                               L"nothere,disable,not done,not found\r\n");
    EXPECT_EQ(streams.err, L"runsweepc: nothere (disable): not found\r\n");
    EXPECT_TRUE(RunValueNames(RunPlace::Machine32).empty());
    EXPECT_EQ(RunValueNames(RunPlace::CurrentUser), std::vector<std::wstring>{L"Bystander"});
    StartupRecord record;
    ASSERT_EQ(ReadStartupRecord(registry, L"qttask", record), kSuccess);
    ASSERT_EQ(record.places.size(), 2u);
    EXPECT_EQ(record.places[0].command, L"C:\\q.exe");
    EXPECT_EQ(record.places[1].command, L"C:\\q32.exe");
    ASSERT_EQ(ReadStartupRecord(registry, kCyrillicName, record), kSuccess);
    EXPECT_EQ(record.places[0].command, L"x, \"y\"");
}

TEST_F(ConsoleRun, DisableAllLeavesWhatTheWindowsDefaultContinueLeaves) {
    SeedBinary();
    ASSERT_EQ(Run({L"disable", L"--all"}), kExitNotDone); // the binary value cannot be recorded
    EXPECT_NE(streams.err.find(L"runsweepc: binary (disable): not changed: its Run value in HKCU holds no command"),
              std::wstring::npos)
        << Narrow(streams.err);
    EXPECT_NE(streams.out.find(L"Changes will take effect after the system is restarted."), std::wstring::npos);

    MemoryRegistry window_registry;
    Seed(window_registry);
    {
        RegKey key;
        ASSERT_EQ(window_registry.CreateKey(Hive::CurrentUser, kRunKeyPath, key), kSuccess);
        ASSERT_EQ(window_registry.SetValue(key, L"binary", kRegBinary, {1, 2, 3}), kSuccess);
    }
    ListModel window;
    ScanStartups(catalogue, window_registry, window);
    class Silent : public MessageSink {
        void ShowMessage(const std::wstring&, MessageIcon) override {}
    } silent;
    CarryOutChoices(window, window_registry, silent);

    for (const RunPlace place : {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32}) {
        std::vector<std::wstring> names;
        RegKey key;
        if (window_registry.OpenKey(PlaceHive(place), kRunKeyPath, KeyAccess::Query, key, PlaceView(place)) ==
            kSuccess) {
            window_registry.EnumValueNames(key, names);
        }
        EXPECT_EQ(RunValueNames(place), names) << Narrow(PlaceLabel(place));
    }
    std::vector<StartupRecord> ours;
    std::vector<StartupRecord> theirs;
    ASSERT_EQ(ListStartupRecords(registry, ours), kSuccess);
    ASSERT_EQ(ListStartupRecords(window_registry, theirs), kSuccess);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_EQ(ours.size(), 2u);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].key_name, theirs[i].key_name);
        EXPECT_EQ(ours[i].item, theirs[i].item);
        EXPECT_EQ(ours[i].places, theirs[i].places);
        EXPECT_TRUE(ours[i].complete);
    }
}

TEST_F(ConsoleRun, RemoveTakesOutOneValueWithoutARecord) {
    ASSERT_EQ(Run({L"remove", kCyrillicName}), kExitDone);
    EXPECT_TRUE(RunValueNames(RunPlace::Machine64).empty());
    EXPECT_EQ(RunValueNames(RunPlace::Machine32), std::vector<std::wstring>{L"qttask"});
    std::vector<StartupRecord> records;
    ASSERT_EQ(ListStartupRecords(registry, records), kSuccess);
    EXPECT_TRUE(records.empty());
    EXPECT_NE(streams.out.find(L"remove  done    removed from HKLM."), std::wstring::npos) << Narrow(streams.out);
}

TEST_F(ConsoleRun, DryRunSaysWhatWouldBeDoneAndWritesNothing) {
    SeedBinary();
    ASSERT_EQ(Run({L"disable", L"--all", L"--dry-run", L"--format", L"csv"}), kExitNotDone);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_FALSE(registry.Log().empty());
    EXPECT_EQ(streams.out,
              L"name,action,result,details\r\n" + kCyrillicName +
                  L",disable,would be done,\"would be recorded for re-enabling, then removed from HKLM.\"\r\n"
                  L"qttask,disable,would be done,\"would be recorded for re-enabling, then removed from HKCU and "
                  L"HKLM (32-bit).\"\r\n"
                  L"binary,disable,would not be done,\"not changed: its Run value in HKCU holds no command line (its "
                  L"data is not text), so MSConfig could not re-enable it and it was left in place. Use \"\"runsweepc "
                  L"remove\"\" to take it out without a record.\"\r\n");
    EXPECT_EQ(streams.out.find(L"Changes will take effect"), std::wstring::npos);

    ASSERT_EQ(Run({L"remove", L"--all", L"--dry-run"}), kExitDone);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_NE(streams.out.find(L"would be removed from HKCU and HKLM (32-bit)."), std::wstring::npos);
    EXPECT_EQ(RunValueNames(RunPlace::CurrentUser).size(), 3u);
}

TEST_F(ConsoleRun, APlaceThatNeedsAdministratorRightsIsNotDoneAndSaysHowToGetThem) {
    FaultRule denied;
    denied.op = RegistryOp::Delete;
    denied.hive = Hive::LocalMachine;
    denied.status = kAccessDenied;
    registry.AddFault(denied);
    ASSERT_EQ(Run({L"remove", L"qttask", L"--format", L"json"}), kExitNotDone);
    EXPECT_NE(streams.out.find(L"\"result\": \"not done\""), std::wstring::npos) << Narrow(streams.out);
    EXPECT_NE(streams.err.find(L"runsweepc: qttask (remove): removed from HKCU; not removed from HKLM (32-bit), which "
                               L"needs administrator rights. Run runsweepc as administrator to change it there."),
              std::wstring::npos)
        << Narrow(streams.err);
}

TEST_F(ConsoleRun, DryRunForetellsWhatAStandardUserCannotChangeAsTheRealRunFindsIt) {
    // An entry only in HKCU, whose record key does not exist yet, and one disabled earlier from HKCU
    // alone, whose record is in HKLM.
    catalogue.AppendEntry(L"Solo", L"Only in HKCU");
    Set(registry, RunPlace::CurrentUser, L"Solo", L"C:\\solo.exe");
    Set(registry, RunPlace::CurrentUser, kAccentedName, L"C:\\p.exe");
    ASSERT_EQ(Run({L"disable", kAccentedName}), kExitDone);
    FaultRule read_only;
    read_only.op = RegistryOp::Open;
    read_only.hive = Hive::LocalMachine;
    read_only.access = KeyAccess::Write;
    read_only.status = kAccessDenied;
    registry.AddFault(read_only);
    FaultRule no_create = read_only;
    no_create.op = RegistryOp::Create;
    no_create.access.reset();
    registry.AddFault(no_create);
    FaultRule no_delete = no_create;
    no_delete.op = RegistryOp::DeleteKey;
    registry.AddFault(no_delete);

    ASSERT_EQ(Run({L"remove", L"qttask", L"--dry-run", L"--format", L"csv"}), kExitNotDone);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(streams.out,
              L"name,action,result,details\r\nqttask,remove,would not be done,\"would be removed from HKCU; "
              L"not from HKLM (32-bit), which needs administrator rights. Run runsweepc as administrator "
              L"to change it there.\"\r\n");
    ASSERT_EQ(Run({L"disable", L"--all", L"--dry-run", L"--format", L"csv"}), kExitNotDone);
    EXPECT_EQ(Writes(), 0u);
    // Even the entry only in HKCU: its record would go to HKLM.
    EXPECT_EQ(std::count(streams.out.begin(), streams.out.end(), L'\n'), 4);
    EXPECT_EQ(streams.out.find(L",would be done,"), std::wstring::npos) << Narrow(streams.out);

    // The real runs agree.
    ASSERT_EQ(Run({L"disable", L"--all", L"--format", L"csv"}), kExitNotDone);
    EXPECT_EQ(streams.out.find(L",done,"), std::wstring::npos) << Narrow(streams.out);
    ASSERT_EQ(Run({L"remove", L"qttask", L"--format", L"csv"}), kExitNotDone);
    EXPECT_NE(streams.out.find(L"qttask,remove,not done,\"removed from HKCU; not removed from HKLM (32-bit)"),
              std::wstring::npos)
        << Narrow(streams.out);
    // Re-enabling into HKCU still needs the record deleted in HKLM.
    ASSERT_EQ(Run({L"enable", kAccentedName, L"--dry-run", L"--format", L"csv"}), kExitNotDone);
    EXPECT_NE(streams.out.find(L",would not be done,"), std::wstring::npos) << Narrow(streams.out);
    EXPECT_EQ(Writes(), 0u);
    ASSERT_EQ(Run({L"enable", kAccentedName, L"--format", L"csv"}), kExitNotDone);
    EXPECT_EQ(streams.out.find(L",done,"), std::wstring::npos) << Narrow(streams.out);
}

TEST_F(ConsoleRun, ANameCannotBreakTheLineOfItsReason) {
    ASSERT_EQ(Run({L"disable", L"no\r\nsuch"}), kExitNotDone);
    EXPECT_EQ(streams.err, L"runsweepc: no\uFFFD\uFFFDsuch (disable): not found\r\n");
}

TEST_F(ConsoleRun, UsageErrorsTouchNothingAndHintOnOneLine) {
    ASSERT_EQ(Run({L"disable", L"qttask", L"--all"}), kExitUsage);
    EXPECT_EQ(streams.out, L"");
    EXPECT_TRUE(registry.Log().empty());
    ASSERT_EQ(streams.err.find(L"\r\n"), streams.err.size() - 2);
    EXPECT_EQ(streams.err.rfind(L"runsweepc: give names or --all to disable, not both. Usage: runsweepc ", 0), 0u);

    ASSERT_EQ(Run({L"--help"}), kExitDone);
    EXPECT_EQ(streams.out, HelpText());
    EXPECT_TRUE(registry.Log().empty());
}

TEST_F(ConsoleRun, DisabledListsTheRecordsAndEnablePutsThemBack) {
    ASSERT_EQ(Run({L"--format", L"csv"}), kExitDone);
    const std::wstring listed = streams.out;
    ASSERT_EQ(Run({L"disable", L"--all"}), kExitDone);
    {
        // A record this program does not understand: listed with its problem, never acted on.
        RegKey odd;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(L"odd"), odd), kSuccess);
        ASSERT_EQ(registry.SetStringValue(odd, L"command", L"C:\\odd.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(odd, L"hkey", L"HKXX"), kSuccess);
    }

    ASSERT_EQ(Run({L"disabled", L"--format", L"json"}), kExitDone);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_NE(streams.out.find(L"{\"name\": \"qttask\", \"disabled\": \""), std::wstring::npos) << Narrow(streams.out);
    EXPECT_NE(
        streams.out.find(L"\"places\": [\"HKCU\", \"HKLM (32-bit)\"], \"command\": \"C:\\\\q.exe\", \"problem\": null"),
        std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(
        streams.out.find(L"{\"name\": \"odd\", \"disabled\": null, \"places\": [], \"command\": \"C:\\\\odd.exe\", "
                         L"\"problem\": \""),
        std::wstring::npos)
        << Narrow(streams.out);

    ASSERT_EQ(Run({L"enable", L"--all", L"--dry-run"}), kExitNotDone); // the odd record
    EXPECT_EQ(Writes(), 0u);
    EXPECT_NE(streams.out.find(L"would be re-enabled in HKCU and HKLM (32-bit)."), std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.err.find(L"runsweepc: odd (enable): not re-enabled: its record cannot be understood ("),
              std::wstring::npos)
        << Narrow(streams.err);

    ASSERT_EQ(Run({L"enable", L"QTTASK", kCyrillicName, L"nosuch", L"--format", L"csv"}), kExitNotDone);
    EXPECT_NE(streams.out.find(L"qttask,enable,done,re-enabled in HKCU and HKLM (32-bit).\r\n"), std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L"nosuch,enable,not done,not found\r\n"), std::wstring::npos);
    EXPECT_EQ(streams.err, L"runsweepc: nosuch (enable): not found\r\n");
    // Back where they were: the list reads as before the disable.
    ASSERT_EQ(Run({L"--format", L"csv"}), kExitDone);
    EXPECT_EQ(streams.out, listed);
    ASSERT_EQ(Run({L"disabled", L"--format", L"csv"}), kExitDone);
    EXPECT_EQ(streams.out.find(L"qttask,"), std::wstring::npos);
    EXPECT_NE(streams.out.find(L"odd,,,C:\\odd.exe,"), std::wstring::npos) << Narrow(streams.out);
}

// Windows 8 and later: the dry run says what it would switch, Disable switches off (an HKLM switch
// that refuses is told, and the exit status says so), an entry Task Manager alone switched off is
// listed by "disabled" as such, and "enable" switches on both kinds.
TEST_F(ConsoleRun, DisableSwitchesOffEnableSwitchesOnAndTheDryRunsSaySo) {
    const FileTime june = 133932528000000000ULL; // 2025-06-01 12:00 UTC
    std::vector<unsigned char> seven = SwitchOffData(june);
    seven[0] = 7;
    ASSERT_NO_FATAL_FAILURE(SetSwitch(RunPlace::Machine64, kCyrillicName, seven));

    ASSERT_EQ(Run({L"disable", L"--all", L"--dry-run", L"--format", L"csv"}, true), kExitDone);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_NE(streams.out.find(kCyrillicName +
                               L",disable,would be done,\"would be recorded for re-enabling, then removed "
                               L"from HKLM; its switch in Task Manager for HKLM would be left as it "
                               L"is.\"\r\n"),
              std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L"qttask,disable,would be done,\"would be recorded for re-enabling, then removed from "
                               L"HKCU and HKLM (32-bit); would be switched off in Task Manager for HKCU and HKLM "
                               L"(32-bit).\"\r\n"),
              std::wstring::npos)
        << Narrow(streams.out);

    FaultRule refused;
    refused.op = RegistryOp::SetValue;
    refused.path = RunSwitchKey(RunPlace::Machine32).path;
    registry.AddFault(refused);
    const FileTime before = FileTimeNow();
    ASSERT_EQ(Run({L"disable", L"--all", L"--format", L"csv"}, true), kExitNotDone);
    const FileTime after = FileTimeNow();
    registry.ClearFaults();
    EXPECT_EQ(streams.err,
              L"runsweepc: qttask (disable): recorded for re-enabling; removed from HKCU and HKLM (32-bit); "
              L"switched off in Task Manager for HKCU; not switched off in Task Manager for HKLM (32-bit), "
              L"which needs administrator rights. Run runsweepc as administrator to change it there.\r\n");
    EXPECT_EQ(SwitchOf(RunPlace::Machine64, kCyrillicName).off_since, june) << "already off: left with its date";
    EXPECT_GE(SwitchOf(RunPlace::CurrentUser, L"qttask").off_since, before);
    EXPECT_LE(SwitchOf(RunPlace::CurrentUser, L"qttask").off_since, after);
    EXPECT_EQ(SwitchOf(RunPlace::Machine32, L"qttask").value, SwitchValue::Missing);

    // qttask's program writes itself back: listed, off by its switch. Task Manager switches the
    // bystander off: no record, its Run value there.
    Set(registry, RunPlace::CurrentUser, L"qttask", L"C:\\q.exe");
    ASSERT_NO_FATAL_FAILURE(SetSwitch(RunPlace::CurrentUser, L"Bystander", SwitchOffData(june)));
    ASSERT_EQ(Run({L"--format", L"csv"}, true), kExitDone);
    EXPECT_EQ(streams.out, L"name,places,state,command,description\r\nqttask,HKCU,off,C:\\q.exe,QuickTime\r\n");
    ASSERT_EQ(Run({L"disabled", L"--format", L"csv"}, true), kExitDone);
    EXPECT_NE(streams.out.find(L"Bystander,2025-06-01T"), std::wstring::npos) << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L",HKCU,C:\\keep.exe,,switch\r\n"), std::wstring::npos) << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L",HKCU; HKLM (32-bit),C:\\q.exe,,record\r\n"), std::wstring::npos)
        << Narrow(streams.out);
    ASSERT_EQ(Run({L"disabled"}), kExitDone);
    EXPECT_EQ(streams.out.find(L"Bystander"), std::wstring::npos) << "Windows 7 keeps no switch";

    ASSERT_EQ(Run({L"enable", L"bystander", L"qttask", L"--dry-run", L"--format", L"csv"}, true), kExitDone);
    EXPECT_EQ(Writes(), 0u);
    // HKLM (32-bit)'s switch never said off (its switch-off was refused): writing it on changes
    // nothing Windows does, so only HKCU is told as switched on.
    EXPECT_NE(streams.out.find(L"qttask,enable,would be done,would be re-enabled in HKCU and HKLM (32-bit); would be "
                               L"switched on in Task Manager for HKCU.\r\n"),
              std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L"Bystander,enable,would be done,would be switched on again in Task Manager for HKCU; "
                               L"nothing else would change.\r\n"),
              std::wstring::npos)
        << Narrow(streams.out);

    ASSERT_EQ(Run({L"enable", L"bystander", L"qttask", L"--format", L"csv"}, true), kExitDone);
    EXPECT_NE(streams.out.find(L"Bystander,enable,done,switched on again in HKCU.\r\n"), std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L"qttask,enable,done,re-enabled in HKCU and HKLM (32-bit); switched on again in Task "
                               L"Manager for HKCU.\r\n"),
              std::wstring::npos)
        << Narrow(streams.out);
    for (const auto& [place, name] :
         {std::pair{RunPlace::CurrentUser, L"Bystander"}, std::pair{RunPlace::CurrentUser, L"qttask"},
          std::pair{RunPlace::Machine32, L"qttask"}}) {
        EXPECT_EQ(SwitchOf(place, name).value, SwitchValue::On) << Narrow(name);
    }
    EXPECT_EQ(RunValueNames(RunPlace::CurrentUser), (std::vector<std::wstring>{L"Bystander", L"qttask"}));
    ASSERT_EQ(Run({L"disabled", L"--format", L"csv"}, true), kExitDone);
    EXPECT_EQ(streams.out.find(L"Bystander"), std::wstring::npos);
    EXPECT_EQ(streams.out.find(L"qttask"), std::wstring::npos);
}

TEST_F(ConsoleRun, NoRecordsIsSaidInText) {
    ASSERT_EQ(Run({L"disabled"}), kExitDone);
    EXPECT_EQ(streams.out, L"No disabled items found!\r\n");
    ASSERT_EQ(Run({L"enable", L"--all"}), kExitDone);
    EXPECT_EQ(streams.out, L"No disabled items found!\r\n");
    ASSERT_EQ(Run({L"enable", L"x"}), kExitNotDone);
    EXPECT_EQ(Run({L"disabled", L"x"}), kExitUsage);
}

// A report that never arrived is no success: every command, whatever stream fails, ends with 1.
TEST_F(ConsoleRun, AnyWriteThatFailsEndsWithStatusOneAndTheReasonOnStandardError) {
    struct Case {
        std::vector<std::wstring> args;
        std::size_t out_fails_from, err_fails_from;
        int status;
    };
    const std::vector<Case> cases = {
        {{L"list"}, 1, 0, kExitNotDone},
        {{L"list", L"--format", L"json"}, 1, 0, kExitNotDone},
        {{L"--help"}, 1, 0, kExitNotDone},
        {{L"--version"}, 1, 0, kExitNotDone},
        {{L"disabled"}, 1, 0, kExitNotDone},
        // The entries are disabled; the report of it is lost, and so the status says.
        {{L"disable", L"--all"}, 2, 0, kExitNotDone},
        // Standard error refuses, but nothing goes there: the run went well.
        {{L"list"}, 0, 1, kExitDone},
        {{L"disable", L"nothere"}, 0, 1, kExitNotDone},
        {{L"sweep"}, 0, 1, kExitUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.args[0]));
        streams = CapturedStreams();
        streams.out_fails_from = c.out_fails_from;
        streams.err_fails_from = c.err_fails_from;
        EXPECT_EQ(RunConsoleCommand(ParseCommandLine(c.args), catalogue, registry, streams, FolderAccess{&files, false},
                                    &lock),
                  c.status);
        if (c.out_fails_from != 0) {
            EXPECT_NE(streams.err.find(L"runsweepc: the output could not be written (error 112: There is not enough "
                                       L"space on the disk).\r\n"),
                      std::wstring::npos)
                << Narrow(streams.err);
        }
    }
    StartupRecord record;
    EXPECT_EQ(ReadStartupRecord(registry, L"qttask", record), kSuccess) << "what was done stays done";
}

// Names, commands and a record's own values come from any program: on standard error each shows
// as the other outputs show it, so none can break a line or forge one that seems runsweepc's.
TEST_F(ConsoleRun, NothingFromTheRegistryCanBreakOrForgeALineOnStandardError) {
    {
        RegKey odd;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(L"odd"), odd), kSuccess);
        ASSERT_EQ(registry.SetStringValue(odd, L"command", L"C:\\odd.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(odd, L"hkey", L"HKXX\r\nrunsweepc: everything was done"), kSuccess);
    }
    const auto each_line_is_runsweepcs = [](const std::wstring& err) {
        std::size_t lines = 0;
        for (std::size_t at = 0; at < err.size(); ++lines) {
            const std::size_t end = err.find(L"\r\n", at);
            EXPECT_NE(end, std::wstring::npos);
            const std::wstring line = err.substr(at, end - at);
            EXPECT_EQ(line.rfind(L"runsweepc: ", 0), 0u) << Narrow(line);
            EXPECT_EQ(std::count_if(line.begin(), line.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }), 0)
                << Narrow(line);
            at = end == std::wstring::npos ? err.size() : end + 2;
        }
        EXPECT_GE(lines, 1u);
    };
    EXPECT_EQ(Run({L"enable", L"--all"}), kExitNotDone);
    each_line_is_runsweepcs(streams.err);
    EXPECT_NE(streams.err.find(L"HKXX\uFFFD\uFFFDrunsweepc: everything"), std::wstring::npos) << Narrow(streams.err);
    EXPECT_EQ(Run({L"disable", L"no\x1b[2Jpe"}), kExitNotDone);
    each_line_is_runsweepcs(streams.err);
    CapturedStreams direct;
    ErrorStreamMessages(direct).ShowMessage(L"custom.txt: line 3: \"a\rb\"", MessageIcon::Error);
    EXPECT_EQ(direct.err, L"runsweepc: custom.txt: line 3: \"a\uFFFDb\"\r\n");
}

// runsweepc never changes anything while another copy, window or console, changes entries; what
// only reads goes on.
TEST_F(ConsoleRun, WhileAnotherCopyChangesEntriesNothingIsChangedAndItIsSaid) {
    lock.busy = true;
    for (const std::vector<std::wstring>& args :
         {std::vector<std::wstring>{L"disable", L"qttask"}, {L"remove", L"--all"}, {L"enable", L"--all"}}) {
        SCOPED_TRACE(Narrow(args[0]));
        EXPECT_EQ(Run(args), kExitNotDone);
        EXPECT_EQ(Writes(), 0u);
        EXPECT_TRUE(registry.Log().empty()) << "not even read: a plan from what another copy changes is stale";
        EXPECT_EQ(streams.err, L"runsweepc: another copy of Runsweep or runsweepc is changing startup entries; "
                               L"nothing was changed. Try again when it has finished.\r\n");
    }
    const std::size_t asked = lock.asked;
    EXPECT_EQ(Run({L"list"}), kExitDone);
    EXPECT_EQ(Run({L"disabled"}), kExitDone);
    EXPECT_EQ(Run({L"disable", L"--all", L"--dry-run"}), kExitDone);
    EXPECT_EQ(lock.asked, asked) << "reading needs no lock";
    lock.busy = false;
    EXPECT_EQ(Run({L"disable", L"qttask"}), kExitDone);
    EXPECT_EQ(lock.asked, asked + 1);
}

// A fleet's clean machines: an entry named but not there counts as done, said on standard error;
// never when a Run key that could not be read might hold it.
TEST_F(ConsoleRun, MissingOkCountsANameNotThereAsDoneWithANoteUnlessAPlaceCouldNotBeRead) {
    ASSERT_EQ(Run({L"disable", L"nothere", L"qttask", L"--missing-ok", L"--format", L"csv"}), kExitDone);
    EXPECT_NE(streams.out.find(L"nothere,disable,done,\"not found, counted as done (--missing-ok)\""),
              std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_EQ(streams.err, L"runsweepc: nothere (disable): not found, counted as done (--missing-ok)\r\n");
    EXPECT_EQ(Run({L"enable", L"qttask", L"gone", L"--missing-ok"}), kExitDone);
    EXPECT_EQ(Run({L"remove", L"gone", L"--missing-ok", L"--dry-run"}), kExitDone);
    EXPECT_EQ(Run({L"remove", L"gone"}), kExitNotDone);

    FaultRule unreadable;
    unreadable.op = RegistryOp::Open;
    unreadable.hive = Hive::LocalMachine;
    unreadable.path = kRunKeyPath;
    unreadable.access = KeyAccess::Query;
    registry.AddFault(unreadable);
    EXPECT_EQ(Run({L"disable", L"gone", L"--missing-ok"}), kExitNotDone);
    EXPECT_NE(streams.err.find(L"runsweepc: gone (disable): not found\r\n"), std::wstring::npos) << Narrow(streams.err);
}

// A Run key that cannot be read is not an empty one: it is named, the run ends with 1, and
// "nothing found" is never said for what could not be looked at.
TEST_F(ConsoleRun, ARunKeyThatCannotBeReadIsNamedAndNeverTakenForAnEmptyOne) {
    struct Case {
        const char* label;
        std::optional<Hive> hive;
        std::optional<RegistryOp> op;
        std::vector<const wchar_t*> named;
        bool rows;
    };
    const std::vector<Case> cases = {
        {"HKLM's two views", Hive::LocalMachine, RegistryOp::Open, {L"HKLM", L"HKLM (32-bit)"}, true},
        {"every place", std::nullopt, RegistryOp::Open, {L"HKCU", L"HKLM", L"HKLM (32-bit)"}, false},
        {"every query", std::nullopt, RegistryOp::Query, {L"HKCU", L"HKLM", L"HKLM (32-bit)"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        registry.ClearFaults();
        FaultRule denied;
        denied.op = c.op;
        denied.hive = c.hive;
        denied.path = kRunKeyPath;
        registry.AddFault(denied);
        for (const std::vector<std::wstring>& args : {std::vector<std::wstring>{L"list"}, {L"disable", L"--all"}}) {
            EXPECT_EQ(Run(args), kExitNotDone);
            for (const wchar_t* place : c.named) {
                EXPECT_NE(streams.err.find(L"runsweepc: the Run key of " + std::wstring(place) +
                                           L" could not be read (error 5), so the entries there are not in this "
                                           L"report.\r\n"),
                          std::wstring::npos)
                    << Narrow(streams.err);
            }
            EXPECT_EQ(streams.out.find(L"No unnecessary startups found!"), std::wstring::npos);
            EXPECT_EQ(streams.out.find(L"qttask") != std::wstring::npos, c.rows) << Narrow(streams.out);
        }
    }
}

// The Startup folders through every command: qttask also as a shortcut in the user's folder, a
// program of its own in the all-users folder, and an unknown shortcut beside them.
TEST_F(ConsoleRun, TheStartupFoldersAreListedDisabledReEnabledAndRemovedPlaceByPlace) {
    const std::wstring user = files.KnownFolder(StartupFolder::User);
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    const std::wstring link = JoinPath(user, L"qttask.lnk");
    const std::wstring program = JoinPath(common, L"binary.exe");
    files.PutFile(link, {'L', 0}, Shortcut{L"C:\\Program Files\\QuickTime\\QTTask.exe", L"-atboottime"});
    files.PutFile(program, {'M', 'Z'});
    files.PutFile(JoinPath(user, L"Unknown.lnk"), {'L'}, Shortcut{L"C:\\u.exe", L""});

    ASSERT_EQ(Run({L"list", L"--format", L"csv"}), kExitDone);
    EXPECT_EQ(streams.out, L"name,places,state,command,description\r\n" + kCyrillicName +
                               L",HKLM,on,\"x, \"\"y\"\"\",Cyrillic\r\n"
                               L"qttask,HKCU; HKLM (32-bit); Startup folder,on,C:\\q.exe,QuickTime\r\n"
                               L"binary,Startup folder (all users),on," +
                               program + L",Not a command line\r\n");
    ASSERT_EQ(Run({L"list"}), kExitDone);
    EXPECT_NE(streams.out.find(L"\r\n        Startup folder                     \"C:\\Program Files\\QuickTime\\QTTask.exe\" "
                               L"-atboottime\r\nbinary  Startup folder (all users)  on     " +
                               program),
              std::wstring::npos)
        << Narrow(streams.out);
    files.ResetCallCounts();
    ASSERT_EQ(Run({L"--format", L"json"}), kExitDone);
    EXPECT_NE(
        streams.out.find(L"{\"place\": \"Startup folder\", \"file\": \"C:\\\\Users\\\\User\\\\AppData\\\\Roaming\\\\"
                         L"Microsoft\\\\Windows\\\\Start Menu\\\\Programs\\\\Startup\\\\qttask.lnk\", \"command\": "
                         L"\"\\\"C:\\\\Program Files\\\\QuickTime\\\\QTTask.exe\\\" -atboottime\"}"),
        std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_EQ(files.CallCount(FileOp::ReadShortcut), 1u) << "a shortcut is read for an entry found only";

    // The dry run tells the moves and changes nothing.
    ASSERT_EQ(Run({L"disable", L"qttask", L"binary", L"--dry-run"}), kExitDone);
    EXPECT_NE(streams.out.find(L"would move qttask.lnk from Startup folder to C:\\Windows\\pss\\qttask.lnk.Startup "
                               L"and record it for re-enabling."),
              std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L"would move binary.exe from Startup folder (all users) to "
                               L"C:\\Windows\\pss\\binary.exe.CommonStartup"),
              std::wstring::npos);
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(files.CallCount(FileOp::Move) + files.CallCount(FileOp::MakeFolder), 0u);

    // The all-users folder refuses: qttask is done, binary is not, and says where.
    files.AddFault(FileFaultRule{FileOp::Move, program, 0, kAccessDenied});
    ASSERT_EQ(Run({L"disable", L"qttask", L"binary"}), kExitNotDone);
    EXPECT_NE(streams.err.find(L"runsweepc: binary (disable): binary.exe was left in Startup folder (all users), "
                               L"which needs administrator rights"),
              std::wstring::npos)
        << Narrow(streams.err);
    EXPECT_EQ(streams.err.find(L"qttask"), std::wstring::npos) << "qttask was done in every place";
    EXPECT_FALSE(files.FileBytes(link).has_value());
    EXPECT_TRUE(files.FileBytes(program).has_value());
    files.ClearFaults();

    ASSERT_EQ(Run({L"disabled", L"--format", L"csv"}), kExitDone);
    EXPECT_NE(streams.out.find(L"qttask.lnk,2"), std::wstring::npos) << Narrow(streams.out);
    EXPECT_NE(streams.out.find(L",Startup folder,\"\"\"C:\\Program Files\\QuickTime\\QTTask.exe\"\" -atboottime\","),
              std::wstring::npos);

    ASSERT_EQ(Run({L"enable", L"QTTASK.LNK", L"--dry-run"}), kExitDone);
    EXPECT_NE(streams.out.find(L"would move C:\\Windows\\pss\\qttask.lnk.Startup back to " + link + L"."),
              std::wstring::npos)
        << Narrow(streams.out);
    EXPECT_FALSE(files.FileBytes(link).has_value());
    ASSERT_EQ(Run({L"enable", L"--all"}), kExitDone) << Narrow(streams.err);
    EXPECT_EQ(files.FileBytes(link), (std::vector<unsigned char>{'L', 0}));
    EXPECT_EQ(RunValueNames(RunPlace::CurrentUser), (std::vector<std::wstring>{L"Bystander", L"qttask"}));
    ASSERT_EQ(Run({L"disabled"}), kExitDone);
    EXPECT_EQ(streams.out, L"No disabled items found!\r\n");

    // Remove: the shortcut deleted, the program to the Recycle Bin, the unknown shortcut left.
    ASSERT_EQ(Run({L"remove", L"qttask", L"binary"}), kExitDone) << Narrow(streams.err);
    EXPECT_FALSE(files.FileBytes(link).has_value());
    ASSERT_EQ(files.RecycleBin().size(), 1u);
    EXPECT_EQ(files.RecycleBin()[0].first, program);
    EXPECT_TRUE(files.FileBytes(JoinPath(user, L"Unknown.lnk")).has_value());
}

// The dry run asks what the real run will meet in the Startup folders too: a file this user may not
// take out (the all-users folder of a standard user), one a running program holds, a disabled copy
// the user may not move back. Each command's dry run, then the real run on the same start.
TEST_F(ConsoleRun, ForEveryFolderScenarioTheDryRunForetellsTheOutcome) {
    struct Case {
        const char* what;
        StartupFolder folder;
        const wchar_t* file;
        long refusal;       // for every call on the file; kSuccess: none
        bool refuse_backup; // the disabled copy may not be moved back
        bool refuse_pss;    // %windir%\pss may not be made, as for a standard user
    };
    const std::vector<Case> cases = {
        {"a user's shortcut", StartupFolder::User, L"binary.lnk", kSuccess, false, false},
        {"a program for all users, standard user", StartupFolder::Common, L"binary.exe", kAccessDenied, false, false},
        {"a shortcut for all users, standard user", StartupFolder::Common, L"binary.lnk", kAccessDenied, false, false},
        {"a program that runs", StartupFolder::User, L"binary.exe", kSharingViolation, false, false},
        {"a disabled copy held back", StartupFolder::User, L"binary.lnk", kSuccess, true, false},
        {"no rights to %windir%", StartupFolder::User, L"binary.lnk", kSuccess, false, true},
    };
    // The result column of the entry's line: "done", "not done", "would be done", ...
    const auto result_of = [](const std::wstring& csv) {
        const std::size_t line = csv.find(L"\r\nbinary");
        if (line == std::wstring::npos) {
            return std::wstring(L"(no line)");
        }
        const std::size_t from = csv.find(L',', csv.find(L',', line) + 1) + 1;
        return csv.substr(from, csv.find(L',', from) - from);
    };
    for (const Case& c : cases) {
        for (const wchar_t* command : {L"disable", L"remove", L"enable"}) {
            SCOPED_TRACE(std::string(c.what) + ", " + Narrow(command));
            MemoryRegistry store;
            Seed(store);
            MemoryFolderFiles folder_files;
            const std::wstring path = JoinPath(folder_files.KnownFolder(c.folder), c.file);
            folder_files.PutFile(path, {'L', 0});
            const auto run = [&](std::vector<std::wstring> args) {
                streams = CapturedStreams();
                args.insert(args.end(), {L"--format", L"csv"});
                RunConsoleCommand(ParseCommandLine(args), catalogue, store, streams, FolderAccess{&folder_files, false},
                                  &lock);
                return streams.out;
            };
            std::wstring subject = L"binary";
            if (std::wstring(command) == L"enable") {
                ASSERT_EQ(result_of(run({L"disable", L"binary"})), L"done");
                subject = c.file;
            }
            if (c.refusal != kSuccess) {
                folder_files.AddFault(FileFaultRule{std::nullopt, path, 0, c.refusal});
            }
            std::wstring backup_folder;
            ASSERT_EQ(folder_files.BackupFolderPath(backup_folder), kSuccess);
            // Only the changes meet these: the copy and the folder are there to be seen.
            if (c.refuse_backup && std::wstring(command) == L"enable") {
                const std::wstring backup = JoinPath(backup_folder, std::wstring(c.file) + L".Startup");
                for (const FileOp op : {FileOp::Move, FileOp::MayChange}) {
                    folder_files.AddFault(FileFaultRule{op, backup, 0, kAccessDenied});
                }
            }
            if (c.refuse_pss) {
                for (const FileOp op : {FileOp::MakeFolder, FileOp::MayChange}) {
                    folder_files.AddFault(FileFaultRule{op, backup_folder, 0, kAccessDenied});
                }
            }
            const std::wstring foretold = run({command, subject, L"--dry-run"});
            const std::wstring done = run({command, subject});
            const std::wstring expected = result_of(done) == L"done" ? L"would be done" : L"would not be done";
            EXPECT_EQ(result_of(foretold), expected) << Narrow(foretold) << Narrow(done);
        }
    }
}

TEST(ConsoleMessages, TheWindowsMessagesBecomeLinesOnStandardError) {
    CapturedStreams streams;
    ErrorStreamMessages messages(streams);
    messages.ShowMessage(L"Using custom list (custom.txt)", MessageIcon::Information);
    messages.ShowMessage(L"Custom list is empty.", MessageIcon::Error);
    EXPECT_EQ(streams.out, L"");
    EXPECT_EQ(streams.err, L"runsweepc: Using custom list (custom.txt)\r\nrunsweepc: Custom list is empty.\r\n");
}

// On a console the user cannot see the file beside the message: each corrupt line is named by its
// number and shown, on one line of its own however long or odd it is.
TEST(ConsoleMessages, ACorruptCustomLineIsNamedAndShownOnOneLine) {
    CapturedStreams streams;
    ErrorStreamMessages messages(streams);
    Catalogue catalogue;
    LoadCustomList(L"good,entry\r\nno comma\n\ntab\there\rCR,\r\n" + std::wstring(100, L'x') + L"\r\n,", catalogue,
                   messages);
    const std::wstring corrupt = L": Corrupt entry found in custom.txt. Format: Startup,Description\r\n";
    EXPECT_EQ(streams.err, L"runsweepc: custom.txt line 2 (\"no comma\")" + corrupt +
                               L"runsweepc: custom.txt line 4 (\"tab\ufffdhere\ufffdCR,\")" + corrupt +
                               L"runsweepc: custom.txt line 5 (\"" + std::wstring(80, L'x') + L"\u2026\")" + corrupt +
                               L"runsweepc: custom.txt line 6 (\",\")" + corrupt);
}

} // namespace
} // namespace runsweep
