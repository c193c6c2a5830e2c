#pragma once
// A registry, and the Startup folders' files, that "die" after a chosen number of changes, to stand
// for the process being killed there: every call goes to the real store, and the limit-th
// successful change, of the registry or of a file, throws Died.
#include "registry/folder_files.h"
#include "registry/registry.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace runsweep::contract {

// Thrown by DyingRegistry and DyingFiles: the process ends on the spot, nothing after it runs.
struct Died {};

// The count of changes the registry and the files share: one process, one count.
class KillSwitch {
public:
    explicit KillSwitch(std::size_t limit) : limit_(limit) {}
    std::size_t Changes() const noexcept { return changes_; }
    void Changed() {
        if (++changes_ == limit_) {
            throw Died{};
        }
    }

private:
    std::size_t limit_;
    std::size_t changes_ = 0;
};

// Passes every call to another registry and "dies" right after its limit-th successful change
// (create, set, delete), which stands for the process being killed there. A limit of 0 never dies.
class DyingRegistry final : public Registry {
public:
    DyingRegistry(Registry& store, std::size_t limit) : store_(store), own_(limit), kill_(own_) {}
    // Counting with the files' changes.
    DyingRegistry(Registry& store, KillSwitch& shared) : store_(store), own_(0), kill_(shared) {}
    std::size_t Changes() const noexcept { return kill_.Changes(); }
    bool HasTwoViews() const noexcept override { return store_.HasTwoViews(); }

protected:
    long DoOpenKey(Hive hive, RegView view, const std::wstring& path, KeyAccess access,
                   std::uintptr_t& handle) override {
        RegKey key;
        const long status = store_.OpenKey(hive, path, access, key, view);
        if (status == kSuccess) {
            handle = Keep(std::move(key));
        }
        return status;
    }
    long DoCreateKey(Hive hive, RegView view, const std::wstring& path, std::uintptr_t& handle) override {
        RegKey key;
        const long status = store_.CreateKey(hive, path, key, view);
        if (status == kSuccess) {
            handle = Keep(std::move(key));
            Changed();
        }
        return status;
    }
    long DoDeleteKey(Hive hive, RegView view, const std::wstring& path) override {
        const long status = store_.DeleteKey(hive, path, view);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoEnumSubKeyName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        return store_.EnumSubKeyName(keys_.at(handle), index, name);
    }
    long DoQueryValue(std::uintptr_t handle, const std::wstring& name, unsigned long* type, unsigned char* data,
                      unsigned long* size) override {
        return store_.QueryValue(keys_.at(handle), name, type, data, size);
    }
    long DoSetValue(std::uintptr_t handle, const std::wstring& name, unsigned long type, const unsigned char* data,
                    std::size_t size) override {
        const std::vector<unsigned char> bytes(data, data + size);
        const long status = store_.SetValue(keys_.at(handle), name, type, bytes);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoDeleteValue(std::uintptr_t handle, const std::wstring& name) override {
        const long status = store_.DeleteValue(keys_.at(handle), name);
        if (status == kSuccess) {
            Changed();
        }
        return status;
    }
    long DoEnumValueName(std::uintptr_t handle, unsigned long index, std::wstring& name) override {
        return store_.EnumValueName(keys_.at(handle), index, name);
    }
    long DoCountValues(std::uintptr_t handle, unsigned long& count) override {
        return store_.CountValues(keys_.at(handle), count);
    }
    long DoFlushKey(std::uintptr_t handle) override { return store_.FlushKey(keys_.at(handle)); }
    void DoCloseKey(std::uintptr_t handle) noexcept override { keys_.erase(handle); }

private:
    std::uintptr_t Keep(RegKey key) {
        keys_.emplace(next_, std::move(key));
        return next_++;
    }
    void Changed() { kill_.Changed(); }

    Registry& store_;
    KillSwitch own_;
    KillSwitch& kill_;
    std::map<std::uintptr_t, RegKey> keys_;
    std::uintptr_t next_ = 1;
};

// Passes every call to the real files; a move, delete, recycle or new folder that took counts as a
// change.
class DyingFiles final : public FolderFiles {
public:
    DyingFiles(FolderFiles& store, KillSwitch& kill) : store_(store), kill_(kill) {}

protected:
    long DoKnownFolderPath(StartupFolder folder, std::wstring& path) override {
        return store_.KnownFolderPath(folder, path);
    }
    long DoBackupFolderPath(std::wstring& path) override { return store_.BackupFolderPath(path); }
    long DoList(const std::wstring& folder, std::vector<std::wstring>& names) override {
        return store_.List(folder, names);
    }
    long DoExists(const std::wstring& path) override { return store_.Exists(path); }
    long DoRead(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) override {
        return store_.Read(path, bytes, limit);
    }
    long DoMove(const std::wstring& from, const std::wstring& to) override { return Counted(store_.Move(from, to)); }
    long DoDelete(const std::wstring& path) override { return Counted(store_.Delete(path)); }
    long DoRecycle(const std::wstring& path) override { return Counted(store_.Recycle(path)); }
    long DoMakeFolder(const std::wstring& path) override {
        // Making a folder that exists changes nothing.
        const bool there = store_.Exists(path) == kSuccess;
        const long status = store_.MakeFolder(path);
        return there ? status : Counted(status);
    }
    long DoReadShortcut(const std::wstring& path, Shortcut& shortcut) override {
        return store_.ReadShortcut(path, shortcut);
    }
    long DoMayChange(const std::wstring& path) override { return store_.MayChange(path); }

private:
    long Counted(long status) {
        if (status == kSuccess) {
            kill_.Changed();
        }
        return status;
    }

    FolderFiles& store_;
    KillSwitch& kill_;
};

} // namespace runsweep::contract
