// The native build's file system: POSIX calls on the UTF-8 form of the path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "base/utf8.h"
#include "catalogue/file_system.h"

namespace runsweep {

namespace {

class PosixInputFile final : public InputFile {
public:
    explicit PosixInputFile(int fd) noexcept : fd_(fd) {}
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;
    ~PosixInputFile() override { ::close(fd_); }

    std::optional<std::uint64_t> Size() override {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || info.st_size < 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    std::optional<std::size_t> Read(char* buffer, std::size_t count) override {
        if (count > static_cast<std::size_t>(SSIZE_MAX)) {
            count = static_cast<std::size_t>(SSIZE_MAX);
        }
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, count);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                return std::nullopt;
            }
        }
    }

private:
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    bool FileExists(const std::wstring& path) override {
        struct stat info {};
        return ::stat(ToUtf8(path).c_str(), &info) == 0;
    }

    std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) override {
        const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        // Like CreateFile without backup semantics, only regular files open: not a folder.
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixInputFile>(fd);
    }
};

} // namespace

FileSystem& NativeFileSystem() {
    static PosixFileSystem files;
    return files;
}

} // namespace runsweep
