#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace hotfix {

// How much one read of a file being compared must bring: the first file's pieces may be short, the second
// file's must match them in length, so its reader goes on until it has them all or the file ends.
enum class ReadUntil { AnyBytes, AllAsked };

// The loop both backends use to compare two open files: first is read to its end, every piece handed to
// sink, and second is read beside it only while the two agree. read(buffer, size) gives the count of bytes
// it read (0 at the end) or nothing when the read failed; second's reader reads all it is asked for unless
// its file ends. sameSize is what the files' sizes say; where they differ, second is not read at all.
// Nothing when a read failed: then nothing is known of the content.
template <typename ReadFirst, typename ReadSecond>
std::optional<bool> compareReading(ReadFirst readFirst, ReadSecond readSecond, bool sameSize,
                                   const std::function<void(std::span<const char>)>& sink) {
    constexpr std::size_t kPiece = std::size_t{256} * 1024;
    // Kept for the thread's next comparison: a run compares file after file, and freeing this much each
    // time hands it back to the system only to ask for it again.
    thread_local std::vector<char> buffers(2 * kPiece);
    const std::span<char> piece(buffers.data(), kPiece);
    const std::span<char> other(buffers.data() + kPiece, kPiece);
    bool agree = sameSize;
    for (;;) {
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
        sink(std::span<const char>(piece.data(), *got));
        if (agree) {
            const std::optional<std::size_t> gotOther = readSecond(other.data(), *got);
            if (!gotOther) {
                return std::nullopt;
            }
            agree = *gotOther == *got && std::memcmp(piece.data(), other.data(), *got) == 0;
        }
    }
}

} // namespace hotfix
