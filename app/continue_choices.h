#pragma once
// "Continue": carries out the choice of every row of the startup list, then says what happened.
// The closing message claims success only when every chosen action took effect; otherwise it names
// each entry that was not changed, says why, and says that the rest were done.
#include "app/action_reason.h"
#include "base/message_sink.h"
#include "registry/actions.h"
#include "registry/entry_actions.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace runsweep {

class FolderFiles;
class Registry;
class StartupList;

// When runsweepc or another copy of the window is changing startup entries and does not finish soon.
inline constexpr const wchar_t* kAnotherCopyChangingMessage =
    L"Another copy of Runsweep or runsweepc is changing startup entries. Nothing was changed: try again when it "
    L"has finished.";

inline constexpr const wchar_t* kAllActionsDoneMessage =
    L"All actions executed succesfully! Changes will take effect after the system is restarted.";

enum class ChosenAction { Disable, Remove };

// One row whose choice was "disable" or "remove", and what the action did.
struct ActionRecord {
    int row = 0;
    std::wstring value;
    ChosenAction action = ChosenAction::Disable;
    ActionResult result;                   // in the Run keys
    std::vector<FolderActionRecord> files; // in the Startup folders

    bool TookEffect() const;
};

using StartupActionFn = std::function<EntryResult(const std::wstring& sValue)>;

// Reads the rows once, from the first to the last (the count read once), then carries out their
// choices in row order: "disable" calls disable, "remove" calls remove, each with the row's value;
// any other choice ("none", "", another spelling or letter case) does nothing, and such rows are not
// asked for their value. Every choice and value is read before the first action, so nothing an
// action's message loop does to the list meanwhile changes what is carried out, and the list is not
// touched again. Returns the actions carried out, in row order.
std::vector<ActionRecord> CarryOutChoices(const StartupList& list, const StartupActionFn& disable,
                                          const StartupActionFn& remove);

// The same through the registry actions; DisableStartup's own per-entry messages go to messages.
// `keeps_switch`: Windows keeps its startup switch, which Disable then switches off.
std::vector<ActionRecord> CarryOutChoices(const StartupList& list, Registry& registry, MessageSink& messages,
                                          bool keeps_switch = false);
// And the Startup folders' files of each entry too; `clock` where Windows keeps its switch, which
// Disable then switches off in the Run keys and the folders alike.
std::vector<ActionRecord> CarryOutChoices(const StartupList& list, Registry& registry, FolderFiles& files,
                                          MessageSink& messages, const SwitchClock& clock);

// A row's name and choice, kept while the list is filled again.
struct NamedChoice {
    std::wstring value;
    std::wstring choice;
};
std::vector<NamedChoice> ChoicesByName(const StartupList& list);

// The choice each row of a list filled again should show, or "" to keep the default: "none" for a
// name re-enabled in this run (Continue must not switch off what the user just switched on), else
// the choice the user had made for that name before. Names compare as the registry compares them.
std::vector<std::wstring> PresetChoices(const StartupList& list, const std::vector<NamedChoice>& before,
                                        const std::vector<std::wstring>& reenabled);

// Entries that came out alike: one line each, with what they share said once before and after.
struct MessageGroup {
    std::wstring heading; // may be empty
    std::vector<std::wstring> lines;
    std::wstring advice; // may be empty
};

// A message that may list many entries. Paragraphs: the opening, each group, the closing.
struct ClosingMessage {
    std::wstring opening;
    std::vector<MessageGroup> groups;
    std::wstring closing;
    // Where every entry can be seen when the message names only some of them.
    std::wstring whereAll;
    MessageIcon icon = MessageIcon::Information;

    std::size_t EntryLines() const;
    // The message naming at most `listed` entries, the first ones: a group that names fewer than
    // it holds says how many more, and the message then says where to see them all. Headings and
    // advice always stay.
    std::wstring Text(std::size_t listed = static_cast<std::size_t>(-1)) const;
};

// A value name as a message shows it: long names by their beginning and length, the empty name
// by a phrase.
std::wstring ShownName(const std::wstring& value);

// kAllActionsDoneMessage (information icon) when every action took effect, also when there were
// none; otherwise one error message naming every entry that was not changed, one per line with its
// action and place, grouped by the reason: the entries a place needing administrator rights kept,
// then each other reason in row order. The reason and the advice are said once per group. An entry
// whose startup switch could not be switched off is told with its whole sentence, place by place.
ClosingMessage ComposeClosingMessage(const std::vector<ActionRecord>& actions);

// Entries grouped by a reason: one entry alone is one line, "name: reason"; several share it,
// said once after their names ("Each: reason").
void AddReasonGroups(std::vector<MessageGroup>& groups,
                     const std::vector<std::pair<std::wstring, std::wstring>>& namesAndReasons);

} // namespace runsweep
