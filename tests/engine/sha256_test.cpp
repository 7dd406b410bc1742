#include "engine/digest_worker.hpp"
#include "engine/sha256.hpp"
#include "platform/platform_services.hpp"
#include "support/fault_injecting_file_system.hpp"
#include "support/temp_dir.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

std::string digestOf(std::string_view message) {
    Sha256 hash;
    hash.update(message);
    return hash.hexDigest();
}

TEST(Sha256, givesTheStandardsTestVectors) {
    EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        digestOf(
            "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
            "rsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");

    EXPECT_EQ(digestOf(std::string(1'000'000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

struct AwkwardLength {
    std::size_t length;
    std::string_view digest;
};

// Lengths around the last byte that leaves room for the length field (55), the first that does not (56), and
// the ends of one and two blocks.
class Sha256Split : public ::testing::TestWithParam<AwkwardLength> {
protected:
    static std::string message(std::size_t length) {
        std::string out;
        for (std::size_t i = 0; i < length; ++i) {
            out.push_back(static_cast<char>((i * 7 + 3) % 256));
        }
        return out;
    }
};

TEST_P(Sha256Split, givesOneDigestHoweverTheInputIsCut) {
    const auto [length, digest] = GetParam();
    const std::string bytes = message(length);
    EXPECT_EQ(digestOf(bytes), digest);

    for (std::size_t cut = 0; cut <= length; ++cut) {
        Sha256 twoPieces;
        twoPieces.update(std::string_view(bytes).substr(0, cut));
        twoPieces.update(std::string_view(bytes).substr(cut));
        EXPECT_EQ(twoPieces.hexDigest(), digest) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    BlockEdges, Sha256Split,
    ::testing::Values(AwkwardLength{55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
                      AwkwardLength{56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
                      AwkwardLength{64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
                      AwkwardLength{65, "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
                      AwkwardLength{119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
                      AwkwardLength{120, "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"}),
    [](const auto& test) { return "length" + std::to_string(test.param.length); });

TEST(FileSha256, hashesAWholeFileOrNothing) {
    test::TempDir dir;
    const auto files = makeFileSystem();
    const std::string path = dir.str() + "\\\\record.txt";
    // More than one piece of the backend's reads.
    const std::string million(1'000'000, 'a');
    dir.write("record.txt", million);
    EXPECT_EQ(fileSha256(*files, path), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // A read that breaks off after handing over half the file gives no digest of that half.
    test::FaultInjectingFileSystem failing(*files);
    failing.inject(test::FaultInjectingFileSystem::Fault::OneOperation, 1);
    EXPECT_EQ(fileSha256(failing, path), std::nullopt);
}

} // namespace
} // namespace hotfix

namespace hotfix {
namespace {

// A run feeds the worker digest after digest, one abandoned now and then (a comparison that could not read
// its file), some larger than all it lets wait at once, some read into the buffers it lends and some not:
// each digest must be the one taken at once, and the worker must take every one started before it ends.
TEST(DigestWorker, givesEachDigestAsIfTakenAtOnceWhateverIsFedAroundIt) {
    const std::string large(20u << 20, 'x');
    const std::string vector(1'000'000, 'a');
    // As a backend reads: into the lent buffer, asked for again before the piece is taken now and then.
    const auto readInto = [](DigestFeed& feed, std::string_view bytes, std::size_t step) {
        for (std::size_t at = 0; at < bytes.size(); at += step) {
            const std::string_view piece = bytes.substr(at, step);
            std::span<char> buffer = feed.lend();
            if (at % (3 * step) == 0) {
                buffer = feed.lend();
            }
            ASSERT_GE(buffer.size(), piece.size());
            std::copy(piece.begin(), piece.end(), buffer.begin());
            feed.take(buffer.first(piece.size()));
        }
    };
    std::vector<PendingDigest> digests;
    std::optional<PendingDigest> lastOne;
    {
        DigestWorker worker;
        for (int round = 0; round < 3; ++round) {
            DigestFeed abandoned(&worker);
            abandoned.take(large);
            abandoned.lend();
            DigestFeed million(&worker);
            readInto(million, vector, round == 0 ? 4096 : 100'000);
            digests.push_back(million.finish());
            DigestFeed whole(&worker);
            if (round == 1) {
                readInto(whole, large, DigestWorker::kBufferBytes);
            } else {
                whole.take(large);
            }
            digests.push_back(whole.finish());
            digests.push_back(DigestFeed(&worker).finish());
        }
        DigestFeed last(&worker);
        last.take(std::string_view("abc"));
        lastOne = last.finish();
    }
    EXPECT_EQ(lastOne->value(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    DigestFeed atOnce(nullptr);
    EXPECT_TRUE(atOnce.lend().empty());
    atOnce.take(large);
    const std::string largeDigest = atOnce.finish().value();
    for (std::size_t i = 0; i < digests.size(); i += 3) {
        EXPECT_EQ(digests[i].value(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        EXPECT_EQ(digests[i + 1].value(), largeDigest);
        EXPECT_EQ(digests[i + 2].value(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    }
}

} // namespace
} // namespace hotfix
