#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hotfix {

// Platform-specific attribute bits (Windows attribute flags, POSIX mode bits), kept only to be put back.
struct FileAttributes {
    std::uint32_t bits = 0;
    friend bool operator==(FileAttributes, FileAttributes) = default;
};

// The file work of the installer. Paths arrive as the engine joined them, Windows-style, in UTF-8: a run of
// "\" counts as one separator. Every operation is synchronous; failures are results, never exceptions.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool fileExists(std::string_view path) = 0;
    virtual bool folderExists(std::string_view path) = 0;

    virtual std::optional<FileAttributes> attributes(std::string_view path) = 0;
    virtual bool setAttributes(std::string_view path, FileAttributes attributes) = 0;
    // Clears read-only, hidden, system and archive marks so that the file can be overwritten.
    virtual bool clearAttributes(std::string_view path) = 0;

    // Copies one file; an existing destination file is replaced.
    virtual bool copyFile(std::string_view from, std::string_view to) = 0;
    // Copies one file to a path where nothing exists yet, and fails, changing nothing, where something does:
    // a wrong "not there" must never let a copy overwrite a file that has no backup. Backends should make
    // the test and the copy one step (O_EXCL, CopyFile's fail-if-exists); this fallback tests first.
    virtual bool copyFileToNew(std::string_view from, std::string_view to) {
        return !attributes(to) && copyFile(from, to);
    }
    virtual bool deleteFile(std::string_view path) = 0;

    // Creates an empty text file where nothing exists yet, in one step; false, leaving whatever is there as
    // it is, where something does. A file it made but could not complete is removed again.
    virtual bool createTextFile(std::string_view path) = 0;
    // The whole content of an 8-bit text file, decoded from the platform's 8-bit code page to UTF-8;
    // nothing when the file cannot be read.
    virtual std::optional<std::string> readTextFile(std::string_view path) = 0;
    // Appends each line followed by CR LF, in the code page in which the platform's command interpreter
    // reads scripts; false, writing nothing, when a line cannot be written there exactly.
    virtual bool appendLines(std::string_view path, std::span<const std::string> lines) = 0;
    // The text as the command interpreter will read it back from a script written by appendLines, in UTF-8;
    // nothing when a character has no exact form in the interpreter's code page.
    virtual std::optional<std::string> scriptText(std::string_view text) = 0;

    // Tells files apart for as long as they exist: two paths give the same key exactly when they name one
    // file, and a file made later at the same path gives another key. Nothing when nothing is there.
    virtual std::optional<std::string> identity(std::string_view path) = 0;
};

} // namespace hotfix
