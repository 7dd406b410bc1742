#pragma once

#include <memory>
#include <span>
#include <string>

namespace hotfix {

// SHA-256 over bytes fed in pieces of any size, by the platform's own implementation (libcrypto on Linux,
// CNG on Windows), which uses the processor's SHA instructions where it has them.
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();

    void update(std::span<const char> bytes);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hexDigest();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// 32 bytes as 64 lower-case hexadecimal digits.
std::string hexOfDigest(std::span<const unsigned char, 32> digest);

} // namespace hotfix
