#pragma once
// The record of a disabled startup entry: one key per entry under HKLM
// "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg", named after the Run value, always in the
// 64-bit view (where the System Configuration utility of 64-bit Windows reads it).
//
// A record keeps one command per place (HKCU's Run key, HKLM's in either view): the one that was in
// that place's Run key at the most recent Disable. So it never holds more than three commands, however
// often an entry is disabled and written back.
//
// The five values the System Configuration utility itself writes and reads name one place and its
// command: "command", "hkey" ("HKCU" or "HKLM"), "inimapping" ("0"), "item" (the value name) and
// "key" (the Run key's path, with "Wow6432Node" for HKLM's 32-bit view). The utility also writes the
// date it disabled the entry as REG_DWORD values YEAR, MONTH, DAY, HOUR, MINUTE and SECOND.
//
// This program keeps more in values of its own, which the utility ignores:
//   RunsweepType                REG_DWORD, the type of "command" (REG_SZ 1 or REG_EXPAND_SZ 2)
//   RunsweepCommand<P>, RunsweepType<P>
//                               the command and type of every other place P the entry was taken out
//                               of, P being HKCU, HKLM or HKLM32 (HKLM's 32-bit view); the type is
//                               written before the command, so a place counts once its command is in
// Older versions of this program kept further places by number instead (RunsweepCommand<i>,
// RunsweepHkey<i>, RunsweepKey<i>, RunsweepType<i> for i = 2 ... RunsweepPlaces), sometimes several
// for one place; such records are read with the last one of each place as its newest, and are
// rewritten in the form above the next time this program changes them.
//
// Every change to a record is one value at a time, in an order where each record in between reads
// whole and keeps, for every place, either its command before or its command after the change (see
// PlanRecordChanges); so a record is never left half-written in a way that loses a command.
#include "registry/registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace runsweep {

inline constexpr const wchar_t* kStartupRecordRoot = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
// "key" of a record for HKCU's or HKLM's 64-bit Run key, and for HKLM's 32-bit one.
inline constexpr const wchar_t* kRecordRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRecordRunKey32 = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

// One command a record can put back, and where.
struct RecordedPlace {
    RunPlace place = RunPlace::CurrentUser;
    std::wstring command;
    unsigned long type = kRegSz; // REG_SZ or REG_EXPAND_SZ
};

inline bool operator==(const RecordedPlace& a, const RecordedPlace& b) {
    return a.place == b.place && a.command == b.command && a.type == b.type;
}

// Local time, as the date values hold it.
struct RecordTime {
    unsigned long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct StartupRecord {
    std::wstring key_name; // the record key's own name: the Run value name
    std::wstring item;     // "item" as stored (the utility writes an exe name there)
    // One per place. places[0] is the place the five standard values name, when they name one.
    std::vector<RecordedPlace> places;
    std::optional<RecordTime> disabled_at;
    // Empty when the record is understood; otherwise why not (no command, a hive or key that is
    // not one of the Run keys, ...). A record not understood is never acted on and never changed.
    std::wstring problem;
    // All five standard values are there. A record without them all was written by hand or by an
    // older tool (the utility and this program write all five).
    bool complete = false;
    // Some value of it holds a command, understood or not. A record key that keeps no command is
    // what an interrupted first Disable leaves before its first command is in: nothing to lose.
    bool keeps_commands = false;
    // The place the five standard values name, when they are there and name one.
    std::optional<RunPlace> standard_place;
    // "command", "hkey" and "key" as stored, to show a record that is not understood.
    std::wstring raw_command, raw_hkey, raw_key;

    bool Understood() const { return problem.empty(); }
    // The command a record keeps for a place, if it keeps one.
    const RecordedPlace* Find(RunPlace place) const;
};

// The record's path under HKLM.
std::wstring StartupRecordPath(const std::wstring& key_name);

// The place a record's "hkey" and "key" name; nothing when they name no Run key of this program.
// "key" compares without regard to case; an absent "key" (older records) names the Run key.
std::optional<RunPlace> PlaceOfRecord(const std::wstring& hkey, const std::wstring& key);
// "hkey" and "key" for a place.
const wchar_t* RecordHkey(RunPlace place) noexcept;
const wchar_t* RecordKey(RunPlace place) noexcept;

// Every value of a record key as stored, in enumeration order.
struct RecordImage {
    std::vector<std::pair<std::wstring, RegValue>> values;

    // Names compare as the registry compares them.
    const RegValue* Find(std::wstring_view name) const;
    void Set(const std::wstring& name, const RegValue& value);
    void Erase(std::wstring_view name);
};

// What a record key's values say.
StartupRecord ParseStartupRecord(const std::wstring& key_name, const RecordImage& image);
long ReadRecordImage(Registry& registry, const RegKey& key, RecordImage& image);

// Reads the record of that name. kFileNotFound when there is none; kSuccess with
// record.problem set when there is one that cannot be understood; any other status when it could
// not be read. `image`, when given, receives the values as stored.
long ReadStartupRecord(Registry& registry, const std::wstring& key_name, StartupRecord& record,
                       RecordImage* image = nullptr);

// Every record under the record root, in enumeration order; an empty list when the root does not
// exist. Records that cannot be read at all are listed with a problem.
long ListStartupRecords(Registry& registry, std::vector<StartupRecord>& records);

// One value of a record key, before and after a change (nothing: no such value).
struct RecordChange {
    std::wstring name;
    std::optional<RegValue> before;
    std::optional<RegValue> after;
};

// The changes that make the record key holding `image` the record of `places` (places[0] the one
// its standard values name; at most one per place), dated `when` when given, in the order they must
// be made. Values this program does not know are left alone. The image must be one this program
// understands or one that keeps no command.
//
// Each record between two changes reads whole, and keeps for every place either its command before
// or its command after; a place whose command stays is never out of it, and no other place ever
// shows. Undoing the changes in reverse order passes through the same records.
std::vector<RecordChange> PlanRecordChanges(const RecordImage& image, const std::wstring& key_name,
                                            const std::vector<RecordedPlace>& places,
                                            const std::optional<RecordTime>& when);

// The image after the first `count` changes.
RecordImage AppliedChanges(RecordImage image, const std::vector<RecordChange>& changes, std::size_t count);

// Makes the changes one by one on the open record key, reading each back; stops at the first that
// fails or does not read back as made (kInvalidData). `made` is how many may have taken effect,
// the failed one included.
long MakeRecordChanges(Registry& registry, const RegKey& key, const std::vector<RecordChange>& changes,
                       std::size_t& made);
// Takes back the first `made` changes, last first, each read back; stops at the first that fails,
// which leaves one of the records the changes passed through.
long UndoRecordChanges(Registry& registry, const RegKey& key, const std::vector<RecordChange>& changes,
                       std::size_t made);

// A record's values as this program writes them.
RegValue RecordText(const std::wstring& text);
RegValue RecordNumber(unsigned long number);

} // namespace runsweep
