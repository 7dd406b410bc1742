#include "platform/posix/posix_io.hpp"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace hotfix::posix {

int openRetrying(const std::string& path, int flags, mode_t mode) {
    return retryingInterrupts([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
}

int openAtRetrying(int folder, const std::string& name, int flags, mode_t mode) {
    return retryingInterrupts([&] { return ::openat(folder, name.c_str(), flags | O_CLOEXEC, mode); });
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = retryingInterrupts([&] { return ::write(fd, data, size); });
        if (written < 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool readPieces(int fd, const std::function<bool(std::span<const char>)>& piece, ByteSink* lender) {
    std::vector<char> own;
    for (;;) {
        std::span<char> buffer = lender != nullptr ? lender->lend() : std::span<char>();
        if (buffer.empty()) {
            own.resize(std::size_t{256} * 1024);
            buffer = own;
        }
        const ssize_t got = retryingInterrupts([&] { return ::read(fd, buffer.data(), buffer.size()); });
        if (got <= 0) {
            return got == 0;
        }
        if (!piece(std::span<const char>(buffer.data(), static_cast<std::size_t>(got)))) {
            return false;
        }
    }
}

bool copyContent(int in, int out) {
    // copy_file_range lets the kernel copy (and share extents where it can); plain read and write where it
    // cannot be used between these two files.
    for (;;) {
        const ssize_t copied = retryingInterrupts(
            [&] { return ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0); });
        if (copied == 0) {
            return true;
        }
        if (copied < 0) {
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
                break;
            }
            return false;
        }
    }
    return readPieces(
        in, [out](std::span<const char> piece) { return writeAll(out, piece.data(), piece.size()); });
}

int openForAppend(int folder, const std::string& name, bool& created) {
    for (;;) {
        const int fd = openAtRetrying(folder, name, O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
            return fd;
        }
        const int made =
            openAtRetrying(folder, name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        // Another program may make it between the two opens; then it is appended to as it is.
        if (made >= 0 || errno != EEXIST) {
            created = made >= 0;
            return made;
        }
    }
}

bool dropCutOffTail(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    std::array<char, 4096> block{};
    for (off_t end = st.st_size; end > 0;) {
        const off_t start = std::max<off_t>(0, end - static_cast<off_t>(block.size()));
        const auto wanted = static_cast<std::size_t>(end - start);
        if (::pread(fd, block.data(), wanted, start) != static_cast<ssize_t>(wanted)) {
            return false;
        }
        for (std::size_t i = wanted; i-- > 0;) {
            if (block[i] == '\n') {
                const off_t keep = start + static_cast<off_t>(i) + 1;
                return keep == st.st_size || ::ftruncate(fd, keep) == 0;
            }
        }
        end = start;
    }
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

} // namespace hotfix::posix
