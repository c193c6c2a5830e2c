#pragma once
// Folders and files in memory with the semantics the program relies on (see folder_files.h), for
// tests and for running the core without Windows. Like the in-memory registry it can fail chosen
// calls with chosen status codes and logs every call. Paths compare without regard to case; the
// drive ("C:") stands for the volume.
#include "registry/folder_files.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace runsweep {

// Which calls a fault hits. Unset fields match anything.
struct FileFaultRule {
    std::optional<FileOp> op;
    std::optional<std::wstring> path; // the path the call names (for Move, either one)
    std::size_t nth = 0;              // 0: every matching call; n: only the n-th matching call
    // The status the call returns instead of doing its work. For a change, kSuccess makes the call
    // report success while changing nothing: a change the storage dropped.
    long status = kAccessDenied;
};

struct FileCall {
    FileOp op;
    std::wstring path;
    std::wstring to; // for Move
    long status;
};

class MemoryFolderFiles final : public FolderFiles {
public:
    // The folders of a Windows of today for a user "User": both Startup folders exist, the backup
    // folder %windir%\pss does not (the first Disable makes it).
    MemoryFolderFiles();

    void SetKnownFolder(StartupFolder folder, std::wstring path);
    // The folder's path, without a call (and so without faults or a log entry).
    const std::wstring& KnownFolder(StartupFolder folder) const noexcept {
        return folder == StartupFolder::User ? user_folder_ : common_folder_;
    }
    void SetBackupFolder(std::wstring path);
    // Makes the folder and every folder above it.
    void AddFolder(const std::wstring& path);
    // Puts a file (its folder made if need be), replacing any of that name; a shortcut's target
    // for ReadShortcut, when it is one.
    void PutFile(const std::wstring& path, std::vector<unsigned char> bytes,
                 std::optional<Shortcut> shortcut = std::nullopt);
    // The file's bytes, or nothing when there is no such file.
    std::optional<std::vector<unsigned char>> FileBytes(const std::wstring& path) const;
    // Every file's path, in order of their upper-cased paths.
    std::vector<std::wstring> AllFiles() const;
    // The files moved to the Recycle Bin, with their bytes, in order.
    const std::vector<std::pair<std::wstring, std::vector<unsigned char>>>& RecycleBin() const noexcept {
        return recycled_;
    }

    void AddFault(FileFaultRule rule) { faults_.push_back(Fault{std::move(rule), 0}); }
    void ClearFaults() noexcept { faults_.clear(); }
    const std::vector<FileCall>& Log() const noexcept { return log_; }
    void ClearLog() noexcept { log_.clear(); }

protected:
    long DoKnownFolderPath(StartupFolder folder, std::wstring& path) override;
    long DoBackupFolderPath(std::wstring& path) override;
    long DoList(const std::wstring& folder, std::vector<std::wstring>& names) override;
    long DoExists(const std::wstring& path) override;
    long DoRead(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) override;
    long DoMove(const std::wstring& from, const std::wstring& to) override;
    long DoDelete(const std::wstring& path) override;
    long DoRecycle(const std::wstring& path) override;
    long DoMakeFolder(const std::wstring& path) override;
    long DoReadShortcut(const std::wstring& path, Shortcut& shortcut) override;
    // Meets the faults made for it or for every operation on the path: a rule without an operation
    // is a file this user may not change, as the probe then finds.
    long DoMayChange(const std::wstring& path) override;

private:
    struct File {
        std::wstring path; // as it was created
        std::vector<unsigned char> bytes;
        std::optional<Shortcut> shortcut;
    };
    struct Fault {
        FileFaultRule rule;
        std::size_t matched;
    };

    std::optional<long> FaultFor(FileOp op, const std::wstring& path, const std::wstring& to);
    long Finish(FileOp op, const std::wstring& path, const std::wstring& to, long status);
    bool FolderExists(const std::wstring& path) const;

    std::wstring user_folder_;
    std::wstring common_folder_;
    std::wstring backup_folder_;
    std::map<std::wstring, std::wstring> folders_; // by upper-cased path: the path as made
    std::map<std::wstring, File> files_;           // by upper-cased path
    std::vector<std::pair<std::wstring, std::vector<unsigned char>>> recycled_;
    std::vector<Fault> faults_;
    std::vector<FileCall> log_;
};

} // namespace runsweep
