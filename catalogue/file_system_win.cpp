// The file system on Windows: GetFileAttributesW, CreateFileW, GetFileSizeEx, ReadFile.
#include <windows.h>

#include "base/win_handles_win.h"
#include "catalogue/file_system.h"

namespace runsweep {

namespace {

class WinInputFile final : public InputFile {
public:
    explicit WinInputFile(UniqueFile file) noexcept : file_(std::move(file)) {}

    std::optional<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::optional<std::size_t> Read(char* buffer, std::size_t count) override {
        // ReadFile counts in DWORD: read in pieces of at most 1 GiB.
        const DWORD asked = count > (1u << 30) ? DWORD{1u << 30} : static_cast<DWORD>(count);
        DWORD got = 0;
        if (!::ReadFile(file_.get(), buffer, asked, &got, nullptr)) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

private:
    UniqueFile file_;
};

class WinFileSystem final : public FileSystem {
public:
    bool FileExists(const std::wstring& path) override {
        // True for an existing file or folder, as the shell's file-existence test.
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) override {
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return nullptr;
        }
        return std::make_unique<WinInputFile>(std::move(file));
    }
};

} // namespace

FileSystem& NativeFileSystem() {
    static WinFileSystem files;
    return files;
}

} // namespace runsweep
