#pragma once
// The files Windows starts at log-on from the two Startup folders, and the folder a disabled
// item's file is kept in, behind an interface with two implementations: the Win32 one
// (folder_files_win.h) and an in-memory one with fault injection (memory_folder_files.h). As for
// the registry, results are Win32 status codes, so "absent" stays distinguishable from "failed".
#include "registry/registry.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace runsweep {

// Win32 status codes the file operations return besides the registry's.
inline constexpr long kPathNotFound = 3;
inline constexpr long kNotSameDevice = 17;
inline constexpr long kSharingViolation = 32;
inline constexpr long kNotSupported = 50; // Recycle: the file could only have been deleted outright
inline constexpr long kFileExists = 80;
inline constexpr long kAlreadyExists = 183;

// The user's Startup folder (the shell's FOLDERID_Startup) and the one of all users
// (FOLDERID_CommonStartup).
enum class StartupFolder { User, Common };
// "Startup folder" or "Startup folder (all users)", as the program names the places.
const wchar_t* FolderLabel(StartupFolder folder) noexcept;
// The hive whose switch keys hold the folder's items' switches: HKCU's for the user's folder.
Hive FolderHive(StartupFolder folder) noexcept;
// "A", "A and B", "A, B and C", each label once, in the order given.
std::wstring LabelList(const std::vector<std::wstring>& labels);

// One file of a Startup folder: an item Windows starts at log-on.
struct FolderItem {
    StartupFolder folder = StartupFolder::User;
    std::wstring path; // the full path
    std::wstring name; // the file's name, with its extension
};

// What a shortcut (.lnk) starts, as the shell's link object reads it.
struct Shortcut {
    std::wstring target;
    std::wstring arguments;
};

// Every operation, for the per-operation call counters.
enum class FileOp {
    KnownFolder,
    BackupFolder,
    List,
    Exists,
    Read,
    Move,
    Delete,
    Recycle,
    MakeFolder,
    ReadShortcut,
    MayChange
};
inline constexpr std::size_t kFileOpCount = 11;

// The public operations count themselves, refuse paths that hold a NUL (the system would cut them
// there and act on another file) and then call the implementation's Do... function.
class FolderFiles {
public:
    virtual ~FolderFiles() = default;

    // The folder's full path, whether or not it exists.
    long KnownFolderPath(StartupFolder folder, std::wstring& path);
    // Where disabled items' files are kept: %windir%\pss, whether or not it exists.
    long BackupFolderPath(std::wstring& path);
    // The names of the files directly in the folder (not its subfolders), in the order the system
    // gives them; kFileNotFound or kPathNotFound when there is no such folder.
    long List(const std::wstring& folder, std::vector<std::wstring>& names);
    // kSuccess when a file or folder of that path exists, kFileNotFound when none does (also when
    // the folder above it is missing), any other status when the system could not tell.
    long Exists(const std::wstring& path);
    // The whole file, if it holds at most `limit` bytes; kMoreData when it holds more.
    long Read(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit);
    // Renames a file within its volume, never replacing one: kAlreadyExists (or kFileExists) when
    // `to` exists, kNotSameDevice when it lies on another volume. One step: the file is at one
    // name or the other, whatever happens meanwhile.
    long Move(const std::wstring& from, const std::wstring& to);
    // Deletes a file outright.
    long Delete(const std::wstring& path);
    // Moves a file to the Recycle Bin, where the user can restore it; kNotSupported, with nothing
    // changed, when the system could only delete it outright.
    long Recycle(const std::wstring& path);
    // Makes a folder; kSuccess also when it exists already.
    long MakeFolder(const std::wstring& path);
    // What a shortcut file starts, read through the shell's link object without resolving it.
    long ReadShortcut(const std::wstring& path, Shortcut& shortcut);
    // kSuccess when this user may take the file at `path` out of its folder (move, delete or
    // recycle it) or, where there is none, put one there (a move's target); otherwise the refusal
    // (kAccessDenied, kSharingViolation) the change would meet. Changes nothing. A dry run asks this
    // so that it foretells what the real run will meet.
    long MayChange(const std::wstring& path);

    std::size_t CallCount(FileOp op) const noexcept { return calls_[static_cast<std::size_t>(op)]; }
    void ResetCallCounts() noexcept { calls_.fill(0); }

protected:
    virtual long DoKnownFolderPath(StartupFolder folder, std::wstring& path) = 0;
    virtual long DoBackupFolderPath(std::wstring& path) = 0;
    virtual long DoList(const std::wstring& folder, std::vector<std::wstring>& names) = 0;
    virtual long DoExists(const std::wstring& path) = 0;
    virtual long DoRead(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) = 0;
    virtual long DoMove(const std::wstring& from, const std::wstring& to) = 0;
    virtual long DoDelete(const std::wstring& path) = 0;
    virtual long DoRecycle(const std::wstring& path) = 0;
    virtual long DoMakeFolder(const std::wstring& path) = 0;
    virtual long DoReadShortcut(const std::wstring& path, Shortcut& shortcut) = 0;
    virtual long DoMayChange(const std::wstring& path) = 0;

private:
    void Count(FileOp op) noexcept { ++calls_[static_cast<std::size_t>(op)]; }
    std::array<std::size_t, kFileOpCount> calls_{};
};

// The two folders, in the order the program looks in them.
inline constexpr std::array<StartupFolder, 2> kStartupFolders = {StartupFolder::User, StartupFolder::Common};

// Paths and names, as Windows writes them ('\' between the parts).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
std::wstring ParentFolder(const std::wstring& path); // empty when there is no '\'
std::wstring FileNameOf(const std::wstring& path);
// The name without its extension: "Adobe Gamma Loader.lnk" gives "Adobe Gamma Loader". A name
// whose only dot is its first character (".hidden") has no extension.
std::wstring FileStem(const std::wstring& name);
// The extension with its dot (".lnk"), or empty.
std::wstring FileExtension(const std::wstring& name);
// Every file of a Startup folder is an item except the folder's own desktop.ini, which Explorer
// keeps there for the folder's look and which Windows does not start.
bool IsStartupItemName(const std::wstring& name);
// Whether two paths or file names name the same file, letters compared without regard to case.
bool SameFileName(const std::wstring& a, const std::wstring& b);

// What kind of file an item is: a shortcut the shell's link object reads (.lnk), an Internet
// shortcut (.url), a shortcut to an MS-DOS program (.pif), or anything else (a program or script
// placed in the folder itself).
enum class ItemKind { Link, InternetShortcut, ProgramInformation, File };
ItemKind KindOfItem(const std::wstring& name);
// A shortcut of any kind: only a pointer to something else, so taking it out loses nothing.
inline bool IsShortcut(ItemKind kind) noexcept {
    return kind != ItemKind::File;
}

// The URL an Internet shortcut opens: "URL=" in its [InternetShortcut] section. The file is an INI
// file in the ANSI code page, or UTF-16 with a byte-order mark. Empty when there is none.
std::wstring InternetShortcutUrl(const std::vector<unsigned char>& bytes);

// What a shortcut file (.lnk) starts, read from its bytes in the layout the shell writes: true with
// the target (the local path the file records, with its suffix) and the arguments when the file
// says them plainly; false when only the shell can tell (the target kept only as a shell item or
// in environment strings, on a network share, in another code page than ASCII, or a file that is
// no shortcut or is cut short). Starting the shell's link object costs more than a whole scan, so
// it is asked only for those.
bool ReadShortcutBytes(const std::vector<unsigned char>& bytes, Shortcut& shortcut);

// A shortcut's command line as a person would type it: the target, in quotes when it holds a
// space, then the arguments.
std::wstring ShortcutCommand(const Shortcut& shortcut);

// The command line an item starts: a shortcut's target and arguments (from its bytes, else through
// the shell's link object), an Internet shortcut's URL, any other file's own path. An item whose
// shortcut cannot be read is shown by its own path (it is what Windows opens), and the status says
// why.
long ItemCommand(FolderFiles& files, const std::wstring& path, std::wstring& command);

} // namespace runsweep
