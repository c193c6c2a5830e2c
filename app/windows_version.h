#pragma once
// The start-up check of the operating system family. Only the decision lives here; the Win32 side
// asks the system for its platform identifier and hands it over.
#include "base/message_sink.h"

namespace runsweep {

// VER_PLATFORM_WIN32_NT: Windows NT, 2000, XP, Vista and every later Windows (and Wine).
inline constexpr unsigned long kPlatformWin32Nt = 2;

inline constexpr const wchar_t* kUnsupportedSystemMessage =
    L"You must have Windows 2K/NT/XP/Vista to run this application. You have an unsupported operating system.";

// True for a system of the NT family.
bool IsNtFamily(unsigned long dwPlatformId) noexcept;

// Warns once, without an icon, unless dwPlatformId says NT family. A failed version query gives 0
// and so warns. Only warns: start-up goes on either way.
void CheckWindowsVersion(unsigned long dwPlatformId, MessageSink& messages);

} // namespace runsweep
