#pragma once
// The record of a disabled Startup-folder item, as the System Configuration utility keeps it: one
// key per file under HKLM "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupfolder", always in the
// 64-bit view, named after the file's full path with every '\' written as '^'
// ("C:^ProgramData^...^Startup^Adobe Gamma Loader.lnk"). Its REG_SZ values:
//   path             the file's full path, where Re-enable puts it back
//   location         the folder's path; in records of Windows XP "Startup" or "Common Startup"
//   item             the file's name without its extension
//   command          what the item starts (a shortcut's target and arguments)
//   backup           the full path the file was moved to, under %windir%\pss
//   backupExtension  ".Startup" or ".CommonStartup", which the backup's name ends in; records of
//                    Windows XP have none, and their backup's name ends in "Startup" or
//                    "Common Startup" without a dot
// and the date of the Disable as REG_DWORD values YEAR, MONTH, DAY, HOUR, MINUTE and SECOND.
#include "registry/folder_files.h"
#include "registry/registry.h"
#include "registry/startup_record.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace runsweep {

inline constexpr const wchar_t* kFolderRecordRoot = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// The record key's name for the file at `path`.
std::wstring FolderRecordKeyName(const std::wstring& path);
// The record's path under HKLM.
std::wstring FolderRecordPath(const std::wstring& key_name);
// Whether a record key can bear the name: not empty, at most 255 characters (a path with '\' in
// it can only come from elsewhere: a '\' never survives FolderRecordKeyName).
bool IsFolderRecordKeyName(const std::wstring& key_name);

// ".Startup" or ".CommonStartup".
const wchar_t* BackupExtension(StartupFolder folder) noexcept;
// "Startup" or "Common Startup": the location of a record of Windows XP.
const wchar_t* OldLocation(StartupFolder folder) noexcept;

struct FolderRecord {
    std::wstring key_name;
    std::wstring path;
    std::wstring location;
    std::wstring item;
    std::wstring command;
    std::wstring backup;
    std::wstring backup_extension; // empty in a record of Windows XP
    std::optional<RecordTime> disabled_at;
    // The folder the record says the file came from, when it says (FolderOfRecord).
    std::optional<StartupFolder> folder;
    // Empty when the record is understood; otherwise why not. A record not understood is never
    // acted on.
    std::wstring problem;

    bool Understood() const { return problem.empty(); }
};

// Which folder a record names: by its backupExtension, else by a location of Windows XP, else by
// the ending of its backup's name; nothing when none of them says.
std::optional<StartupFolder> FolderOfRecord(const std::wstring& backup_extension, const std::wstring& location,
                                            const std::wstring& backup);

// What a record key of that name held before it was written over.
struct EarlierFolderRecord {
    bool existed = false;
    std::vector<std::pair<std::wstring, RegValue>> values; // of the values a record writes, those it held
};

// Writes every value of the record (the date from `now`), reads each back and flushes the key, so
// that the file is moved only once its record is on disk. kSuccess, or the status of the call that
// failed, after taking back what this call wrote (RestoreFolderRecord). `earlier`, when given,
// receives what the key held before.
long WriteFolderRecord(Registry& registry, const FolderRecord& record, const RecordTime& now,
                       EarlierFolderRecord* earlier = nullptr);

// Puts the record key back as it was before WriteFolderRecord: deleted when there was none, else
// with the values it held (and without those it did not).
long RestoreFolderRecord(Registry& registry, const std::wstring& key_name, const EarlierFolderRecord& earlier);

// Reads the record of that key name: kFileNotFound when there is none; kSuccess with
// record.problem set when it cannot be understood; any other status when it could not be read.
long ReadFolderRecord(Registry& registry, const std::wstring& key_name, FolderRecord& record);

// Every record under the root, in enumeration order; none when the root does not exist. Records
// that cannot be read at all are listed with a problem.
long ListFolderRecords(Registry& registry, std::vector<FolderRecord>& records);

// Deletes the record's key; kSuccess also when there is none.
long DeleteFolderRecord(Registry& registry, const std::wstring& key_name);

} // namespace runsweep
