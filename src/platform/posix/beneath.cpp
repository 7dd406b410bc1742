#include "platform/posix/beneath.hpp"

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <string>
#include <sys/syscall.h>

namespace hotfix::posix {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

Fd openByKernel(int anchor, const std::string& relative) {
    open_how how{};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (int tries = 0;; ++tries) {
        const long fd = ::syscall(SYS_openat2, anchor, relative.c_str(), &how, sizeof how);
        // EAGAIN: a rename elsewhere raced the lookup, which the kernel refuses to guess about.
        if (fd >= 0 || (errno != EINTR && (errno != EAGAIN || tries >= 8))) {
            return Fd(static_cast<int>(fd));
        }
    }
}

Fd openNameByName(int anchor, std::string_view relative) {
    Fd current(::fcntl(anchor, F_DUPFD_CLOEXEC, 0));
    while (current.valid() && !relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string name(relative.substr(0, slash));
        relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
        if (name.empty()) {
            continue;
        }
        if (name == "." || name == "..") {
            errno = EXDEV;
            return Fd();
        }
        current = Fd(retryingInterrupts(
            [&] { return ::openat(current.get(), name.c_str(), kFolderFlags | O_NOFOLLOW); }));
    }
    return current;
}

} // namespace

Fd openFolderBeneath(int anchor, std::string_view relative, BeneathWalk walk) {
    if (walk == BeneathWalk::Kernel) {
        Fd fd = openByKernel(anchor, relative.empty() ? std::string(".") : std::string(relative));
        if (fd.valid() || errno != ENOSYS) {
            return fd;
        }
    }
    return openNameByName(anchor, relative);
}

} // namespace hotfix::posix
