#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace hotfix::posix {

// One value of a Wine registry file as RegQueryValueExA hands it out: the texts of types 1, 2 and 7 in
// UTF-8 (the ANSI code page of this backend) with their closing zero byte, everything else as stored.
struct SystemRegValue {
    std::uint32_t type = 0;
    std::string data;       // the first bytes of the data, at most the reader's data limit
    std::uint64_t size = 0; // the size of the whole data in bytes
};

// Receives the content of a registry file in file order.
class SystemRegVisitor {
public:
    virtual ~SystemRegVisitor() = default;
    // A key's section begins. The path is as stored below the file's root: names in UTF-8 separated by
    // "\". False stops reading.
    virtual bool key(std::string_view path) = 0;
    // The section's key is a symbolic link.
    virtual void link() {}
    // Whether the values of the current section are wanted; others are skipped without being decoded.
    virtual bool wantsValues() const = 0;
    // A value of the current section; the default value has the empty name. False stops reading.
    virtual bool value(std::string_view name, const SystemRegValue& value) = 0;
};

inline constexpr std::size_t kSystemRegDataLimit = std::size_t{1} << 20;

// Reads a registry file as Wine keeps it ("WINE REGISTRY Version 2": [key] lines, "name"=data lines with
// "text", str(N):"text", dword:, hex: and hex(N): data, the last two continued over lines ending in "\").
// False when the file does not start as such a file. Any line that cannot be read is skipped; whatever the
// file holds, reading neither fails nor holds more than one line and one value in memory.
bool readSystemReg(std::istream& in, SystemRegVisitor& visitor, std::size_t dataLimit = kSystemRegDataLimit);

// Receives the sections of a registry file held in memory, in file order, without their values.
class SystemRegIndexVisitor {
public:
    virtual ~SystemRegIndexVisitor() = default;
    // A section begins: its key path as readSystemReg hands it to key(), and where its "[" line begins.
    virtual void section(std::string_view path, std::size_t offset) = 0;
    // A "#link" line marks the section that began last.
    virtual void link() = 0;
};

// Finds the sections of a registry file held in memory, the same that readSystemReg visits, without
// reading any value. False when the text does not start as such a file.
bool indexSystemReg(std::string_view file, SystemRegIndexVisitor& visitor);

// Reads a registry file held in memory as readSystemReg does, from the section that begins at offset on.
void readSystemRegFrom(std::string_view file, std::size_t offset, SystemRegVisitor& visitor,
                       std::size_t dataLimit = kSystemRegDataLimit);

} // namespace hotfix::posix
