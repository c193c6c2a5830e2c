// Runs the registry operations of the program on the real registry, for the end-to-end tests:
//
//   registry_tool scan                 the rows the scan finds with the built-in catalogue, one
//                                      value name per line
//   registry_tool disable <name>...    disables each name in turn; prints "<outcome> <status>" per
//                                      name, and "message: <text>" for every message shown
//   registry_tool remove <name>...     removes each name in turn; prints "<outcome> <status>"
//   registry_tool set <HKCU|HKLM\path> <name> <type> <data>
//                                      writes one value exactly, creating the key if need be. Type
//                                      sz, expand_sz or multi_sz: the data's UTF-16 units as given,
//                                      no terminator added (so "" is a value of no bytes; for other
//                                      text the registry may add one, so give it); binary: hex
//                                      digits; dword: a decimal number; none: no data
//   registry_tool dump <HKCU|HKLM\path>
//                                      every value of the key, one per line: name, type number and
//                                      data, tab-separated; names and text data escaped (below),
//                                      every unit of the data shown, its terminator too; other data
//                                      as hex. "absent" and exit status 1 when the key does not exist
//   registry_tool dump-tree <HKCU|HKLM\path>...
//                                      the same for the key and every key below it, each after a
//                                      line "[path]"
//                                      (several keys: each after a line "== <key>")
//   registry_tool delete-values <key>  deletes every value of the key, if it exists
//   registry_tool delete-tree <key>    deletes the key and every key below it, if it exists
//   registry_tool hold-lock <ms>       holds the lock every copy of the program takes to change
//                                      entries for that long; prints "held" once it has it
//   registry_tool batch <file>         runs the commands of a UTF-8 file, one a line, arguments
//                                      separated by tabs; stops at the first that fails
//   registry_tool folder <user|common|pss>
//                                      the Startup folder's path (as the program finds it), or
//                                      %windir%\pss
//   registry_tool shortcut <path.lnk> <target> [arguments]
//                                      writes a shortcut through the shell's link object, as an
//                                      installer does
//   registry_tool read-shortcut <path> the command the program reads from an item: a shortcut's
//                                      target and arguments, a .url's URL, or the file's own path
//   Key paths may also begin "HKLM32\": HKLM in the 32-bit view of the registry.
//
// A name, data or dump's key argument "@<file>" stands for the file's contents as UTF-8, NULs and
// all: that is how names of 16,383 characters, control characters and a megabyte of data get past
// the command line. Escaped text: units below U+0020, U+007F and '%' as %XX, the rest as UTF-8.
//
// Output is UTF-8, one line each, without carriage returns. Exit status 2 for bad usage.
#include "app/scan_startups.h"
#include "base/message_sink.h"
#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/actions.h"
#include "registry/change_lock_win.h"
#include "registry/folder_files_win.h"
#include "registry/registry_win.h"

#include <windows.h>

#include "tests/win/shell_link_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace runsweep;

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

const wchar_t* OutcomeName(ActionOutcome outcome) {
    switch (outcome) {
    case ActionOutcome::Done:
        return L"Done";
    case ActionOutcome::AlreadyGone:
        return L"AlreadyGone";
    case ActionOutcome::NeedsAdministrator:
        return L"NeedsAdministrator";
    case ActionOutcome::RecordFailed:
        return L"RecordFailed";
    case ActionOutcome::NameNotRecordable:
        return L"NameNotRecordable";
    case ActionOutcome::CommandNotText:
        return L"CommandNotText";
    case ActionOutcome::Failed:
        return L"Failed";
    case ActionOutcome::Partial:
        return L"Partial";
    case ActionOutcome::EarlierRecordDamaged:
        return L"EarlierRecordDamaged";
    }
    return L"?";
}

class PrintedMessages final : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon) override { Print(L"message: " + text); }
};

class PrintedRows final : public StartupList {
public:
    void AddItem(const std::wstring& sValue, const std::wstring&) override {
        Print(sValue);
        ++count_;
    }
    int ListCount() const override { return count_; }
    std::wstring GetChoice(int) const override { return StartupAction::kNone; }
    std::wstring GetValue(int) const override { return std::wstring(); }

private:
    int count_ = 0;
};

void PrintResult(const ActionResult& result) {
    Print(std::wstring(OutcomeName(result.outcome)) + L" " + std::to_wstring(result.status));
}

std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) {
        return std::wstring();
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

// The argument itself, or with "@" the contents of the file it names.
std::wstring Argument(const std::wstring& arg) {
    if (arg.empty() || arg[0] != L'@') {
        return arg;
    }
    FILE* file = ::_wfopen(arg.substr(1).c_str(), L"rb");
    if (file == nullptr) {
        throw std::runtime_error("cannot read an @ file");
    }
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return FromUtf8(bytes);
}

bool SplitPath(const std::wstring& full, Hive& hive, std::wstring& path, RegView& view) {
    view = RegView::k64;
    if (full.rfind(L"HKCU\\", 0) == 0) {
        hive = Hive::CurrentUser;
    } else if (full.rfind(L"HKLM\\", 0) == 0) {
        hive = Hive::LocalMachine;
    } else if (full.rfind(L"HKLM32\\", 0) == 0) {
        hive = Hive::LocalMachine;
        view = RegView::k32;
        path = full.substr(7);
        return true;
    } else {
        return false;
    }
    path = full.substr(5);
    return true;
}

std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text) {
        if (c < 0x20 || c == 0x7F || c == L'%') {
            wchar_t code[4];
            std::swprintf(code, 4, L"%%%02X", static_cast<unsigned>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Hex(const std::vector<unsigned char>& bytes) {
    std::wstring out;
    for (const unsigned char b : bytes) {
        wchar_t code[3];
        std::swprintf(code, 3, L"%02x", static_cast<unsigned>(b));
        out += code;
    }
    return out;
}

int SetValue(const std::vector<std::wstring>& args) {
    Hive hive;
    std::wstring path;
    RegView view;
    if (args.size() != 5 || !SplitPath(args[1], hive, path, view)) {
        return 2;
    }
    const std::wstring name = Argument(args[2]);
    const std::wstring& type = args[3];
    const std::wstring data = Argument(args[4]);
    unsigned long type_number = kRegNone;
    std::vector<unsigned char> bytes;
    if (type == L"sz" || type == L"expand_sz" || type == L"multi_sz") {
        type_number = type == L"sz" ? kRegSz : type == L"expand_sz" ? kRegExpandSz : kRegMultiSz;
        for (const wchar_t c : data) { // every unit, embedded NULs too
            bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
        }
    } else if (type == L"binary") {
        type_number = kRegBinary;
        if (data.size() % 2 != 0) {
            return 2;
        }
        for (std::size_t i = 0; i < data.size(); i += 2) {
            bytes.push_back(static_cast<unsigned char>(std::stoul(data.substr(i, 2), nullptr, 16)));
        }
    } else if (type == L"dword") {
        type_number = kRegDword;
        const unsigned long number = std::stoul(data);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<unsigned char>((number >> shift) & 0xFF));
        }
    } else if (type != L"none") {
        return 2;
    }
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    RegKey key;
    long status = registry->CreateKey(hive, path, key, view);
    if (status == kSuccess) {
        status = registry->SetValue(key, name, type_number, bytes);
    }
    if (status != kSuccess) {
        Print(L"error " + std::to_wstring(status));
        return 1;
    }
    return 0;
}

// The values of one key; with `tree`, a "[path]" line before them and every subkey after them, the
// same way, in enumeration order.
int DumpKey(Registry& registry, Hive hive, RegView view, const std::wstring& path, bool tree) {
    RegKey key;
    long status = registry.OpenKey(hive, path, KeyAccess::Query, key, view);
    if (status == kFileNotFound) {
        Print(L"absent");
        return 1;
    }
    if (tree) {
        Print(L"[" + Escaped(path) + L"]");
    }
    std::vector<std::wstring> names;
    if (status == kSuccess) {
        status = registry.EnumValueNames(key, names);
    }
    for (const std::wstring& name : names) {
        RegValue value;
        if (status == kSuccess) {
            status = registry.ReadValue(key, name, value);
        }
        if (status != kSuccess) {
            break;
        }
        std::wstring data;
        if (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz) {
            for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
                data += static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
            }
            data = Escaped(data);
            if (value.data.size() % 2 != 0) {
                data += L" +" + Hex({value.data.back()});
            }
        } else {
            data = Hex(value.data);
        }
        Print(Escaped(name) + L"\t" + std::to_wstring(value.type) + L"\t" + data);
    }
    std::vector<std::wstring> subkeys;
    if (status == kSuccess && tree) {
        status = registry.EnumSubKeyNames(key, subkeys);
    }
    if (status != kSuccess) {
        Print(L"error " + std::to_wstring(status));
        return 1;
    }
    for (const std::wstring& subkey : subkeys) {
        if (DumpKey(registry, hive, view, path + L"\\" + subkey, true) != 0) {
            return 1;
        }
    }
    return 0;
}

int Dump(const std::vector<std::wstring>& args, bool tree) {
    if (args.size() < 2 || (!tree && args.size() != 2)) {
        return 2;
    }
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    int status = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        Hive hive;
        std::wstring path;
        RegView view;
        if (!SplitPath(Argument(args[i]), hive, path, view)) {
            return 2;
        }
        if (tree && args.size() > 2) {
            Print(L"== " + args[i]);
        }
        status = std::max(status, DumpKey(*registry, hive, view, path, tree));
    }
    return status;
}

// Deletes every value of the key; with `tree`, the key itself and everything below it instead.
long DeleteKeyContents(Registry& registry, Hive hive, RegView view, const std::wstring& path, bool tree) {
    RegKey key;
    long status = registry.OpenKey(hive, path, KeyAccess::Write, key, view);
    if (status == kFileNotFound) {
        return kSuccess;
    }
    std::vector<std::wstring> names;
    if (status == kSuccess) {
        status = tree ? registry.EnumSubKeyNames(key, names) : registry.EnumValueNames(key, names);
    }
    for (const std::wstring& name : names) {
        if (status == kSuccess) {
            status = tree ? DeleteKeyContents(registry, hive, view, path + L"\\" + name, true)
                          : registry.DeleteValue(key, name);
        }
    }
    key.reset();
    if (status == kSuccess && tree) {
        status = registry.DeleteKey(hive, path, view);
    }
    return status;
}

int Delete(const std::vector<std::wstring>& args, bool tree) {
    Hive hive;
    std::wstring path;
    RegView view;
    if (args.size() != 2 || !SplitPath(Argument(args[1]), hive, path, view)) {
        return 2;
    }
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    const long status = DeleteKeyContents(*registry, hive, view, path, tree);
    if (status != kSuccess) {
        Print(L"error " + std::to_wstring(status));
        return 1;
    }
    return 0;
}

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = line.find(L'\t', at);
        fields.push_back(line.substr(at, tab - at));
        if (tab == std::wstring::npos) {
            return fields;
        }
        at = tab + 1;
    }
}

int Run(const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return 2;
    }
    if (args[0] == L"batch" && args.size() == 2) {
        const std::wstring text = Argument(L"@" + args[1]);
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find(L'\n', at);
            end = end == std::wstring::npos ? text.size() : end;
            const std::wstring line = text.substr(at, end - at);
            at = end + 1;
            if (line.empty()) {
                continue;
            }
            const int status = Run(SplitTabs(line));
            if (status != 0) {
                Print(L"batch: failed: " + line);
                return status;
            }
        }
        return 0;
    }
    if (args[0] == L"delete-values" || args[0] == L"delete-tree") {
        return Delete(args, args[0] == L"delete-tree");
    }
    if (args[0] == L"hold-lock" && args.size() == 2) {
        // Another copy changing entries for a while: prints "held" once it holds the lock.
        const std::unique_ptr<ChangeLock> lock = MakeMachineChangeLock();
        if (!lock->Acquire(kChangeLockWaitMs)) {
            Print(L"busy");
            return 1;
        }
        Print(L"held");
        ::Sleep(static_cast<DWORD>(std::wcstoul(args[1].c_str(), nullptr, 10)));
        return 0;
    }
    if (args[0] == L"folder" && args.size() == 2) {
        const std::unique_ptr<FolderFiles> files = MakeWin32FolderFiles();
        std::wstring path;
        const long status = args[1] == L"pss"    ? files->BackupFolderPath(path)
                            : args[1] == L"user" ? files->KnownFolderPath(StartupFolder::User, path)
                                                 : files->KnownFolderPath(StartupFolder::Common, path);
        Print(status == kSuccess ? path : L"error " + std::to_wstring(status));
        return status == kSuccess ? 0 : 1;
    }
    if (args[0] == L"shortcut" && (args.size() == 3 || args.size() == 4)) {
        const HRESULT hr = test_support::WriteShortcut(Argument(args[1]), Argument(args[2]),
                                                       args.size() == 4 ? Argument(args[3]) : std::wstring());
        if (FAILED(hr)) {
            Print(L"error " + std::to_wstring(static_cast<unsigned long>(hr)));
            return 1;
        }
        return 0;
    }
    if (args[0] == L"read-shortcut" && args.size() == 2) {
        const std::unique_ptr<FolderFiles> files = MakeWin32FolderFiles();
        std::wstring command;
        const long status = ItemCommand(*files, Argument(args[1]), command);
        Print(status == kSuccess ? command : L"error " + std::to_wstring(status));
        return status == kSuccess ? 0 : 1;
    }
    const std::unique_ptr<Registry> registry = MakeWin32Registry();
    if (args[0] == L"scan" && args.size() == 1) {
        Catalogue catalogue;
        BuildCatalogue(catalogue);
        PrintedRows rows;
        ScanStartups(catalogue, *registry, rows);
        return 0;
    }
    if (args[0] == L"disable" && args.size() > 1) {
        PrintedMessages messages;
        for (std::size_t i = 1; i < args.size(); ++i) {
            PrintResult(DisableStartup(*registry, args[i], messages));
        }
        return 0;
    }
    if (args[0] == L"set") {
        return SetValue(args);
    }
    if (args[0] == L"dump" || args[0] == L"dump-tree") {
        return Dump(args, args[0] == L"dump-tree");
    }
    if (args[0] == L"remove" && args.size() > 1) {
        for (std::size_t i = 1; i < args.size(); ++i) {
            PrintResult(RemoveStartup(*registry, args[i]));
        }
        return 0;
    }
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int status = 1;
    try {
        status = Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        Print(L"error: " + std::wstring(error.what(), error.what() + std::strlen(error.what())));
    }
    // The tests tell a failure reported here from a run that never got this far (Wine now and then
    // fails to start a process on a loaded machine, silently): only the first is an answer.
    if (status != 0) {
        std::fprintf(stderr, "registry_tool: exit %d\n", status);
    }
    return status;
}
