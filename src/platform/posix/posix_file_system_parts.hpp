#pragma once

// What the parts of PosixFileSystem (posix_file_system.cpp: finding and looking; posix_file_changes.cpp:
// changing; posix_record_store.cpp: reading and the records' store) share.

#include "platform/file_error.hpp"

#include <string>
#include <sys/stat.h>

namespace hotfix::posix {

inline constexpr mode_t kPermissionBits = 07777;

// The error's code and words; a symbolic link met below a root is named as such.
FileError errnoError(int error);

inline bool isReadOnly(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

// A path's trailing separators name nothing of their own.
inline std::string withoutTrailingSlashes(std::string native) {
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    return native;
}

// The folder that holds a native path's last entry.
inline std::string folderOf(const std::string& native) {
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : native.substr(0, slash);
}

// Whether path is folder itself or lies below it.
inline bool holds(const std::string& folder, const std::string& path) {
    return path.starts_with(folder) &&
           (path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/');
}

} // namespace hotfix::posix
