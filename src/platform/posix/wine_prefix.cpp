#include "platform/posix/wine_prefix.hpp"

#include "platform/ascii.hpp"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace hotfix::posix {

namespace fs = std::filesystem;

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

// The path with symbolic links, "." and ".." resolved as far as it exists.
std::optional<fs::path> canonicalOf(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return std::nullopt;
    }
    fs::path out = fs::weakly_canonical(absolute, error);
    if (error) {
        return std::nullopt;
    }
    return out;
}

// The part of path below folder ("" for the folder itself), or nothing when path does not lie below it.
std::optional<std::string> relativeBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") {
        return path.substr(1);
    }
    if (path == folder) {
        return std::string();
    }
    if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
        path[folder.size()] == '/') {
        return path.substr(folder.size() + 1);
    }
    return std::nullopt;
}

std::string_view environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// What setlocale(LC_CTYPE, nullptr) reports after setlocale(LC_ALL, ""), without changing this process's
// locale: the environment's choice when the C library knows every category it names, otherwise "C".
std::string unixCtypeLocale() {
    const locale_t all = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (all == static_cast<locale_t>(nullptr)) {
        return "C";
    }
    ::freelocale(all);
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (const std::string_view value = environmentText(name); !value.empty()) {
            return std::string(value);
        }
    }
    return "C";
}

} // namespace

std::string wineSystemLocale(std::string_view lcAll, std::string_view unixCtype) {
    std::string_view name = unixCtype;
    if (name.empty() || name == "C") {
        name = lcAll;
        if (name.empty()) {
            return {};
        }
    }
    const std::size_t separator = name.find_first_of("_.@");
    if (separator == std::string_view::npos) {
        return name == "POSIX" || name == "C" ? "en-US" : std::string(name);
    }
    const std::string_view language = name.substr(0, separator);
    std::string_view country;
    std::string_view rest = name.substr(separator);
    if (rest.front() == '_') {
        rest.remove_prefix(1);
        const std::size_t end = rest.find_first_of(".@");
        country = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    if (!rest.empty() && rest.front() == '.') {
        const std::size_t at = rest.find('@');
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at);
    }
    std::string out(language);
    if (!rest.empty()) {
        const std::string_view modifier = rest.substr(1);
        if (modifier == "latin") {
            out += "-Latn";
        } else if (modifier != "euro") {
            return {};
        }
    }
    if (!country.empty()) {
        out += '-';
        out += country;
    }
    return out;
}

WinePrefix::WinePrefix(std::string folder)
    : m_folder(std::move(folder)) {
    while (m_folder.size() > 1 && m_folder.back() == '/') {
        m_folder.pop_back();
    }
}

WinePrefix WinePrefix::fromEnvironment() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return WinePrefix(prefix);
    }
    return WinePrefix(homeFolder() + "/.wine");
}

bool WinePrefix::exists() const {
    std::error_code error;
    return !m_folder.empty() && (hasDosDevices() || fs::is_regular_file(systemRegPath(), error));
}

std::string WinePrefix::systemRegPath() const {
    return m_folder.empty() ? std::string() : m_folder + "/system.reg";
}

CodePages WinePrefix::codePages() const {
    return codePagesOfLocale(wineSystemLocale(environmentText("LC_ALL"), unixCtypeLocale()));
}

bool WinePrefix::hasDosDevices() const {
    std::error_code error;
    return !m_folder.empty() && fs::is_directory(m_folder + "/dosdevices", error);
}

std::vector<WinePrefix::DriveLink> WinePrefix::drives() const {
    std::vector<DriveLink> out;
    if (!hasDosDevices()) {
        out.push_back({'Z', "/"});
        return out;
    }
    std::error_code error;
    const std::string devices = m_folder + "/dosdevices";
    for (auto it = fs::directory_iterator(devices, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        // "c:" is a drive; "c::" (the raw device) and "com1" are not.
        if (name.size() == 2 && isAsciiLetter(name[0]) && name[1] == ':') {
            std::string link = devices;
            link += '/';
            link += name;
            out.push_back({asciiUpper(name[0]), std::move(link)});
        }
    }
    std::sort(out.begin(), out.end(),
              [](const DriveLink& a, const DriveLink& b) { return a.letter < b.letter; });
    // Two entries "c:" and "C:" would name one drive twice; the first one sorted is the one used.
    out.erase(std::unique(out.begin(), out.end(),
                          [](const DriveLink& a, const DriveLink& b) { return a.letter == b.letter; }),
              out.end());
    return out;
}

std::optional<std::string> WinePrefix::driveFolder(char letter) const {
    if (!isAsciiLetter(letter)) {
        return std::nullopt;
    }
    if (!hasDosDevices()) {
        return asciiUpper(letter) == 'Z' ? std::optional<std::string>("/") : std::nullopt;
    }
    // Wine names the links in lower case; a letter without a link has no root, so that nothing is ever
    // created in dosdevices itself.
    for (const char spelling : {asciiLower(letter), asciiUpper(letter)}) {
        std::string link = m_folder + "/dosdevices/" + spelling + ":";
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0) {
            return link;
        }
    }
    return std::nullopt;
}

std::optional<std::string> WinePrefix::windowsPath(const std::string& nativePath) const {
    const auto target = canonicalOf(nativePath);
    if (!target) {
        return std::nullopt;
    }
    const std::string path = target->string();
    std::optional<char> bestLetter;
    std::string bestRest;
    std::size_t bestLength = 0;
    for (const DriveLink& drive : drives()) {
        const auto root = canonicalOf(drive.root);
        std::error_code error;
        if (!root || !fs::is_directory(*root, error)) {
            continue;
        }
        const std::string rootText = root->string();
        const auto rest = relativeBelow(path, rootText);
        if (rest && (!bestLetter || rootText.size() > bestLength)) {
            bestLetter = drive.letter;
            bestRest = *rest;
            bestLength = rootText.size();
        }
    }
    if (!bestLetter) {
        return std::nullopt;
    }
    std::string out{*bestLetter, ':', '\\'};
    for (const char c : bestRest) {
        out.push_back(c == '/' ? '\\' : c);
    }
    return out;
}

} // namespace hotfix::posix
