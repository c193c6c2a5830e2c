#pragma once
// The file access that the custom list needs, behind an interface so the reading
// rules can be tested without real files. file_system_win.cpp implements it with Win32 calls,
// file_system_posix.cpp with POSIX calls for the native build.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace runsweep {

// A file opened for reading. Closed when destroyed.
class InputFile {
public:
    virtual ~InputFile() = default;
    // The file's size in bytes, or nothing when it cannot be asked.
    virtual std::optional<std::uint64_t> Size() = 0;
    // Reads up to count bytes into buffer: the number read (0 at the end of the file), or nothing on failure.
    virtual std::optional<std::size_t> Read(char* buffer, std::size_t count) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True when path names an existing file or folder.
    virtual bool FileExists(const std::wstring& path) = 0;
    // Opens an existing file for reading, letting others read and write it meanwhile; nullptr when it
    // cannot be opened (missing, a folder, no access, locked by another process).
    virtual std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) = 0;
};

// The platform's file system. On Windows: GetFileAttributesW; CreateFileW with GENERIC_READ,
// FILE_SHARE_READ | FILE_SHARE_WRITE and OPEN_EXISTING; GetFileSizeEx; ReadFile.
FileSystem& NativeFileSystem();

} // namespace runsweep
