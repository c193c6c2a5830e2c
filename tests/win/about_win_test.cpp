// The About window on the real window system: its frame, its labels and their fonts, its links, and
// loading it again after it was closed. (The image and the tool tips on the screen are end-to-end
// tested.) Launches and messages go to fakes, so nothing opens or blocks.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_about_win.h"
#include "app/shell_launcher_win.h"
#include "base/system_library_win.h"

namespace runsweep {
namespace {

class FakeShell : public ShellLauncher {
public:
    explicit FakeShell(std::vector<std::wstring>& opened) : opened_(opened) {}
    bool Open(const wchar_t* file) override {
        opened_.emplace_back(file);
        return false;
    }

private:
    std::vector<std::wstring>& opened_;
};

class RecordingSink : public MessageSink {
public:
    explicit RecordingSink(std::vector<std::wstring>& shown) : shown_(shown) {}
    void ShowMessage(const std::wstring& text, MessageIcon icon) override {
        shown_.push_back((icon == MessageIcon::Information ? L"information: " : L"other: ") + text);
    }

private:
    std::vector<std::wstring>& shown_;
};

// A message box: its own message loop runs while it is open; here, what the test makes happen then.
class PumpingSink : public MessageSink {
public:
    std::function<void()> whileOpen;
    void ShowMessage(const std::wstring&, MessageIcon) override {
        if (whileOpen) {
            whileOpen();
        }
    }
};

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

HWND ChildWithText(HWND parent, const std::wstring& text) {
    for (HWND child : ChildrenOf(parent)) {
        if (TextOf(child) == text) {
            return child;
        }
    }
    return nullptr;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font;
}

class AboutWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
        ::InitCommonControlsEx(&controls);
    }

    std::vector<std::wstring> opened;
    std::vector<std::wstring> shown;
    frmAbout about{std::make_unique<FakeShell>(opened), std::make_unique<RecordingSink>(shown)};

    // Where a control lies in the window's client area, and its size, in pixels.
    RECT ClientRect(HWND control) {
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, about.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    static void Click(HWND control) {
        ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }

    std::wstring ToolTipOf(HWND control) {
        wchar_t text[128] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = about.Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = text;
        ::SendMessageW(about.ToolTips(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        return text;
    }
};

TEST_F(AboutWindow, HasItsCaptionFixedFrameAndDesignedClientArea) {
    about.Load(nullptr);
    HWND window = about.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), L"About Quorvane' Runsweep");
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU) << "the close box";
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(::IsWindowVisible(window)) << "loading does not show it";
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, about.Px(6615));
    EXPECT_EQ(client.bottom, about.Px(3255));
}

TEST_F(AboutWindow, LabelsStandAtTheirPlacesWithTheirTextsAndFonts) {
    about.Load(nullptr);
    HWND window = about.Handle();
    struct Expected {
        std::wstring text;
        int left, top;
        bool bold, underline;
        double points;
    };
    const Expected labels[] = {
        {L"Runsweep", 1080, 120, true, false, 9.75},
        {L"Version 1.06", 1080, 360, false, false, 8.25},
        {L"Version History", 1080, 600, false, true, 8.25},
        {kAboutCreator, 120, 1080, true, false, 8.25},
        {kAboutThanks, 120, 1305, false, false, 8.25},
        {L"For a custom list, simply create custom.txt in the same folder as Runsweep. Format: Startup,Description "
         L"(no space).",
         120, 1680, false, false, 8.25},
        {L"https://www.quorvane.example/corporate.php", 120, 2880, false, true, 8.25},
    };
    for (const Expected& expected : labels) {
        SCOPED_TRACE(std::string(expected.text.begin(), expected.text.end()));
        HWND label = ChildWithText(window, expected.text);
        ASSERT_NE(label, nullptr);
        const RECT r = ClientRect(label);
        // A link's window holds its focus mark in a pixel round the text, which stands where designed.
        const int margin = expected.underline ? 1 : 0;
        EXPECT_EQ(r.left, about.Px(expected.left) - margin);
        EXPECT_EQ(r.top, about.Px(expected.top) - margin);
        EXPECT_LE(r.right, about.Px(6615)) << "the text runs out of the window";
        const LOGFONTW font = FontOf(label);
        EXPECT_EQ(std::wstring(font.lfFaceName), L"Verdana");
        EXPECT_EQ(font.lfWeight >= FW_BOLD, expected.bold);
        EXPECT_EQ(font.lfUnderline != 0, expected.underline);
        EXPECT_EQ(font.lfHeight, FontHeightForPoints(expected.points, about.Dpi()));
    }

    // The creator and thanks lines are one line each; the custom-list hint wraps in its two-line box.
    HWND custom = ChildWithText(window, kAboutCustomList);
    const RECT customBox = ClientRect(custom);
    EXPECT_EQ(customBox.right - customBox.left, about.Px(5865));
    EXPECT_EQ(customBox.bottom - customBox.top, about.Px(435));
    EXPECT_FALSE(::GetWindowLongPtrW(custom, GWL_STYLE) & SS_LEFTNOWORDWRAP);

    // lblCorporate: empty, in its own two-line box.
    HWND corporate = nullptr;
    for (HWND child : ChildrenOf(window)) {
        if (TextOf(child).empty() && ClientRect(child).top == about.Px(2280)) {
            corporate = child;
        }
    }
    ASSERT_NE(corporate, nullptr);
    const RECT corporateBox = ClientRect(corporate);
    EXPECT_EQ(corporateBox.left, about.Px(120));
    EXPECT_EQ(corporateBox.right - corporateBox.left, about.Px(6375));
    EXPECT_EQ(corporateBox.bottom - corporateBox.top, about.Px(495));
}

TEST_F(AboutWindow, LinksLaunchTheCorporatePageAndShowTheVersionHistory) {
    about.Load(nullptr);
    HWND history = ChildWithText(about.Handle(), L"Version History");
    HWND corporate = ChildWithText(about.Handle(), kCorporateAddress);
    ASSERT_NE(history, nullptr);
    ASSERT_NE(corporate, nullptr);

    Click(corporate);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], L"https://www.quorvane.example/corporate.php");
    EXPECT_TRUE(shown.empty()) << "a failed web launch is silent";

    Click(history);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], std::wstring(L"information: ") + kVersionHistoryMessage);
    EXPECT_EQ(opened.size(), 1u);

    // The other labels react to nothing.
    Click(ChildWithText(about.Handle(), L"Runsweep"));
    Click(ChildWithText(about.Handle(), kAboutCustomList));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(AboutWindow, ACloseFromOutsideWaitsUntilTheVersionHistoryBoxIsDismissed) {
    auto sink = std::make_unique<PumpingSink>();
    PumpingSink& box = *sink;
    frmAbout window{std::make_unique<FakeShell>(opened), std::move(sink)};
    window.Load(nullptr);
    bool openWhileShown = false;
    box.whileOpen = [&] {
        ::PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
        MSG msg{};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg);
        }
        openWhileShown = window.IsLoaded() && window.ToolTips() != nullptr;
    };
    Click(ChildWithText(window.Handle(), L"Version History"));
    EXPECT_TRUE(openWhileShown);
    EXPECT_FALSE(window.IsLoaded()) << "the close is carried out when the box is dismissed";
}

TEST_F(AboutWindow, LoadsAgainAfterItWasClosed) {
    about.Load(nullptr);
    HWND first = about.Handle();
    const std::size_t controls = ChildrenOf(first).size();
    about.Close();
    EXPECT_FALSE(about.IsLoaded());
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(about.ToolTips(), nullptr);

    about.Load(nullptr);
    ASSERT_TRUE(about.IsLoaded());
    EXPECT_EQ(ChildrenOf(about.Handle()).size(), controls);
    EXPECT_EQ(ToolTipOf(ChildWithText(about.Handle(), kCorporateAddress)), L"Corporate licensing");
    Click(ChildWithText(about.Handle(), kCorporateAddress));
    EXPECT_EQ(opened.size(), 1u) << "the reloaded window's link still works, once";
}

TEST(Win32ShellLauncher, AProgramThatDoesNotExistIsAFailure) {
    Win32ShellLauncher shell(nullptr);
    EXPECT_FALSE(shell.Open(L"C:\\runsweep-no-such-folder\\no-such-program.exe"));
    EXPECT_FALSE(shell.Open(L"C:\\runsweep-no-such-folder\\no-such-program.exe")); // once the apartment is entered
}

TEST(Win32ShellLauncher, TheSystemFoldersAreFullPathsOfFoldersThatExist) {
    const SystemFolders folders = RunningSystemFolders();
    for (const std::wstring& folder : {folders.windows, folders.system}) {
        ASSERT_GE(folder.size(), 3u);
        EXPECT_EQ(folder.substr(1, 2), L":\\");
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    EXPECT_EQ(folders.system, wow64 ? folders.windows + L"\\Sysnative" : SystemFolder());
    EXPECT_EQ(MsconfigPath(WindowsVersion{6, 1}, folders), folders.system + L"\\msconfig.exe");
}

} // namespace
} // namespace runsweep
