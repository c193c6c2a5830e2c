#include "registry/memory_folder_files.h"

#include "registry/name_case.h"

#include <utility>

namespace runsweep {

namespace {

std::wstring Folded(const std::wstring& path) {
    return RegistryUpcase(path);
}

// The volume a path lies on: its drive, or the server and share of a UNC path.
std::wstring VolumeOf(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') {
        return Folded(path.substr(0, 2));
    }
    if (path.rfind(L"\\\\", 0) == 0) {
        const std::size_t server = path.find(L'\\', 2);
        const std::size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        return Folded(path.substr(0, share));
    }
    return std::wstring();
}

} // namespace

MemoryFolderFiles::MemoryFolderFiles()
    : user_folder_(L"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"),
      common_folder_(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"),
      backup_folder_(L"C:\\Windows\\pss") {
    AddFolder(user_folder_);
    AddFolder(common_folder_);
    AddFolder(L"C:\\Windows");
}

void MemoryFolderFiles::SetKnownFolder(StartupFolder folder, std::wstring path) {
    (folder == StartupFolder::User ? user_folder_ : common_folder_) = std::move(path);
}

void MemoryFolderFiles::SetBackupFolder(std::wstring path) {
    backup_folder_ = std::move(path);
}

void MemoryFolderFiles::AddFolder(const std::wstring& path) {
    for (std::wstring folder = path; !folder.empty(); folder = ParentFolder(folder)) {
        folders_.emplace(Folded(folder), folder);
        if (folder.size() <= 3) {
            break;
        }
    }
}

void MemoryFolderFiles::PutFile(const std::wstring& path, std::vector<unsigned char> bytes,
                                std::optional<Shortcut> shortcut) {
    AddFolder(ParentFolder(path));
    files_[Folded(path)] = File{path, std::move(bytes), std::move(shortcut)};
}

std::optional<std::vector<unsigned char>> MemoryFolderFiles::FileBytes(const std::wstring& path) const {
    const auto it = files_.find(Folded(path));
    if (it == files_.end()) {
        return std::nullopt;
    }
    return it->second.bytes;
}

std::vector<std::wstring> MemoryFolderFiles::AllFiles() const {
    std::vector<std::wstring> paths;
    for (const auto& [key, file] : files_) {
        paths.push_back(file.path);
    }
    return paths;
}

bool MemoryFolderFiles::FolderExists(const std::wstring& path) const {
    return folders_.count(Folded(path)) != 0;
}

std::optional<long> MemoryFolderFiles::FaultFor(FileOp op, const std::wstring& path, const std::wstring& to) {
    for (Fault& fault : faults_) {
        const FileFaultRule& rule = fault.rule;
        if ((rule.op && *rule.op != op) ||
            (rule.path && !SameFileName(*rule.path, path) && !(op == FileOp::Move && SameFileName(*rule.path, to)))) {
            continue;
        }
        ++fault.matched;
        if (rule.nth == 0 || rule.nth == fault.matched) {
            return rule.status;
        }
    }
    return std::nullopt;
}

long MemoryFolderFiles::Finish(FileOp op, const std::wstring& path, const std::wstring& to, long status) {
    log_.push_back(FileCall{op, path, to, status});
    return status;
}

long MemoryFolderFiles::DoKnownFolderPath(StartupFolder folder, std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::KnownFolder, L"", L""); fault && *fault != kSuccess) {
        return Finish(FileOp::KnownFolder, L"", L"", *fault);
    }
    path = folder == StartupFolder::User ? user_folder_ : common_folder_;
    return Finish(FileOp::KnownFolder, path, L"", kSuccess);
}

long MemoryFolderFiles::DoBackupFolderPath(std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::BackupFolder, L"", L""); fault && *fault != kSuccess) {
        return Finish(FileOp::BackupFolder, L"", L"", *fault);
    }
    path = backup_folder_;
    return Finish(FileOp::BackupFolder, path, L"", kSuccess);
}

long MemoryFolderFiles::DoList(const std::wstring& folder, std::vector<std::wstring>& names) {
    if (const auto fault = FaultFor(FileOp::List, folder, L""); fault && *fault != kSuccess) {
        return Finish(FileOp::List, folder, L"", *fault);
    }
    if (!FolderExists(folder)) {
        return Finish(FileOp::List, folder, L"", kPathNotFound);
    }
    const std::wstring key = Folded(folder);
    for (const auto& [path, file] : files_) {
        if (Folded(ParentFolder(file.path)) == key) {
            names.push_back(FileNameOf(file.path));
        }
    }
    return Finish(FileOp::List, folder, L"", kSuccess);
}

long MemoryFolderFiles::DoExists(const std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::Exists, path, L""); fault && *fault != kSuccess) {
        return Finish(FileOp::Exists, path, L"", *fault);
    }
    const bool there = files_.count(Folded(path)) != 0 || FolderExists(path);
    return Finish(FileOp::Exists, path, L"", there ? kSuccess : kFileNotFound);
}

long MemoryFolderFiles::DoRead(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) {
    if (const auto fault = FaultFor(FileOp::Read, path, L""); fault && *fault != kSuccess) {
        return Finish(FileOp::Read, path, L"", *fault);
    }
    const auto it = files_.find(Folded(path));
    if (it == files_.end()) {
        return Finish(FileOp::Read, path, L"", FolderExists(path) ? kAccessDenied : kFileNotFound);
    }
    if (it->second.bytes.size() > limit) {
        return Finish(FileOp::Read, path, L"", kMoreData);
    }
    bytes = it->second.bytes;
    return Finish(FileOp::Read, path, L"", kSuccess);
}

long MemoryFolderFiles::DoMove(const std::wstring& from, const std::wstring& to) {
    if (const auto fault = FaultFor(FileOp::Move, from, to)) {
        return Finish(FileOp::Move, from, to, *fault);
    }
    const auto it = files_.find(Folded(from));
    if (it == files_.end()) {
        return Finish(FileOp::Move, from, to, FolderExists(ParentFolder(from)) ? kFileNotFound : kPathNotFound);
    }
    if (files_.count(Folded(to)) != 0 || FolderExists(to)) {
        return Finish(FileOp::Move, from, to, kAlreadyExists);
    }
    if (!FolderExists(ParentFolder(to))) {
        return Finish(FileOp::Move, from, to, kPathNotFound);
    }
    if (VolumeOf(from) != VolumeOf(to)) {
        return Finish(FileOp::Move, from, to, kNotSameDevice);
    }
    File file = std::move(it->second);
    files_.erase(it);
    file.path = to;
    files_.emplace(Folded(to), std::move(file));
    return Finish(FileOp::Move, from, to, kSuccess);
}

long MemoryFolderFiles::DoDelete(const std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::Delete, path, L"")) {
        return Finish(FileOp::Delete, path, L"", *fault);
    }
    if (files_.erase(Folded(path)) == 0) {
        return Finish(FileOp::Delete, path, L"", FolderExists(path) ? kAccessDenied : kFileNotFound);
    }
    return Finish(FileOp::Delete, path, L"", kSuccess);
}

long MemoryFolderFiles::DoRecycle(const std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::Recycle, path, L"")) {
        return Finish(FileOp::Recycle, path, L"", *fault);
    }
    const auto it = files_.find(Folded(path));
    if (it == files_.end()) {
        return Finish(FileOp::Recycle, path, L"", kFileNotFound);
    }
    recycled_.emplace_back(it->second.path, std::move(it->second.bytes));
    files_.erase(it);
    return Finish(FileOp::Recycle, path, L"", kSuccess);
}

long MemoryFolderFiles::DoMakeFolder(const std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::MakeFolder, path, L"")) {
        return Finish(FileOp::MakeFolder, path, L"", *fault);
    }
    if (files_.count(Folded(path)) != 0) {
        return Finish(FileOp::MakeFolder, path, L"", kAlreadyExists);
    }
    if (!FolderExists(path)) {
        if (!FolderExists(ParentFolder(path))) {
            return Finish(FileOp::MakeFolder, path, L"", kPathNotFound);
        }
        folders_.emplace(Folded(path), path);
    }
    return Finish(FileOp::MakeFolder, path, L"", kSuccess);
}

long MemoryFolderFiles::DoReadShortcut(const std::wstring& path, Shortcut& shortcut) {
    if (const auto fault = FaultFor(FileOp::ReadShortcut, path, L""); fault && *fault != kSuccess) {
        return Finish(FileOp::ReadShortcut, path, L"", *fault);
    }
    const auto it = files_.find(Folded(path));
    if (it == files_.end()) {
        return Finish(FileOp::ReadShortcut, path, L"", kFileNotFound);
    }
    if (!it->second.shortcut) {
        // What the shell says of a file that is no shortcut.
        return Finish(FileOp::ReadShortcut, path, L"", kInvalidData);
    }
    shortcut = *it->second.shortcut;
    return Finish(FileOp::ReadShortcut, path, L"", kSuccess);
}

long MemoryFolderFiles::DoMayChange(const std::wstring& path) {
    if (const auto fault = FaultFor(FileOp::MayChange, path, L""); fault && *fault != kSuccess) {
        return Finish(FileOp::MayChange, path, L"", *fault);
    }
    const bool there = files_.count(Folded(path)) != 0 || FolderExists(ParentFolder(path));
    return Finish(FileOp::MayChange, path, L"", there ? kSuccess : kPathNotFound);
}

} // namespace runsweep
