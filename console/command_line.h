#pragma once
// runsweepc's command line: what to do, on which entries, in which output format.
#include <string>
#include <vector>

namespace runsweep {

enum class ConsoleCommand { List, Disable, Remove, Disabled, Enable, Help, Version };
enum class OutputFormat { Text, Csv, Json };

struct ConsoleOptions {
    ConsoleCommand command = ConsoleCommand::List;
    OutputFormat format = OutputFormat::Text;
    bool dry_run = false;
    bool all = false;
    bool missing_ok = false;         // a name not found counts as done
    std::vector<std::wstring> names; // as given, in order
    // Not from the command line: the running Windows keeps its own startup switch (Windows 8 and
    // later), which runsweepc then reads, and switches off and on with Disable and Re-enable.
    bool keeps_switch = false;
};

struct ParsedCommandLine {
    ConsoleOptions options;
    // Empty when the command line is usable; otherwise what is wrong with it, one sentence.
    std::wstring error;
    bool ok() const { return error.empty(); }
};

// The arguments after the program's own name. Options may come anywhere; "--" makes every later
// argument a name, so a name that begins with '-' can be given. "--help" (or "-h", "/?") and
// "--version" win over anything else on the line, mistakes included. Commands, options and format
// names are taken in any letter case; names as given.
ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& args);

// The command as the command line names it: "list", "disable", ...
const wchar_t* CommandWord(ConsoleCommand command);

// The one line shown after a usage error.
std::wstring UsageHint();
// The text of --help.
std::wstring HelpText();
// The text of --version: the program and its one version.
std::wstring VersionText();

} // namespace runsweep
