#pragma once

#include "file_system.hpp"

#include <memory>
#include <string>

namespace hotfix {

// The backend CMake chose for this platform.
std::unique_ptr<FileSystem> makeFileSystem();

// The folder of the running program, as the platform names it, without a closing separator.
std::string programFolder();

} // namespace hotfix
