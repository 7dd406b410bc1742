#pragma once

#include "platform/byte_sink.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace hotfix {

// How much one read of a file being compared must bring: the first file's pieces may be short, the second
// file's must match them in length, so its reader goes on until it has them all or the file ends.
enum class ReadUntil { AnyBytes, AllAsked };

// The loop both backends use to compare two open files: first is read to its end, every piece handed to
// sink (read into the buffers sink lends), and second is read beside it only while the two agree.
// read(buffer, size) gives the count of bytes it read (0 at the end) or nothing when the read failed;
// second's reader reads all it is asked for unless its file ends. sameSize is what the files' sizes say;
// where they differ, second is not read at all. Nothing when a read failed: then nothing is known of the
// content.
template <typename ReadFirst, typename ReadSecond>
std::optional<bool> compareReading(ReadFirst readFirst, ReadSecond readSecond, bool sameSize,
                                   ByteSink& sink) {
    constexpr std::size_t kPiece = std::size_t{256} * 1024;
    // Files that differ mostly differ near their start (a library's header holds when it was built): second
    // is first read this far, not a whole piece that would then be read for nothing.
    constexpr std::size_t kFirstLook = 4096;
    // Kept for the thread's next comparison: a run compares file after file, and freeing this much each
    // time hands it back to the system only to ask for it again.
    thread_local std::vector<char> buffers(2 * kPiece);
    const std::span<char> own(buffers.data(), kPiece);
    const std::span<char> other(buffers.data() + kPiece, kPiece);
    // Whether second's next count bytes are those of first's piece at offset; nothing when the read failed.
    const auto agreeing = [&](std::span<const char> piece, std::size_t offset,
                              std::size_t count) -> std::optional<bool> {
        const std::optional<std::size_t> got = readSecond(other.data() + offset, count);
        if (!got) {
            return std::nullopt;
        }
        return *got == count && std::memcmp(piece.data() + offset, other.data() + offset, count) == 0;
    };
    bool agree = sameSize;
    std::size_t look = kFirstLook;
    for (;;) {
        const std::span<char> lent = sink.lend();
        const std::span<char> piece = lent.empty() ? own : lent.first(std::min(lent.size(), kPiece));
        const std::optional<std::size_t> got = readFirst(piece.data(), piece.size());
        if (!got) {
            return std::nullopt;
        }
        if (*got == 0) {
            if (!agree) {
                return false;
            }
            // Sizes taken before the files were opened may be old: the same bytes end both files together.
            const std::optional<std::size_t> beyond = readSecond(other.data(), 1);
            return beyond ? std::optional<bool>(*beyond == 0) : std::nullopt;
        }
        const std::span<const char> read = piece.first(*got);
        if (agree) {
            const std::size_t first = std::min(*got, look);
            look = kPiece;
            std::optional<bool> same = agreeing(read, 0, first);
            if (same == true && first < *got) {
                same = agreeing(read, first, *got - first);
            }
            if (!same) {
                return std::nullopt;
            }
            agree = *same;
        }
        sink.take(read);
    }
}

} // namespace hotfix
