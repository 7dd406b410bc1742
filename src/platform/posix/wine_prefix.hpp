#pragma once

#include "platform/posix/code_page.hpp"

#include <optional>
#include <string>
#include <vector>

namespace hotfix::posix {

// The system locale Wine derives from the Unix locale at every start of a program: LC_ALL when the C library
// settles on "C" for LC_CTYPE (unixCtype, as setlocale(LC_CTYPE) reports it after setlocale(LC_ALL, "")),
// rewritten from lang_COUNTRY.charset@modifier to lang-COUNTRY ("@latin" adds "-Latn"); "en-US" for a bare
// "C" or "POSIX". Empty where Wine gives up and takes its default, en-US.
std::string wineSystemLocale(std::string_view lcAll, std::string_view unixCtype);

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

    // The ANSI and OEM code pages of the programs Wine runs here, cmd included. Wine takes them from its
    // system locale (see wineSystemLocale), which it derives anew at every start from the environment it is
    // given, not from the prefix; the installer's scripts get the installer's environment, so this reads
    // that. The prefix's registry only records the last start's (Nls\Codepage), which a start with another
    // locale has changed. A locale Windows does not know, or none, gives en-US's 1252 and 437, as in Wine.
    CodePages codePages() const;

    // The drives, by letter. A link whose target is missing is still a drive: its device is unavailable.
    // Without a dosdevices folder the only drive is Z:, mapped to "/", as Wine maps it by default.
    std::vector<DriveLink> drives() const;
    // The Unix folder that stands for "<letter>:\": the drive's link in dosdevices, which may point nowhere;
    // nothing for a letter that is no drive.
    std::optional<std::string> driveFolder(char letter) const;

    // The name Wine gives a native path: the drive whose folder holds it (the deepest one when several
    // do) followed by the rest with "\" separators; nothing when no drive holds it.
    std::optional<std::string> windowsPath(const std::string& nativePath) const;

private:
    bool hasDosDevices() const;

    std::string m_folder;
};

} // namespace hotfix::posix
