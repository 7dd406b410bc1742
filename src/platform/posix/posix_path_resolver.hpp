#pragma once

#include "platform/posix/wine_prefix.hpp"

#include <array>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace hotfix::posix {

// "\" and "/" both separate, and a run of them is one separator: "/opt/root\\bin\a.dll" is
// /opt/root/bin/a.dll.
std::string toPosixPath(std::string_view windowsStylePath);

// Finds where a Windows-style path lies on this machine, as Wine finds it: "X:\rest" through the prefix's
// drive X, anything else as a POSIX path. Names are case-insensitive: a component that does not exist with
// its exact case names the entry of its folder that matches it ignoring case; a component that matches
// nothing keeps the case it was given, so that a file created new is named as the caller spelled it.
//
// Folder listings are kept between calls so that creating many files in one folder does not read that
// folder again for each of them. A listing is read again when the folder's modification time changes;
// changes this object makes itself are recorded through noteCreated and noteRemoved instead. While listings
// are trusted (a run that changes the folders only through this object), a listing once read is taken as it
// stands, without that look at the folder. The listings are guarded, so that a script's exit handler may
// remove its file from another thread.
class PosixPathResolver {
public:
    explicit PosixPathResolver(WinePrefix prefix = {});

    // Empty when the path can lie nowhere (a drive letter the prefix does not have).
    std::string nativePath(std::string_view path);
    // The same place with each name as it was spelled, before any lookup ignoring case.
    std::string spelledPath(std::string_view path) const;

    // nativePath for a path whose spelling (spelledPath) is known to lead nowhere as it stands.
    std::string resolveMissing(const std::string& spelledPath);

    void noteCreated(const std::string& nativePath);
    void noteRemoved(const std::string& nativePath);

    void trustListings(bool trusted);
    // Whether a listing held of the path's folder has no entry for its name in any case: true only where
    // that is known without a look at the disk, which needs trusted listings.
    bool knownMissing(const std::string& posixPath);

    const WinePrefix& prefix() const { return m_prefix; }

private:
    struct Listing {
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
        // The installer itself changed the folder since the time stamp was taken.
        bool changedByUs = false;
        // Names by their folded form; several names that differ only in case share one key, sorted.
        std::unordered_map<std::string, std::vector<std::string>> names;
    };

    std::string resolveCase(const std::string& posixPath);
    // The answer for a path whose folder exists and has a current listing; nothing for any other path.
    std::optional<std::string> lookUpInListedFolder(const std::string& posixPath);
    // The entry of folder that matches name ignoring case.
    std::optional<std::string> matchInFolder(const std::string& folder, std::string_view name);
    Listing* currentListing(const std::string& folder);
    template <typename Change>
    void updateListing(const std::string& nativePath, Change change);

    // The drive's folder, looked up once per letter: a run resolves every path through it, and a drive that
    // went away meanwhile fails the file call by itself.
    std::optional<std::string> driveFolder(char letter) const;

    WinePrefix m_prefix;
    mutable std::mutex m_driveMutex;
    mutable std::array<std::optional<std::optional<std::string>>, 26> m_driveFolders;
    std::mutex m_mutex;
    std::unordered_map<std::string, Listing> m_listings;
    bool m_trusted = false;
};

} // namespace hotfix::posix
