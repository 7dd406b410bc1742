#include "platform/posix/posix_folder_browser.hpp"

#include "platform/ascii.hpp"
#include "platform/posix/unicode_text.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace hotfix::posix {

namespace fs = std::filesystem;

PosixFolderBrowser::PosixFolderBrowser(WinePrefix prefix)
    : m_paths(std::move(prefix)) {}

std::vector<Drive> PosixFolderBrowser::drives() {
    std::vector<Drive> out;
    for (const WinePrefix::DriveLink& link : m_paths.prefix().drives()) {
        out.push_back({link.letter, std::string{link.letter, ':', '\\'}});
    }
    return out;
}

std::optional<DriveError> PosixFolderBrowser::checkDrive(char letter) {
    letter = asciiUpper(letter);
    for (const WinePrefix::DriveLink& link : m_paths.prefix().drives()) {
        std::error_code error;
        if (link.letter == letter && fs::is_directory(link.root, error)) {
            return std::nullopt;
        }
    }
    return DriveError{kDeviceUnavailable, kDeviceUnavailableText};
}

std::vector<std::string> PosixFolderBrowser::subfolders(const std::string& folder) {
    std::vector<std::string> out;
    const std::string native = m_paths.nativePath(folder);
    if (native.empty()) {
        return out;
    }
    std::error_code error;
    for (auto it = fs::directory_iterator(native, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!name.starts_with('.') && it->is_directory(typeError)) {
            out.push_back(std::move(name));
        }
    }
    // Windows lists folders by name ignoring case; the exact name breaks ties so the order is stable.
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        const std::string foldedA = foldCase(a);
        const std::string foldedB = foldCase(b);
        return foldedA != foldedB ? foldedA < foldedB : a < b;
    });
    return out;
}

std::string PosixFolderBrowser::currentFolder() {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    if (error) {
        return drives().empty() ? std::string("Z:\\") : drives().front().root;
    }
    if (auto name = m_paths.prefix().windowsPath(current.string())) {
        return *name;
    }
    // No drive holds the folder: named as Wine's default Z: drive would name it.
    std::string out = "Z:";
    for (const char c : current.string()) {
        out.push_back(c == '/' ? '\\' : c);
    }
    return out;
}

} // namespace hotfix::posix
