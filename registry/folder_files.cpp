#include "registry/folder_files.h"

#include "catalogue/text_decoding.h"
#include "registry/name_case.h"

#include <algorithm>
#include <string_view>

namespace runsweep {

namespace {

bool HoldsNul(const std::wstring& text) noexcept {
    return text.find(L'\0') != std::wstring::npos;
}

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

const wchar_t* FolderLabel(StartupFolder folder) noexcept {
    return folder == StartupFolder::User ? L"Startup folder" : L"Startup folder (all users)";
}

Hive FolderHive(StartupFolder folder) noexcept {
    return folder == StartupFolder::User ? Hive::CurrentUser : Hive::LocalMachine;
}

std::wstring LabelList(const std::vector<std::wstring>& labels) {
    std::vector<std::wstring> once;
    for (const std::wstring& label : labels) {
        if (std::find(once.begin(), once.end(), label) == once.end()) {
            once.push_back(label);
        }
    }
    std::wstring text;
    for (std::size_t i = 0; i < once.size(); ++i) {
        if (i > 0) {
            text += i + 1 == once.size() ? L" and " : L", ";
        }
        text += once[i];
    }
    return text;
}

long FolderFiles::KnownFolderPath(StartupFolder folder, std::wstring& path) {
    Count(FileOp::KnownFolder);
    path.clear();
    return DoKnownFolderPath(folder, path);
}

long FolderFiles::BackupFolderPath(std::wstring& path) {
    Count(FileOp::BackupFolder);
    path.clear();
    return DoBackupFolderPath(path);
}

long FolderFiles::List(const std::wstring& folder, std::vector<std::wstring>& names) {
    Count(FileOp::List);
    names.clear();
    if (folder.empty() || HoldsNul(folder)) {
        return kInvalidParameter;
    }
    const long status = DoList(folder, names);
    if (status != kSuccess) {
        names.clear();
    }
    return status;
}

long FolderFiles::Exists(const std::wstring& path) {
    Count(FileOp::Exists);
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoExists(path);
}

long FolderFiles::Read(const std::wstring& path, std::vector<unsigned char>& bytes, std::size_t limit) {
    Count(FileOp::Read);
    bytes.clear();
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoRead(path, bytes, limit);
}

long FolderFiles::Move(const std::wstring& from, const std::wstring& to) {
    Count(FileOp::Move);
    if (from.empty() || to.empty() || HoldsNul(from) || HoldsNul(to)) {
        return kInvalidParameter;
    }
    return DoMove(from, to);
}

long FolderFiles::Delete(const std::wstring& path) {
    Count(FileOp::Delete);
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoDelete(path);
}

long FolderFiles::Recycle(const std::wstring& path) {
    Count(FileOp::Recycle);
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoRecycle(path);
}

long FolderFiles::MakeFolder(const std::wstring& path) {
    Count(FileOp::MakeFolder);
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoMakeFolder(path);
}

long FolderFiles::ReadShortcut(const std::wstring& path, Shortcut& shortcut) {
    Count(FileOp::ReadShortcut);
    shortcut = Shortcut{};
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoReadShortcut(path, shortcut);
}

long FolderFiles::MayChange(const std::wstring& path) {
    Count(FileOp::MayChange);
    return path.empty() || HoldsNul(path) ? kInvalidParameter : DoMayChange(path);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\') {
        return folder + name;
    }
    return folder + L"\\" + name;
}

std::wstring ParentFolder(const std::wstring& path) {
    const std::size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) {
        return std::wstring();
    }
    // "C:\name" lies in "C:\", not in "C:".
    if (cut == 2 && path.size() > 1 && path[1] == L':') {
        return path.substr(0, 3);
    }
    return path.substr(0, cut);
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring FileStem(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

std::wstring FileExtension(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? std::wstring() : name.substr(dot);
}

bool IsStartupItemName(const std::wstring& name) {
    return !name.empty() && !SameFileName(name, L"desktop.ini");
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return RegistryNamesEqual(a, b);
}

ItemKind KindOfItem(const std::wstring& name) {
    const std::wstring extension = FileExtension(name);
    if (SameFileName(extension, L".lnk")) {
        return ItemKind::Link;
    }
    if (SameFileName(extension, L".url")) {
        return ItemKind::InternetShortcut;
    }
    if (SameFileName(extension, L".pif")) {
        return ItemKind::ProgramInformation;
    }
    return ItemKind::File;
}

std::wstring InternetShortcutUrl(const std::vector<unsigned char>& bytes) {
    const std::wstring text =
        DecodeTextFile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())).text;
    bool in_section = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        const std::wstring_view line = Trimmed(std::wstring_view(text).substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == L'[') {
            const std::size_t close = line.find(L']');
            in_section = close != std::wstring_view::npos &&
                         RegistryNamesEqual(Trimmed(line.substr(1, close - 1)), L"InternetShortcut");
            continue;
        }
        const std::size_t equals = line.find(L'=');
        if (in_section && equals != std::wstring_view::npos &&
            RegistryNamesEqual(Trimmed(line.substr(0, equals)), L"URL")) {
            return std::wstring(Trimmed(line.substr(equals + 1)));
        }
    }
    return std::wstring();
}

std::wstring ShortcutCommand(const Shortcut& shortcut) {
    std::wstring command = shortcut.target.find(L' ') == std::wstring::npos || shortcut.target.front() == L'"'
                               ? shortcut.target
                               : L"\"" + shortcut.target + L"\"";
    if (!shortcut.arguments.empty()) {
        command += command.empty() ? shortcut.arguments : L" " + shortcut.arguments;
    }
    return command;
}

long ItemCommand(FolderFiles& files, const std::wstring& path, std::wstring& command) {
    command = path;
    switch (KindOfItem(FileNameOf(path))) {
    case ItemKind::Link: {
        Shortcut shortcut;
        const long status = files.ReadShortcut(path, shortcut);
        if (status == kSuccess && !(shortcut.target.empty() && shortcut.arguments.empty())) {
            command = ShortcutCommand(shortcut);
        }
        return status;
    }
    case ItemKind::InternetShortcut: {
        // An Internet shortcut is a few lines of text; anything far larger is not one.
        std::vector<unsigned char> bytes;
        const long status = files.Read(path, bytes, 64 * 1024);
        const std::wstring url = status == kSuccess ? InternetShortcutUrl(bytes) : std::wstring();
        if (!url.empty()) {
            command = url;
        }
        return status;
    }
    default:
        return kSuccess;
    }
}

} // namespace runsweep
