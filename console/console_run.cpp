#include "console/console_run.h"

#include "catalogue/catalogue.h"
#include "registry/action_reason.h"
#include "registry/name_case.h"
#include "registry/startup_record.h"

#include <algorithm>

namespace runsweep {

namespace {

const wchar_t* kProgram = L"runsweepc: ";
const wchar_t* kNotFound = L"not found";

ReasonWording ConsoleReasonWording() {
    return ReasonWording{L"Run runsweepc as administrator", L"Use \"runsweepc remove\"", L"runsweepc"};
}

const wchar_t* CommandWord(ConsoleCommand command) {
    return command == ConsoleCommand::Remove ? L"remove" : L"disable";
}

std::wstring JoinedPlaces(const std::vector<RunPlace>& places, const wchar_t* separator) {
    std::wstring text;
    for (const RunPlace place : places) {
        text += text.empty() ? L"" : separator;
        text += PlaceLabel(place);
    }
    return text;
}

// Whether this user may change the key: opened for writing, which changes nothing. A key that does
// not exist yet is judged by the nearest key above it, where it would be created.
bool MayChange(Registry& registry, Hive hive, std::wstring path, RegView view) {
    for (;;) {
        RegKey key;
        const long status = registry.OpenKey(hive, path, KeyAccess::Write, key, view);
        if (status != kFileNotFound) {
            return status != kAccessDenied;
        }
        const std::size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) {
            return true;
        }
        path.resize(cut);
    }
}

// What a disable or remove would do now, from what the Run keys hold and what this user may change;
// nothing is written.
EntryOutcome Foretell(ConsoleCommand command, const FoundStartup& entry, Registry& registry) {
    EntryOutcome outcome{entry.name, L"would not be done", std::wstring()};
    const ReasonWording wording = ConsoleReasonWording();
    std::vector<RunPlace> allowed;
    std::vector<RunPlace> denied;
    for (const RunPlace place : entry.places) {
        (MayChange(registry, PlaceHive(place), kRunKeyPath, PlaceView(place)) ? allowed : denied).push_back(place);
    }
    if (command == ConsoleCommand::Disable) {
        ActionResult refused(ActionOutcome::Done, 0);
        if (!IsRecordableName(entry.name)) {
            refused = ActionResult(ActionOutcome::NameNotRecordable, kInvalidParameter);
        } else if (!MayChange(registry, Hive::LocalMachine, StartupRecordPath(entry.name), RegView::k64)) {
            refused = ActionResult(ActionOutcome::NeedsAdministrator, kAccessDenied);
        } else if (!denied.empty()) {
            refused = ActionResult(ActionOutcome::NeedsAdministrator, kAccessDenied);
            refused.place = denied.front();
        } else {
            for (const RunPlace place : entry.places) {
                const RunValue value = ReadRunValue(registry, place, entry.name);
                if (value.Present() && !value.IsText()) {
                    refused = ActionResult(ActionOutcome::CommandNotText, 0);
                    refused.place = place;
                    break;
                }
            }
        }
        if (refused.outcome != ActionOutcome::Done) {
            outcome.details = ActionReason(refused, wording);
            return outcome;
        }
        outcome.result = L"would be done";
        outcome.details = L"would be recorded for re-enabling, then removed from " + PlaceList(entry.places) + L".";
        return outcome;
    }
    if (denied.empty()) {
        outcome.result = L"would be done";
        outcome.details = L"would be removed from " + PlaceList(entry.places) + L".";
        return outcome;
    }
    const std::wstring need = denied.size() == 1 ? L", which needs" : L", which need";
    outcome.details = (allowed.empty() ? L"" : L"would be removed from " + PlaceList(allowed) + L"; ") + L"not from " +
                      PlaceList(denied) + need + L" administrator rights. " + wording.run_as_administrator +
                      L" to change it there.";
    return outcome;
}

EntryOutcome Outcome(const FoundStartup& entry, const ActionResult& result) {
    EntryOutcome outcome{entry.name, result.TookEffect() ? L"done" : L"not done", std::wstring()};
    outcome.details = ActionReason(result, ConsoleReasonWording());
    if (outcome.details.empty()) {
        outcome.details = L"nothing to do: no Run key holds it any longer.";
    }
    return outcome;
}

} // namespace

void ErrorStreamMessages::ShowMessage(const std::wstring& text, MessageIcon) {
    streams_.Err(kProgram + text + kNewline);
}

Table ListTable(const std::vector<FoundStartup>& found, Registry& registry) {
    Table table;
    table.headers = {L"Name", L"Places", L"Command", L"Description"};
    table.keys = {L"name", L"places", L"command", L"description", L"commands"};
    for (const FoundStartup& entry : found) {
        std::vector<std::wstring> places_json;
        std::vector<std::wstring> commands_json;
        std::vector<std::optional<std::wstring>> commands; // nothing where the value holds no text
        for (const RunPlace place : entry.places) {
            const RunValue value = ReadRunValue(registry, place, entry.name);
            commands.push_back(value.Present() && value.IsText() ? std::optional<std::wstring>(value.command)
                                                                 : std::nullopt);
            places_json.push_back(JsonString(PlaceLabel(place)));
            commands_json.push_back(L"{\"place\": " + JsonString(PlaceLabel(place)) + L", \"command\": " +
                                    (commands.back() ? JsonString(*commands.back()) : L"null") + L"}");
        }
        const std::optional<std::wstring> first = commands.empty() ? std::nullopt : commands.front();
        Row row;
        row.cells = {Cell{entry.name}, Cell{JoinedPlaces(entry.places, L"; "), std::nullopt, JsonArray(places_json)},
                     Cell{first.value_or(std::wstring()), std::nullopt,
                          first ? std::nullopt : std::optional<std::wstring>(L"null")},
                     Cell{entry.description}, Cell{std::wstring(), std::wstring(), JsonArray(commands_json)}};
        // The text format gives each place a line of its own, with that place's command.
        if (!entry.places.empty()) {
            row.cells[1].shown = PlaceLabel(entry.places.front());
        }
        table.rows.push_back(std::move(row));
        for (std::size_t i = 1; i < entry.places.size(); ++i) {
            Row more;
            more.text_only = true;
            more.cells = {Cell{}, Cell{PlaceLabel(entry.places[i])}, Cell{commands[i].value_or(std::wstring())},
                          Cell{}};
            table.rows.push_back(std::move(more));
        }
    }
    return table;
}

std::vector<EntryOutcome> CarryOutCommand(const ConsoleOptions& options, const std::vector<FoundStartup>& found,
                                          Registry& registry, MessageSink& messages) {
    std::vector<bool> chosen(found.size(), options.all);
    std::vector<std::wstring> missing;
    for (const std::wstring& name : options.names) {
        bool matched = false;
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (RegistryNamesEqual(found[i].name, name)) {
                chosen[i] = true;
                matched = true;
            }
        }
        if (!matched && std::find(missing.begin(), missing.end(), name) == missing.end()) {
            missing.push_back(name);
        }
    }
    std::vector<EntryOutcome> outcomes;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!chosen[i]) {
            continue;
        }
        const FoundStartup& entry = found[i];
        if (options.dry_run) {
            outcomes.push_back(Foretell(options.command, entry, registry));
        } else if (options.command == ConsoleCommand::Disable) {
            outcomes.push_back(Outcome(entry, DisableStartup(registry, entry.name, messages)));
        } else {
            outcomes.push_back(Outcome(entry, RemoveStartup(registry, entry.name)));
        }
    }
    for (const std::wstring& name : missing) {
        outcomes.push_back(EntryOutcome{name, L"not done", kNotFound});
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
        streams.Err(kProgram + parsed.error + L". " + UsageHint() + kNewline);
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

int RunConsoleCommand(const ConsoleOptions& options, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams) {
    const std::vector<FoundStartup> found = FindStartups(catalogue, registry);
    if (options.command != ConsoleCommand::Disable && options.command != ConsoleCommand::Remove) {
        if (found.empty() && options.format == OutputFormat::Text) {
            streams.Out(std::wstring(L"No unnecessary startups found!") + kNewline);
        } else {
            streams.Out(FormatTable(ListTable(found, registry), options.format));
        }
        return kExitDone;
    }
    ErrorStreamMessages messages(streams);
    const std::vector<EntryOutcome> outcomes = CarryOutCommand(options, found, registry, messages);
    int status = kExitDone;
    bool changed = false;
    for (const EntryOutcome& outcome : outcomes) {
        if (!outcome.Done()) {
            status = kExitNotDone;
            streams.Err(kProgram + VisibleText(outcome.name) + L" (" + CommandWord(options.command) + L"): " +
                        outcome.details + kNewline);
        } else if (!options.dry_run) {
            changed = true;
        }
    }
    if (outcomes.empty() && options.format == OutputFormat::Text) {
        streams.Out(std::wstring(L"No unnecessary startups found!") + kNewline);
        return status;
    }
    streams.Out(FormatTable(OutcomeTable(outcomes, options.command), options.format));
    if (changed && options.format == OutputFormat::Text) {
        streams.Out(std::wstring(kNewline) + L"Changes will take effect after the system is restarted." + kNewline);
    }
    return status;
}

int RunConsoleCommand(const ParsedCommandLine& parsed, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams) {
    if (const std::optional<int> status = AnswerWithoutScan(parsed, streams)) {
        return *status;
    }
    return RunConsoleCommand(parsed.options, catalogue, registry, streams);
}

} // namespace runsweep
