#pragma once
// The folder that holds the program, from the program's own path: where custom.txt is looked for.
#include <string>

namespace runsweep {

// The folder part of a Windows path: no trailing separator, except at a drive's root ("C:\") or
// a share's root ("\\server\share\"), where the separator belongs to the folder's name. A path
// without a separator gives the empty text.
std::wstring FolderOfPath(const std::wstring& path);

// The folder that holds the running program (Windows only). Throws std::runtime_error when the
// system cannot say.
std::wstring ProgramFolder();

} // namespace runsweep
