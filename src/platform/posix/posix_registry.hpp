#pragma once

#include "platform/posix/ansi_code_page.hpp"
#include "platform/posix/system_reg.hpp"
#include "platform/registry.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace hotfix::posix {

class WinePrefix;

// HKEY_LOCAL_MACHINE as a Wine prefix keeps it: the text file system.reg, read and indexed once, when the
// first key is opened (the installer reads the registry at start-up only; what Wine writes later is not
// seen). A key is opened in both views of a 64-bit prefix, and a value taken from the 32-bit view
// (Software\Wow6432Node) where it is there, else from the plain key, as the Windows backend does. Key
// paths and value names match ignoring case. Texts come out in the prefix's ANSI code page, as the A entry
// points hand them out, so that the reader's limit counts the same bytes as on Windows. The file is only
// ever read: a key opened with any right that would change it is refused with "access denied", as Windows
// refuses a user without write access.
class PosixRegistry final : public RegistryApi {
public:
    static constexpr long kAccessDenied = 5;
    static constexpr long kInvalidHandle = 6;
    // The rights that read a key: KEY_READ, the view flags of the 64-bit registry and GENERIC_READ.
    static constexpr std::uint32_t kReadRights = 0x20019u | 0x100u | 0x200u | 0x80000000u;

    explicit PosixRegistry(const WinePrefix& prefix);

    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override;
    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override;
    void closeKey(Key key) override;
    std::string decodeText(std::string_view bytes) override;

private:
    static constexpr std::size_t kNoSection = SIZE_MAX;
    struct Section {
        std::size_t offset = 0; // where its "[" line begins in the file
        std::size_t pathBegin = 0;
        std::size_t pathLength = 0;
        bool link = false;
        std::size_t next = kNoSection; // the key's next section in file order
    };
    struct OpenKey {
        std::optional<std::string> view32;
        std::optional<std::string> view64;
    };

    void load();
    // The key's path with symbolic links followed, folded; nothing when the key does not exist.
    std::optional<std::string> resolveKey(std::string path) const;
    // Where a link at this folded path points (nothing inside for a target outside HKEY_LOCAL_MACHINE);
    // nothing when the key is no link.
    std::optional<std::optional<std::string>> linkTarget(std::string_view path) const;
    std::optional<SystemRegValue> findValue(std::string_view path, std::string_view foldedName) const;

    std::string m_file;
    AnsiCodePage m_codePage;
    bool m_loaded = false;
    std::string m_text;
    // The folded paths of all sections, back to back; the maps below refer into it.
    std::string m_paths;
    std::vector<Section> m_sectionList;
    // Each folded key path's first section, and every key that exists.
    std::unordered_map<std::string_view, std::size_t> m_firstSection;
    std::unordered_set<std::string_view> m_keys;
    std::map<Key, OpenKey> m_openKeys;
    Key m_nextKey = 1;
};

} // namespace hotfix::posix
