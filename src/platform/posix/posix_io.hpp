#pragma once

#include "platform/file_system.hpp"

#include <cerrno>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace hotfix::posix {

// Closes the descriptor it holds on every path out of a scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept
        : m_fd(other.m_fd) {
        other.m_fd = -1;
    }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    ~Fd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and tells whether the data reached the file system.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }
    // Hands the descriptor over to whoever closes it from now on.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

// Calls again while the call is interrupted by a signal before it did anything (-1 with EINTR).
template <typename Call>
auto retryingInterrupts(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) {
        result = call();
    }
    return result;
}

// open and openat, close-on-exec, again when interrupted; -1 with errno set.
int openRetrying(const std::string& path, int flags, mode_t mode = 0);
int openAtRetrying(int folder, const std::string& name, int flags, mode_t mode = 0);

// Writes all of the bytes, however many writes it takes; false with errno set.
bool writeAll(int fd, const char* data, std::size_t size);

// Reads to the end of the file, handing each piece over; false when a read fails or a piece is refused.
// The pieces are read into the buffers lender lends, where it lends any.
bool readPieces(int fd, const std::function<bool(std::span<const char>)>& piece, ByteSink* lender = nullptr);

// Copies the rest of in to out, by the kernel where it can.
bool copyContent(int in, int out);

// Opens a file for appending, never through a link, making it where it is missing (readable by its owner
// alone: what is appended is the installer's own); created tells which of the two happened.
int openForAppend(int folder, const std::string& name, bool& created);

// Drops what a cut-off append left after the file's last line break.
bool dropCutOffTail(int fd);

} // namespace hotfix::posix
