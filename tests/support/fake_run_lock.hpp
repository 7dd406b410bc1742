#pragma once

#include "platform/run_lock.hpp"

namespace hotfix::test {

// The machine's lock, as another process holds it or lets it be.
class FakeRunLock final : public RunLock {
public:
    bool tryAcquire() override {
        if (heldElsewhere) {
            return false;
        }
        ++acquired;
        return true;
    }
    void release() override { ++released; }
    bool heldElsewhere = false;
    int acquired = 0;
    int released = 0;
};

} // namespace hotfix::test
