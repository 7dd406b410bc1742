#include "posix_registry.hpp"

#include "../text_codec.hpp"
#include "system_reg.hpp"
#include "unicode_text.hpp"
#include "wine_prefix.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace hotfix {

namespace {

constexpr std::uint32_t kLinkType = 6;
constexpr std::string_view kLinkValueName = "symboliclinkvalue";
constexpr std::string_view kMachineRoot = "\\registry\\machine\\";
// Links pointing at links pointing at ... end somewhere; a loop must not.
constexpr int kMaxLinkHops = 16;

// Folded names joined by single "\": how key paths are compared.
std::string normalizedKeyPath(std::string_view path) {
    std::string out;
    std::string_view rest = path;
    while (!rest.empty()) {
        const auto separator = rest.find('\\');
        const std::string_view name = rest.substr(0, separator);
        if (!name.empty()) {
            if (!out.empty()) {
                out.push_back('\\');
            }
            out += foldCase(name);
        }
        if (separator == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(separator + 1);
    }
    return out;
}

constexpr std::uint32_t kTextType = 1;
constexpr std::uint32_t kExpandableTextType = 2;
constexpr std::uint32_t kTextListType = 7;

// The same key in the 32-bit view of a 64-bit prefix, where Software's subtree lies below Wow6432Node;
// nothing where both views share the key.
std::optional<std::string> view32Path(std::string_view path) {
    constexpr std::string_view kSoftware = "software";
    constexpr std::string_view kWow64Node = "\\wow6432node";
    if (!path.starts_with(kSoftware)) {
        return std::nullopt;
    }
    const std::string_view rest = path.substr(kSoftware.size());
    const auto isName = [&rest](std::string_view name) {
        return rest.starts_with(name) && (rest.size() == name.size() || rest[name.size()] == '\\');
    };
    if (!isName("") || isName(kWow64Node)) {
        return std::nullopt;
    }
    return std::string(kSoftware).append(kWow64Node).append(rest);
}

// The first section of a key, read from its "[" line until the next section begins.
class SectionScan : public SystemRegVisitor {
public:
    bool key(std::string_view) override { return !std::exchange(m_begun, true); }
    bool wantsValues() const override { return true; }

private:
    bool m_begun = false;
};

// The target of a link section: its SymbolicLinkValue, when a "#link" line came before it.
class LinkScan final : public SectionScan {
public:
    void link() override { m_isLink = true; }
    bool value(std::string_view name, const SystemRegValue& value) override {
        if (!m_isLink || value.type != kLinkType || foldCase(name) != kLinkValueName) {
            return true;
        }
        std::u16string units;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                                  (static_cast<unsigned char>(value.data[i + 1]) << 8)));
        }
        const std::string target = foldCase(utf16ToUtf8(units));
        std::optional<std::string> to;
        if (target.starts_with(kMachineRoot)) {
            to = normalizedKeyPath(std::string_view(target).substr(kMachineRoot.size()));
        }
        found = std::move(to);
        return false;
    }

    std::optional<std::optional<std::string>> found;

private:
    bool m_isLink = false;
};

// One value of a section; the first that matches wins.
class ValueScan final : public SectionScan {
public:
    explicit ValueScan(std::string_view foldedName)
        : m_name(foldedName) {}

    bool value(std::string_view name, const SystemRegValue& value) override {
        if (foldCase(name) != m_name) {
            return true;
        }
        found = value;
        return false;
    }

    std::optional<SystemRegValue> found;

private:
    std::string_view m_name;
};

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return {};
    }
    std::string text(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return text;
}

} // namespace

PosixRegistry::PosixRegistry(const WinePrefix& prefix)
    : m_file(prefix.systemRegPath())
    , m_codePage(AnsiCodePage::of(prefix)) {}

void PosixRegistry::load() {
    if (std::exchange(m_loaded, true) || m_file.empty()) {
        return;
    }
    m_text = readWholeFile(m_file);
    auto sections = indexSystemReg(m_text);
    if (!sections) {
        m_text.clear();
        return;
    }
    m_sections.reserve(sections->size());
    m_keys.reserve(sections->size() * 2);
    for (const SystemRegSection& section : *sections) {
        std::string path = normalizedKeyPath(section.path);
        m_sections[path].push_back({section.offset, section.link});
        // Ancestors up to the first one already known, which has its own ancestors known too.
        while (!path.empty() && m_keys.insert(path).second) {
            const auto separator = path.rfind('\\');
            path.resize(separator == std::string::npos ? 0 : separator);
        }
    }
}

std::optional<std::optional<std::string>> PosixRegistry::linkTarget(const std::string& path) const {
    const auto sections = m_sections.find(path);
    if (sections == m_sections.end()) {
        return std::nullopt;
    }
    for (const Section& section : sections->second) {
        if (section.link) {
            LinkScan scan;
            readSystemRegFrom(m_text, section.offset, scan);
            if (scan.found) {
                return scan.found;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> PosixRegistry::resolveKey(std::string path) const {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (path.empty()) {
            return path;
        }
        // The outermost link on the way decides; links below it are seen once the path goes through it.
        bool followed = false;
        for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
            const std::string prefix = path.substr(0, end);
            if (const auto target = linkTarget(prefix)) {
                if (!*target) {
                    return std::nullopt;
                }
                path = normalizedKeyPath(**target + (end == std::string::npos ? "" : path.substr(end)));
                followed = true;
                break;
            }
            if (end == std::string::npos) {
                break;
            }
        }
        if (!followed) {
            return m_keys.contains(path) ? std::optional<std::string>(path) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<SystemRegValue> PosixRegistry::findValue(const std::string& path,
                                                       const std::string& foldedName) const {
    const auto sections = m_sections.find(path);
    if (sections == m_sections.end()) {
        return std::nullopt;
    }
    for (const Section& section : sections->second) {
        ValueScan scan(foldedName);
        readSystemRegFrom(m_text, section.offset, scan);
        if (scan.found) {
            return scan.found;
        }
    }
    return std::nullopt;
}

long PosixRegistry::openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) {
    if (rootKey != kLocalMachine) {
        return kInvalidHandle;
    }
    if ((access & ~kReadRights) != 0) {
        return kAccessDenied;
    }
    load();
    const std::string path = normalizedKeyPath(keyPath);
    OpenKey views;
    if (const auto path32 = view32Path(path)) {
        views.view32 = resolveKey(*path32);
    }
    views.view64 = resolveKey(path);
    if (!views.view32 && !views.view64) {
        return kFileNotFound;
    }
    key = m_nextKey++;
    m_openKeys.emplace(key, std::move(views));
    return kSuccess;
}

long PosixRegistry::queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                               std::span<std::byte> buffer, std::uint32_t& size) {
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end()) {
        return kInvalidHandle;
    }
    const std::string name = foldCase(valueName);
    // The 32-bit view's value where it has one, else the plain key's.
    std::optional<SystemRegValue> found;
    if (open->second.view32) {
        found = findValue(*open->second.view32, name);
    }
    if (!found && open->second.view64) {
        found = findValue(*open->second.view64, name);
    }
    if (!found) {
        return kFileNotFound;
    }
    SystemRegValue& value = *found;
    const bool whole = value.data.size() == value.size;
    if (whole &&
        (value.type == kTextType || value.type == kExpandableTextType || value.type == kTextListType)) {
        value.data = m_codePage.fromUtf8(value.data);
        value.size = value.data.size();
    }
    const std::size_t capacity = std::min<std::size_t>(size, buffer.size());
    type = value.type;
    if (value.size > capacity || !whole) {
        size = static_cast<std::uint32_t>(std::min<std::uint64_t>(value.size, UINT32_MAX));
        return kMoreData;
    }
    std::memcpy(buffer.data(), value.data.data(), value.data.size());
    size = static_cast<std::uint32_t>(value.data.size());
    return kSuccess;
}

void PosixRegistry::closeKey(Key key) {
    m_openKeys.erase(key);
}

std::string PosixRegistry::decodeText(std::string_view bytes) {
    return m_codePage.toUtf8(bytes);
}

} // namespace hotfix
