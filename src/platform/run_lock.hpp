#pragma once

namespace hotfix {

// One install or restore at a time on a machine: two at once would mix the files and the record of the
// hot fixes they undo. The lock goes with the process that holds it, also when that process is killed.
class RunLock {
public:
    virtual ~RunLock() = default;
    // True when this process holds the lock now; false when another process holds it, or where it cannot
    // be taken at all.
    virtual bool tryAcquire() = 0;
    virtual void release() = 0;
};

// Holds the lock from a successful tryAcquire to the end of a scope.
class RunLockHold {
public:
    explicit RunLockHold(RunLock* lock)
        : m_lock(lock != nullptr && lock->tryAcquire() ? lock : nullptr)
        , m_held(lock == nullptr || m_lock != nullptr) {}
    RunLockHold(const RunLockHold&) = delete;
    RunLockHold& operator=(const RunLockHold&) = delete;
    ~RunLockHold() {
        if (m_lock != nullptr) {
            m_lock->release();
        }
    }
    // Whether the run may go on: the lock is held, or there is none to take.
    bool held() const { return m_held; }

private:
    RunLock* m_lock;
    bool m_held;
};

} // namespace hotfix
