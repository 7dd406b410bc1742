#pragma once

#include "platform/file_system.hpp"

#include <string_view>

namespace hotfix::test {

// Passes every call to a real file system; test variants derive from it and override only what they change.
// A variant that watches or fails every call overrides refuses(), which each call passes.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& real)
        : m_real(real) {}

    bool fileExists(std::string_view path) override {
        return !refuses("fileExists", path, {}) && m_real.fileExists(path);
    }
    bool folderExists(std::string_view path) override {
        return !refuses("folderExists", path, {}) && m_real.folderExists(path);
    }
    bool sameFile(std::string_view first, std::string_view second) override {
        return !refuses("sameFile", first, second) && m_real.sameFile(first, second);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        if (refuses("attributes", path, {})) {
            return std::nullopt;
        }
        return m_real.attributes(path);
    }
    FileResult setAttributes(std::string_view path, FileAttributes attributes) override {
        return refuses("setAttributes", path, {}) ? FileResult(refused())
                                                  : m_real.setAttributes(path, attributes);
    }
    FileResult clearAttributes(std::string_view path) override {
        return refuses("clearAttributes", path, {}) ? FileResult(refused()) : m_real.clearAttributes(path);
    }
    FileResult copyFileToNew(std::string_view from, std::string_view to) override {
        return refuses("copyFileToNew", from, to) ? FileResult(refused()) : m_real.copyFileToNew(from, to);
    }
    LinkResult linkFile(std::string_view existing, std::string_view newName) override {
        if (refuses("linkFile", existing, newName)) {
            return {LinkOutcome::Failed, refused()};
        }
        return m_real.linkFile(existing, newName);
    }
    FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override {
        return refuses(overwrite == Overwrite::Never ? "moveFile" : "moveFileOver", from, to)
                   ? FileResult(refused())
                   : m_real.moveFile(from, to, overwrite);
    }
    FileResult flush(std::span<const std::string> paths) override {
        return refuses("flush", paths.empty() ? std::string_view() : paths.front(), {})
                   ? FileResult(refused())
                   : m_real.flush(paths);
    }
    FileResult flushNames(std::span<const std::string> paths) override {
        return refuses("flushNames", paths.empty() ? std::string_view() : paths.front(), {})
                   ? FileResult(refused())
                   : m_real.flushNames(paths);
    }
    FileResult deleteFile(std::string_view path) override {
        return refuses("deleteFile", path, {}) ? FileResult(refused()) : m_real.deleteFile(path);
    }
    FileResult createTextFile(std::string_view path) override {
        return refuses("createTextFile", path, {}) ? FileResult(refused()) : m_real.createTextFile(path);
    }
    std::optional<std::string> identity(std::string_view path) override {
        if (refuses("identity", path, {})) {
            return std::nullopt;
        }
        return m_real.identity(path);
    }
    FileResult appendToFile(std::string_view path, std::string_view bytes) override {
        return refuses("appendToFile", path, {}) ? FileResult(refused()) : m_real.appendToFile(path, bytes);
    }
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override {
        return !refuses("readFile", path, {}) && m_real.readFile(path, sink);
    }
    FileResult createFolders(std::string_view path) override {
        return refuses("createFolders", path, {}) ? FileResult(refused()) : m_real.createFolders(path);
    }
    void beginRun() override { m_real.beginRun(); }
    void endRun() override { m_real.endRun(); }
    FileResult appendDurably(std::string_view path, std::string_view bytes) override {
        return refuses("appendDurably", path, {}) ? FileResult(refused()) : m_real.appendDurably(path, bytes);
    }
    FileResult removeName(std::string_view path) override {
        return refuses("removeName", path, {}) ? FileResult(refused()) : m_real.removeName(path);
    }
    Privacy makePrivateFolder(std::string_view path) override {
        return refuses("makePrivateFolder", path, {}) ? Privacy::Unknown : m_real.makePrivateFolder(path);
    }
    Privacy privacy(std::string_view path) override {
        return refuses("privacy", path, {}) ? Privacy::Unknown : m_real.privacy(path);
    }
    Privacy readPrivateFile(std::string_view path,
                            const std::function<void(std::span<const char>)>& sink) override {
        return refuses("readFile", path, {}) ? Privacy::Unknown : m_real.readPrivateFile(path, sink);
    }
    std::unique_ptr<HeldFile> readAndHold(std::string_view path,
                                          const std::function<void(std::span<const char>)>& sink) override {
        return refuses("readFile", path, {}) ? nullptr : m_real.readAndHold(path, sink);
    }
    bool leadsTo(std::string_view path, const HeldFile& file) override {
        return !refuses("identity", path, {}) && m_real.leadsTo(path, file);
    }
    void confineBelow(std::span<const std::string> roots) override { m_real.confineBelow(roots); }

protected:
    FileSystem& real() { return m_real; }

    // Called before a call reaches the real file system, with the operation's name ("moveFileOver" for a
    // move over an existing file), its path and, for two paths, the second one; true fails the call as the
    // real one fails, untouched.
    virtual bool refuses(std::string_view op, std::string_view path, std::string_view to) {
        (void)op;
        (void)path;
        (void)to;
        return false;
    }

    // What a call that refuses() failed says.
    static FileError refused() { return {0, "the test made the operation fail", false}; }

private:
    FileSystem& m_real;
};

} // namespace hotfix::test
