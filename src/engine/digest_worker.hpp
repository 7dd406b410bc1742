#pragma once

#include "engine/sha256.hpp"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace hotfix {

// A digest whose bytes are all handed over, which may still be being taken on another thread.
class PendingDigest {
public:
    // One taken already has no future: making a ready one wakes every thread there is, a system call.
    explicit PendingDigest(std::string ready)
        : m_ready(std::move(ready)) {}
    explicit PendingDigest(std::shared_future<std::string> coming)
        : m_coming(std::move(coming)) {}

    // Waits for the digest; throws what taking it threw (only a failed allocation can).
    const std::string& value() const { return m_coming.valid() ? m_coming.get() : m_ready; }

private:
    std::string m_ready;
    std::shared_future<std::string> m_coming;
};

// Takes SHA-256 digests on a thread of its own, one after another in the order their bytes came, so that
// hashing one file overlaps reading and writing the next: the record needs both digests of every file,
// which on one core cost more than the copies. The bytes are copied on their way; while more than a few
// megabytes wait, the thread handing them over waits too. Every digest started is taken before it ends.
class DigestWorker {
public:
    DigestWorker();
    DigestWorker(const DigestWorker&) = delete;
    DigestWorker& operator=(const DigestWorker&) = delete;
    ~DigestWorker();

private:
    friend class DigestFeed;
    struct Job {
        Sha256 hash;
        std::promise<std::string> done;
    };
    struct Piece {
        std::shared_ptr<Job> job;
        std::vector<char> bytes;
        bool last = false;
    };

    void hand(Piece piece);
    void work();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_waiting;
    std::size_t m_waitingBytes = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

// The bytes of one digest, in order: to a worker, or hashed at once on this thread where there is none or
// the digest is small.
class DigestFeed {
public:
    explicit DigestFeed(DigestWorker* worker);

    void update(std::span<const char> bytes);
    // The digest of every byte handed over; the feed is spent afterwards.
    PendingDigest finish();

private:
    DigestWorker* m_worker;
    std::shared_ptr<DigestWorker::Job> m_job;
    std::size_t m_atOnce = 0;
    bool m_handedOver = false;
};

} // namespace hotfix
