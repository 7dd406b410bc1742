#pragma once

#include "platform/byte_sink.hpp"

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace hotfix::test {

// Keeps every byte it takes. It lends a buffer of the size given (none at 0), and spoils it once a piece is
// taken, as a sink that hands its buffers on may: a reader must be done with a piece when it hands it over.
class LendingSink final : public ByteSink {
public:
    explicit LendingSink(std::size_t lends = 0)
        : m_buffer(lends) {}

    std::span<char> lend() override { return m_buffer; }
    void take(std::span<const char> piece) override {
        bytes.append(piece.data(), piece.size());
        if (!piece.empty() && piece.data() == m_buffer.data()) {
            ++piecesInLentBuffer;
        }
        std::fill(m_buffer.begin(), m_buffer.end(), '\x5a');
    }

    std::string bytes;
    std::size_t piecesInLentBuffer = 0;

private:
    std::vector<char> m_buffer;
};

} // namespace hotfix::test
