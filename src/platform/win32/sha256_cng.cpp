#include "platform/sha256.hpp"

#include <array>
#include <new>
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

namespace hotfix {

namespace {

// Opened once for the process: opening the provider is the costly part.
BCRYPT_ALG_HANDLE sha256Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        return BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 ? opened
                                                                                              : nullptr;
    }();
    return provider;
}

} // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    State() {
        // Without a buffer of ours, CNG keeps the hash object itself (Windows 7 and later).
        if (sha256Provider() == nullptr ||
            BCryptCreateHash(sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0) < 0) {
            throw std::bad_alloc();
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() { BCryptDestroyHash(hash); }
};

Sha256::Sha256()
    : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const char> bytes) {
    // BCryptHashData takes at most 4 GiB at a time.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the call only reads the bytes.
        auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
        if (BCryptHashData(m_state->hash, data, static_cast<ULONG>(piece), 0) < 0) {
            throw std::bad_alloc();
        }
        bytes = bytes.subspan(piece);
    }
}

std::string Sha256::hexDigest() {
    std::array<unsigned char, 32> digest{};
    if (BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0) {
        throw std::bad_alloc();
    }
    return hexOfDigest(digest);
}

} // namespace hotfix
