#include "engine/digest_worker.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace hotfix {

namespace {

// Enough to keep the thread busy across a file boundary, little enough to be no burden: 16 MiB.
constexpr std::size_t kMaxBuffers = 64;
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
    m_pieceCame.notify_one();
    m_thread.join();
}

DigestWorker::Buffer DigestWorker::borrow() {
    std::unique_lock lock(m_mutex);
    // Beyond the limit a buffer is waited for, but only while one is sure to come back; meanwhile this
    // thread hashes what it can, and has that piece's buffer then.
    while (m_free.empty() && m_made >= kMaxBuffers && m_handedOver > 0) {
        if (std::optional<Piece> piece = takeNext()) {
            lock.unlock();
            hash(*piece);
            lock.lock();
            hashed(*piece);
            if (std::exchange(m_workerSleeps, false)) {
                m_pieceCame.notify_one();
            }
            continue;
        }
        m_feederSleeps = true;
        m_bufferFreed.wait(lock);
        m_feederSleeps = false;
    }
    if (!m_free.empty()) {
        Buffer buffer = std::move(m_free.back());
        m_free.pop_back();
        return buffer;
    }
    lock.unlock();
    Buffer made = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    lock.lock();
    ++m_made;
    return made;
}

void DigestWorker::giveBack(Buffer buffer) {
    const std::lock_guard lock(m_mutex);
    m_free.push_back(std::move(buffer));
}

void DigestWorker::hand(Piece piece) {
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        if (piece.buffer) {
            ++m_handedOver;
        }
        m_waiting.push_back(std::move(piece));
        wake = std::exchange(m_workerSleeps, false);
    }
    if (wake) {
        m_pieceCame.notify_one();
    }
}

std::optional<DigestWorker::Piece> DigestWorker::takeNext() {
    // A digest's earlier pieces are all hashed when nobody hashes it: its first waiting piece is its next.
    const auto next =
        std::find_if(m_waiting.begin(), m_waiting.end(), [](const Piece& piece) { return !piece.job->busy; });
    if (next == m_waiting.end()) {
        return std::nullopt;
    }
    Piece piece = std::move(*next);
    m_waiting.erase(next);
    piece.job->busy = true;
    return piece;
}

void DigestWorker::hashed(Piece& piece) {
    piece.job->busy = false;
    if (piece.buffer) {
        m_free.push_back(std::move(piece.buffer));
        --m_handedOver;
    }
}

void DigestWorker::hash(Piece& piece) {
    Job& job = *piece.job;
    try {
        if (piece.buffer) {
            job.hash.update(std::span<const char>(piece.buffer.get(), piece.size));
        }
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

void DigestWorker::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::optional<Piece> piece = takeNext();
        if (!piece) {
            if (m_stopping && m_waiting.empty()) {
                return;
            }
            m_workerSleeps = true;
            m_pieceCame.wait(lock);
            m_workerSleeps = false;
            continue;
        }
        lock.unlock();
        hash(*piece);
        lock.lock();
        hashed(*piece);
        if (std::exchange(m_feederSleeps, false)) {
            lock.unlock();
            m_bufferFreed.notify_one();
            lock.lock();
        }
    }
}

DigestFeed::DigestFeed(DigestWorker* worker)
    : m_worker(worker)
    , m_job(std::make_shared<DigestWorker::Job>()) {}

DigestFeed::~DigestFeed() {
    if (m_lent) {
        m_worker->giveBack(std::move(m_lent));
    }
}

std::span<char> DigestFeed::lend() {
    if (m_worker == nullptr) {
        return {};
    }
    if (!m_lent) {
        m_lent = m_worker->borrow();
    }
    return {m_lent.get(), DigestWorker::kBufferBytes};
}

void DigestFeed::take(std::span<const char> piece) {
    // Once handed over, every later piece follows, so that the pieces stay in order.
    if (m_worker == nullptr || (!m_handedOver && m_atOnce + piece.size() <= kAtOnceBytes)) {
        m_atOnce += piece.size();
        m_job->hash.update(piece);
        return;
    }
    m_handedOver = true;
    if (!piece.empty()) {
        handOver(piece);
    }
}

void DigestFeed::handOver(std::span<const char> piece) {
    if (m_lent && piece.data() == m_lent.get()) {
        m_worker->hand({m_job, std::move(m_lent), piece.size(), false});
        return;
    }
    // Bytes read elsewhere are copied into buffers of the worker's.
    while (!piece.empty()) {
        DigestWorker::Buffer buffer = m_worker->borrow();
        const std::size_t size = std::min(piece.size(), DigestWorker::kBufferBytes);
        std::memcpy(buffer.get(), piece.data(), size);
        m_worker->hand({m_job, std::move(buffer), size, false});
        piece = piece.subspan(size);
    }
}

PendingDigest DigestFeed::finish() {
    if (!m_handedOver) {
        return PendingDigest(m_job->hash.hexDigest());
    }
    PendingDigest pending(m_job->done.get_future().share());
    m_worker->hand({m_job, nullptr, 0, true});
    return pending;
}

} // namespace hotfix
