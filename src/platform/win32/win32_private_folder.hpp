#pragma once

// The installer's own folders on Windows: made with an access list of their own, and checked for who may
// change them.

#include "platform/file_system.hpp"

#include <memory>
#include <string>
#include <windows.h>

namespace hotfix::win32 {

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

// Whether a file or folder with this security descriptor (a SECURITY_DESCRIPTOR, with its owner and access
// list) may be trusted: its owner is the system, the administrators or the account running the installer,
// and nobody else is allowed to change it.
FileSystem::Privacy privacyOfSecurity(void* descriptor);

// The same for an open file or folder; a link, junction or other reparse point is a Link.
FileSystem::Privacy privacyOf(HANDLE item);

// Makes the folder with the installer's own access list; false with Windows' error as CreateDirectoryW
// leaves it.
bool createPrivateFolder(const std::wstring& path);

// Gives the installer's own access list to a folder there already (opened for READ_CONTROL and WRITE_DAC)
// when its owner is trusted; one of another owner is refused as it is. What the folder is afterwards.
FileSystem::Privacy protectFolder(HANDLE folder);

} // namespace hotfix::win32
