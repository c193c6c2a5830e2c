#pragma once
// The Startup folders' files on Windows: kernel32's file functions, the shell's link object and
// its Recycle Bin.
#include "registry/folder_files.h"

#include <memory>

namespace runsweep {

std::unique_ptr<FolderFiles> MakeWin32FolderFiles();

// The folder as the shell's known-folder function reports it (SHGetKnownFolderPath, without
// verifying that it exists), for tests that hold the stored location up against it.
long ShellKnownFolderPath(StartupFolder folder, std::wstring& path);

} // namespace runsweep
