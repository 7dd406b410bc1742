#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hotfix {

// The Windows machine of the POSIX build: a Wine prefix. Its system.reg holds HKEY_LOCAL_MACHINE and each
// dosdevices/<letter>: entry is a drive. Everything is looked up when asked, so that a prefix changed by
// Wine meanwhile is seen as it is now.
class WinePrefix {
public:
    struct DriveLink {
        char letter = 'C'; // upper case
        std::string root;  // the native folder that stands for "<letter>:\"
    };

    // No prefix at all: no registry, and Z: mapped to "/" as the only drive.
    WinePrefix() = default;
    explicit WinePrefix(std::string folder);

    // $WINEPREFIX when set, otherwise ~/.wine, as Wine itself finds it.
    static WinePrefix fromEnvironment();

    const std::string& folder() const { return m_folder; }
    // True once Wine has made (or begun) the prefix: it holds system.reg or dosdevices.
    bool exists() const;
    std::string systemRegPath() const;

    // The drives, by letter. A link whose target is missing is still a drive: its device is unavailable.
    // Without a dosdevices folder the only drive is Z:, mapped to "/", as Wine maps it by default.
    std::vector<DriveLink> drives() const;
    // Where "<letter>:\" lies (the drive's link, which may point nowhere); nothing for a letter that is no
    // drive.
    std::optional<std::string> driveRoot(char letter) const;

    // The name Wine gives a native path: the drive whose folder holds it (the deepest one when several
    // do) followed by the rest with "\" separators; nothing when no drive holds it.
    std::optional<std::string> windowsPath(const std::string& nativePath) const;

private:
    bool hasDosDevices() const;

    std::string m_folder;
};

} // namespace hotfix
