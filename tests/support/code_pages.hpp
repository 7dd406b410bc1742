#pragma once

#include "platform/platform_services.hpp"

#include <memory>

namespace hotfix::test {

// The machine's code pages, as the program takes them (on POSIX, from the locale Wine would use).
inline const CodePageCodec& machineCodePages() {
    static const std::unique_ptr<CodePageCodec> codec = makeCodePageCodec();
    return *codec;
}

} // namespace hotfix::test
