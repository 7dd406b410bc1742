#pragma once

#include "engine/install_run.hpp"
#include "platform/platform_services.hpp"
#include "support/hooked_file_system.hpp"
#include "support/temp_dir.hpp"
#include "support/workstation.hpp"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

namespace hotfix::test {

// A "/"-separated relative path as a list file writes it.
inline std::string toBackslashes(std::string_view path) {
    std::string out(path);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// A package folder and a workstation with a product root "Vantrel" and a Windows root "WINNT", on real
// temporary folders, driven through the platform's file system with a fake window, launcher and boxes.
// Folders are given relative to a root or to the side's package folder, "/"-separated and ending in "/".
class InstallFixture : public ::testing::Test {
protected:
    InstallFixture() {
        std::filesystem::create_directories(productRoot());
        std::filesystem::create_directories(windowsRoot());
        run.setRoots(productRoot().string(), windowsRoot().string());
        launcher.contentOf = [this](const std::string& path) {
            return readWholeFile(*real, path).value_or("<none>");
        };
    }

    void install() { runInstall(window, services); }
    std::vector<std::string> prompts() const { return boxes.prompts(); }

    // The package: a listed file with its new version, or without one.
    void listed(Side side, std::string_view folder, std::string_view name, std::string_view newContent) {
        window.addListItem(side, std::string(name), toBackslashes(folder));
        package.write(packageRelative(side, folder, name), newContent);
    }
    void listedWithoutPackageFile(Side side, std::string_view folder, std::string_view name) {
        window.addListItem(side, std::string(name), toBackslashes(folder));
        std::filesystem::create_directories(package.path() / packageRelative(side, folder, ""));
    }
    std::filesystem::path packageFile(Side side, std::string_view folder, std::string_view name) const {
        return package.path() / packageRelative(side, folder, name);
    }

    // The workstation, by paths relative to a side's root.
    std::filesystem::path installed(Side side, std::string_view relative, std::string_view content) {
        const auto path = root(side) / utf8Path(relative);
        std::filesystem::create_directories(path.parent_path());
        writeFile(path, content);
        return path;
    }
    std::string contentAt(Side side, std::string_view relative) const {
        return readFile(root(side) / utf8Path(relative));
    }
    bool existsAt(Side side, std::string_view relative) const {
        return std::filesystem::exists(root(side) / utf8Path(relative));
    }

    // Paths as the engine spells them.
    std::string programFolder() const { return package.str(); }
    std::string packageFolder(Side side) const {
        return package.str() + (side == Side::Product ? "\\Setup\\Vtrl\\" : "\\Setup\\Othr\\");
    }
    // The path the engine builds for an item of the fixture (root, "\", folder as listed, name).
    std::string destination(Side side, std::string_view folder, std::string_view name) const {
        return root(side).string() + "\\" + toBackslashes(folder) + std::string(name);
    }

    std::filesystem::path productRoot() const { return machine.path() / "Vantrel"; }
    std::filesystem::path windowsRoot() const { return machine.path() / "WINNT"; }
    std::filesystem::path root(Side side) const {
        return side == Side::Product ? productRoot() : windowsRoot();
    }

    TempDir package;
    TempDir machine;
    std::unique_ptr<FileSystem> real = makeFileSystem();
    HookedFileSystem fs{*real};
    Workstation run{package.str(), fs};
    // The workstation's parts by their own names, as the tests use them.
    FakeInstallerWindow& window = run.window;
    RecordingMsgBox& boxes = run.boxes;
    FakeLauncher& launcher = run.launcher;
    EngineServices& services = run.services;
};

} // namespace hotfix::test
