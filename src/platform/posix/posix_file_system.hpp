#pragma once

#include "../file_system.hpp"

#include <string>
#include <string_view>

namespace hotfix {

// "\" and "/" both separate, and a run of them is one separator: "/opt/root\\bin\a.dll" is
// /opt/root/bin/a.dll.
std::string toPosixPath(std::string_view windowsStylePath);

// Files as Windows' own file services treat them, on a POSIX file system: read-only is the missing owner
// write bit, and a read-only file is neither overwritten nor deleted until its attributes are cleared.
class PosixFileSystem final : public FileSystem {
public:
    bool fileExists(std::string_view path) override;
    bool folderExists(std::string_view path) override;
    std::optional<FileAttributes> attributes(std::string_view path) override;
    bool setAttributes(std::string_view path, FileAttributes attributes) override;
    bool clearAttributes(std::string_view path) override;
    bool copyFile(std::string_view from, std::string_view to) override;
    bool deleteFile(std::string_view path) override;
    bool createTextFile(std::string_view path) override;
    std::optional<std::string> readTextFile(std::string_view path) override;
    bool appendLines(std::string_view path, std::span<const std::string> lines) override;

protected:
    // Where a Windows-style path lies on this machine.
    virtual std::string nativePath(std::string_view path) { return toPosixPath(path); }
};

} // namespace hotfix
