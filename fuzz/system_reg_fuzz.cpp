// Any bytes as a Wine registry file, read by readSystemReg three times: once as the registry reader reads it,
// once with a small data limit, values wanted only for every other key and reading stopped early, so that the
// truncating, skipping and stopping paths are reached as well, and once with a limit that varies with the
// input. Its index must find the same sections, and the registry on the file, links followed, must read
// values from it without failing.

#include "platform/posix/posix_registry.hpp"
#include "platform/posix/system_reg.hpp"
#include "platform/posix/wine_prefix.hpp"
#include "platform/reg_module.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace hotfix::posix {
namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool isText(std::uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

// Which sections' values a reading asks for.
enum class Wanted { EveryKey, EveryOtherKey };

class Checker final : public SystemRegVisitor {
public:
    Checker(std::size_t dataLimit, Wanted wanted, int valueBudget)
        : m_dataLimit(dataLimit)
        , m_everyOtherKey(wanted == Wanted::EveryOtherKey)
        , m_valueBudget(valueBudget) {}

    bool key(std::string_view path) override {
        ++m_keys;
        m_inKey = true;
        (void)path;
        return true;
    }
    void link() override { require(m_inKey, "a link belongs to a key's section"); }
    bool wantsValues() const override { return !m_everyOtherKey || m_keys % 2 == 1; }
    bool value(std::string_view, const SystemRegValue& value) override {
        require(m_inKey, "a value belongs to a key's section");
        require(wantsValues(), "values of an unwanted section are skipped");
        // The registry reader copies data into the caller's buffer once size fits it: data beyond size
        // would overrun that buffer.
        require(value.data.size() <= value.size, "data holds no more than the value's size");
        // A text given as UTF-16 bytes and read whole is converted to UTF-8 afterwards and may then outgrow
        // the limit (up to half as much again); every other value is cut at it.
        const bool convertedWhole = isText(value.type) && value.data.size() == value.size;
        require(value.data.size() <= m_dataLimit ||
                    (convertedWhole && value.data.size() <= m_dataLimit / 2 * 3 + 4),
                "data is cut at the limit");
        return --m_valueBudget > 0;
    }

private:
    std::size_t m_dataLimit;
    bool m_everyOtherKey;
    int m_valueBudget;
    int m_keys = 0;
    bool m_inKey = false;
};

// Records the key paths a reading visits, and stops after maxKeys of them.
class KeyRecorder final : public SystemRegVisitor {
public:
    explicit KeyRecorder(std::size_t maxKeys)
        : m_maxKeys(maxKeys) {}

    bool key(std::string_view path) override {
        if (keys.size() == m_maxKeys) {
            return false;
        }
        keys.emplace_back(path);
        return true;
    }
    bool wantsValues() const override { return false; }
    bool value(std::string_view, const SystemRegValue&) override { return true; }

    std::vector<std::string> keys;

private:
    std::size_t m_maxKeys;
};

class SectionRecorder final : public SystemRegIndexVisitor {
public:
    void section(std::string_view path, std::size_t offset) override { sections.emplace_back(path, offset); }
    void link() override { require(!sections.empty(), "a link mark belongs to a section"); }

    std::vector<std::pair<std::string, std::size_t>> sections;
};

// The index finds the sections a whole reading visits, and reading from a section's offset begins there.
void indexAgreesWithReading(const std::string& file) {
    std::istringstream in(file);
    KeyRecorder whole(SIZE_MAX);
    const bool isRegistry = readSystemReg(in, whole);
    SectionRecorder index;
    require(indexSystemReg(file, index) == isRegistry, "the index accepts the files that reading accepts");
    require(index.sections.size() == whole.keys.size(), "the index holds every section");
    for (std::size_t i = 0; i < index.sections.size(); ++i) {
        const auto& [path, offset] = index.sections[i];
        require(path == whole.keys[i], "the index names each section as reading does");
        KeyRecorder from(1);
        readSystemRegFrom(file, offset, from);
        require(from.keys.size() == 1 && from.keys.front() == path, "a section's offset begins it");
    }
}

std::string makePrefixFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/system_reg_fuzz.XXXXXX";
    require(::mkdtemp(pattern.data()) != nullptr, "a temporary prefix folder can be made");
    return pattern;
}

void removePrefixFolder();

// A folder of this process's own that stands for a Wine prefix; the input becomes its system.reg.
const std::string& prefixFolder() {
    static const std::string folder = makePrefixFolder();
    // Registered once the folder's name exists, so that it is removed before the name goes.
    static const bool removedAtExit = std::atexit(removePrefixFolder) == 0;
    (void)removedAtExit;
    return folder;
}

void removePrefixFolder() {
    ::rmdir(prefixFolder().c_str());
}

// The registry reads the file as the installer does: keys opened through links, values of every kind.
void readThroughTheRegistry(const std::string& file) {
    const std::string path = prefixFolder() + "/system.reg";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        require(out.good(), "the input can be written as system.reg");
    }
    PosixRegistry registry{WinePrefix(prefixFolder())};
    for (const char* key : {"System\\CurrentControlSet\\Control\\Session Manager",
                            "Software\\Vantrel Software", "", "Software"}) {
        for (const char* name : {"QXINSTALLDIR", "Pending"}) {
            std::string value;
            RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine, key, name, value);
        }
    }
    ::unlink(path.c_str());
}

void readThreeTimes(const std::string& file) {
    {
        std::istringstream in(file);
        Checker checker(kSystemRegDataLimit, Wanted::EveryKey, 1 << 30);
        readSystemReg(in, checker);
    }
    {
        std::istringstream in(file);
        constexpr std::size_t kSmallLimit = 7;
        Checker checker(kSmallLimit, Wanted::EveryOtherKey, 50);
        readSystemReg(in, checker, kSmallLimit);
    }
    {
        std::istringstream in(file);
        const std::size_t limit = 1 + file.size() % 64;
        Checker checker(limit, Wanted::EveryKey, 1 << 30);
        readSystemReg(in, checker, limit);
    }
}

} // namespace
} // namespace hotfix::posix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bytes, whatever their value, are read as chars.
    const std::string file(reinterpret_cast<const char*>(data), size);
    hotfix::posix::readThreeTimes(file);
    hotfix::posix::indexAgreesWithReading(file);
    hotfix::posix::readThroughTheRegistry(file);
    return 0;
}
