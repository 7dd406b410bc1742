#pragma once

#include "engine/sha256.hpp"
#include "platform/byte_sink.hpp"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
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

// Takes SHA-256 digests on a thread of its own, each digest's pieces in the order they came, so that hashing
// one file overlaps reading and writing the next: the record needs both digests of every file, which on one
// core cost more than the copies. The bytes are read into buffers it lends, and hashed there. While every
// buffer waits to be hashed, the thread that wants another hashes one of them itself, of a digest the
// worker is not taking: then both cores hash. Every digest started is taken before it ends.
class DigestWorker {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{256} << 10;

    DigestWorker();
    DigestWorker(const DigestWorker&) = delete;
    DigestWorker& operator=(const DigestWorker&) = delete;
    ~DigestWorker();

private:
    friend class DigestFeed;
    using Buffer = std::unique_ptr<char[]>;
    struct Job {
        Sha256 hash;
        std::promise<std::string> done;
        // A piece of it is being hashed: its next piece must wait for that one.
        bool busy = false;
    };
    // Bytes of a digest, or with last its end.
    struct Piece {
        std::shared_ptr<Job> job;
        Buffer buffer;
        std::size_t size = 0;
        bool last = false;
    };

    Buffer borrow();
    void giveBack(Buffer buffer);
    void hand(Piece piece);
    void work();
    // With the mutex held: the first waiting piece of a digest that nobody is hashing, taken out of the
    // queue and its digest marked busy; nothing where there is none.
    std::optional<Piece> takeNext();
    // With the mutex held: the piece's digest is free for its next piece, and the piece's buffer is out no
    // more.
    void hashed(Piece& piece);
    static void hash(Piece& piece);

    std::mutex m_mutex;
    std::condition_variable m_pieceCame;
    std::condition_variable m_bufferFreed;
    std::deque<Piece> m_waiting;
    std::vector<Buffer> m_free;
    std::size_t m_made = 0;
    // Buffers handed over and not yet back: only while some are, is waiting for one sure to end.
    std::size_t m_handedOver = 0;
    // Who sleeps: a wake-up for a thread that does not is a system call for nothing.
    bool m_workerSleeps = false;
    bool m_feederSleeps = false;
    bool m_stopping = false;
    std::thread m_thread;
};

// The bytes of one digest, in order: to a worker, read into its buffers, or hashed at once on this thread
// where there is none or the digest is small.
class DigestFeed final : public ByteSink {
public:
    explicit DigestFeed(DigestWorker* worker);
    DigestFeed(const DigestFeed&) = delete;
    DigestFeed& operator=(const DigestFeed&) = delete;
    ~DigestFeed() override;

    std::span<char> lend() override;
    void take(std::span<const char> piece) override;
    // The digest of every byte taken; the feed is spent afterwards.
    PendingDigest finish();

private:
    void handOver(std::span<const char> piece);

    DigestWorker* m_worker;
    std::shared_ptr<DigestWorker::Job> m_job;
    DigestWorker::Buffer m_lent;
    std::size_t m_atOnce = 0;
    bool m_handedOver = false;
};

} // namespace hotfix
