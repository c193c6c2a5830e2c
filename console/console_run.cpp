#include "console/console_run.h"

#include "app/action_reason.h"
#include "catalogue/catalogue.h"
#include "registry/clock.h"
#include "registry/entry_actions.h"
#include "registry/name_case.h"
#include "registry/reenable.h"
#include "registry/startup_record.h"

#include <algorithm>

namespace runsweep {

namespace {

const wchar_t* kProgram = L"runsweepc: ";
const wchar_t* kNotFound = L"not found";
const wchar_t* kNothingFound = L"No unnecessary startups found!";
const wchar_t* kNoDisabledItems = L"No disabled items found!";

ReasonWording ConsoleReasonWording() {
    return ReasonWording{L"Run runsweepc as administrator", L"Use \"runsweepc remove\"", L"runsweepc"};
}

// The names the command line gives, matched as the registry compares names: which of `names_of`
// each one chooses (with --all, every one), and the names that match none, each once.
template <typename Item, typename NameOf>
std::vector<bool> Choose(const ConsoleOptions& options, const std::vector<Item>& items, NameOf name_of,
                         std::vector<std::wstring>& missing) {
    std::vector<bool> chosen(items.size(), options.all);
    for (const std::wstring& name : options.names) {
        bool matched = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (RegistryNamesEqual(name_of(items[i]), name)) {
                chosen[i] = true;
                matched = true;
            }
        }
        if (!matched && std::find(missing.begin(), missing.end(), name) == missing.end()) {
            missing.push_back(name);
        }
    }
    return chosen;
}

// Year-month-dayThour:minute:second, as ISO 8601 writes a local time.
std::wstring IsoTime(const RecordTime& time) {
    auto two = [](unsigned long number) { return (number < 10 ? L"0" : L"") + std::to_wstring(number); };
    return std::to_wstring(time.year) + L"-" + two(time.month) + L"-" + two(time.day) + L"T" + two(time.hour) + L":" +
           two(time.minute) + L":" + two(time.second);
}

// Year-month-dayThour:minute:secondZ: a switch's time as Windows keeps it, in UTC.
std::wstring IsoUniversalTime(FileTime time) {
    return IsoTime(UniversalTimeOf(time)) + L"Z";
}

// The entry's state by Windows' startup switch, as the text format shows it: "on", "off since
// 2025-06-01", "mixed: off in HKCU since 2025-06-01".
std::wstring ShownState(const FoundStartup& entry) {
    const EntryState state = StateOf(entry);
    if (state == EntryState::On) {
        return StateWord(state);
    }
    std::vector<RunPlace> off;
    for (std::size_t i = 0; i < entry.places.size() && i < entry.switches.size(); ++i) {
        if (entry.switches[i].Off()) {
            off.push_back(entry.places[i]);
        }
    }
    std::wstring text = state == EntryState::Off ? L"off" : L"mixed: off in " + PlaceList(off);
    const FileTime since = LatestSwitchOff(entry);
    if (since != 0) {
        text += L" since " + SwitchDate(since);
    }
    return text;
}

std::wstring JoinedPlaces(const std::vector<RunPlace>& places, const wchar_t* separator) {
    std::wstring text;
    for (const RunPlace place : places) {
        text += text.empty() ? L"" : separator;
        text += PlaceLabel(place);
    }
    return text;
}

// What a disable or remove foreseen by its plan would do, in the words of a dry run.
EntryOutcome Foretold(ConsoleCommand command, const std::wstring& name, const ActionResult& foreseen) {
    EntryOutcome outcome{name, foreseen.TookEffect() ? L"would be done" : L"would not be done", std::wstring()};
    const ReasonWording wording = ConsoleReasonWording();
    std::vector<RunPlace> taken;
    std::vector<RunPlace> denied;
    for (const PlaceResult& place : foreseen.places) {
        (place.outcome == PlaceOutcome::Removed ? taken : denied).push_back(place.place);
    }
    std::sort(taken.begin(), taken.end());
    if (taken.empty() || (foreseen.outcome != ActionOutcome::Done && foreseen.outcome != ActionOutcome::Partial)) {
        outcome.details = ActionReason(foreseen, wording);
        if (outcome.details.empty()) {
            outcome.details = L"nothing to do: no Run key holds it any longer.";
        }
        return outcome;
    }
    outcome.details = (command == ConsoleCommand::Disable ? L"would be recorded for re-enabling, then removed from "
                                                          : L"would be removed from ") +
                      PlaceList(taken);
    // Windows' startup switch of each place taken out: off, or left as it is.
    std::vector<RunPlace> switching;
    std::vector<RunPlace> already;
    for (const PlaceResult& place : foreseen.places) {
        if (place.switched) {
            (place.switched->change == SwitchChange::Written ? switching : already).push_back(place.place);
        }
    }
    std::sort(switching.begin(), switching.end());
    std::sort(already.begin(), already.end());
    if (!switching.empty()) {
        outcome.details += L"; would be switched off in Task Manager for " + PlaceList(switching);
    }
    if (!already.empty()) {
        outcome.details += L"; its switch in Task Manager for " + PlaceList(already) + L" would be left as it is";
    }
    if (denied.empty()) {
        outcome.details += L".";
        return outcome;
    }
    std::sort(denied.begin(), denied.end());
    outcome.details += L"; not from " + PlaceList(denied) + (denied.size() == 1 ? L", which needs" : L", which need") +
                       L" administrator rights. " + wording.run_as_administrator + L" to change it there.";
    return outcome;
}

// A name the command line gave that matches nothing: not done; or, for a fleet's clean machines
// with --missing-ok, done with a note, unless a place that could not be read might hold it.
EntryOutcome Missing(const ConsoleOptions& options, const std::wstring& name, bool all_read) {
    if (!options.missing_ok || !all_read) {
        return EntryOutcome{name, L"not done", kNotFound};
    }
    EntryOutcome outcome{name, options.dry_run ? L"would be done" : L"done",
                         std::wstring(kNotFound) + L", counted as done (--missing-ok)"};
    outcome.missing = true;
    return outcome;
}

EntryOutcome Outcome(const std::wstring& name, const ActionResult& result) {
    // A switch Windows would not let be switched off is not done: the program may write its Run value
    // back and start again.
    EntryOutcome outcome{name, result.Complete() ? L"done" : L"not done", std::wstring()};
    outcome.details = ActionReason(result, ConsoleReasonWording());
    if (outcome.details.empty()) {
        outcome.details = L"nothing to do: no Run key holds it any longer.";
    }
    return outcome;
}

} // namespace

void ConsoleStreams::Out(const std::wstring& text) {
    if (std::optional<std::wstring> failure = WriteOut(text); failure && !out_failure_) {
        out_failure_ = std::move(failure);
    }
}

void ConsoleStreams::Err(const std::wstring& text) {
    if (WriteErr(text)) {
        err_failed_ = true;
    }
}

void ConsoleStreams::ErrLine(const std::wstring& text) {
    Err(kProgram + VisibleText(text) + kNewline);
}

int ConsoleStreams::Concluded(int status) {
    if (out_failure_) {
        ErrLine(L"the output could not be written (" + *out_failure_ + L").");
    }
    // A run that failed anyway keeps its own status (2 still says the command line is wrong).
    return status == kExitDone && (out_failure_ || err_failed_) ? kExitNotDone : status;
}

void ErrorStreamMessages::ShowMessage(const std::wstring& text, MessageIcon) {
    streams_.ErrLine(text);
}

void ErrorStreamMessages::ShowLineMessage(const std::wstring& text, MessageIcon, std::size_t number,
                                          std::wstring_view line) {
    // Enough to find the line in the file; a megabyte-long line must not flood the log.
    constexpr std::size_t kShown = 80;
    std::wstring shown = VisibleText(std::wstring(line.substr(0, kShown)));
    if (line.size() > kShown) {
        shown += L"\u2026";
    }
    streams_.Err(std::wstring(kProgram) + L"custom.txt line " + std::to_wstring(number) + L" (\"" + shown + L"\"): " +
                 text + kNewline);
}

Table ListTable(const std::vector<FoundStartup>& found, Registry& registry, FolderFiles* files) {
    Table table;
    table.headers = {L"Name", L"Places", L"State", L"Command", L"Description"};
    table.keys = {L"name", L"places", L"state", L"command", L"description", L"commands", L"switches"};
    // One place that holds an entry: a Run key, or one file of a Startup folder.
    struct Spot {
        std::wstring label;
        std::optional<std::wstring> command; // nothing where the value holds no text
        std::wstring file;                   // a folder's item: its full path
    };
    for (const FoundStartup& entry : found) {
        // Windows' switch of each Run place that holds the entry, as the scan read it.
        std::vector<std::wstring> switches_json;
        for (std::size_t i = 0; i < entry.places.size(); ++i) {
            const StartupSwitch state = i < entry.switches.size() ? entry.switches[i] : StartupSwitch{};
            switches_json.push_back(
                L"{\"place\": " + JsonString(PlaceLabel(entry.places[i])) + L", \"state\": " +
                JsonString(state.Off() ? L"off" : L"on") + L", \"off_since\": " +
                (state.Off() && state.off_since != 0 ? JsonString(IsoUniversalTime(state.off_since)) : L"null") + L"}");
        }
        std::vector<Spot> spots;
        for (const RunPlace place : entry.places) {
            const RunValue value = ReadRunValue(registry, place, entry.name);
            spots.push_back(
                Spot{PlaceLabel(place),
                     value.Present() && value.IsText() ? std::optional<std::wstring>(value.command) : std::nullopt,
                     std::wstring()});
        }
        for (const FolderItem& item : entry.files) {
            std::wstring command = item.path;
            if (files != nullptr) {
                ItemCommand(*files, item.path, command);
            }
            spots.push_back(Spot{FolderLabel(item.folder), command, item.path});
        }
        std::vector<std::wstring> labels;
        std::vector<std::wstring> places_json;
        std::vector<std::wstring> commands_json;
        for (const Spot& spot : spots) {
            if (std::find(labels.begin(), labels.end(), spot.label) == labels.end()) {
                labels.push_back(spot.label);
                places_json.push_back(JsonString(spot.label));
            }
            commands_json.push_back(L"{\"place\": " + JsonString(spot.label) +
                                    (spot.file.empty() ? L"" : L", \"file\": " + JsonString(spot.file)) +
                                    L", \"command\": " + (spot.command ? JsonString(*spot.command) : L"null") + L"}");
        }
        const std::optional<std::wstring> first = spots.empty() ? std::nullopt : spots.front().command;
        std::wstring joined;
        for (const std::wstring& label : labels) {
            joined += (joined.empty() ? L"" : L"; ") + label;
        }
        Row row;
        row.cells = {Cell{entry.name}, Cell{joined, std::nullopt, JsonArray(places_json)},
                     Cell{StateWord(StateOf(entry)), ShownState(entry)},
                     Cell{first.value_or(std::wstring()), std::nullopt,
                          first ? std::nullopt : std::optional<std::wstring>(L"null")},
                     Cell{entry.description},
                     Cell{std::wstring(), std::wstring(), JsonArray(commands_json)},
                     Cell{std::wstring(), std::wstring(), JsonArray(switches_json)}};
        // The text format gives each place a line of its own, with that place's command.
        if (!spots.empty()) {
            row.cells[1].shown = spots.front().label;
        }
        table.rows.push_back(std::move(row));
        for (std::size_t i = 1; i < spots.size(); ++i) {
            Row more;
            more.text_only = true;
            more.cells = {Cell{}, Cell{spots[i].label}, Cell{}, Cell{spots[i].command.value_or(std::wstring())},
                          Cell{}};
            table.rows.push_back(std::move(more));
        }
    }
    return table;
}

namespace {

// Why the file cannot be taken out of its folder, after the words that say where it stays.
std::wstring RefusalOfFile(long status, const ReasonWording& wording) {
    switch (status) {
    case kAccessDenied:
        return L", which needs administrator rights. " + wording.run_as_administrator + L" to change it there.";
    case kSharingViolation:
        return L": it is in use by a program that is running (error " + std::to_wstring(status) + L").";
    default:
        return L" (error " + std::to_wstring(status) + L").";
    }
}

// What a Disable or Remove would do with one of the entry's Startup-folder files, read alone: true
// and the move it would make, or false and why it would leave the file.
std::pair<bool, std::wstring> ForetellFolder(ConsoleCommand command, Registry& registry, FolderFiles& files,
                                             const FolderItem& item, const ReasonWording& wording) {
    const std::wstring place = FolderLabel(item.folder);
    const std::wstring left = item.name + L" would be left in " + place;
    // The real run's move or delete meets the same rights and sharing.
    if (const long may = files.MayChange(item.path); may != kSuccess) {
        return {false, left + RefusalOfFile(may, wording)};
    }
    if (command == ConsoleCommand::Remove) {
        return {true, IsShortcut(KindOfItem(item.name))
                          ? L"would delete " + item.name + L" from " + place + L"."
                          : L"would move " + item.name + L" from " + place + L" to the Recycle Bin."};
    }
    const std::wstring key = FolderRecordKeyName(item.path);
    if (!IsFolderRecordKeyName(key)) {
        return {false, left + L": its path is too long to be recorded for re-enabling."};
    }
    FolderRecord earlier;
    if (ReadFolderRecord(registry, key, earlier) == kSuccess && !earlier.backup.empty() &&
        files.Exists(earlier.backup) == kSuccess) {
        return {false, left + L": a copy disabled earlier is still kept at " + earlier.backup + L"."};
    }
    if (!MayChange(registry, Hive::LocalMachine, FolderRecordPath(key), RegView::k64)) {
        return {false, left + L", as its record needs administrator rights. " + wording.run_as_administrator +
                           L" to change it there."};
    }
    std::wstring backup_folder;
    std::wstring backup;
    if (files.BackupFolderPath(backup_folder) != kSuccess ||
        ChooseBackupPath(files, backup_folder, item, backup) != kSuccess) {
        return {false, left + L": no free name for it in %windir%\\pss."};
    }
    // The first Disable makes the folder, in %windir%, which takes it from whoever may add there.
    const bool folder_there = files.Exists(backup_folder) == kSuccess;
    if (const long may = files.MayChange(folder_there ? backup : backup_folder); may != kSuccess) {
        return {false, left + RefusalOfFile(may, wording)};
    }
    return {true,
            L"would move " + item.name + L" from " + place + L" to " + backup + L" and record it for re-enabling."};
}

} // namespace

std::vector<EntryOutcome> CarryOutCommand(const ConsoleOptions& options, const std::vector<FoundStartup>& found,
                                          Registry& registry, MessageSink& messages, const FolderAccess& folders,
                                          bool all_read) {
    std::vector<std::wstring> missing;
    const std::vector<bool> chosen = Choose(
        options, found, [](const FoundStartup& entry) { return entry.name; }, missing);
    const ReasonWording wording = ConsoleReasonWording();
    const bool disable = options.command == ConsoleCommand::Disable;
    std::vector<EntryOutcome> outcomes;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!chosen[i]) {
            continue;
        }
        const FoundStartup& entry = found[i];
        const std::vector<FolderItem> items = folders.files != nullptr ? entry.files : std::vector<FolderItem>();
        if (items.empty()) {
            // One plan serves the dry run and the real run alike.
            if (disable) {
                const DisablePlan plan = PlanDisable(registry, entry.name, options.keeps_switch);
                outcomes.push_back(
                    options.dry_run ? Foretold(options.command, entry.name, plan.Foreseen())
                                    : Outcome(entry.name, CarryOutDisable(registry, plan, messages, LocalTimeNow())));
            } else {
                const RemovePlan plan = PlanRemove(registry, entry.name);
                outcomes.push_back(options.dry_run ? Foretold(options.command, entry.name, plan.Foreseen())
                                                   : Outcome(entry.name, CarryOutRemove(registry, plan)));
            }
            continue;
        }
        // Run keys and Startup-folder files alike: each place said in turn.
        EntryOutcome outcome{entry.name, L"", std::wstring()};
        bool done = true;
        if (options.dry_run) {
            if (!entry.places.empty()) {
                const ActionResult foreseen = disable ? PlanDisable(registry, entry.name, options.keeps_switch).Foreseen()
                                                      : PlanRemove(registry, entry.name).Foreseen();
                const EntryOutcome run = Foretold(options.command, entry.name, foreseen);
                done = run.Done();
                outcome.details = run.details;
            }
            for (const FolderItem& item : items) {
                const auto [would, text] = ForetellFolder(options.command, registry, *folders.files, item, wording);
                done = done && would;
                outcome.details += (outcome.details.empty() ? L"" : L" ") + text;
            }
            outcome.result = done ? L"would be done" : L"would not be done";
            outcomes.push_back(std::move(outcome));
            continue;
        }
        EntryResult result;
        if (!entry.places.empty()) {
            result.run = disable
                             ? CarryOutDisable(registry, PlanDisable(registry, entry.name, options.keeps_switch), messages, LocalTimeNow())
                             : CarryOutRemove(registry, PlanRemove(registry, entry.name));
        } else {
            result.run = ActionResult{ActionOutcome::AlreadyGone, kSuccess};
        }
        const RecordTime now = LocalTimeNow();
        for (const FolderItem& item : items) {
            FolderActionRecord record{item,
                                      disable ? DisableFolderItem(registry, *folders.files, item, now)
                                              : RemoveFolderItem(*folders.files, item),
                                      std::nullopt};
            if (disable && folders.keeps_switch && record.result.outcome == FolderOutcome::Done) {
                record.switched =
                    SwitchOff(registry, StartupFolderSwitchKey(FolderHive(item.folder)), item.name, FileTimeNow());
            }
            result.files.push_back(std::move(record));
        }
        outcome.result = result.TookEffect() ? L"done" : L"not done";
        outcome.details = EntryReason(result, disable, wording);
        if (outcome.details.empty()) {
            outcome.details = L"nothing to do: no Run key or Startup folder holds it any longer.";
        }
        outcomes.push_back(std::move(outcome));
    }
    for (const std::wstring& name : missing) {
        outcomes.push_back(Missing(options, name, all_read));
    }
    return outcomes;
}

Table OutcomeTable(const std::vector<EntryOutcome>& outcomes, ConsoleCommand command) {
    Table table;
    table.headers = {L"Name", L"Action", L"Result", L"Details"};
    table.keys = {L"name", L"action", L"result", L"details"};
    for (const EntryOutcome& outcome : outcomes) {
        Row row;
        row.cells = {Cell{outcome.name}, Cell{CommandWord(command)}, Cell{outcome.result}, Cell{outcome.details}};
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::optional<int> AnswerWithoutScan(const ParsedCommandLine& parsed, ConsoleStreams& streams) {
    if (!parsed.ok()) {
        streams.ErrLine(parsed.error + L". " + UsageHint());
        return kExitUsage;
    }
    if (parsed.options.command == ConsoleCommand::Help) {
        streams.Out(HelpText());
        return kExitDone;
    }
    if (parsed.options.command == ConsoleCommand::Version) {
        streams.Out(VersionText());
        return kExitDone;
    }
    return std::nullopt;
}

Table DisabledTable(const std::vector<StartupRecord>& records, const std::vector<FolderRecord>& folder_records) {
    return DisabledTable(DisabledItems{records, folder_records, {}, false});
}

Table DisabledTable(const DisabledItems& items) {
    const std::vector<StartupRecord>& records = items.records;
    Table table;
    table.headers = {L"Name", L"Disabled", L"Places", L"Command", L"Problem", L"Kind"};
    table.keys = {L"name", L"disabled", L"places", L"command", L"problem", L"kind", L"item", L"commands"};
    for (const StartupRecord& record : records) {
        const std::vector<RecordedPlace> places = record.Understood() ? record.places : std::vector<RecordedPlace>();
        std::vector<RunPlace> labels;
        std::vector<std::wstring> places_json;
        std::vector<std::wstring> commands_json;
        for (const RecordedPlace& place : places) {
            labels.push_back(place.place);
            places_json.push_back(JsonString(PlaceLabel(place.place)));
            commands_json.push_back(L"{\"place\": " + JsonString(PlaceLabel(place.place)) + L", \"command\": " +
                                    JsonString(place.command) + L"}");
        }
        const std::wstring date = record.disabled_at ? IsoTime(*record.disabled_at) : std::wstring();
        const std::wstring command = places.empty() ? record.raw_command : places.front().command;
        Row row;
        row.cells = {Cell{record.key_name},
                     Cell{date, std::nullopt, date.empty() ? std::optional<std::wstring>(L"null") : std::nullopt},
                     Cell{JoinedPlaces(labels, L"; "), std::nullopt, JsonArray(places_json)},
                     Cell{command},
                     Cell{record.problem, std::nullopt,
                          record.problem.empty() ? std::optional<std::wstring>(L"null") : std::nullopt},
                     Cell{L"record"},
                     Cell{record.item},
                     Cell{std::wstring(), std::wstring(), JsonArray(commands_json)}};
        if (!labels.empty()) {
            row.cells[2].shown = PlaceLabel(labels.front());
        }
        table.rows.push_back(std::move(row));
        for (std::size_t i = 1; i < places.size(); ++i) {
            Row more;
            more.text_only = true;
            more.cells = {Cell{}, Cell{}, Cell{PlaceLabel(places[i].place)}, Cell{places[i].command}, Cell{}, Cell{}};
            table.rows.push_back(std::move(more));
        }
    }
    for (const FolderRecord& record : items.folder_records) {
        const std::wstring date = record.disabled_at ? IsoTime(*record.disabled_at) : std::wstring();
        const std::wstring place = !record.Understood() ? std::wstring()
                                   : record.folder      ? std::wstring(FolderLabel(*record.folder))
                                                        : ParentFolder(record.path);
        const std::wstring command = record.command.empty() ? record.path : record.command;
        const std::wstring json_places = place.empty() ? JsonArray({}) : JsonArray({JsonString(place)});
        const std::wstring json_commands =
            place.empty() ? JsonArray({})
                          : JsonArray({L"{\"place\": " + JsonString(place) + L", \"file\": " + JsonString(record.path) +
                                       L", \"backup\": " + JsonString(record.backup) + L", \"command\": " +
                                       JsonString(command) + L"}"});
        Row row;
        row.cells = {Cell{record.path.empty() ? record.key_name : FileNameOf(record.path)},
                     Cell{date, std::nullopt, date.empty() ? std::optional<std::wstring>(L"null") : std::nullopt},
                     Cell{place, std::nullopt, json_places},
                     Cell{command},
                     Cell{record.problem, std::nullopt,
                          record.problem.empty() ? std::optional<std::wstring>(L"null") : std::nullopt},
                     Cell{L"record"},
                     Cell{record.item},
                     Cell{std::wstring(), std::wstring(), json_commands}};
        table.rows.push_back(std::move(row));
    }
    // Entries only switched off in Task Manager: their Run value is there, so nothing but the switch
    // is to put back.
    for (const SwitchedOff& entry : items.switched_off) {
        std::vector<std::wstring> places_json;
        std::vector<std::wstring> commands_json;
        for (const RunPlace place : entry.places) {
            places_json.push_back(JsonString(PlaceLabel(place)));
            commands_json.push_back(L"{\"place\": " + JsonString(PlaceLabel(place)) + L", \"command\": " +
                                    JsonString(entry.command) + L"}");
        }
        const std::wstring date = entry.since != 0 ? IsoTime(LocalTimeOf(entry.since)) : std::wstring();
        Row row;
        row.cells = {Cell{entry.name},
                     Cell{date, std::nullopt, date.empty() ? std::optional<std::wstring>(L"null") : std::nullopt},
                     Cell{JoinedPlaces(entry.places, L"; "), std::nullopt, JsonArray(places_json)},
                     Cell{entry.command},
                     Cell{std::wstring(), std::nullopt, std::wstring(L"null")},
                     Cell{L"switch", L"switched off in Task Manager"},
                     Cell{entry.name},
                     Cell{std::wstring(), std::wstring(), JsonArray(commands_json)}};
        table.rows.push_back(std::move(row));
    }
    return table;
}

namespace {

// What re-enabling a Startup-folder item's record would do, read alone.
std::pair<bool, std::wstring> ForetellFolderEnable(Registry& registry, FolderFiles& files, const FolderRecord& listed,
                                                   const ReasonWording& wording) {
    FolderRecord record;
    const long status = ReadFolderRecord(registry, listed.key_name, record);
    if (status != kSuccess) {
        return {false, L"not re-enabled: its record could not be read (error " + std::to_wstring(status) + L")."};
    }
    if (!record.Understood()) {
        return {false, L"not re-enabled: " + record.problem + L"."};
    }
    const bool at_path = files.Exists(record.path) == kSuccess;
    const bool at_backup = files.Exists(record.backup) == kSuccess;
    if (at_path && at_backup) {
        return {false, L"not re-enabled: " + record.path + L" is there again, and the disabled copy stays at " +
                           record.backup + L"."};
    }
    if (at_path) {
        return {true, L"would delete its record: the file is back in its folder already."};
    }
    if (!at_backup) {
        return {false, L"not re-enabled: its file is no longer at " + record.backup + L"."};
    }
    if (files.Exists(ParentFolder(record.path)) != kSuccess) {
        return {false,
                L"not re-enabled: the folder it goes back to, " + ParentFolder(record.path) + L", no longer exists."};
    }
    if (!MayChange(registry, Hive::LocalMachine, FolderRecordPath(record.key_name), RegView::k64)) {
        return {false, L"not re-enabled: its record needs administrator rights to be deleted. " +
                           wording.run_as_administrator + L" to re-enable it."};
    }
    if (const long may = files.MayChange(record.backup); may != kSuccess) {
        return {false, L"not re-enabled: " + record.backup + L" stays" + RefusalOfFile(may, wording)};
    }
    if (const long may = files.MayChange(record.path); may != kSuccess) {
        return {false, L"not re-enabled: " + record.path + L" cannot be written" + RefusalOfFile(may, wording)};
    }
    return {true, L"would move " + record.backup + L" back to " + record.path + L"."};
}

} // namespace

std::vector<EntryOutcome> CarryOutEnable(const ConsoleOptions& options, const std::vector<StartupRecord>& records,
                                         Registry& registry, const std::vector<FolderRecord>& folder_records,
                                         const FolderAccess& folders) {
    return CarryOutEnable(options, DisabledItems{records, folder_records, {}, false}, registry, folders);
}

std::vector<EntryOutcome> CarryOutEnable(const ConsoleOptions& options, const DisabledItems& items, Registry& registry,
                                         const FolderAccess& folders) {
    const std::vector<StartupRecord>& records = items.records;
    const std::vector<FolderRecord>& folder_records = items.folder_records;
    const bool all_read = true;
    std::vector<std::wstring> missing;
    const std::vector<bool> chosen = Choose(
        options, records, [](const StartupRecord& record) { return record.key_name; }, missing);
    // A folder item's record is named by its file's name, or its full path when two folders hold
    // files of one name.
    std::vector<bool> files_chosen(folder_records.size(), options.all);
    for (std::size_t i = 0; i < folder_records.size(); ++i) {
        const FolderRecord& record = folder_records[i];
        for (const std::wstring& name : options.names) {
            if (RegistryNamesEqual(FileNameOf(record.path), name) || RegistryNamesEqual(record.path, name) ||
                RegistryNamesEqual(record.key_name, name)) {
                files_chosen[i] = true;
                missing.erase(std::remove(missing.begin(), missing.end(), name), missing.end());
            }
        }
    }
    // A name no record has may be an entry only switched off.
    std::vector<std::wstring> not_switched;
    ConsoleOptions switch_options = options;
    switch_options.names = missing;
    const std::vector<bool> chosen_switched = Choose(
        switch_options, items.switched_off, [](const SwitchedOff& entry) { return entry.name; }, not_switched);
    missing = std::move(not_switched);
    const ReasonWording wording = ConsoleReasonWording();
    std::vector<EntryOutcome> outcomes;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!chosen[i]) {
            continue;
        }
        const StartupRecord& listed = records[i];
        EntryOutcome outcome{listed.key_name, L"not done", std::wstring()};
        // Read afresh: another program may have changed the record since it was listed.
        StartupRecord record;
        const long status = ReadStartupRecord(registry, listed.key_name, record);
        EnableResult result;
        if (status == kSuccess && !record.Understood()) {
            outcome.details = EnableReason(EnableResult{}, record.problem, wording);
        } else if (status != kSuccess) {
            result.status = status;
            result.outcome = status == kFileNotFound   ? EnableOutcome::RecordGone
                             : status == kAccessDenied ? EnableOutcome::NeedsAdministrator
                                                       : EnableOutcome::Failed;
            outcome.details = EnableReason(result, std::wstring(), wording);
        } else {
            const EnablePlan plan = PlanEnable(registry, record, options.keeps_switch);
            result = options.dry_run ? plan.Foreseen() : CarryOutEnable(registry, plan);
            if (options.dry_run && result.TookEffect()) {
                std::vector<RunPlace> places;
                for (const EnablePlaceResult& place : result.places) {
                    places.push_back(place.place);
                }
                std::sort(places.begin(), places.end());
                std::vector<RunPlace> switching;
                for (const EnablePlaceResult& place : result.places) {
                    if (place.switched && place.switched->change == SwitchChange::Written && place.switched->was_off) {
                        switching.push_back(place.place);
                    }
                }
                std::sort(switching.begin(), switching.end());
                outcome.details =
                    L"would be re-enabled in " + PlaceList(places) +
                    (switching.empty() ? std::wstring()
                                       : L"; would be switched on in Task Manager for " + PlaceList(switching)) +
                    L".";
            } else {
                outcome.details = EnableReason(result, std::wstring(), wording);
            }
            outcome.result = options.dry_run ? (result.TookEffect() ? L"would be done" : L"would not be done")
                                             : (result.TookEffect() ? L"done" : L"not done");
        }
        outcomes.push_back(std::move(outcome));
    }
    for (std::size_t i = 0; i < folder_records.size() && folders.files != nullptr; ++i) {
        if (!files_chosen[i]) {
            continue;
        }
        const FolderRecord& listed = folder_records[i];
        EntryOutcome outcome{listed.path.empty() ? listed.key_name : FileNameOf(listed.path), L"", std::wstring()};
        if (options.dry_run) {
            const auto [would, text] = ForetellFolderEnable(registry, *folders.files, listed, wording);
            outcome.result = would ? L"would be done" : L"would not be done";
            outcome.details = text;
        } else {
            // Read afresh inside: another program may have moved the file or changed the record.
            const FolderActionRecord done =
                EnableFolderEntry(registry, *folders.files, listed.key_name, folders.keeps_switch);
            const bool took = done.TookEffect() && !(done.switched && done.switched->Failed());
            outcome.result = took ? L"done" : L"not done";
            outcome.details = FolderEnableReason(done, wording);
        }
        outcomes.push_back(std::move(outcome));
    }
    for (std::size_t i = 0; i < items.switched_off.size(); ++i) {
        if (!chosen_switched[i]) {
            continue;
        }
        const SwitchedOff& entry = items.switched_off[i];
        std::vector<RunPlace> places = entry.places;
        std::sort(places.begin(), places.end());
        if (options.dry_run) {
            outcomes.push_back(EntryOutcome{entry.name, L"would be done",
                                            L"would be switched on again in Task Manager for " + PlaceList(places) +
                                                L"; nothing else would change."});
            continue;
        }
        const std::vector<SwitchWrite> writes = SwitchOnEverywhere(registry, entry);
        outcomes.push_back(EntryOutcome{entry.name, AllSwitchedOn(writes) ? L"done" : L"not done",
                                        SwitchOnReason(entry.places, writes, ConsoleReasonWording())});
    }
    for (const std::wstring& name : missing) {
        outcomes.push_back(Missing(options, name, all_read));
    }
    return outcomes;
}

namespace {

// Prints the outcomes and their reasons; the exit status.
int ReportOutcomes(const ConsoleOptions& options, const std::vector<EntryOutcome>& outcomes, const wchar_t* nothing,
                   ConsoleStreams& streams) {
    int status = kExitDone;
    bool changed = false;
    for (const EntryOutcome& outcome : outcomes) {
        if (!outcome.Done()) {
            status = kExitNotDone;
            streams.ErrLine(outcome.name + L" (" + CommandWord(options.command) + L"): " + outcome.details);
        } else if (outcome.missing) {
            streams.ErrLine(outcome.name + L" (" + CommandWord(options.command) + L"): " + outcome.details);
        } else if (!options.dry_run) {
            changed = true;
        }
    }
    if (outcomes.empty() && options.format == OutputFormat::Text) {
        if (nothing != nullptr) {
            streams.Out(nothing + std::wstring(kNewline));
        }
        return status;
    }
    streams.Out(FormatTable(OutcomeTable(outcomes, options.command), options.format));
    if (changed && options.format == OutputFormat::Text) {
        streams.Out(std::wstring(kNewline) + L"Changes will take effect after the system is restarted." + kNewline);
    }
    return status;
}

} // namespace

int RunConsoleCommand(const ConsoleOptions& options, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams, const FolderAccess& folders, ChangeLock* lock) {
    const bool changes =
        !options.dry_run && (options.command == ConsoleCommand::Disable || options.command == ConsoleCommand::Remove ||
                             options.command == ConsoleCommand::Enable);
    // Taken before anything is read: a plan made from what another copy is changing would be stale.
    const ChangeLockHold hold(changes ? lock : nullptr, kChangeLockWaitMs);
    if (!hold.Held()) {
        streams.ErrLine(L"another copy of Runsweep or runsweepc is changing startup entries; nothing was changed. "
                        L"Try again when it has finished.");
        return kExitNotDone;
    }
    if (options.command == ConsoleCommand::Disabled || options.command == ConsoleCommand::Enable) {
        DisabledItems items;
        long status = ReadDisabledItems(registry, options.keeps_switch, items);
        if (folders.files == nullptr) {
            // Without the folders the Startup folders' records are neither listed nor acted on.
            items.folder_records.clear();
        }
        if (status != kSuccess) {
            streams.ErrLine(L"the records of disabled entries could not be read (error " + std::to_wstring(status) +
                            L").");
            return kExitNotDone;
        }
        if (options.command == ConsoleCommand::Enable) {
            return ReportOutcomes(options, CarryOutEnable(options, items, registry, folders), kNoDisabledItems,
                                  streams);
        }
        if (items.size() == 0 && options.format == OutputFormat::Text) {
            streams.Out(kNoDisabledItems + std::wstring(kNewline));
        } else {
            streams.Out(FormatTable(DisabledTable(items), options.format));
        }
        return kExitDone;
    }
    std::vector<UnreadablePlace> unreadable;
    std::vector<FoundStartup> found = FindStartups(catalogue, registry, folders.files, &unreadable);
    if (options.keeps_switch && options.command == ConsoleCommand::List) {
        ReadStartupSwitches(registry, found);
    }
    int status = kExitDone;
    if (options.command != ConsoleCommand::Disable && options.command != ConsoleCommand::Remove) {
        if (found.empty() && options.format == OutputFormat::Text) {
            // Nothing found is only said where everything could be looked at.
            if (unreadable.empty()) {
                streams.Out(kNothingFound + std::wstring(kNewline));
            }
        } else {
            streams.Out(FormatTable(ListTable(found, registry, folders.files), options.format));
        }
    } else {
        ErrorStreamMessages messages(streams);
        status =
            ReportOutcomes(options, CarryOutCommand(options, found, registry, messages, folders, unreadable.empty()),
                           unreadable.empty() ? kNothingFound : nullptr, streams);
    }
    for (const UnreadablePlace& place : unreadable) {
        streams.ErrLine(std::wstring(L"the Run key of ") + PlaceLabel(place.place) + L" could not be read (error " +
                        std::to_wstring(place.status) + L"), so the entries there are not in this report.");
        status = kExitNotDone;
    }
    return status;
}

int RunConsoleCommand(const ParsedCommandLine& parsed, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams, const FolderAccess& folders, ChangeLock* lock) {
    if (const std::optional<int> status = AnswerWithoutScan(parsed, streams)) {
        return streams.Concluded(*status);
    }
    return streams.Concluded(RunConsoleCommand(parsed.options, catalogue, registry, streams, folders, lock));
}

} // namespace runsweep
