// The Disabled items window's rules: what a row says about its record, which rows are acted on,
// and the closing message that reports every outcome truthfully.
#include "app/disabled_items.h"

#include "app/scan_startups.h"
#include "catalogue/catalogue.h"
#include "registry/memory_folder_files.h"
#include "registry/memory_registry.h"

#include <gtest/gtest.h>

namespace runsweep {
namespace {

StartupRecord Understood(const std::wstring& name, std::vector<RecordedPlace> places) {
    StartupRecord record;
    record.key_name = name;
    record.item = name;
    record.places = std::move(places);
    record.complete = true;
    return record;
}

StartupRecord Broken(const std::wstring& name, const std::wstring& problem) {
    StartupRecord record;
    record.key_name = name;
    record.problem = problem;
    record.raw_command = L"C:\\x.exe";
    return record;
}

ListModel ListFor(const std::vector<StartupRecord>& records) {
    ListModel list(ReenableChoices());
    for (const StartupRecord& record : records) {
        list.AddItem(RecordTitle(record), RecordDescription(record));
    }
    return list;
}

EnableResult Result(EnableOutcome outcome, std::vector<EnablePlaceResult> places, long status = kSuccess) {
    EnableResult result;
    result.outcome = outcome;
    result.places = std::move(places);
    result.status = status;
    return result;
}

TEST(DisabledItemsRows, SayWhereEachEntryGoesBackWhenItWasDisabledAndItsCommand) {
    StartupRecord utility = Understood(L"SunJavaUpdateSched", {{RunPlace::Machine64, L"C:\\jusched.exe", kRegSz}});
    utility.item = L"jusched.exe";
    utility.disabled_at = RecordTime{2025, 3, 14, 9, 5, 59};
    EXPECT_EQ(RecordTitle(utility), L"jusched.exe (SunJavaUpdateSched)");
    EXPECT_EQ(RecordDescription(utility), L"Back to HKLM, disabled 2025-03-14 09:05: C:\\jusched.exe");

    StartupRecord several = Understood(L"qttask", {{RunPlace::CurrentUser, L"C:\\cu.exe", kRegSz},
                                                   {RunPlace::Machine32, L"C:\\lm32.exe", kRegExpandSz},
                                                   {RunPlace::Machine64, L"C:\\lm.exe", kRegSz}});
    several.item = L"QTTASK"; // the same name in other letters is not repeated
    EXPECT_EQ(RecordTitle(several), L"qttask");
    EXPECT_EQ(RecordDescription(several), L"Back to HKCU, HKLM and HKLM (32-bit): C:\\cu.exe");

    StartupRecord unnamed = Understood(L"ctfmon", {{RunPlace::CurrentUser, L"", kRegSz}});
    unnamed.item.clear();
    EXPECT_EQ(RecordTitle(unnamed), L"ctfmon");
    EXPECT_EQ(RecordDescription(unnamed), L"Back to HKCU: (no command)");

    EXPECT_EQ(RecordDescription(Broken(L"bad", L"it names no Run key (HKCR\\Software)")),
              L"Cannot be re-enabled: it names no Run key (HKCR\\Software). C:\\x.exe");
}

TEST(DisabledItemsRows, StartAtKeepDisabledWithTheirOwnTwoBoxes) {
    const ListModel list = ListFor({Understood(L"a", {{RunPlace::CurrentUser, L"a.exe", kRegSz}})});
    ASSERT_EQ(list.BoxCount(), 2);
    EXPECT_EQ(list.BoxCaption(RowBox::Disable), L"Re-enable");
    EXPECT_EQ(list.BoxCaption(RowBox::Remove), L"Keep disabled");
    EXPECT_EQ(list.GetChoice(0), ReenableAction::kKeep);
}

TEST(DisabledItemsCarryOut, OnlyRowsChosenForReenablingAndNeverARecordNotUnderstood) {
    const std::vector<StartupRecord> records = {
        Understood(L"kept", {{RunPlace::CurrentUser, L"k.exe", kRegSz}}),
        Understood(L"back", {{RunPlace::Machine32, L"b.exe", kRegSz}}),
        Broken(L"broken", L"it holds no command"),
    };
    ListModel list = ListFor(records);
    list.ChooseBox(1, RowBox::Disable);
    list.ChooseBox(2, RowBox::Disable);
    std::vector<std::wstring> asked;
    const auto results = CarryOutReenable(list, records, [&](const StartupRecord& record) {
        asked.push_back(record.key_name);
        return Result(EnableOutcome::Done, {{RunPlace::Machine32, EnablePlaceOutcome::Restored, kSuccess}});
    });
    EXPECT_EQ(asked, std::vector<std::wstring>{L"back"});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].row, 1);
    EXPECT_EQ(results[1].row, 2);
    EXPECT_EQ(results[1].problem, L"it holds no command");

    const ClosingMessage message = ComposeReenableMessage(results);
    EXPECT_EQ(message.icon, MessageIcon::Error);
    EXPECT_EQ(message.Text(), L"Not every item could be re-enabled:\r\n\r\n"
                              L"broken: not re-enabled: its record cannot be understood (it holds no command), so "
                              L"nothing was changed.\r\n\r\n"
                              L"back: re-enabled in HKLM (32-bit).");
}

TEST(DisabledItemsMessage, EveryOutcomeIsToldAsItIs) {
    const auto one = [](EnableResult result) {
        EnableRecord record;
        record.title = L"qttask";
        record.result = std::move(result);
        return ComposeReenableMessage({record});
    };
    const ClosingMessage done =
        one(Result(EnableOutcome::Done, {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0},
                                         {RunPlace::Machine64, EnablePlaceOutcome::AlreadyThere, 0}}));
    EXPECT_EQ(done.icon, MessageIcon::Information);
    EXPECT_EQ(done.Text(), L"qttask: re-enabled in HKCU and HKLM.\r\n\r\nChanges will take effect after the system is "
                           L"restarted.");

    const ClosingMessage conflict =
        one(Result(EnableOutcome::Conflict, {{RunPlace::CurrentUser, EnablePlaceOutcome::NotTried, 0},
                                             {RunPlace::Machine64, EnablePlaceOutcome::Conflict, 0}}));
    EXPECT_EQ(conflict.icon, MessageIcon::Error);
    EXPECT_NE(conflict.Text().find(L"qttask: not re-enabled: HKLM already holds a value of this name with another "
                                   L"command, so nothing was changed."),
              std::wstring::npos)
        << conflict.Text();

    const ClosingMessage partial = one(Result(EnableOutcome::Partial,
                                              {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0},
                                               {RunPlace::Machine64, EnablePlaceOutcome::NeedsAdministrator, 5}},
                                              kAccessDenied));
    EXPECT_NE(partial.Text().find(L"Still disabled where administrator rights are needed:\r\nqttask: HKLM; "
                                  L"re-enabled in HKCU\r\nClose Runsweep and run it as administrator to re-enable "
                                  L"them there."),
              std::wstring::npos)
        << partial.Text();

    const ClosingMessage failed =
        one(Result(EnableOutcome::Failed, {{RunPlace::Machine32, EnablePlaceOutcome::Failed, 1018}}, 1018));
    EXPECT_NE(failed.Text().find(L"not re-enabled: HKLM (32-bit) refused the change (error 1018). It stays disabled."),
              std::wstring::npos)
        << failed.Text();
    EXPECT_EQ(failed.Text().find(L"administrator"), std::wstring::npos);

    const ClosingMessage unreadable = one(Result(EnableOutcome::Failed, {}, kOutOfMemory));
    EXPECT_NE(unreadable.Text().find(L"the registry refused (error 14)"), std::wstring::npos) << unreadable.Text();

    const ClosingMessage kept = one(Result(EnableOutcome::RecordNotDeleted,
                                           {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0}}, kAccessDenied));
    EXPECT_EQ(kept.icon, MessageIcon::Error);
    EXPECT_NE(kept.Text().find(L"re-enabled in HKCU, but its record could not be deleted (error 5)"),
              std::wstring::npos);

    EXPECT_NE(one(Result(EnableOutcome::RecordGone, {}, kFileNotFound)).Text().find(L"no longer there"),
              std::wstring::npos);

    // Many at once: the ones administrator rights kept disabled one per line with the advice once,
    // those that came back one per line; shortened, where to see every entry still disabled.
    std::vector<EnableRecord> many;
    for (const wchar_t* name : {L"one", L"two", L"three", L"four", L"five"}) {
        EnableRecord record;
        record.title = name;
        const bool denied = std::wstring(name).size() == 3;
        record.result = denied
                            ? Result(EnableOutcome::NeedsAdministrator,
                                     {{RunPlace::Machine64, EnablePlaceOutcome::NeedsAdministrator, 5}}, kAccessDenied)
                            : Result(EnableOutcome::Done, {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0}});
        many.push_back(record);
    }
    many[1].result.record_denied = true; // the record may not be deleted: nothing was put back
    many[1].result.places.clear();
    const ClosingMessage grouped = ComposeReenableMessage(many);
    EXPECT_EQ(grouped.Text(), L"Not every item could be re-enabled:\r\n\r\n"
                              L"Still disabled where administrator rights are needed:\r\none: HKLM\r\n"
                              L"two: its record in HKLM\r\n"
                              L"Close Runsweep and run it as administrator to re-enable them there.\r\n\r\n"
                              L"three: re-enabled in HKCU.\r\nfour: re-enabled in HKCU.\r\nfive: re-enabled in HKCU.");
    EXPECT_NE(grouped.Text(1).find(L"one: HKLM\r\n\u2026and 1 more\r\nClose Runsweep"), std::wstring::npos)
        << grouped.Text(1);
    EXPECT_NE(grouped.Text(1).find(L"\u2026and 3 more entries\r\n\r\nEvery entry still disabled: \"runsweepc "
                                   L"disabled\"."),
              std::wstring::npos)
        << grouped.Text(1);

    const ClosingMessage nothing = ComposeReenableMessage({});
    EXPECT_EQ(nothing.icon, MessageIcon::Information);
    EXPECT_EQ(nothing.Text(), L"No item was chosen to be re-enabled; nothing was changed.");
}

TEST(DisabledItemsCarryOut, ThroughTheRegistryEachChosenRecordComesBack) {
    MemoryRegistry registry;
    {
        RegKey record;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(L"qttask"), record), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\qt.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"hkey", L"HKCU"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"item", L"qttask"), kSuccess);
    }
    std::vector<StartupRecord> records;
    ASSERT_EQ(ListStartupRecords(registry, records), kSuccess);
    ASSERT_EQ(records.size(), 1u);
    ListModel list = ListFor(records);
    EXPECT_TRUE(CarryOutReenable(list, records, registry).empty()) << "kept disabled by default";
    list.ChooseBox(0, RowBox::Disable);
    const auto results = CarryOutReenable(list, records, registry);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].result.outcome, EnableOutcome::Done);
    EXPECT_EQ(ReadRunValue(registry, RunPlace::CurrentUser, L"qttask").command, L"C:\\qt.exe");
    ASSERT_EQ(ListStartupRecords(registry, records), kSuccess);
    EXPECT_TRUE(records.empty());

    // Back in the main list, scanned again after the window closes: the entry just re-enabled
    // waits at "No action", whatever letter case its name is listed in, while a choice made
    // before the window opened is kept and a new row takes the default.
    EXPECT_EQ(ReenabledNames(results), std::vector<std::wstring>{L"qttask"});
    Catalogue catalogue;
    catalogue.AppendEntry(L"QTTASK", L"QuickTime");
    catalogue.AppendEntry(L"jusched", L"Java");
    catalogue.AppendEntry(L"ctfmon", L"Language bar");
    {
        RegKey run;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, kRunKeyPath, run), kSuccess);
        ASSERT_EQ(registry.SetStringValue(run, L"jusched", L"C:\\jusched.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(run, L"ctfmon", L"C:\\ctfmon.exe"), kSuccess);
    }
    ListModel main;
    ScanStartups(catalogue, registry, main);
    ASSERT_EQ(main.ListCount(), 3);
    const std::vector<NamedChoice> before = {{L"jusched", StartupAction::kRemove},
                                             {L"qttask", StartupAction::kDisable}};
    EXPECT_EQ(PresetChoices(main, before, ReenabledNames(results)),
              (std::vector<std::wstring>{L"none", L"remove", L""}));
    EXPECT_EQ(PresetChoices(main, before, {}), (std::vector<std::wstring>{L"disable", L"remove", L""}));
}

TEST(DisabledItemsCarryOut, OnlyWhatCameBackIsReenabledInTheMainList) {
    const auto entry = [](const wchar_t* name, EnableOutcome outcome, std::vector<EnablePlaceResult> places) {
        EnableRecord record;
        record.name = name;
        record.title = name;
        record.result = Result(outcome, std::move(places));
        return record;
    };
    std::vector<EnableRecord> results = {
        entry(L"done", EnableOutcome::Done, {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0}}),
        entry(L"there", EnableOutcome::Done, {{RunPlace::Machine64, EnablePlaceOutcome::AlreadyThere, 0}}),
        entry(L"half", EnableOutcome::Partial,
              {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0},
               {RunPlace::Machine64, EnablePlaceOutcome::NeedsAdministrator, 5}}),
        entry(L"kept", EnableOutcome::RecordNotDeleted, {{RunPlace::CurrentUser, EnablePlaceOutcome::Restored, 0}}),
        entry(L"denied", EnableOutcome::NeedsAdministrator,
              {{RunPlace::Machine64, EnablePlaceOutcome::NeedsAdministrator, 5}}),
        entry(L"clash", EnableOutcome::Conflict, {{RunPlace::CurrentUser, EnablePlaceOutcome::Conflict, 0}}),
        entry(L"gone", EnableOutcome::RecordGone, {}),
    };
    EnableRecord broken = entry(L"broken", EnableOutcome::Done, {});
    broken.problem = L"it holds no command";
    results.push_back(broken);
    EXPECT_EQ(ReenabledNames(results), (std::vector<std::wstring>{L"done", L"there", L"half", L"kept"}));
}

// Windows 8 and later: an entry only switched off in Task Manager is a row after the records, and
// "Re-enable" switches it on and changes nothing else; a place a record puts back stays the
// record's. A refused switch is told for its place, and the next try finishes.
TEST(DisabledItemsCarryOut, EntriesOnlySwitchedOffAreRowsThatReenablingSwitchesOn) {
    MemoryRegistry registry;
    const FileTime june = 133932528000000000ULL; // 2025-06-01 12:00 UTC
    const auto run = [&](RunPlace place, const std::wstring& name, const std::wstring& command) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(PlaceHive(place), kRunKeyPath, key, PlaceView(place)), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, command), kSuccess);
    };
    const auto off = [&](RunPlace place, const std::wstring& name) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(RunSwitchKey(place).hive, RunSwitchKey(place).path, key), kSuccess);
        ASSERT_EQ(registry.SetValue(key, name, kRegBinary, SwitchOffData(june)), kSuccess);
    };
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::CurrentUser, L"Steam", L"C:\\steam.exe -silent"));
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::Machine64, L"Steam", L"C:\\steam.exe -silent"));
    ASSERT_NO_FATAL_FAILURE(off(RunPlace::CurrentUser, L"Steam"));
    ASSERT_NO_FATAL_FAILURE(off(RunPlace::Machine64, L"Steam"));
    // Disabled by Runsweep from HKCU, and written back by its program since: the record's row.
    ASSERT_NO_FATAL_FAILURE(run(RunPlace::CurrentUser, L"qttask", L"C:\\qt.exe"));
    ASSERT_NO_FATAL_FAILURE(off(RunPlace::CurrentUser, L"qttask"));
    {
        RegKey record;
        ASSERT_EQ(registry.CreateKey(Hive::LocalMachine, StartupRecordPath(L"qttask"), record), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"command", L"C:\\qt.exe"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"hkey", L"HKCU"), kSuccess);
        ASSERT_EQ(registry.SetStringValue(record, L"item", L"qttask"), kSuccess);
    }

    DisabledItems items;
    ASSERT_EQ(ReadDisabledItems(registry, false, items), kSuccess);
    EXPECT_EQ(items.size(), 1u) << "a Windows without the switch lists the records alone";
    ASSERT_EQ(ReadDisabledItems(registry, true, items), kSuccess);
    ASSERT_EQ(items.records.size(), 1u);
    ASSERT_EQ(items.switched_off.size(), 1u);
    EXPECT_EQ(items.switched_off[0].name, L"Steam");
    const std::wstring description = SwitchedOffDescription(items.switched_off[0]);
    EXPECT_EQ(description, L"Switched off in Task Manager for HKCU and HKLM on 2025-06-01: C:\\steam.exe -silent");

    ListModel list(ReenableChoices());
    list.AddItem(RecordTitle(items.records[0]), RecordDescription(items.records[0]));
    list.AddItem(items.switched_off[0].name, description);
    list.ChooseBox(1, RowBox::Disable);
    FaultRule denied;
    denied.op = RegistryOp::SetValue;
    denied.hive = Hive::LocalMachine;
    registry.AddFault(denied);
    std::vector<EnableRecord> results = CarryOutReenable(list, items, registry);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].TookEffect());
    ClosingMessage message = ComposeReenableMessage(results);
    EXPECT_EQ(message.icon, MessageIcon::Error);
    EXPECT_NE(message.Text().find(L"Steam: switched on again in HKCU; not in HKLM, which needs administrator rights. "
                                  L"Close Runsweep and run it as administrator to change it there."),
              std::wstring::npos)
        << message.Text();

    registry.ClearFaults();
    registry.ClearLog();
    results = CarryOutReenable(list, items, registry);
    message = ComposeReenableMessage(results);
    EXPECT_EQ(message.icon, MessageIcon::Information) << message.Text();
    EXPECT_EQ(message.Text().find(L"Steam: switched on again in HKCU and HKLM."), 0u) << message.Text();
    for (const RegistryCall& call : registry.Log()) {
        if (call.op == RegistryOp::SetValue || call.op == RegistryOp::Delete || call.op == RegistryOp::DeleteKey) {
            EXPECT_EQ(call.path, RunSwitchKey(RunPlace::Machine64).path) << "only HKLM's switch was left to change";
        }
    }
    EXPECT_EQ(ReadRunValue(registry, RunPlace::Machine64, L"Steam").command, L"C:\\steam.exe -silent");
    ASSERT_EQ(ReadDisabledItems(registry, true, items), kSuccess);
    EXPECT_TRUE(items.switched_off.empty());
    EXPECT_EQ(items.records.size(), 1u);
}

// Startup-folder items are rows between the records and the entries only switched off, each row
// acting on its own kind of item: a mix-up of the rows' order would move the wrong file or none.
TEST(DisabledItemsCarryOut, FolderItemsAreRowsOfTheirOwnWhoseFilesComeBackAndAreSwitchedOn) {
    MemoryRegistry registry;
    MemoryFolderFiles files;
    const RecordTime when{2026, 12, 8, 23, 30, 5};
    const auto run = [&](const std::wstring& name) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(Hive::CurrentUser, kRunKeyPath, key), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, L"C:\\" + name + L".exe"), kSuccess);
    };
    // qttask disabled by Runsweep; Steam only switched off; two shortcuts disabled, a third file
    // disabled and its folder taken away since.
    ASSERT_NO_FATAL_FAILURE(run(L"qttask"));
    struct : MessageSink {
        void ShowMessage(const std::wstring& text, MessageIcon) override {
            ADD_FAILURE() << "message: " << text.size();
        }
    } messages;
    ASSERT_EQ(DisableStartup(registry, L"qttask", messages, when).outcome, ActionOutcome::Done);
    ASSERT_NO_FATAL_FAILURE(run(L"Steam"));
    {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(Hive::CurrentUser, RunSwitchKey(RunPlace::CurrentUser).path, key), kSuccess);
        ASSERT_EQ(registry.SetValue(key, L"Steam", kRegBinary, SwitchOffData(0)), kSuccess);
    }
    const std::wstring user = files.KnownFolder(StartupFolder::User);
    const std::wstring common = files.KnownFolder(StartupFolder::Common);
    const std::vector<FolderItem> items_on_disk = {
        {StartupFolder::Common, JoinPath(common, L"Adobe Gamma Loader.lnk"), L"Adobe Gamma Loader.lnk"},
        {StartupFolder::User, JoinPath(user, L"Telegram.lnk"), L"Telegram.lnk"},
    };
    for (const FolderItem& item : items_on_disk) {
        files.PutFile(item.path, {'L', static_cast<unsigned char>(item.name[0])}, Shortcut{L"C:\\x.exe", L""});
        ASSERT_EQ(DisableFolderItem(registry, files, item, when).outcome, FolderOutcome::Done);
    }

    DisabledItems items;
    ASSERT_EQ(ReadDisabledItems(registry, true, items), kSuccess);
    ASSERT_EQ(items.records.size(), 1u);
    ASSERT_EQ(items.folder_records.size(), 2u);
    ASSERT_EQ(items.switched_off.size(), 1u);
    EXPECT_EQ(items.size(), 4u);
    ListModel list(ReenableChoices());
    list.AddItem(RecordTitle(items.records[0]), RecordDescription(items.records[0]));
    std::vector<std::wstring> titles;
    for (const FolderRecord& record : items.folder_records) {
        titles.push_back(FolderRecordTitle(record) + L" | " + FolderRecordDescription(record));
        list.AddItem(FolderRecordTitle(record), FolderRecordDescription(record));
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::wstring>{
                          L"Adobe Gamma Loader.lnk | Back to Startup folder (all users), disabled 2026-12-08 23:30: "
                          L"C:\\x.exe",
                          L"Telegram.lnk | Back to Startup folder, disabled 2026-12-08 23:30: C:\\x.exe"}));
    list.AddItem(items.switched_off[0].name, SwitchedOffDescription(items.switched_off[0]));
    // Re-enable the second folder row and the switched-off entry; the record and the first stay.
    list.ChooseBox(2, RowBox::Disable);
    list.ChooseBox(3, RowBox::Disable);
    const FolderRecord chosen = items.folder_records[1];
    const std::vector<EnableRecord> results = CarryOutReenable(list, items, registry, files, true);
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[0].file.has_value());
    EXPECT_TRUE(results[0].TookEffect());
    EXPECT_EQ(results[0].title, FileNameOf(chosen.path));
    EXPECT_TRUE(results[1].switch_only);
    EXPECT_EQ(results[1].title, L"Steam");
    EXPECT_TRUE(files.FileBytes(chosen.path).has_value()) << "the chosen file is back";
    StartupSwitch state;
    ASSERT_EQ(
        ReadStartupSwitch(registry, StartupFolderSwitchKey(FolderHive(*chosen.folder)), FileNameOf(chosen.path), state),
        kSuccess);
    EXPECT_EQ(state.value, SwitchValue::On) << "switched on explicitly";
    const ClosingMessage message = ComposeReenableMessage(results);
    EXPECT_EQ(message.icon, MessageIcon::Information) << message.Text();
    EXPECT_EQ(message.Text().find(FileNameOf(chosen.path) + L": back in " + ParentFolder(chosen.path) + L"."), 0u)
        << message.Text();

    ASSERT_EQ(ReadDisabledItems(registry, true, items), kSuccess);
    EXPECT_EQ(items.records.size(), 1u);
    ASSERT_EQ(items.folder_records.size(), 1u);
    EXPECT_NE(items.folder_records[0].path, chosen.path);
    EXPECT_TRUE(items.switched_off.empty());

    // A folder row whose file cannot come back says so, and nothing changes.
    files.PutFile(items.folder_records[0].path, {'n', 'e', 'w'});
    ListModel again(ReenableChoices());
    again.AddItem(RecordTitle(items.records[0]), RecordDescription(items.records[0]));
    again.AddItem(FolderRecordTitle(items.folder_records[0]), FolderRecordDescription(items.folder_records[0]));
    again.ChooseBox(1, RowBox::Disable);
    const std::vector<EnableRecord> refused = CarryOutReenable(again, items, registry, files, true);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_FALSE(refused[0].TookEffect());
    EXPECT_NE(ComposeReenableMessage(refused).Text().find(L"is there again, and the disabled copy stays at"),
              std::wstring::npos);
    EXPECT_EQ(files.FileBytes(items.folder_records[0].path), (std::vector<unsigned char>{'n', 'e', 'w'}));
}

} // namespace
} // namespace runsweep
