#include "engine/sha256.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace hotfix {

namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::size_t kBlockSize = 64;

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

} // namespace

void Sha256::compress(const unsigned char* block) {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = bigEndian32(block + 4 * i);
    }
    for (std::size_t i = 16; i < 64; ++i) {
        const std::uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = m_state;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
        const std::uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
    m_state[5] += f;
    m_state[6] += g;
    m_state[7] += h;
}

void Sha256::update(std::span<const char> bytes) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    m_length += size;
    if (m_pendingSize > 0) {
        const std::size_t taken = std::min(size, kBlockSize - m_pendingSize);
        std::memcpy(m_pending.data() + m_pendingSize, in, taken);
        m_pendingSize += taken;
        in += taken;
        size -= taken;
        if (m_pendingSize < kBlockSize) {
            return;
        }
        compress(m_pending.data());
        m_pendingSize = 0;
    }
    // Whole blocks straight from the input: a file's pieces are large, and copying them would cost a pass.
    for (; size >= kBlockSize; in += kBlockSize, size -= kBlockSize) {
        compress(in);
    }
    if (size > 0) {
        std::memcpy(m_pending.data(), in, size);
        m_pendingSize = size;
    }
}

std::string Sha256::hexDigest() {
    const std::uint64_t bits = m_length * 8;
    // A 1 bit, zeros up to 8 bytes short of a block's end, and the message's length in bits, big-endian.
    std::array<char, kBlockSize + 8> padding{};
    padding[0] = static_cast<char>(0x80);
    const std::size_t zeros = (kBlockSize + kBlockSize - 8 - 1 - m_pendingSize) % kBlockSize;
    for (std::size_t i = 0; i < 8; ++i) {
        padding[1 + zeros + i] = static_cast<char>(bits >> (56 - 8 * i));
    }
    update(std::span(padding.data(), 1 + zeros + 8));

    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const std::uint32_t word : m_state) {
        for (int shift = 28; shift >= 0; shift -= 4) {
            hex.push_back(kDigits[(word >> shift) & 0xF]);
        }
    }
    return hex;
}

std::optional<std::string> fileSha256(FileSystem& fs, std::string_view path) {
    Sha256 hash;
    if (!fs.readFile(path, [&hash](std::span<const char> piece) { hash.update(piece); })) {
        return std::nullopt;
    }
    return hash.hexDigest();
}

} // namespace hotfix
