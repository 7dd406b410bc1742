#include "platform/sha256.hpp"

#include <array>
#include <new>
#include <openssl/evp.h>

namespace hotfix {

namespace {

// Fetched once: an implicit fetch at every start of a digest costs more than hashing a small file.
const EVP_MD* sha256Method() {
    static EVP_MD* const method = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return method;
}

} // namespace

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    State() {
        if (context == nullptr || sha256Method() == nullptr ||
            EVP_DigestInit_ex(context, sha256Method(), nullptr) != 1) {
            EVP_MD_CTX_free(context);
            throw std::bad_alloc();
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256()
    : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const char> bytes) {
    // Only an allocation inside libcrypto can fail here, which it reports as a failed update.
    if (!bytes.empty() && EVP_DigestUpdate(m_state->context, bytes.data(), bytes.size()) != 1) {
        throw std::bad_alloc();
    }
}

std::string Sha256::hexDigest() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_state->context, digest.data(), &length) != 1 || length != 32) {
        throw std::bad_alloc();
    }
    return hexOfDigest(std::span<const unsigned char, 32>(digest.data(), 32));
}

} // namespace hotfix
