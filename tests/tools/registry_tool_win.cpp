// Runs the registry operations of the program on the real registry, for the end-to-end tests:
//
//   registry_tool scan                 the rows the scan finds with the built-in catalogue, one
//                                      value name per line
//   registry_tool disable <name>...    disables each name in turn; prints "<outcome> <status>" per
//                                      name, and "message: <text>" for every message shown
//   registry_tool remove <name>...     removes each name in turn; prints "<outcome> <status>"
//
// Output is UTF-8, one line each, without carriage returns. Exit status 2 for bad usage.
#include "app/message_sink.h"
#include "catalogue/catalogue.h"
#include "listbox/startup_list.h"
#include "registry/actions.h"
#include "registry/registry_win.h"
#include "registry/scan.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <memory>
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
    case ActionOutcome::Failed:
        return L"Failed";
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

int Run(const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return 2;
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
    try {
        return Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        Print(L"error: " + std::wstring(error.what(), error.what() + std::strlen(error.what())));
        return 1;
    }
}
