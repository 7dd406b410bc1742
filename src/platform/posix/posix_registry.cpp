#include "platform/posix/posix_registry.hpp"

#include "platform/ascii.hpp"
#include "platform/posix/system_reg.hpp"
#include "platform/posix/unicode_text.hpp"
#include "platform/posix/wine_prefix.hpp"
#include "platform/text_codec.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace hotfix::posix {

namespace {

constexpr std::uint32_t kLinkType = 6;
constexpr std::string_view kLinkValueName = "symboliclinkvalue";
constexpr std::string_view kMachineRoot = "\\registry\\machine\\";
// Links pointing at links pointing at ... end somewhere; a loop must not.
constexpr int kMaxLinkHops = 16;
constexpr std::uint32_t kTextType = 1;
constexpr std::uint32_t kExpandableTextType = 2;
constexpr std::uint32_t kTextListType = 7;

// Appends the path's names, folded, joined by single "\\": how key paths are compared.
void appendNormalizedKeyPath(std::string& out, std::string_view path) {
    std::string folded;
    if (std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        folded = foldCase(path);
        path = folded;
    }
    const std::size_t start = out.size();
    for (const char c : path) {
        if (c != '\\') {
            out.push_back(asciiLower(c));
        } else if (out.size() > start && out.back() != '\\') {
            out.push_back(c);
        }
    }
    if (out.size() > start && out.back() == '\\') {
        out.pop_back();
    }
}

std::string normalizedKeyPath(std::string_view path) {
    std::string out;
    appendNormalizedKeyPath(out, path);
    return out;
}

// The same key in the 32-bit view of a 64-bit prefix, where Software's subtree lies below Wow6432Node;
// nothing where both views share the key.
std::optional<std::string> view32Path(std::string_view path) {
    constexpr std::string_view kSoftware = "software";
    constexpr std::string_view kWow64Node = "\\wow6432node";
    if (!path.starts_with(kSoftware)) {
        return std::nullopt;
    }
    const std::string_view rest = path.substr(kSoftware.size());
    const bool belowSoftware = rest.empty() || rest.front() == '\\';
    const bool named32Bit =
        rest.starts_with(kWow64Node) && (rest.size() == kWow64Node.size() || rest[kWow64Node.size()] == '\\');
    if (!belowSoftware || named32Bit) {
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
        const std::string target = foldCase(utf16BytesToUtf8(value.data));
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
    // First every section's folded path, back to back in one text; the maps then refer into it.
    struct Indexer final : SystemRegIndexVisitor {
        Indexer(std::string& paths, std::vector<Section>& sections)
            : m_paths(paths)
            , m_sections(sections) {}
        void section(std::string_view path, std::size_t offset) override {
            const std::size_t begin = m_paths.size();
            appendNormalizedKeyPath(m_paths, path);
            m_sections.push_back({offset, begin, m_paths.size() - begin});
        }
        void link() override { m_sections.back().link = true; }

    private:
        std::string& m_paths;
        std::vector<Section>& m_sections;
    } indexer(m_paths, m_sectionList);
    if (!indexSystemReg(m_text, indexer)) {
        m_text.clear();
        m_paths.clear();
        m_sectionList.clear();
        return;
    }
    m_firstSection.reserve(m_sectionList.size());
    m_keys.reserve(m_sectionList.size() * 2);
    // Backwards, so that each key's chain of sections runs in file order.
    for (std::size_t i = m_sectionList.size(); i-- > 0;) {
        Section& section = m_sectionList[i];
        const std::string_view path(m_paths.data() + section.pathBegin, section.pathLength);
        const auto [first, added] = m_firstSection.try_emplace(path, i);
        if (!added) {
            section.next = first->second;
            first->second = i;
        }
    }
    // Every key that exists: those with a section and their ancestors, since Wine leaves out keys that
    // hold only subkeys. An ancestor already known has its own ancestors known too.
    for (const Section& section : m_sectionList) {
        std::string_view path(m_paths.data() + section.pathBegin, section.pathLength);
        while (!path.empty() && m_keys.insert(path).second) {
            const auto separator = path.rfind('\\');
            path = path.substr(0, separator == std::string_view::npos ? 0 : separator);
        }
    }
}

std::optional<std::optional<std::string>> PosixRegistry::linkTarget(std::string_view path) const {
    const auto first = m_firstSection.find(path);
    for (std::size_t i = first == m_firstSection.end() ? kNoSection : first->second; i != kNoSection;
         i = m_sectionList[i].next) {
        const Section& section = m_sectionList[i];
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
            if (const auto target = linkTarget(std::string_view(path).substr(0, end))) {
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
            return m_keys.contains(std::string_view(path)) ? std::optional<std::string>(path) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<SystemRegValue> PosixRegistry::findValue(std::string_view path,
                                                       std::string_view foldedName) const {
    const auto first = m_firstSection.find(path);
    for (std::size_t i = first == m_firstSection.end() ? kNoSection : first->second; i != kNoSection;
         i = m_sectionList[i].next) {
        const Section& section = m_sectionList[i];
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

} // namespace hotfix::posix
