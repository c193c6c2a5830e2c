#pragma once
// runsweepc's commands over the core: the same catalogue, scan and actions as the window's, with
// what the window would show going to the console instead.
#include "base/message_sink.h"
#include "console/command_line.h"
#include "console/output_format.h"
#include "registry/actions.h"
#include "registry/change_lock.h"
#include "registry/folder_record.h"
#include "registry/scan.h"
#include "registry/startup_record.h"
#include "registry/startup_state.h"

#include <optional>
#include <string>
#include <vector>

namespace runsweep {

struct Catalogue;
class FolderFiles;
class Registry;

// The Startup folders for the commands (none: the Run keys alone), and whether Windows keeps its
// own startup switch (8 and later), which the folders' items are switched off and on in too.
struct FolderAccess {
    FolderFiles* files = nullptr;
    bool keeps_switch = false;
};

// Exit statuses.
inline constexpr int kExitDone = 0;    // everything asked was done, or there was nothing to do
inline constexpr int kExitNotDone = 1; // at least one entry was not done, or the program could not run
inline constexpr int kExitUsage = 2;   // the command line is wrong

// Where runsweepc writes: standard output for the result, standard error for everything else. A
// write that fails (a full disk or share, a closed pipe, no stream at all) is remembered: a script
// must not take a report that never arrived for a run that went well.
class ConsoleStreams {
public:
    virtual ~ConsoleStreams() = default;
    void Out(const std::wstring& text);
    void Err(const std::wstring& text);
    // One line on standard error: "runsweepc: " and the text, its control characters shown as
    // U+FFFD so that nothing from the registry can break or forge a line.
    void ErrLine(const std::wstring& text);
    // The exit status once everything is written: `status`, or kExitNotDone instead of success when
    // a write failed; the reason for a failed standard output is said on standard error.
    int Concluded(int status);

protected:
    // Nothing when the text was written; otherwise why not, in words.
    virtual std::optional<std::wstring> WriteOut(const std::wstring& text) = 0;
    virtual std::optional<std::wstring> WriteErr(const std::wstring& text) = 0;

private:
    std::optional<std::wstring> out_failure_;
    bool err_failed_ = false;
};

// The messages the window would show in a box, as lines on standard error.
class ErrorStreamMessages : public MessageSink {
public:
    explicit ErrorStreamMessages(ConsoleStreams& streams) : streams_(streams) {}
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;

private:
    ConsoleStreams& streams_;
};

// The list's table: one row per entry the scan found, in its order, and for the text format one
// line more for each further place. Each entry's state by Windows' startup switch: "on", "off" or
// "mixed" (the text adds the date and the places switched off), and in JSON each place's switch
// with the time it was switched off. A Startup-folder file's command (a shortcut's target and
// arguments) is read here, for the entries found only.
Table ListTable(const std::vector<FoundStartup>& found, Registry& registry, FolderFiles* files = nullptr);

// One entry a disable or remove was asked for.
struct EntryOutcome {
    std::wstring name;   // the scan's spelling, or the name as given when not found
    std::wstring result; // "done", "not done", "would be done", "would not be done"
    std::wstring details;
    bool missing = false; // not found and counted as done, as --missing-ok asks: said on standard error
    bool Done() const { return result == L"done" || result == L"would be done"; }
};

// Carries out (or with dry_run, foretells) the command for the named entries, or for every entry
// found with all. Names match the scan's rows as the registry compares names; rows are acted on
// in the scan's order, each once however often it is named; names that match no row come last,
// "not done", "not found" (with missing_ok "done", "not found, counted as done"). DisableStartup's
// messages go to messages.
// `all_read`: every place's Run key could be read, so a name not found is not there.
std::vector<EntryOutcome> CarryOutCommand(const ConsoleOptions& options, const std::vector<FoundStartup>& found,
                                          Registry& registry, MessageSink& messages, const FolderAccess& folders = {},
                                          bool all_read = true);

Table OutcomeTable(const std::vector<EntryOutcome>& outcomes, ConsoleCommand command);

// The records of disabled entries, in the order the registry lists them: one row each, and for the
// text format one line more for each further place it puts back. Then the Startup-folder items'
// records, named by their file's name, and the entries only switched off in Task Manager, their
// kind saying so.
Table DisabledTable(const std::vector<StartupRecord>& records,
                    const std::vector<FolderRecord>& folder_records = std::vector<FolderRecord>());
Table DisabledTable(const DisabledItems& items);

// Re-enables (or with dry_run, foretells) the named records, or all of them with all. Names match
// the records' key names as the registry compares names; records are taken in the registry's
// order, each once; names that match no record come last, "not done", "not found" (with missing_ok
// counted as done). A record that cannot be understood is never acted on.
// The Startup-folder items' records follow, named by their file's name or their full path.
std::vector<EntryOutcome> CarryOutEnable(const ConsoleOptions& options, const std::vector<StartupRecord>& records,
                                         Registry& registry,
                                         const std::vector<FolderRecord>& folder_records = std::vector<FolderRecord>(),
                                         const FolderAccess& folders = {});
// The same over the records of both kinds and then the entries only switched off in Task Manager,
// which are switched on and nothing else; a name that is both is taken as its record.
std::vector<EntryOutcome> CarryOutEnable(const ConsoleOptions& options, const DisabledItems& items, Registry& registry,
                                         const FolderAccess& folders = {});

// Usage errors (with the usage hint on standard error), --help and --version, which need neither
// the catalogue nor the registry: the exit status, or nothing when the command needs them.
std::optional<int> AnswerWithoutScan(const ParsedCommandLine& parsed, ConsoleStreams& streams);

// Every command that needs the registry: prints the result and returns the exit status. The
// commands that change entries (not their dry runs) first take `lock`, when given, waiting
// kChangeLockWaitMs for another copy's changes; when they cannot, nothing is changed and the exit
// status is kExitNotDone.
int RunConsoleCommand(const ConsoleOptions& options, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams, const FolderAccess& folders = {}, ChangeLock* lock = nullptr);

// Both of the above in turn, and the exit status concluded from the writes.
int RunConsoleCommand(const ParsedCommandLine& parsed, const Catalogue& catalogue, Registry& registry,
                      ConsoleStreams& streams, const FolderAccess& folders = {}, ChangeLock* lock = nullptr);

} // namespace runsweep
