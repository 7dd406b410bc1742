#pragma once

#include <span>

namespace hotfix {

// Takes the bytes a read brings, a piece at a time and in order. It may lend the buffers they are read
// into: a sink that keeps its pieces (to hash them on another thread) then keeps them without copying.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    // Where to read the next piece, or nothing for the reader's own buffer. A reader may use less of it.
    // Asking again before take gives the same buffer.
    virtual std::span<char> lend() { return {}; }
    // The next piece. Read into the lent buffer, it lies at its start, and the buffer is the sink's again.
    virtual void take(std::span<const char> piece) = 0;

protected:
    ByteSink() = default;
    ByteSink(const ByteSink&) = default;
    ByteSink& operator=(const ByteSink&) = default;
};

} // namespace hotfix
