#pragma once

#include "platform/posix/posix_io.hpp"

#include <string_view>

namespace hotfix::posix {

// How a folder below an open folder is reached: by the kernel in one call (openat2 with RESOLVE_BENEATH and
// RESOLVE_NO_SYMLINKS, Linux 5.6 on), or one name at a time with openat(O_NOFOLLOW) where it lacks that.
enum class BeneathWalk { Kernel, NameByName };

// Opens the folder at relative ("a/b/c", "" for the folder itself) below the open folder anchor, for reading,
// never through a symbolic link and never above anchor: a link on the way fails with ELOOP, a "." or ".."
// name with EXDEV. An invalid Fd with errno set where it cannot be opened so.
Fd openFolderBeneath(int anchor, std::string_view relative, BeneathWalk walk = BeneathWalk::Kernel);

} // namespace hotfix::posix
