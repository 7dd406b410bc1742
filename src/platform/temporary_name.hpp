#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace hotfix {

// Files being written get a name of this form beside their final place, so that a file cut short never
// carries a name anybody relies on, and one left by a crash is recognisable as ours. The commas keep it
// apart from every listed file: a list entry cannot hold one.
inline constexpr std::string_view kTemporaryPrefix = "~hotfix,";
inline constexpr std::string_view kTemporarySuffix = ".tmp";

// A new temporary name in the folder of path (Windows-style, "\" or "/" separated). The random part is
// drawn once per process, so that installers on two machines writing into one shared folder do not meet;
// the counter keeps the names of one process apart. Callers still create the file exclusively.
inline std::string temporaryNameBeside(std::string_view path) {
    static const std::uint64_t processPart = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device();
    }();
    static std::atomic<std::uint32_t> counter{0};
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string name(path.substr(0, path.find_last_of("\\/") + 1));
    name += kTemporaryPrefix;
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += kHex[(processPart >> shift) & 0xF];
    }
    name += ',';
    name += std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    name += kTemporarySuffix;
    return name;
}

inline bool isTemporaryName(std::string_view fileName) {
    return fileName.starts_with(kTemporaryPrefix) && fileName.ends_with(kTemporarySuffix);
}

} // namespace hotfix
