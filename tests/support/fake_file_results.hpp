#pragma once

#include "platform/file_error.hpp"

namespace hotfix::test {

// What a fake file system's change that did not happen says.
inline FileError refusal() {
    return {0, "the fake file system could not do it", false};
}

inline FileResult doneIf(bool done) {
    return done ? FileResult() : FileResult(refusal());
}

} // namespace hotfix::test
