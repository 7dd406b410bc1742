#pragma once

#include "platform/file_system.hpp"

namespace hotfix::test {

// Passes every call to a real file system; test variants derive from it and override only what they change.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& real)
        : m_real(real) {}

    bool fileExists(std::string_view path) override { return m_real.fileExists(path); }
    bool folderExists(std::string_view path) override { return m_real.folderExists(path); }
    bool sameFile(std::string_view first, std::string_view second) override {
        return m_real.sameFile(first, second);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        return m_real.attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes attributes) override {
        return m_real.setAttributes(path, attributes);
    }
    bool clearAttributes(std::string_view path) override { return m_real.clearAttributes(path); }
    bool copyFile(std::string_view from, std::string_view to) override { return m_real.copyFile(from, to); }
    bool copyFileToNew(std::string_view from, std::string_view to) override {
        return m_real.copyFileToNew(from, to);
    }
    LinkResult linkFile(std::string_view existing, std::string_view newName) override {
        return m_real.linkFile(existing, newName);
    }
    bool moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override {
        return m_real.moveFile(from, to, overwrite);
    }
    bool flush(std::span<const std::string> paths) override { return m_real.flush(paths); }
    bool deleteFile(std::string_view path) override { return m_real.deleteFile(path); }
    bool createTextFile(std::string_view path) override { return m_real.createTextFile(path); }
    std::optional<std::string> scriptText(std::string_view text) override { return m_real.scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override { return m_real.identity(path); }
    std::optional<std::string> readTextFile(std::string_view path) override {
        return m_real.readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        return m_real.appendLines(path, lines);
    }

protected:
    FileSystem& real() { return m_real; }

private:
    FileSystem& m_real;
};

} // namespace hotfix::test
