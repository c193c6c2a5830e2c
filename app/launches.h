#pragma once
// What the links of the main and About windows open. Every launched string is a constant of the
// program: nothing the user types or the registry holds ever reaches the shell.
#include "base/message_sink.h"
#include "base/windows_version.h"

#include <string>

namespace runsweep {

// The maker's site; the pages below are fixed paths on it.
#define RUNSWEEP_SITE_BASE L"https://www.quorvane.example/"

inline constexpr const wchar_t* kDonateAddress = RUNSWEEP_SITE_BASE L"donate.php";
inline constexpr const wchar_t* kDetectedListAddress = RUNSWEEP_SITE_BASE L"forums/index.php?showtopic=1248";
inline constexpr const wchar_t* kContactAddress = RUNSWEEP_SITE_BASE L"contact.php";
inline constexpr const wchar_t* kCorporateAddress = RUNSWEEP_SITE_BASE L"corporate.php";

inline constexpr const wchar_t* kMsconfigFailedMessage = L"MSConfig failed to open properly.";
// Newest version first, one line each.
inline constexpr const wchar_t* kVersionHistoryMessage =
    L"1.06 (10/30/07) - Added custom list (custom.txt) feature.\r\n"
    L"1.05 (8/24/07) - Digital signatures added.";

// The shell's "open" of a document or program, always owned by the main window. Returns true when
// the shell reports success (a result above 32).
class ShellLauncher {
public:
    virtual ~ShellLauncher() = default;
    virtual bool Open(const wchar_t* file) = 0;
};

enum class WebPage { Donate, DetectedList, Contact, CorporateLicensing };

const wchar_t* WebAddress(WebPage page) noexcept;

// Opens a page of the maker's site in the default browser. A failed launch (no browser, no file
// association) is not reported: the user can still reach the site by hand.
void OpenDocument(ShellLauncher& shell, WebPage page);

// The folders of the running system the System Configuration utility is found in, as the Win32
// side asks the system for them; empty where the system would not say.
struct SystemFolders {
    std::wstring windows; // C:\Windows
    // The native system folder: C:\Windows\System32, or for a 32-bit program on 64-bit Windows the
    // name it reaches that folder by, C:\Windows\Sysnative (its System32 is the 32-bit twin, which
    // has no msconfig.exe).
    std::wstring system;
};

// Where the running system keeps the System Configuration utility, by its full path: Windows XP and
// Server 2003 (5.1, 5.2) in the Windows folder's pchealth\helpctr\binaries, Vista (6.0) and later
// in the system folder. Empty when the folder is unknown. Never a bare name: the shell would look
// for one in the program's folder and the current folder first, where anyone can leave a program
// of that name.
std::wstring MsconfigPath(const WindowsVersion& version, const SystemFolders& folders);

// Starts the System Configuration utility from its full path, where disabled entries can be
// re-enabled. Unlike a web page, its failure is reported, since the user asked for a specific tool;
// an empty path is a failure too. True when it started.
bool OpenMsconfig(ShellLauncher& shell, MessageSink& messages, const std::wstring& program);

void ShowVersionHistory(MessageSink& messages);

// Whether the System Configuration utility can re-enable the records: on Windows XP to 7. From
// Windows 8 on its Startup tab only points to Task Manager, which never reads them.
bool MsconfigReenables(const WindowsVersion& version) noexcept;

// "Re-enable disabled items": starts the System Configuration utility where it can re-enable the
// records. Returns true when the program must show its own Disabled items window instead: on a
// later or unknown system, and when the utility fails to start (after saying so).
bool OpenReenable(ShellLauncher& shell, MessageSink& messages, const WindowsVersion& version,
                  const SystemFolders& folders);

} // namespace runsweep
