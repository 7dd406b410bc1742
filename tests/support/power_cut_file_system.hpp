#pragma once

#include "platform/file_system.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix::test {

// A power cut stops the test at the operation it happens before.
struct PowerCut {};

// A file system in memory that keeps, beside what programs see, what a power cut would leave of it. A
// file's bytes and marks become durable only when a flush covers that file (or an append that makes itself
// durable writes them); a folder's names only when a flush covers a file in it, or one removed from it (an
// append makes only its own file's name durable); a folder the moment it is made. Nothing else is ever
// durable: a file written and not flushed has no bytes on the disk at all.
// Paths are Windows-style; a run of separators is one.
class PowerCutFileSystem final : public FileSystem {
public:
    // What survives a power cut. DurableOnly keeps every durable name and byte and nothing else.
    // NamesAhead keeps every name as it is now but only durable bytes, as a journaling file system may
    // write its names (a rename, a link) before the data they name.
    enum class Survival { DurableOnly, NamesAhead };

    // A file that is on the disk already, durable, with its marks (bit 1 is read-only).
    void put(std::string_view path, std::string_view content, std::uint32_t marks = 0);
    // What a power cut now leaves: a machine that has everything it kept, and only that, durable.
    PowerCutFileSystem afterPowerCut(Survival survival) const;
    // Every file by its path (as the engine spells it, separators made single "\"), with its content.
    std::map<std::string, std::string> files() const;

    // Called before every operation with its name; may throw PowerCut.
    std::function<void(std::string_view operation)> before;
    int operations() const { return m_operations; }

    bool fileExists(std::string_view path) override;
    bool folderExists(std::string_view path) override;
    bool sameFile(std::string_view first, std::string_view second) override;
    std::optional<FileAttributes> attributes(std::string_view path) override;
    FileResult setAttributes(std::string_view path, FileAttributes attributes) override;
    FileResult clearAttributes(std::string_view path) override;
    FileResult copyFileToNew(std::string_view from, std::string_view to) override;
    LinkResult linkFile(std::string_view existing, std::string_view newName) override;
    FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override;
    FileResult flush(std::span<const std::string> paths) override;
    FileResult flushNames(std::span<const std::string> paths) override;
    FileResult deleteFile(std::string_view path) override;
    FileResult removeName(std::string_view path) override;
    FileResult createTextFile(std::string_view path) override;
    FileResult appendToFile(std::string_view path, std::string_view bytes) override;
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override;
    FileResult createFolders(std::string_view path) override;
    FileResult appendDurably(std::string_view path, std::string_view bytes) override;
    std::optional<std::string> identity(std::string_view path) override;
    Privacy makePrivateFolder(std::string_view path) override;
    Privacy privacy(std::string_view path) override;

private:
    enum class Durable { BytesAndNames, Names };
    FileResult makeDurable(std::span<const std::string> paths, Durable what);

    struct Content {
        std::string bytes;
        std::uint32_t marks = 0;
    };
    struct File {
        Content now;
        // Nothing for a file whose bytes never reached the disk.
        std::optional<Content> durable;
    };
    struct Folder {
        std::map<std::string, std::size_t> names;
        // What the disk holds of each name: the file it named when last made durable, or nothing for a name
        // whose removal is durable.
        std::map<std::string, std::optional<std::size_t>> durable;
    };
    struct Place {
        std::string folder;
        std::string name;
    };

    static Place placeOf(std::string_view path);
    void step(std::string_view operation);
    File* fileAt(const Place& place);
    std::optional<std::size_t> idAt(const Place& place) const;
    std::size_t newFile(std::string bytes, std::uint32_t marks);
    void makeFolders(const std::string& folder);

    std::vector<File> m_files;
    std::map<std::string, Folder> m_folders;
    int m_operations = 0;
};

} // namespace hotfix::test
