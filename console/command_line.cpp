#include "console/command_line.h"

#include "resources/version.h"

#include <optional>

namespace runsweep {

namespace {

// Commands, options and formats are words of the command line, which Windows tools take in any
// letter case; names are the registry's and are left as given.
std::wstring Folded(std::wstring word) {
    for (wchar_t& c : word) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return word;
}

std::optional<ConsoleCommand> CommandNamed(const std::wstring& given) {
    const std::wstring word = Folded(given);
    if (word == L"list") {
        return ConsoleCommand::List;
    }
    if (word == L"disable") {
        return ConsoleCommand::Disable;
    }
    if (word == L"remove") {
        return ConsoleCommand::Remove;
    }
    if (word == L"disabled") {
        return ConsoleCommand::Disabled;
    }
    if (word == L"enable") {
        return ConsoleCommand::Enable;
    }
    return std::nullopt;
}

std::optional<OutputFormat> FormatNamed(const std::wstring& given) {
    const std::wstring word = Folded(given);
    if (word == L"text") {
        return OutputFormat::Text;
    }
    if (word == L"csv") {
        return OutputFormat::Csv;
    }
    if (word == L"json") {
        return OutputFormat::Json;
    }
    return std::nullopt;
}

bool TakesNames(ConsoleCommand command) {
    return command == ConsoleCommand::Disable || command == ConsoleCommand::Remove || command == ConsoleCommand::Enable;
}

} // namespace

const wchar_t* CommandWord(ConsoleCommand command) {
    switch (command) {
    case ConsoleCommand::List:
        return L"list";
    case ConsoleCommand::Disable:
        return L"disable";
    case ConsoleCommand::Remove:
        return L"remove";
    case ConsoleCommand::Disabled:
        return L"disabled";
    case ConsoleCommand::Enable:
        return L"enable";
    case ConsoleCommand::Help:
        return L"--help";
    case ConsoleCommand::Version:
        return L"--version";
    }
    return L"list";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& args) {
    ParsedCommandLine parsed;
    ConsoleOptions& options = parsed.options;
    bool help = false;
    bool version = false;
    bool command_given = false;
    bool names_only = false;
    // The first mistake is the one reported; parsing goes on only to find --help or --version.
    auto fail = [&](std::wstring error) {
        if (parsed.error.empty()) {
            parsed.error = std::move(error);
        }
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool option = !names_only && !arg.empty() && (arg[0] == L'-' || arg == L"/?");
        if (!option) {
            if (!command_given && !names_only) {
                const std::optional<ConsoleCommand> command = CommandNamed(arg);
                if (!command) {
                    fail(L"unknown command \"" + arg + L"\"");
                }
                options.command = command.value_or(ConsoleCommand::List);
                command_given = true;
            } else {
                options.names.push_back(arg);
            }
            continue;
        }
        const std::wstring word = Folded(arg);
        if (arg == L"--") {
            names_only = true;
        } else if (word == L"--help" || word == L"-h" || word == L"/?") {
            help = true;
        } else if (word == L"--version") {
            version = true;
        } else if (word == L"--all") {
            options.all = true;
        } else if (word == L"--dry-run") {
            options.dry_run = true;
        } else if (word == L"--missing-ok") {
            options.missing_ok = true;
        } else if (word == L"--format" || word.rfind(L"--format=", 0) == 0) {
            std::wstring value;
            if (word == L"--format") {
                if (i + 1 >= args.size()) {
                    fail(L"--format needs a value: text, csv or json");
                    continue;
                }
                value = args[++i];
            } else {
                value = arg.substr(9);
            }
            const std::optional<OutputFormat> format = FormatNamed(value);
            if (format) {
                options.format = *format;
            } else {
                fail(L"unknown format \"" + value + L"\" (text, csv or json)");
            }
        } else {
            fail(L"unknown option \"" + arg + L"\"");
        }
    }
    if (help || version) {
        parsed.error.clear();
        options.command = help ? ConsoleCommand::Help : ConsoleCommand::Version;
        return parsed;
    }
    if (!parsed.ok()) {
        return parsed;
    }
    if (names_only && !command_given) {
        fail(L"names need a command before them: disable, remove or enable");
    } else if (!TakesNames(options.command)) {
        if (!options.names.empty()) {
            fail(std::wstring(CommandWord(options.command)) + L" takes no names");
        } else if (options.all) {
            fail(std::wstring(CommandWord(options.command)) + L" takes no --all");
        } else if (options.missing_ok) {
            fail(std::wstring(CommandWord(options.command)) + L" takes no --missing-ok");
        }
    } else if (options.all && !options.names.empty()) {
        fail(std::wstring(L"give names or --all to ") + CommandWord(options.command) + L", not both");
    } else if (!options.all && options.names.empty()) {
        fail(std::wstring(L"name the entries to ") + CommandWord(options.command) + L", or give --all");
    }
    return parsed;
}

std::wstring UsageHint() {
    return L"Usage: runsweepc [list | disable NAME...|--all | remove NAME...|--all | disabled | enable NAME...|--all] "
           L"[--format text|csv|json] [--dry-run] [--missing-ok]; runsweepc --help says more.";
}

std::wstring HelpText() {
    return L"runsweepc: finds known unnecessary programs in the Run keys and the Startup folders and "
           L"disables or removes them, without a window.\r\n"
           L"\r\n"
           L"  runsweepc [list]            what the scan finds: name, places, command, description\r\n"
           L"  runsweepc disable NAME...   records each entry where MSConfig can re-enable it, then\r\n"
           L"                              takes it out of every Run key that holds it and moves its\r\n"
           L"                              files out of the Startup folders into %windir%\\pss\r\n"
           L"  runsweepc disable --all     the same for every entry the scan finds\r\n"
           L"  runsweepc remove NAME...    takes each entry out of every Run key and Startup folder,\r\n"
           L"                              without a record: a shortcut is deleted, any other file\r\n"
           L"                              goes to the Recycle Bin\r\n"
           L"  runsweepc remove --all      the same for every entry the scan finds\r\n"
           L"  runsweepc disabled          the records of disabled entries (by Runsweep or MSConfig):\r\n"
           L"                              name, date disabled, places, command, and why a record\r\n"
           L"                              cannot be re-enabled when it cannot\r\n"
           L"  runsweepc enable NAME...    puts each recorded entry back in every Run key it came\r\n"
           L"                              from, or its file back in its Startup folder, then deletes\r\n"
           L"                              its record (NAME: the record's name; a file's name or path)\r\n"
           L"  runsweepc enable --all      the same for every record\r\n"
           L"\r\n"
           L"Options:\r\n"
           L"  --format text|csv|json      text (the default): aligned columns; csv: RFC 4180 with a\r\n"
           L"                              header row of json's keys; json: an array of objects\r\n"
           L"  --dry-run                   say what would be done, change nothing\r\n"
           L"  --missing-ok                a NAME not found (for enable: not disabled) counts as\r\n"
           L"                              done, with a note on stderr, so that machines without\r\n"
           L"                              the entry do not report a failure\r\n"
           L"  --help, --version\r\n"
           L"  --                          every later argument is a name, even one beginning with '-'\r\n"
           L"Commands and options may be written in any letter case (LIST, --Format CSV).\r\n"
           L"\r\n"
           L"Places are HKCU's Run key and HKLM's, in its 64-bit view and, on 64-bit Windows, its 32-bit\r\n"
           L"view (\"HKLM (32-bit)\"), and the Startup folders of the user (\"Startup folder\") and of\r\n"
           L"all users (\"Startup folder (all users)\"), where every file but desktop.ini belongs to the\r\n"
           L"entry named as the file without its extension. The scan lists an entry once however many\r\n"
           L"places hold it. In text, an entry in several places takes one line per place (per file in a\r\n"
           L"folder), each with that place's command (a shortcut's target and arguments); the name and\r\n"
           L"description are on the first. In csv and json, an entry is one record: \"places\" lists them\r\n"
           L"all (joined with \"; \" in csv), \"command\" is the first place's, and json's \"commands\"\r\n"
           L"gives every place's command (and a folder's file). A command that is not text is left empty\r\n"
           L"(null).\r\n"
           L"In csv, a cell that begins with =, +, -, @, a tab or a carriage return begins with an\r\n"
           L"apostrophe, so that a spreadsheet shows it as text instead of running it as a formula\r\n"
           L"(any program can write its own Run value); text and json show every cell as it is.\r\n"
           L"\r\n"
           L"NAME is compared as the registry compares names, without regard to letter case. Entries are\r\n"
           L"acted on in the order the scan lists them; each is reported on one line: done, not done\r\n"
           L"and why, or with --dry-run what would be done. Reasons also go to stderr, as do the custom\r\n"
           L"list's messages (custom.txt beside runsweepc.exe extends the catalogue, as for Runsweep).\r\n"
           L"The records of disabled entries are shown like the list: a line per place in text, one\r\n"
           L"record each in csv and json.\r\n"
           L"\r\n"
           L"Exit status: 0 everything asked was done, or there was nothing to do; 1 at least one entry\r\n"
           L"was not done (or not found), a Run key could not be read, the output could not be written,\r\n"
           L"another copy of Runsweep was changing entries (runsweepc waits a few seconds for it first),\r\n"
           L"or runsweepc could not run; 2 the command line is wrong.\r\n";
}

std::wstring VersionText() {
    return L"runsweepc " RUNSWEEP_VERSION_TEXT L"\r\n";
}

} // namespace runsweep
