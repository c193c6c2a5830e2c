#pragma once
// The record of a disabled startup entry: one key per entry under HKLM
// "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg", named after the Run value, always in the
// 64-bit view (where the System Configuration utility of 64-bit Windows reads it).
//
// The five values the System Configuration utility itself writes and reads name one place and its
// command: "command", "hkey" ("HKCU" or "HKLM"), "inimapping" ("0"), "item" (the value name) and
// "key" (the Run key's path, with "Wow6432Node" for HKLM's 32-bit view). The utility also writes the
// date it disabled the entry as REG_DWORD values YEAR, MONTH, DAY, HOUR, MINUTE and SECOND.
//
// This program keeps more in values of its own, which the utility ignores:
//   RunsweepType          REG_DWORD, the Run value's type when it is not REG_SZ
//   RunsweepPlaces        REG_DWORD, how many places the record keeps when more than one; written
//                         last, so places 2 and up count only once all their values are in
//   RunsweepCommand<i>, RunsweepHkey<i>, RunsweepKey<i>, RunsweepType<i>
//                         place i (2, 3, ...): a command the same name had in another Run key, or
//                         had there when an earlier record of the name was made
// Records written by the utility or by older versions hold one place and stay readable as before.
#include "registry/registry.h"

#include <optional>
#include <string>
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
    std::wstring key_name;             // the record key's own name: the Run value name
    std::wstring item;                 // "item" as stored (the utility writes an exe name there)
    std::vector<RecordedPlace> places; // places[0] is the one the five standard values name
    std::optional<RecordTime> disabled_at;
    // Empty when the record is understood; otherwise why not (no command, a hive or key that is
    // not one of the Run keys, ...). A record not understood is never acted on.
    std::wstring problem;
    // All five standard values are there. A record without them all was cut short while it was
    // written (the utility and every version of this program write all five).
    bool complete = false;
    // "command", "hkey" and "key" as stored, to show a record that is not understood.
    std::wstring raw_command, raw_hkey, raw_key;

    bool Understood() const { return problem.empty(); }
};

// The record's path under HKLM.
std::wstring StartupRecordPath(const std::wstring& key_name);

// The place a record's "hkey" and "key" name; nothing when they name no Run key of this program.
// "key" compares without regard to case; an absent "key" (older records) names the Run key.
std::optional<RunPlace> PlaceOfRecord(const std::wstring& hkey, const std::wstring& key);
// "hkey" and "key" for a place.
const wchar_t* RecordHkey(RunPlace place) noexcept;
const wchar_t* RecordKey(RunPlace place) noexcept;

// Reads the record of that name. kFileNotFound when there is none; kSuccess with
// record.problem set when there is one that cannot be understood; any other status when it could
// not be read.
long ReadStartupRecord(Registry& registry, const std::wstring& key_name, StartupRecord& record);

// Every record under the record root, in enumeration order; an empty list when the root does not
// exist. Records that cannot be read at all are listed with a problem.
long ListStartupRecords(Registry& registry, std::vector<StartupRecord>& records);

} // namespace runsweep
