#pragma once
// Finding the catalogue's entries in the Run keys and the Startup folders, and reading a Run value's
// command line.
#include "registry/folder_files.h"
#include "registry/registry.h"
#include "registry/startup_approved.h"

#include <cstddef>
#include <string>
#include <vector>

namespace runsweep {

struct Catalogue;

// True when any place (HKCU's Run key, HKLM's in either view) holds a value of that name, whatever
// its type or length. The empty name is never looked up (it would address a Run key's unnamed
// default value).
bool IsStartupPresent(Registry& registry, const std::wstring& sValue);

// The value's text: string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) read whole, however long, and
// cut at its first NUL. Data of any other type is no command line and reads as the empty text. The
// empty text also when the key cannot be opened or the value does not exist.
std::wstring ReadRegString(Registry& registry, Hive hive, const std::wstring& path, const std::wstring& name);

// As above, and says why: kSuccess when the value exists (even if its text is empty),
// kFileNotFound when the key or the value does not, any other status when the read failed.
long ReadRegString(Registry& registry, Hive hive, const std::wstring& path, const std::wstring& name,
                   std::wstring& text);

// The text of string-typed data up to its first NUL; empty for other types.
std::wstring DecodeRegString(const RegValue& value);

// One entry the scan found: the catalogue entry, the value's name and every place that holds it.
struct FoundStartup {
    std::size_t index = 0; // the catalogue index
    // The catalogue's spelling of the name; for an entry that names a prefix, the value's own name.
    std::wstring name;
    std::wstring description;
    std::vector<RunPlace> places; // in the order of RunPlaces
    // Windows' switch of each place, in the order of `places`; empty until ReadStartupSwitches
    // (startup_state.h) reads them, and on a Windows that keeps none.
    std::vector<StartupSwitch> switches;
    // The Startup folders' files of that name (without their extension): the user's folder's first,
    // each folder's in the order it lists them.
    std::vector<FolderItem> files;
    // Windows' switch of each file, in the order of `files`; read with `switches`.
    std::vector<StartupSwitch> file_switches;
};

// The places that hold the entry as the program names them: "HKCU", "HKLM", "HKLM (32-bit)",
// "Startup folder", "Startup folder (all users)"; a folder once however many of its files match.
std::vector<std::wstring> EntryPlaceLabels(const FoundStartup& entry);

// Every catalogue entry with a name that a Run key holds, in catalogue order. A Run value is found
// once, for the first entry that names it, whichever places hold it: a name listed twice in the
// catalogue, or by a prefix that an earlier entry's value also begins with, adds nothing new.
// Each Run key is opened and enumerated once, names are matched in memory, and each candidate is
// confirmed by one query of the real key, so the registry's own name comparison has the last
// word. (A Run key with more values than the catalogue has names, when the catalogue names no
// prefix, is asked name by name instead, which is cheaper.) The number of registry calls is
// bounded by what the Run keys hold, not by the catalogue's size.
//
// With `files`, the Startup folders too: each is listed once, and every file but desktop.ini
// matches an entry by its name without the extension, as Windows compares names. A name found in
// Run keys and folders alike is one entry. Nothing is read from the files themselves.
//
// A Run key that exists but cannot be read (no rights to it, a failed query) holds entries the scan
// cannot see: such places go to `unreadable`, when given, with the status that stopped them, so
// that nobody is told nothing was found where nothing could be looked at.
struct UnreadablePlace {
    RunPlace place = RunPlace::CurrentUser;
    long status = kSuccess;
};
std::vector<FoundStartup> FindStartups(const Catalogue& catalogue, Registry& registry, FolderFiles* files = nullptr,
                                       std::vector<UnreadablePlace>* unreadable = nullptr);

} // namespace runsweep
