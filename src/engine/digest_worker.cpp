#include "engine/digest_worker.hpp"

#include <exception>
#include <utility>

namespace hotfix {

namespace {

// Enough to keep the thread busy across a file boundary, little enough to be no burden.
constexpr std::size_t kMaxWaitingBytes = std::size_t{16} << 20;
// A digest of no more than this is taken at once: handing it over would cost more than hashing it.
constexpr std::size_t kAtOnceBytes = std::size_t{64} << 10;

} // namespace

DigestWorker::DigestWorker()
    : m_thread([this] { work(); }) {}

DigestWorker::~DigestWorker() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DigestWorker::hand(Piece piece) {
    std::unique_lock lock(m_mutex);
    // A piece larger than the limit still goes once nothing else waits.
    m_changed.wait(
        lock, [&] { return m_waiting.empty() || m_waitingBytes + piece.bytes.size() <= kMaxWaitingBytes; });
    m_waitingBytes += piece.bytes.size();
    m_waiting.push_back(std::move(piece));
    lock.unlock();
    m_changed.notify_all();
}

void DigestWorker::work() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopping || !m_waiting.empty(); });
        if (m_waiting.empty()) {
            return;
        }
        Piece piece = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_waitingBytes -= piece.bytes.size();
        lock.unlock();
        m_changed.notify_all();
        Job& job = *piece.job;
        try {
            job.hash.update(piece.bytes);
            if (piece.last) {
                job.done.set_value(job.hash.hexDigest());
            }
        } catch (...) {
            // The digest's reader gets the failure; a later piece of the same digest finds it set.
            try {
                job.done.set_exception(std::current_exception());
            } catch (const std::future_error&) {
            }
        }
    }
}

DigestFeed::DigestFeed(DigestWorker* worker)
    : m_worker(worker)
    , m_job(std::make_shared<DigestWorker::Job>()) {}

void DigestFeed::update(std::span<const char> bytes) {
    // Once handed over, every later piece follows, so that the pieces stay in order.
    if (m_worker == nullptr || (!m_handedOver && m_atOnce + bytes.size() <= kAtOnceBytes)) {
        m_atOnce += bytes.size();
        m_job->hash.update(bytes);
        return;
    }
    m_handedOver = true;
    if (!bytes.empty()) {
        m_worker->hand({m_job, std::vector<char>(bytes.begin(), bytes.end()), false});
    }
}

PendingDigest DigestFeed::finish() {
    if (!m_handedOver) {
        return PendingDigest(m_job->hash.hexDigest());
    }
    PendingDigest pending(m_job->done.get_future().share());
    m_worker->hand({m_job, {}, true});
    return pending;
}

} // namespace hotfix
