#pragma once
// Libraries of the system, loaded from the system folder and from nowhere else.
//
// A library asked for by name alone is searched for in the program's own folder first, and then in
// the current folder: a file of that name left in a downloads folder beside the program, or in
// whatever folder the program was started from, would be loaded in its place and run with the
// user's rights. The programs therefore import only libraries the system keeps as its known DLLs,
// which it takes from the system folder whatever the search; every other library, and every library
// those would import in turn, is loaded here, after HardenLibrarySearch.
#include <windows.h>

#include <string>

namespace runsweep {

// Makes the system folder the only place the process's later loads by name search, for the
// libraries they import too, where the system can (SetDefaultDllDirectories: Windows 8, and 7 and
// Vista with their update), and takes the current folder out of the search elsewhere. The first
// thing each program does.
void HardenLibrarySearch() noexcept;

// The system folder (C:\Windows\System32; for a 32-bit program on 64-bit Windows the same name,
// which the system shows it as its 32-bit twin). Empty when the system will not say.
std::wstring SystemFolder();

// The library of that file name from the system folder, the libraries it imports searched for
// there too; null when it is not there or will not load.
HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept;

// The same for a library the programs' manifest redirects to the system's side-by-side store (the
// common controls' version 6): asked for by name, which the redirection applies to, and searched
// for nowhere but the system folder where the system can confine it.
HMODULE LoadSystemLibraryByName(const wchar_t* fileName) noexcept;

} // namespace runsweep
