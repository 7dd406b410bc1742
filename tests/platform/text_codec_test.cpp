#include "platform/package_text.hpp"
#include "platform/platform_services.hpp"
#include "platform/text_codec.hpp"

#include <gtest/gtest.h>

namespace hotfix {
namespace {

// The list files' one decoder and the scripts' one encoder, on this platform's own code pages (under Wine
// in the cross build).
TEST(PackageText, utf8ListFilesAreKeptAndScriptLinesEndInCrLf) {
    const auto codePages = makeCodePageCodec();
    EXPECT_EQ(decodeListFile("plain", *codePages), "plain");
    EXPECT_EQ(decodeListFile("r\xC3\xA9sum\xC3\xA9", *codePages), "r\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(decodeListFile("\xEF\xBB\xBFr\xC3\xA9\\a.dll", *codePages), "r\xC3\xA9\\a.dll");
    EXPECT_EQ(decodeListFile(std::string("a\0b", 3), *codePages), std::string("a\0b", 3));
    // Whatever the code page, what comes out is UTF-8 and no byte is lost.
    const std::string ansi = decodeListFile("caf\xE9\x81\xFF", *codePages);
    EXPECT_TRUE(isValidUtf8(ansi));
    EXPECT_GE(ansi.size(), 7U);

    EXPECT_EQ(encodeScriptLines(std::vector<std::string>{"cd\\", "regsvr32 /s a.dll"}, *codePages),
              "cd\\\r\nregsvr32 /s a.dll\r\n");
    EXPECT_EQ(scriptText("C:\\Program Files\\a.dll", *codePages), "C:\\Program Files\\a.dll");
    // A fullwidth ampersand would become "&" by best fit, and cmd would act on it.
    EXPECT_EQ(scriptText("x\xEF\xBC\x86"
                         "calc.dll",
                         *codePages),
              std::nullopt);
}

TEST(TextCodec, windows1252KeepsEveryByte) {
    EXPECT_EQ(windows1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(windows1252ToUtf8("\x80"), "\xE2\x82\xAC");
    // Undefined bytes survive as C1 controls rather than vanishing.
    EXPECT_EQ(windows1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(windows1252ToUtf8("\xFF"), "\xC3\xBF");
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
