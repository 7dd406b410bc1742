#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace hotfix::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

    // Writes a file below the folder, creating its parent folders; relative paths use "/".
    std::filesystem::path write(std::string_view relative, std::string_view content) const;
    std::string read(std::string_view relative) const;
    bool exists(std::string_view relative) const;

private:
    std::filesystem::path m_path;
};

// A path from UTF-8 text on every host (a plain std::string is read in the ANSI code page on Windows).
inline std::filesystem::path utf8Path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

void writeFile(const std::filesystem::path& path, std::string_view content);
// Every file below a folder, by its "/"-separated path below it, with its content.
std::map<std::string, std::string> filesBelow(const std::filesystem::path& folder);
std::string readFile(const std::filesystem::path& path);

// Removes a folder with everything in it, read-only files included (Windows refuses to delete those).
void removeTree(const std::filesystem::path& path);

// Whether taking a file's permissions away keeps this process from reading it: not for root, and not on
// Windows, where permissions only set the read-only mark.
bool canMakeFilesUnreadable();

} // namespace hotfix::test
