#include "app/continue_choices.h"

#include "listbox/startup_list.h"
#include "registry/memory_registry.h"
#include "registry/scan.h"
#include "registry/startup_approved.h"
#include "registry/startup_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace runsweep {
namespace {

constexpr const wchar_t* kRecordPath = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\";

// Rows with fixed choices; logs every call so the order of reads and actions can be checked.
class FakeList : public StartupList {
public:
    explicit FakeList(std::vector<std::pair<std::wstring, std::wstring>> rows) : rows_(std::move(rows)) {}
    void AddItem(const std::wstring& sValue, const std::wstring&) override { rows_.emplace_back(sValue, L"disable"); }
    int ListCount() const override {
        log.push_back(L"count");
        return static_cast<int>(rows_.size());
    }
    std::wstring GetChoice(int iItem) const override {
        log.push_back(L"choice " + std::to_wstring(iItem));
        return rows_.at(static_cast<std::size_t>(iItem)).second;
    }
    std::wstring GetValue(int iItem) const override {
        log.push_back(L"value " + std::to_wstring(iItem));
        return rows_.at(static_cast<std::size_t>(iItem)).first;
    }
    // What a handler run by an action's message box can do to the list meanwhile.
    void SetChoice(int iItem, const std::wstring& choice) { rows_.at(static_cast<std::size_t>(iItem)).second = choice; }
    void Destroy() { rows_.clear(); }
    mutable std::vector<std::wstring> log;

private:
    std::vector<std::pair<std::wstring, std::wstring>> rows_;
};

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::wstring, MessageIcon>> shown;
};

ActionRecord Record(const wchar_t* value, ChosenAction action, ActionOutcome outcome, long status = 0) {
    ActionRecord record;
    record.value = value;
    record.action = action;
    record.result = ActionResult{outcome, status};
    return record;
}

TEST(ContinueWalk, ActsOnExactChoicesOnlyAndReadsEveryRowBeforeTheFirstAction) {
    FakeList list({{L"qttask", L"disable"},
                   {L"jusched", L"remove"},
                   {L"ctfmon", L"none"},
                   {L"unchecked", L""},
                   {L"capital", L"Disable"},
                   {L"upper", L"REMOVE"},
                   {L"spaced", L"disable "},
                   {L"last", L"remove"}});
    const auto disable = [&](const std::wstring& v) {
        list.log.push_back(L"disable " + v);
        return ActionResult{ActionOutcome::Done, 0};
    };
    const auto remove = [&](const std::wstring& v) {
        list.log.push_back(L"remove " + v);
        return ActionResult{ActionOutcome::AlreadyGone, 0};
    };

    const std::vector<ActionRecord> actions = CarryOutChoices(list, disable, remove);

    const std::vector<std::wstring> expected = {L"count",          L"choice 0",       L"value 0",    L"choice 1",
                                                L"value 1",        L"choice 2",       L"choice 3",   L"choice 4",
                                                L"choice 5",       L"choice 6",       L"choice 7",   L"value 7",
                                                L"disable qttask", L"remove jusched", L"remove last"};
    EXPECT_EQ(list.log, expected);
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].row, 0);
    EXPECT_EQ(actions[0].action, ChosenAction::Disable);
    EXPECT_EQ(actions[1].value, L"jusched");
    EXPECT_EQ(actions[1].action, ChosenAction::Remove);
    EXPECT_EQ(actions[2].row, 7);
    EXPECT_EQ(actions[2].result.outcome, ActionOutcome::AlreadyGone);
}

// An action's message box runs other handlers: the main window closed from outside destroys the
// list, a posted click changes a choice. What was chosen when Continue was pressed is carried out,
// every row of it, and the list is not read again.
TEST(ContinueWalk, WhatTheListBecomesDuringAnActionChangesNothingCarriedOut) {
    FakeList destroyed({{L"qttask", L"disable"}, {L"jusched", L"disable"}, {L"ctfmon", L"remove"}});
    std::vector<std::wstring> done;
    const auto disable = [&](const std::wstring& v) {
        done.push_back(L"disable " + v);
        destroyed.Destroy();
        return ActionResult{ActionOutcome::RecordFailed, 1021};
    };
    const auto remove = [&](const std::wstring& v) {
        done.push_back(L"remove " + v);
        return ActionResult{ActionOutcome::Done, 0};
    };
    std::vector<ActionRecord> actions;
    ASSERT_NO_THROW(actions = CarryOutChoices(destroyed, disable, remove));
    EXPECT_EQ(done, (std::vector<std::wstring>{L"disable qttask", L"disable jusched", L"remove ctfmon"}));
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[1].row, 1);
    EXPECT_EQ(actions[1].result.outcome, ActionOutcome::RecordFailed);
    EXPECT_EQ(actions[2].value, L"ctfmon");
    // Every row is reported: two not changed, one done.
    const ClosingMessage closing = ComposeClosingMessage(actions);
    EXPECT_NE(closing.Text().find(L"qttask (Disable)"), std::wstring::npos);
    EXPECT_NE(closing.Text().find(L"jusched (Disable)"), std::wstring::npos);
    EXPECT_NE(closing.Text().find(L"The other chosen action was carried out."), std::wstring::npos) << closing.Text();

    FakeList changed({{L"qttask", L"disable"}, {L"jusched", L"none"}, {L"ctfmon", L"remove"}});
    done.clear();
    const auto disableAndChange = [&](const std::wstring& v) {
        done.push_back(L"disable " + v);
        changed.SetChoice(1, L"remove");
        changed.SetChoice(2, L"none");
        return ActionResult{ActionOutcome::Done, 0};
    };
    actions = CarryOutChoices(changed, disableAndChange, remove);
    EXPECT_EQ(done, (std::vector<std::wstring>{L"disable qttask", L"remove ctfmon"}));
    EXPECT_EQ(actions.size(), 2u);
}

TEST(ContinueMessage, ClaimsSuccessOnlyWhenEveryChosenActionTookEffect) {
    const ClosingMessage none = ComposeClosingMessage({});
    EXPECT_EQ(none.Text(),
              L"All actions executed succesfully! Changes will take effect after the system is restarted.");
    EXPECT_EQ(none.icon, MessageIcon::Information);

    const ClosingMessage done =
        ComposeClosingMessage({Record(L"qttask", ChosenAction::Disable, ActionOutcome::Done),
                               Record(L"qttask", ChosenAction::Disable, ActionOutcome::AlreadyGone),
                               Record(L"jusched", ChosenAction::Remove, ActionOutcome::Done)});
    EXPECT_EQ(done.Text(), kAllActionsDoneMessage);
    EXPECT_EQ(done.icon, MessageIcon::Information);

    for (ActionOutcome failure :
         {ActionOutcome::NeedsAdministrator, ActionOutcome::RecordFailed, ActionOutcome::NameNotRecordable,
          ActionOutcome::CommandNotText, ActionOutcome::Failed}) {
        const ClosingMessage one = ComposeClosingMessage({Record(L"qttask", ChosenAction::Disable, ActionOutcome::Done),
                                                          Record(L"jusched", ChosenAction::Disable, failure, 5)});
        EXPECT_EQ(one.icon, MessageIcon::Error);
        EXPECT_EQ(one.Text().find(L"succesfully"), std::wstring::npos);
        EXPECT_NE(one.Text().find(L"jusched (Disable): "), std::wstring::npos) << one.Text();
        EXPECT_EQ(one.Text().find(L"qttask"), std::wstring::npos) << "a done entry is not listed as unchanged";
        EXPECT_NE(one.Text().find(L"The other chosen action was carried out."), std::wstring::npos) << one.Text();
    }
}

TEST(ContinueMessage, GroupsUnchangedEntriesByReasonOnePerLineWithTheReasonOnceAndShortensWhole) {
    ActionRecord java = Record(L"Java", ChosenAction::Disable, ActionOutcome::Partial, 5);
    java.result.places = {{RunPlace::Machine64, PlaceOutcome::NeedsAdministrator, 5},
                          {RunPlace::CurrentUser, PlaceOutcome::Removed, 0},
                          {RunPlace::Machine32, PlaceOutcome::Failed, 1018}};
    const ClosingMessage message =
        ComposeClosingMessage({Record(L"qttask", ChosenAction::Disable, ActionOutcome::NeedsAdministrator, 5),
                               Record(L"ctfmon", ChosenAction::Remove, ActionOutcome::Done),
                               Record(L"jusched", ChosenAction::Remove, ActionOutcome::Failed, 1021),
                               Record(L"nero", ChosenAction::Disable, ActionOutcome::RecordFailed, 13),
                               Record(L"a\\b", ChosenAction::Disable, ActionOutcome::NameNotRecordable, 87),
                               Record(L"", ChosenAction::Remove, ActionOutcome::Done), java,
                               Record(L"nero2", ChosenAction::Disable, ActionOutcome::RecordFailed, 13)});
    EXPECT_EQ(message.icon, MessageIcon::Error);
    EXPECT_EQ(message.EntryLines(), 6u);
    const std::wstring administrator = L"Not changed where administrator rights are needed:\r\n"
                                       L"qttask (Disable): its record in HKLM\r\n"
                                       L"Java (Disable): HKLM; removed from HKCU; HKLM (32-bit) refused the change "
                                       L"(error 1018)\r\n"
                                       L"Close Runsweep and run it as administrator to change them there.";
    const std::wstring record =
        L"Each: not changed: its MSConfig record could not be written (error 13), so the entry was left in place "
        L"rather than lost.";
    const std::wstring other = L"The other 2 chosen actions were carried out. Changes will take effect after the "
                               L"system is restarted.";
    EXPECT_EQ(message.Text(),
              L"Not every action could be carried out:\r\n\r\n" + administrator + L"\r\n\r\n" +
                  L"jusched (Remove): not changed: the registry refused (error 1021).\r\n\r\n"
                  L"nero (Disable)\r\nnero2 (Disable)\r\n" +
                  record + L"\r\n\r\n" +
                  L"a\\b (Disable): not changed: its name cannot be recorded for MSConfig, so the entry was left in "
                  L"place. Choose \"Remove\" to take it out without a record.\r\n\r\n" +
                  other);
    // Shortened, the first entries stay; each group says how many more it holds, the reasons and
    // the advice stay, and the message says where to see them all.
    EXPECT_EQ(message.Text(3), L"Not every action could be carried out:\r\n\r\n" + administrator +
                                   L"\r\n\r\n"
                                   L"jusched (Remove): not changed: the registry refused (error 1021).\r\n\r\n"
                                   L"2 entries\r\n" +
                                   record + L"\r\n\r\n\u2026and 1 more entry\r\n\r\n" + other +
                                   L"\r\n\r\nEvery entry still in a Run key: \"runsweepc list\".");
    const std::wstring one = message.Text(1);
    EXPECT_NE(one.find(L"qttask (Disable): its record in HKLM\r\n\u2026and 1 more\r\nClose Runsweep"),
              std::wstring::npos)
        << one;
    EXPECT_NE(one.find(L"\u2026and 2 more entries"), std::wstring::npos) << one;
    EXPECT_EQ(message.Text(6), message.Text());

    const ClosingMessage alone =
        ComposeClosingMessage({Record(L"qttask", ChosenAction::Disable, ActionOutcome::NeedsAdministrator, 5)});
    EXPECT_NE(alone.Text().find(L"No other action was chosen."), std::wstring::npos) << alone.Text();
    EXPECT_EQ(alone.Text().find(L"The other"), std::wstring::npos) << alone.Text();
}

TEST(ContinueMessage, FortyEntriesNeedingAdministratorRightsMakeOneLineEach) {
    std::vector<ActionRecord> actions;
    for (int i = 0; i < 40; ++i) {
        ActionRecord record =
            Record((L"entry" + std::to_wstring(i)).c_str(), ChosenAction::Remove, ActionOutcome::NeedsAdministrator, 5);
        record.result.places = {{RunPlace::Machine64, PlaceOutcome::NeedsAdministrator, 5}};
        actions.push_back(record);
    }
    const ClosingMessage message = ComposeClosingMessage(actions);
    const std::wstring text = message.Text();
    std::size_t lines = 1;
    for (const wchar_t c : text) {
        lines += c == L'\n' ? 1 : 0;
    }
    // The opening, a blank line, the heading, 40 entries, the advice, a blank line, the closing.
    EXPECT_EQ(lines, 46u) << text;
    EXPECT_EQ(text.find(L"administrator", text.find(L"entry39 (Remove): HKLM\r\n") + 30), text.rfind(L"administrator"))
        << "the advice is said once";
    EXPECT_EQ(message.Text(0).find(L"entry0"), std::wstring::npos);
    EXPECT_NE(message.Text(0).find(L"40 entries"), std::wstring::npos) << message.Text(0);
}

TEST(ContinueMessage, ANameTooLongForAMessageBoxShowsItsBeginningAndLength) {
    // 16,383 characters without a space would make the message box many screens wide.
    const std::wstring longest(16383, L'L');
    const std::wstring shown = std::wstring(60, L'L') + L"\u2026 (a name of 16383 characters) (Disable): ";
    const ClosingMessage message =
        ComposeClosingMessage({Record(longest.c_str(), ChosenAction::Disable, ActionOutcome::NameNotRecordable, 87)});
    EXPECT_NE(message.Text().find(shown), std::wstring::npos) << message.Text().substr(0, 200);
    EXPECT_LT(message.Text().size(), 600u);

    // A surrogate pair is not cut in half; names of up to 64 characters show whole.
    const std::wstring pairs = std::wstring(59, L'a') + L"\xD83D\xDE00" + std::wstring(10, L'b');
    const ClosingMessage cut =
        ComposeClosingMessage({Record(pairs.c_str(), ChosenAction::Remove, ActionOutcome::Failed, 5)});
    EXPECT_NE(cut.Text().find(std::wstring(59, L'a') + L"\u2026 (a name of 71 characters) (Remove)"),
              std::wstring::npos)
        << cut.Text();
    const std::wstring limit(64, L'K');
    EXPECT_NE(ComposeClosingMessage({Record(limit.c_str(), ChosenAction::Remove, ActionOutcome::Failed, 5)})
                  .Text()
                  .find(limit + L" (Remove): "),
              std::wstring::npos);
}

// The program's own path through the registry actions, on a registry in memory.
class ContinueOnRegistry : public ::testing::Test {
protected:
    void SetRun(Hive hive, const std::wstring& name, const std::wstring& command) {
        RegKey key;
        ASSERT_EQ(registry.CreateKey(hive, kRunKeyPath, key), kSuccess);
        ASSERT_EQ(registry.SetStringValue(key, name, command), kSuccess);
    }
    bool InRun(Hive hive, const std::wstring& name) {
        std::wstring text;
        return ReadRegString(registry, hive, kRunKeyPath, name, text) == kSuccess;
    }
    std::wstring RecordValue(const std::wstring& entry, const std::wstring& field) {
        return ReadRegString(registry, Hive::LocalMachine, kRecordPath + entry, field);
    }

    MemoryRegistry registry;
    RecordingSink messages;
};

TEST_F(ContinueOnRegistry, CarriesOutEveryRowAndRecordsDisabledEntries) {
    SetRun(Hive::LocalMachine, L"qttask", L"\"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime");
    SetRun(Hive::CurrentUser, L"jusched", L"C:\\Java\\jusched.exe");
    SetRun(Hive::LocalMachine, L"jusched", L"C:\\Java\\jusched.exe");
    SetRun(Hive::CurrentUser, L"ctfmon", L"ctfmon.exe");
    FakeList list({{L"qttask", L"disable"}, {L"jusched", L"remove"}, {L"ctfmon", L"none"}, {L"qttask", L"disable"}});

    const std::vector<ActionRecord> actions = CarryOutChoices(list, registry, messages);
    const ClosingMessage closing = ComposeClosingMessage(actions);

    EXPECT_EQ(closing.Text(), kAllActionsDoneMessage);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(InRun(Hive::LocalMachine, L"qttask"));
    EXPECT_FALSE(InRun(Hive::CurrentUser, L"jusched"));
    EXPECT_FALSE(InRun(Hive::LocalMachine, L"jusched"));
    EXPECT_TRUE(InRun(Hive::CurrentUser, L"ctfmon"));
    // The second qttask row finds the value gone and must leave the first row's record intact.
    EXPECT_EQ(RecordValue(L"qttask", L"command"), L"\"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime");
    EXPECT_EQ(RecordValue(L"qttask", L"hkey"), L"HKLM");
    EXPECT_EQ(RecordValue(L"qttask", L"inimapping"), L"0");
    EXPECT_EQ(RecordValue(L"qttask", L"item"), L"qttask");
    EXPECT_EQ(RecordValue(L"qttask", L"key"), L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[2].result.outcome, ActionOutcome::AlreadyGone);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ContinueOnRegistry, WithoutRightsToTheMachineKeysTellsTheTruth) {
    SetRun(Hive::LocalMachine, L"qttask", L"qttask.exe");
    SetRun(Hive::CurrentUser, L"jusched", L"jusched.exe");
    SetRun(Hive::LocalMachine, L"ctfmon", L"ctfmon.exe");
    // A standard user: every change under HKLM is refused.
    FaultRule create;
    create.op = RegistryOp::Create;
    create.hive = Hive::LocalMachine;
    registry.AddFault(create);
    FaultRule open;
    open.op = RegistryOp::Open;
    open.hive = Hive::LocalMachine;
    open.access = KeyAccess::Write;
    registry.AddFault(open);
    FakeList list({{L"qttask", L"disable"}, {L"jusched", L"remove"}, {L"ctfmon", L"remove"}});

    const ClosingMessage closing = ComposeClosingMessage(CarryOutChoices(list, registry, messages));

    ASSERT_EQ(messages.shown.size(), 1u) << "the per-entry message of the disable action stays";
    EXPECT_EQ(messages.shown[0].first, L"Error on value: qttask. There was an error creating a MSConfig key.");
    EXPECT_TRUE(InRun(Hive::LocalMachine, L"qttask"));
    EXPECT_FALSE(InRun(Hive::CurrentUser, L"jusched"));
    EXPECT_TRUE(InRun(Hive::LocalMachine, L"ctfmon"));
    EXPECT_EQ(closing.icon, MessageIcon::Error);
    EXPECT_NE(closing.Text().find(L"Not changed where administrator rights are needed:\r\n"
                                  L"qttask (Disable): its record in HKLM\r\nctfmon (Remove): HKLM\r\n"),
              std::wstring::npos)
        << closing.Text();
    EXPECT_EQ(closing.Text().find(L"jusched"), std::wstring::npos);
    EXPECT_NE(closing.Text().find(L"The other chosen action was carried out."), std::wstring::npos);
}

// Every way Remove and Disable can end over the places a name can live in, when the user may
// change HKCU but not some of HKLM's Run keys; on a Windows without the startup switch, with it, and
// with it where HKLM's switch keys refuse the change after the value went: the registry and the
// closing message must agree.
TEST_F(ContinueOnRegistry, TheClosingMessageSaysWhatWasDoneInEveryPlace) {
    const std::vector<RunPlace> all = {RunPlace::CurrentUser, RunPlace::Machine64, RunPlace::Machine32};
    enum Switch { kNone, kKept, kMachineRefused };
    std::size_t cases = 0;
    for (const Switch sw : {kNone, kKept, kMachineRefused}) {
        for (unsigned held = 1; held < 8; ++held) {
            for (unsigned denied = 0; denied < 4; ++denied) { // bit 0: HKLM, bit 1: HKLM (32-bit)
                for (const ChosenAction action : {ChosenAction::Remove, ChosenAction::Disable}) {
                    MemoryRegistry store;
                    std::vector<RunPlace> removed;
                    std::vector<RunPlace> kept;
                    for (std::size_t i = 0; i < all.size(); ++i) {
                        if ((held & (1u << i)) == 0) {
                            continue;
                        }
                        RegKey key;
                        ASSERT_EQ(store.CreateKey(PlaceHive(all[i]), kRunKeyPath, key, PlaceView(all[i])), kSuccess);
                        ASSERT_EQ(store.SetStringValue(key, L"qttask", L"C:\\q" + std::to_wstring(i) + L".exe"),
                                  kSuccess);
                        const bool refused = i > 0 && (denied & (1u << (i - 1))) != 0;
                        (refused ? kept : removed).push_back(all[i]);
                    }
                    for (const RegView view : {RegView::k64, RegView::k32}) {
                        if ((denied & (view == RegView::k64 ? 1u : 2u)) != 0) {
                            FaultRule rule;
                            rule.op = RegistryOp::Open;
                            rule.hive = Hive::LocalMachine;
                            rule.path = kRunKeyPath;
                            rule.access = KeyAccess::Write;
                            rule.view = view;
                            store.AddFault(rule);
                        }
                    }
                    if (sw == kMachineRefused) {
                        for (const RunPlace place : {RunPlace::Machine64, RunPlace::Machine32}) {
                            FaultRule rule;
                            rule.op = RegistryOp::Create;
                            rule.path = RunSwitchKey(place).path;
                            rule.hive = Hive::LocalMachine;
                            store.AddFault(rule);
                        }
                    }
                    SCOPED_TRACE(::testing::Message()
                                 << "switch " << sw << " held " << held << " denied " << denied << " "
                                 << (action == ChosenAction::Remove ? "Remove" : "Disable"));
                    FakeList list(std::vector<std::pair<std::wstring, std::wstring>>{
                        {L"qttask", action == ChosenAction::Remove ? L"remove" : L"disable"}});
                    RecordingSink sink;
                    const FileTime before = FileTimeNow();
                    const ClosingMessage closing =
                        ComposeClosingMessage(CarryOutChoices(list, store, sink, sw != kNone));
                    ++cases;

                    // The record keeps exactly the places whose value went; none went: no record. Each
                    // place a Disable took the value out of is switched off, now, where the switch
                    // may be written; nothing else has a switch.
                    std::vector<RunPlace> switched;
                    std::vector<RunPlace> not_switched;
                    StartupRecord record;
                    const long read = ReadStartupRecord(store, L"qttask", record);
                    for (const RunPlace place : all) {
                        const bool expected_there = std::find(kept.begin(), kept.end(), place) != kept.end();
                        EXPECT_EQ(ReadRunValue(store, place, L"qttask").Present(), expected_there) << PlaceLabel(place);
                        const bool recorded = action == ChosenAction::Disable &&
                                              (held & (1u << static_cast<unsigned>(place))) && !expected_there;
                        EXPECT_EQ(read == kSuccess && record.Find(place) != nullptr, recorded) << PlaceLabel(place);
                        StartupSwitch state;
                        ASSERT_EQ(ReadStartupSwitch(store, RunSwitchKey(place), L"qttask", state), kSuccess);
                        const bool refused = sw == kMachineRefused && place != RunPlace::CurrentUser;
                        const bool off = recorded && sw != kNone && !refused;
                        EXPECT_EQ(state.Off(), off) << PlaceLabel(place);
                        if (off) {
                            switched.push_back(place);
                            EXPECT_GE(state.off_since, before);
                            EXPECT_LE(state.off_since, FileTimeNow());
                        } else if (recorded && sw != kNone) {
                            not_switched.push_back(place); // refused after the value went: told below
                        }
                    }
                    EXPECT_EQ(read == kFileNotFound, action == ChosenAction::Remove || removed.empty());
                    if (kept.empty() && not_switched.empty()) {
                        EXPECT_EQ(closing.Text(), kAllActionsDoneMessage);
                        continue;
                    }
                    const std::wstring& text = closing.Text();
                    EXPECT_EQ(closing.icon, MessageIcon::Error);
                    EXPECT_EQ(text.find(L"succesfully"), std::wstring::npos);
                    const std::wstring head =
                        action == ChosenAction::Remove ? L"qttask (Remove): " : L"qttask (Disable): ";
                    std::wstring expected = head;
                    if (action == ChosenAction::Disable && !removed.empty()) {
                        expected += L"recorded for re-enabling; ";
                    }
                    const auto list_of = [](const std::vector<RunPlace>& places) {
                        std::wstring out;
                        for (std::size_t i = 0; i < places.size(); ++i) {
                            out += i == 0 ? L"" : (i + 1 == places.size() ? L" and " : L", ");
                            out += PlaceLabel(places[i]);
                        }
                        return out;
                    };
                    if (not_switched.empty()) {
                        // Places kept by administrator rights alone: one line in their group.
                        std::wstring line = L"\r\n" + head + list_of(kept);
                        if (!removed.empty()) {
                            line += L"; removed from " + list_of(removed);
                        }
                        line += L"\r\nClose Runsweep and run it as administrator to change them there.";
                        EXPECT_NE(text.find(line), std::wstring::npos)
                            << "expected: " << ::testing::PrintToString(line)
                            << "\nmessage: " << ::testing::PrintToString(text);
                        continue;
                    }
                    // A switch that stayed on after the value went: the whole sentence, place by place.
                    if (!removed.empty()) {
                        expected += L"removed from " + list_of(removed);
                    }
                    if (!kept.empty()) {
                        expected += (removed.empty() ? L"" : L"; ") + (L"not removed from " + list_of(kept)) +
                                    (kept.size() == 1 ? L", which needs administrator rights"
                                                      : L", which need administrator rights");
                    }
                    if (!switched.empty()) {
                        expected += L"; switched off in Task Manager for " + list_of(switched);
                    }
                    expected += L"; not switched off in Task Manager for " + list_of(not_switched) +
                                (not_switched.size() == 1 ? L", which needs administrator rights"
                                                          : L", which need administrator rights");
                    expected += L".";
                    EXPECT_NE(text.find(expected), std::wstring::npos)
                        << "expected: " << ::testing::PrintToString(expected)
                        << "\nmessage: " << ::testing::PrintToString(text);
                    EXPECT_NE(text.find(L"run it as administrator"), std::wstring::npos);
                }
            }
        }
    }
    EXPECT_EQ(cases, 3u * 7u * 4u * 2u);
}

} // namespace
} // namespace runsweep
