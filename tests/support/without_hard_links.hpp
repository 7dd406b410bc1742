#pragma once

#include "support/forwarding_file_system.hpp"

namespace hotfix::test {

// A file system that refuses hard links, as FAT does: every backup is a copy.
class WithoutHardLinks final : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    LinkResult linkFile(std::string_view, std::string_view) override {
        return {LinkOutcome::Unsupported, {}};
    }
};

} // namespace hotfix::test
