// The Win32 file system, the Startup folders' files and the CP_ACP decoder, against Wine's (or
// Windows') real files.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win_handles_win.h"
#include "catalogue/ansi.h"
#include "catalogue/custom_list.h"
#include "registry/folder_files_win.h"
#include "registry_contract.h"
#include "win/shell_link_win.h"

namespace runsweep {
namespace {

// Custom line i lands here plus i: just after both built-in tables.
const std::size_t kFirst = FirstCustomIndex();

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::wstring& text, MessageIcon icon) override { shown.emplace_back(text, icon); }
    std::vector<std::pair<std::wstring, MessageIcon>> shown;
};

// A fresh folder under the temporary folder, removed with everything in it at the end.
class WinFiles : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        folder_ = std::wstring(temp) + L"runsweep-win-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(::GetTickCount64());
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
        path_ = folder_ + L"\\custom.txt";
        BuildCatalogue(catalogue_);
    }
    void TearDown() override {
        ::DeleteFileW(path_.c_str());
        ::RemoveDirectoryW(path_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    void Write(const std::string& bytes) {
        UniqueFile file(
            ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }
    std::wstring Run() { return LoadCustomListAtStartup(folder_, catalogue_, NativeFileSystem(), sink_); }
    void ExpectMessages(const std::vector<std::pair<std::wstring, MessageIcon>>& expected) {
        EXPECT_EQ(sink_.shown, expected);
    }

    std::wstring folder_;
    std::wstring path_;
    Catalogue catalogue_;
    RecordingSink sink_;
};

const std::pair<std::wstring, MessageIcon> kUsing{L"Using custom list (custom.txt)", MessageIcon::Information};
const std::pair<std::wstring, MessageIcon> kEmpty{L"Custom list is empty.", MessageIcon::Error};

TEST_F(WinFiles, NoFile) {
    EXPECT_FALSE(FileExists(NativeFileSystem(), path_));
    EXPECT_TRUE(Run().empty());
    EXPECT_TRUE(sink_.shown.empty());
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(WinFiles, AFileIsReadDecodedAndLoaded) {
    Write("one,First\r\n\r\nbad\r\nfour,Fourth");
    EXPECT_TRUE(FileExists(NativeFileSystem(), path_));
    EXPECT_EQ(Run(), L"one,First\r\n\r\nbad\r\nfour,Fourth");
    ExpectMessages({kUsing, {L"Corrupt entry found in custom.txt. Format: Startup,Description", MessageIcon::Error}});
    ASSERT_EQ(catalogue_.size(), kFirst + 4);
    EXPECT_EQ(catalogue_.StartupNames[kFirst], L"one");
    EXPECT_EQ(catalogue_.StartupDescriptions[kFirst + 3], L"Fourth");
}

TEST_F(WinFiles, ARealZeroByteFile) {
    Write("");
    EXPECT_TRUE(Run().empty());
    ExpectMessages({kUsing, kEmpty});
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(WinFiles, AFileAnotherHandleHoldsOpenForWritingIsStillRead) {
    Write("held,Held open by another program");
    // Another program writes the file and lets others read it.
    UniqueFile writer(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    Run();
    ExpectMessages({kUsing});
    ASSERT_EQ(catalogue_.size(), kFirst + 1);
    EXPECT_EQ(catalogue_.StartupNames[kFirst], L"held");
}

TEST_F(WinFiles, AFileLockedWithoutSharingReadsAsEmpty) {
    Write("locked,Nobody else may open this");
    UniqueFile locker(
        ::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locker);
    // The program's own open fails with a sharing violation.
    UniqueFile probe(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(probe);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    EXPECT_TRUE(FileExists(NativeFileSystem(), path_));
    EXPECT_EQ(ReadTextFile(NativeFileSystem(), path_).status, ReadTextStatus::Unreadable);
    EXPECT_TRUE(Run().empty());
    ExpectMessages({kUsing, kEmpty});
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(WinFiles, AFolderExistsButReadsAsEmpty) {
    EXPECT_TRUE(FileExists(NativeFileSystem(), folder_));
    ASSERT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
    EXPECT_TRUE(FileExists(NativeFileSystem(), path_));
    EXPECT_EQ(ReadTextFile(NativeFileSystem(), path_).status, ReadTextStatus::Unreadable);
    Run();
    ExpectMessages({kUsing, kEmpty});
}

TEST_F(WinFiles, AFileOverTheLimitIsNotRead) {
    {
        UniqueFile file(
            ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER size{};
        size.QuadPart = static_cast<LONGLONG>(kCustomListSizeLimit + 1);
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get()));
    }
    Run();
    ExpectMessages({kUsing, {L"custom.txt is larger than 64 MB and was not loaded.", MessageIcon::Error}});
    EXPECT_EQ(catalogue_.size(), kFirst);
}

TEST_F(WinFiles, HighBytesDecodeThroughTheAnsiCodePage) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << ", not 1252";
    }
    Write("caf\xE9,\x80 \x81\x8D\x8F\x90\x9D");
    Run();
    ExpectMessages({kUsing});
    EXPECT_EQ(catalogue_.StartupNames[kFirst], L"caf\u00E9");
    EXPECT_EQ(catalogue_.StartupDescriptions[kFirst], L"\u20AC \u0081\u008D\u008F\u0090\u009D");
}

TEST(DecodeAnsiWin, UsesTheSystemCodePage) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << ", not 1252";
    }
    EXPECT_EQ(DecodeAnsi("\x80"), L"\u20AC");
    EXPECT_EQ(DecodeAnsi("\xE9"), L"\u00E9");
    EXPECT_EQ(DecodeAnsi(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_TRUE(DecodeAnsi("").empty());
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    EXPECT_EQ(DecodeAnsi(all), DecodeWindows1252(all)); // Windows' 1252 and the portable decoder agree
}

TEST(DecodeAnsiWin, AgreesWithMultiByteToWideCharOnAnyCodePage) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, all.data(), static_cast<int>(all.size()), nullptr, 0);
    std::wstring expected(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, all.data(), static_cast<int>(all.size()), expected.data(), needed);
    EXPECT_EQ(DecodeAnsi(all), expected);
}

} // namespace
} // namespace runsweep

// The Startup folders' files on the real file system, in a folder of their own under the
// temporary folder (the real Startup folders are left alone).
namespace runsweep::contract {
namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

class Win32FilesEnv {
public:
    static const char* SkipReason() { return nullptr; }
    void SetUp() {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        scratch_ = std::wstring(temp) + L"runsweep-folder-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(::GetTickCount64());
        ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
        files_ = MakeWin32FolderFiles();
    }
    void TearDown() { RemoveTree(scratch_); }
    FolderFiles& files() { return *files_; }
    std::wstring Scratch() const { return scratch_; }
    void Put(const std::wstring& path, const std::string& bytes) {
        UniqueFile file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    void PutShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
        ASSERT_EQ(test_support::WriteShortcut(path, target, arguments), S_OK);
    }

private:
    std::wstring scratch_;
    std::unique_ptr<FolderFiles> files_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, FolderFilesContract, Win32FilesEnv);

TEST(Win32FolderFiles, TheStoredLocationsAreTheShellsKnownFoldersAndThePssFolderIsUnderWindows) {
    const std::unique_ptr<FolderFiles> files = MakeWin32FolderFiles();
    for (const StartupFolder folder : kStartupFolders) {
        std::wstring stored;
        std::wstring shell;
        ASSERT_EQ(files->KnownFolderPath(folder, stored), kSuccess);
        ASSERT_EQ(ShellKnownFolderPath(folder, shell), kSuccess);
        EXPECT_TRUE(SameFileName(stored, shell))
            << ::testing::PrintToString(stored) << " " << ::testing::PrintToString(shell);
    }
    wchar_t windows[MAX_PATH + 1] = {};
    ASSERT_NE(::GetWindowsDirectoryW(windows, MAX_PATH + 1), 0u);
    std::wstring backup;
    ASSERT_EQ(files->BackupFolderPath(backup), kSuccess);
    EXPECT_TRUE(SameFileName(backup, std::wstring(windows) + L"\\pss")) << ::testing::PrintToString(backup);
}

long long RecycledItems(const std::wstring& path) {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof(info);
    return SUCCEEDED(::SHQueryRecycleBinW(path.substr(0, 3).c_str(), &info)) ? info.i64NumItems : -1;
}

TEST(Win32FolderFiles, AProgramFileGoesToTheRecycleBinNotAwayForGood) {
    Win32FilesEnv env;
    ASSERT_NO_FATAL_FAILURE(env.SetUp());
    const std::wstring path = env.Scratch() + L"\\updater.exe";
    env.Put(path, "MZ, a program in the folder itself");
    const long long before = RecycledItems(path);
    if (before < 0) {
        env.TearDown();
        GTEST_SKIP() << "this drive has no Recycle Bin";
    }
    EXPECT_EQ(env.files().Recycle(path), kSuccess);
    EXPECT_EQ(env.files().Exists(path), kFileNotFound);
    EXPECT_EQ(RecycledItems(path), before + 1) << "the bin holds it";
    EXPECT_EQ(env.files().Recycle(path), kFileNotFound);
    env.TearDown();
}

// The shell's link object is the judge: whatever the shortcut, its bytes give what the shell reads
// or leave it to the shell, and an everyday local shortcut is read from its bytes without it.
TEST(Win32FolderFiles, AShortcutReadFromItsBytesSaysWhatTheShellSays) {
    Win32FilesEnv env;
    ASSERT_NO_FATAL_FAILURE(env.SetUp());
    struct Case {
        std::wstring target;
        std::wstring arguments;
        bool plain; // local and ASCII: its bytes must be enough
    };
    const std::vector<Case> cases = {
        {L"C:\\Tools\\tool.exe", L"", true},
        {L"C:\\Program Files\\Telegram Desktop\\Telegram.exe", L"-autostart", true},
        {L"C:\\Program Files (x86)\\App\\app.exe", L"--tray \"C:\\a b\\c.txt\" /x:" + std::wstring(900, L'y'), true},
        {L"C:\\Programme\\B\u00fcro\\\u65e5\u672c.exe", L"--\u00e9t\u00e9", false},
        {L"%windir%\\notepad.exe", L"x", false},
        {L"\\\\server\\share\\tools\\agent.exe", L"/silent", false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::wstring path = env.Scratch() + L"\\item " + std::to_wstring(i) + L".lnk";
        env.PutShortcut(path, c.target, c.arguments);
        Shortcut shell;
        ASSERT_EQ(env.files().ReadShortcut(path, shell), kSuccess) << i;
        std::vector<unsigned char> bytes;
        ASSERT_EQ(env.files().Read(path, bytes, 64 * 1024), kSuccess) << i;
        Shortcut quick;
        const bool read = ReadShortcutBytes(bytes, quick);
        EXPECT_TRUE(read || !c.plain) << "case " << i << " needed the shell";
        if (read) {
            EXPECT_TRUE(SameFileName(quick.target, shell.target))
                << i << " " << ::testing::PrintToString(quick.target) << " " << ::testing::PrintToString(shell.target);
            EXPECT_EQ(quick.arguments, shell.arguments) << i;
        }
        env.files().ResetCallCounts();
        std::wstring command;
        EXPECT_EQ(ItemCommand(env.files(), path, command), kSuccess) << i;
        EXPECT_TRUE(SameFileName(command, ShortcutCommand(shell))) << i << " " << ::testing::PrintToString(command);
        EXPECT_EQ(env.files().CallCount(FileOp::ReadShortcut), read ? 0u : 1u) << i;
    }
    env.TearDown();
}

} // namespace
} // namespace runsweep::contract
