#include "platform/posix/posix_path_resolver.hpp"

#include "platform/ascii.hpp"
#include "platform/posix/unicode_text.hpp"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace hotfix::posix {

namespace {

// Enough for the folders one install touches; past it the oldest knowledge is simply dropped.
constexpr std::size_t kMaxListings = 256;

bool entryExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string joined(const std::string& folder, std::string_view name) {
    std::string out = folder;
    if (!out.empty() && out.back() != '/') {
        out.push_back('/');
    }
    out += name;
    return out;
}

std::string folderForListing(const std::string& folder) {
    return folder.empty() ? std::string(".") : folder;
}

bool sameStamp(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Splits "dir/name" into its folder ("/" for a top-level entry, "" for a relative name) and its name.
std::pair<std::string, std::string> splitLast(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// The names of a path, without the empty ones that separators at its start or end, or in a run, leave.
std::vector<std::string_view> namesOf(std::string_view path) {
    std::vector<std::string_view> names;
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (slash != 0) {
            names.push_back(path.substr(0, slash));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return names;
}

void addName(std::vector<std::string>& names, const std::string& name) {
    const auto at = std::lower_bound(names.begin(), names.end(), name);
    if (at == names.end() || *at != name) {
        names.insert(at, name);
    }
}

} // namespace

std::string toPosixPath(std::string_view windowsStylePath) {
    std::string out;
    out.reserve(windowsStylePath.size());
    // Whole names at a time: paths are long and separators few.
    std::size_t at = 0;
    while (at < windowsStylePath.size()) {
        const std::size_t separator = windowsStylePath.find_first_of("\\/", at);
        const std::size_t end = separator == std::string_view::npos ? windowsStylePath.size() : separator;
        out.append(windowsStylePath.substr(at, end - at));
        if (separator == std::string_view::npos) {
            break;
        }
        if (out.empty() || out.back() != '/') {
            out.push_back('/');
        }
        at = separator + 1;
    }
    return out;
}

PosixPathResolver::PosixPathResolver(WinePrefix prefix)
    : m_prefix(std::move(prefix)) {}

std::string PosixPathResolver::spelledPath(std::string_view path) const {
    if (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') {
        const auto root = driveFolder(path[0]);
        if (!root) {
            return {};
        }
        // "C:" alone and "C:rest" both count from the drive's root: the installer has no current folder
        // per drive.
        return toPosixPath(*root + "/" + std::string(path.substr(2)));
    }
    return toPosixPath(path);
}

std::optional<std::string> PosixPathResolver::driveFolder(char letter) const {
    const std::size_t index = static_cast<std::size_t>(asciiUpper(letter) - 'A');
    const std::lock_guard lock(m_driveMutex);
    if (!m_driveFolders[index]) {
        m_driveFolders[index] = m_prefix.driveFolder(letter);
    }
    return *m_driveFolders[index];
}

std::string PosixPathResolver::nativePath(std::string_view path) {
    return resolveCase(spelledPath(path));
}

std::string PosixPathResolver::resolveCase(const std::string& posixPath) {
    if (posixPath.empty() || entryExists(posixPath)) {
        return posixPath;
    }
    return resolveMissing(posixPath);
}

std::string PosixPathResolver::resolveMissing(const std::string& posixPath) {
    if (posixPath.empty()) {
        return posixPath;
    }
    // Most names that do not exist as spelled lie in a folder that does: one look at its listing answers.
    if (auto found = lookUpInListedFolder(posixPath)) {
        return std::move(*found);
    }
    const bool absolute = posixPath.front() == '/';
    const bool trailingSlash = posixPath.size() > 1 && posixPath.back() == '/';
    const std::vector<std::string_view> parts = namesOf(posixPath);
    if (parts.empty()) {
        return posixPath;
    }

    // The deepest folder that exists as spelled; everything below it is looked up ignoring case.
    const auto prefixOf = [&](std::size_t count) {
        std::string out = absolute ? "/" : "";
        for (std::size_t i = 0; i < count; ++i) {
            out = joined(out, parts[i]);
        }
        return out;
    };
    std::size_t existing = parts.size();
    std::string current;
    do {
        --existing;
        current = prefixOf(existing);
    } while (existing > 0 && !entryExists(current));

    for (std::size_t i = existing; i < parts.size(); ++i) {
        const std::string exact = joined(current, parts[i]);
        if (i > existing && entryExists(exact)) {
            current = exact;
            continue;
        }
        const auto match = matchInFolder(folderForListing(current), parts[i]);
        if (!match) {
            // Nothing below a missing entry can exist: the rest keeps its spelling.
            current = exact;
            for (std::size_t k = i + 1; k < parts.size(); ++k) {
                current = joined(current, parts[k]);
            }
            break;
        }
        current = joined(current, *match);
    }
    if (trailingSlash) {
        current.push_back('/');
    }
    return current;
}

std::optional<std::string> PosixPathResolver::lookUpInListedFolder(const std::string& posixPath) {
    const auto [folder, name] = splitLast(posixPath);
    if (name.empty()) {
        return std::nullopt;
    }
    const std::lock_guard lock(m_mutex);
    const Listing* listing = currentListing(folderForListing(folder));
    if (listing == nullptr) {
        return std::nullopt;
    }
    const auto it = listing->names.find(foldCase(name));
    if (it == listing->names.end() || it->second.empty()) {
        return posixPath;
    }
    return joined(folder, it->second.front());
}

PosixPathResolver::Listing* PosixPathResolver::currentListing(const std::string& folder) {
    if (m_trusted) {
        if (const auto it = m_listings.find(folder); it != m_listings.end()) {
            return &it->second;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        m_listings.erase(folder);
        return nullptr;
    }
    if (const auto it = m_listings.find(folder); it != m_listings.end()) {
        Listing& known = it->second;
        if (known.device == st.st_dev && known.inode == st.st_ino &&
            (known.changedByUs || sameStamp(known.modified, st.st_mtim))) {
            known.modified = st.st_mtim;
            known.changedByUs = false;
            return &known;
        }
        m_listings.erase(it);
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return nullptr;
    }
    Listing listing;
    listing.device = st.st_dev;
    listing.inode = st.st_ino;
    listing.modified = st.st_mtim;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            addName(listing.names[foldCase(name)], name);
        }
    }
    ::closedir(dir);
    if (m_listings.size() >= kMaxListings) {
        m_listings.clear();
    }
    return &m_listings.insert_or_assign(folder, std::move(listing)).first->second;
}

std::optional<std::string> PosixPathResolver::matchInFolder(const std::string& folder,
                                                            std::string_view name) {
    const std::lock_guard lock(m_mutex);
    Listing* listing = currentListing(folder);
    if (listing == nullptr) {
        return std::nullopt;
    }
    const auto it = listing->names.find(foldCase(name));
    if (it == listing->names.end() || it->second.empty()) {
        return std::nullopt;
    }
    return it->second.front();
}

// The installer's own change to a folder it has a listing of: the listing is updated in place and keeps
// counting as current.
template <typename Change>
void PosixPathResolver::updateListing(const std::string& nativePath, Change change) {
    const auto [folderPart, name] = splitLast(nativePath);
    const std::string folder = folderForListing(folderPart);
    const std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(folder);
    if (it == m_listings.end()) {
        return;
    }
    change(it->second.names, foldCase(name), name);
    // The folder's new time stamp is taken at the next look rather than with a stat now.
    it->second.changedByUs = true;
}

void PosixPathResolver::trustListings(bool trusted) {
    const std::lock_guard lock(m_mutex);
    m_trusted = trusted;
    // What was taken on trust is not kept past it: another program may have changed any folder meanwhile.
    if (!trusted) {
        m_listings.clear();
    }
}

bool PosixPathResolver::knownMissing(const std::string& posixPath) {
    const auto [folder, name] = splitLast(posixPath);
    const std::lock_guard lock(m_mutex);
    if (!m_trusted || name.empty()) {
        return false;
    }
    const auto it = m_listings.find(folderForListing(folder));
    return it != m_listings.end() && !it->second.names.contains(foldCase(name));
}

void PosixPathResolver::noteCreated(const std::string& nativePath) {
    updateListing(nativePath, [](auto& names, const std::string& key, const std::string& name) {
        addName(names[key], name);
    });
}

void PosixPathResolver::noteRemoved(const std::string& nativePath) {
    updateListing(nativePath, [](auto& names, const std::string& key, const std::string& name) {
        const auto entry = names.find(key);
        if (entry != names.end()) {
            std::erase(entry->second, name);
            if (entry->second.empty()) {
                names.erase(entry);
            }
        }
    });
}

} // namespace hotfix::posix
