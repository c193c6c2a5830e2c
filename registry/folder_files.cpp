#include "registry/folder_files.h"

#include "catalogue/text_decoding.h"
#include "registry/name_case.h"

#include <algorithm>
#include <array>
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

namespace {

// The fixed parts of a shortcut file: its header, and the link information's fields.
constexpr std::size_t kLinkHeaderSize = 0x4C;
constexpr std::array<unsigned char, 16> kLinkClassId = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr unsigned long kHasTargetIdList = 0x1;
constexpr unsigned long kHasLinkInfo = 0x2;
constexpr unsigned long kHasName = 0x4;
constexpr unsigned long kHasRelativePath = 0x8;
constexpr unsigned long kHasWorkingDir = 0x10;
constexpr unsigned long kHasArguments = 0x20;
constexpr unsigned long kIsUnicode = 0x80;
constexpr unsigned long kForceNoLinkInfo = 0x100;
constexpr unsigned long kHasExpString = 0x200;
constexpr unsigned long kVolumeIdAndLocalBasePath = 0x1;
constexpr std::size_t kLinkInfoUnicodeHeaderSize = 0x24;

// Little-endian reads that fail, rather than read past the end.
class ByteReader {
public:
    explicit ByteReader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    bool Has(std::size_t at, std::size_t count) const { return at <= bytes_.size() && count <= bytes_.size() - at; }
    bool U16(std::size_t at, unsigned long& value) const {
        if (!Has(at, 2)) {
            return false;
        }
        value = static_cast<unsigned long>(bytes_[at]) | (static_cast<unsigned long>(bytes_[at + 1]) << 8);
        return true;
    }
    bool U32(std::size_t at, unsigned long& value) const {
        unsigned long low = 0;
        unsigned long high = 0;
        if (!U16(at, low) || !U16(at + 2, high)) {
            return false;
        }
        value = low | (high << 16);
        return true;
    }
    // A NUL-terminated string from `at` to no further than `end`: ASCII bytes, or UTF-16 units.
    bool Terminated(std::size_t at, std::size_t end, bool wide, std::wstring& text) const {
        text.clear();
        const std::size_t unit = wide ? 2 : 1;
        for (std::size_t i = at; i + unit <= end && Has(i, unit); i += unit) {
            unsigned long c = bytes_[i];
            if (wide) {
                U16(i, c);
            }
            if (c == 0) {
                return true;
            }
            if (!wide && c >= 0x80) {
                return false; // the code page's to say, so the shell's
            }
            text.push_back(static_cast<wchar_t>(c));
        }
        return false;
    }
    // One counted string of the string data at `at`, moving `at` past it. The text ends at a NUL
    // within the count, as the shell's copy of it does (some writers count a closing NUL).
    bool Counted(std::size_t& at, bool wide, std::wstring& text) const {
        unsigned long count = 0;
        if (!U16(at, count)) {
            return false;
        }
        const std::size_t unit = wide ? 2 : 1;
        const std::size_t start = at + 2;
        const std::size_t end = start + count * unit;
        if (!Has(start, count * unit)) {
            return false;
        }
        std::wstring read;
        // Whole when it holds no NUL; otherwise cut there, with no byte beyond the ASCII range
        // before it either way.
        if (!Terminated(start, end, wide, read) && read.size() != count) {
            return false;
        }
        text = std::move(read);
        at = end;
        return true;
    }

private:
    const std::vector<unsigned char>& bytes_;
};

} // namespace

bool ReadShortcutBytes(const std::vector<unsigned char>& bytes, Shortcut& shortcut) {
    const ByteReader in(bytes);
    unsigned long header_size = 0;
    unsigned long flags = 0;
    if (!in.U32(0, header_size) || header_size != kLinkHeaderSize || !in.Has(0, kLinkHeaderSize) ||
        !std::equal(kLinkClassId.begin(), kLinkClassId.end(), bytes.begin() + 4) || !in.U32(0x14, flags)) {
        return false;
    }
    if ((flags & kHasLinkInfo) == 0 || (flags & (kForceNoLinkInfo | kHasExpString)) != 0) {
        return false;
    }
    std::size_t at = kLinkHeaderSize;
    if ((flags & kHasTargetIdList) != 0) {
        unsigned long id_list_size = 0;
        if (!in.U16(at, id_list_size) || !in.Has(at + 2, id_list_size)) {
            return false;
        }
        at += 2 + id_list_size;
    }
    const std::size_t info = at;
    unsigned long info_size = 0;
    unsigned long info_header_size = 0;
    unsigned long info_flags = 0;
    unsigned long base_offset = 0;
    unsigned long suffix_offset = 0;
    if (!in.U32(info, info_size) || !in.Has(info, info_size) || !in.U32(info + 4, info_header_size) ||
        info_header_size > info_size || !in.U32(info + 8, info_flags) || !in.U32(info + 16, base_offset) ||
        !in.U32(info + 24, suffix_offset)) {
        return false;
    }
    if ((info_flags & kVolumeIdAndLocalBasePath) == 0) {
        return false; // on a network share: the shell joins its parts
    }
    const std::size_t info_end = info + info_size;
    bool wide = false;
    if (info_header_size >= kLinkInfoUnicodeHeaderSize) {
        unsigned long wide_base = 0;
        unsigned long wide_suffix = 0;
        if (!in.U32(info + 0x1C, wide_base) || !in.U32(info + 0x20, wide_suffix)) {
            return false;
        }
        wide = true;
        base_offset = wide_base;
        suffix_offset = wide_suffix;
    }
    std::wstring base;
    std::wstring suffix;
    if (base_offset < info_header_size || suffix_offset < info_header_size ||
        !in.Terminated(info + base_offset, info_end, wide, base) ||
        !in.Terminated(info + suffix_offset, info_end, wide, suffix) || base.empty()) {
        return false;
    }
    at = info_end;

    // The string data, each present as the flags say, in this order; only the arguments matter here.
    const bool unicode = (flags & kIsUnicode) != 0;
    std::wstring arguments;
    for (const unsigned long flag : {kHasName, kHasRelativePath, kHasWorkingDir, kHasArguments}) {
        if ((flags & flag) == 0) {
            continue;
        }
        std::wstring text;
        if (!in.Counted(at, unicode, text)) {
            return false;
        }
        if (flag == kHasArguments) {
            arguments = std::move(text);
        }
    }
    shortcut.target = base + suffix;
    shortcut.arguments = std::move(arguments);
    return true;
}

long ItemCommand(FolderFiles& files, const std::wstring& path, std::wstring& command) {
    command = path;
    switch (KindOfItem(FileNameOf(path))) {
    case ItemKind::Link: {
        Shortcut shortcut;
        // A shortcut is a few hundred bytes; one far larger is left to the shell.
        std::vector<unsigned char> bytes;
        if (files.Read(path, bytes, 64 * 1024) == kSuccess && ReadShortcutBytes(bytes, shortcut)) {
            command = ShortcutCommand(shortcut);
            return kSuccess;
        }
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
