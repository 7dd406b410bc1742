#include "platform/text_codec.hpp"

#include <gtest/gtest.h>

namespace hotfix {
namespace {

TEST(TextCodec, validUtf8IsKeptAsItIs) {
    EXPECT_EQ(decodeEightBitText("plain"), "plain");
    EXPECT_EQ(decodeEightBitText("r\xC3\xA9sum\xC3\xA9"), "r\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(decodeEightBitText(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextCodec, otherBytesAreWindows1252) {
    EXPECT_EQ(decodeEightBitText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(decodeEightBitText("\x80"), "\xE2\x82\xAC");
    // Undefined bytes survive as C1 controls rather than vanishing.
    EXPECT_EQ(decodeEightBitText("\x81"), "\xC2\x81");
    EXPECT_EQ(decodeEightBitText("\xFF"), "\xC3\xBF");
}

TEST(TextCodec, windows1252RoundTripsAndMarksWhatItLacks) {
    std::string every;
    for (int byte = 1; byte < 256; ++byte) {
        every.push_back(static_cast<char>(byte));
    }
    EXPECT_EQ(utf8ToWindows1252(windows1252ToUtf8(every)), every);
    EXPECT_EQ(utf8ToWindows1252("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
    // Cyrillic, a character past the basic plane, and a byte that is not UTF-8.
    EXPECT_EQ(utf8ToWindows1252("\xD0\x96|\xF0\x9F\x98\x80|\xC3"), "?|?|?");
}

TEST(TextCodec, malformedUtf8IsRejected) {
    EXPECT_FALSE(isValidUtf8("\xC3"));             // truncated
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong slash
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
}

} // namespace
} // namespace hotfix
