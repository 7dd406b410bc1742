#include "platform/reg_module.hpp"
#include "support/fake_registry.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

constexpr std::uint32_t kLocalMachine = 0x80000002u;
constexpr std::string_view kKey = "SOFTWARE\\Vantrel Software";
constexpr std::string_view kName = "QXINSTALLDIR";

class ReadRegValueTest : public ::testing::Test {
protected:
    ReadRegValueTest() { registry.decodedPrefix = "decoded:"; }

    // The value's text after a read that starts from "before", and the read's result.
    std::pair<bool, std::string> read(std::uint32_t type, std::string bytes, std::string before = "before") {
        registry.setBytes(std::string(kKey), std::string(kName), type, std::move(bytes));
        registry.capacities.clear();
        std::string text = std::move(before);
        const bool result = RegModule::ReadRegValue(registry, kLocalMachine, kKey, kName, text);
        EXPECT_EQ(registry.openKeys, 0) << "the key must be closed again";
        EXPECT_EQ(registry.capacities, std::vector<std::uint32_t>{1024}) << "one query with the whole buffer";
        return {result, text};
    }

    test::FakeRegistry registry;
};

TEST_F(ReadRegValueTest, textEndsAtItsFirstZeroByte) {
    using namespace std::string_literals;
    EXPECT_EQ(read(1, "C:\\WINNT\0"s), std::make_pair(true, "decoded:C:\\WINNT"s));
    EXPECT_EQ(read(1, "C:\\WINNT"s), std::make_pair(true, "decoded:C:\\WINNT"s));
    EXPECT_EQ(read(1, "C:\\WINNT\0\0"s), std::make_pair(true, "decoded:C:\\WINNT"s));
    // Junk behind a zero inside the text, with or without a closing zero, never reaches the caller.
    EXPECT_EQ(read(1, "C:\\Vantrel\0junk\0"s), std::make_pair(true, "decoded:C:\\Vantrel"s));
    EXPECT_EQ(read(1, "C:\\Vantrel\0junk"s), std::make_pair(true, "decoded:C:\\Vantrel"s));
    EXPECT_EQ(read(1, "\0C:\\Vantrel\0"s), std::make_pair(true, "decoded:"s));
}

TEST_F(ReadRegValueTest, emptyTextsGiveEmptyTextAndTrue) {
    using namespace std::string_literals;
    EXPECT_EQ(read(1, "\0"s), std::make_pair(true, "decoded:"s));
    EXPECT_EQ(read(1, ""s), std::make_pair(true, "decoded:"s));
    EXPECT_EQ(read(4, ""s), std::make_pair(true, "&h"s));
}

TEST_F(ReadRegValueTest, bufferHoldsExactly1024Bytes) {
    const std::string fits = std::string(1023, 'x') + '\0';
    EXPECT_EQ(read(1, fits), std::make_pair(true, "decoded:" + std::string(1023, 'x')));
    EXPECT_EQ(read(1, fits + "y"), std::make_pair(false, std::string("before")));
}

TEST_F(ReadRegValueTest, numbersBecomeCapitalHexMostSignificantByteFirst) {
    using namespace std::string_literals;
    EXPECT_EQ(read(4, "\x78\x56\x34\x12"s, ""), std::make_pair(true, "&h12345678"s));
    EXPECT_EQ(read(4, "\x05\0\0\0"s), std::make_pair(true, "&h000005"s));
    EXPECT_EQ(read(4, "\x0A\0\0\0"s, "&h99"), std::make_pair(true, "&h00000A"s));
    EXPECT_EQ(read(4, "\0\0\x01\0"s), std::make_pair(true, "&h010000"s));
    EXPECT_EQ(read(4, "\0\0\0\0"s), std::make_pair(true, "&h000000"s));
    EXPECT_EQ(read(4, "\xef\xbe\xad\xde"s), std::make_pair(true, "&hDEADBEEF"s));
}

TEST_F(ReadRegValueTest, otherTypesLeaveTheTextAsItWas) {
    using namespace std::string_literals;
    EXPECT_EQ(read(2, "%SystemRoot%\0"s), std::make_pair(true, "before"s));
    EXPECT_EQ(read(3, "\x01\x02"s), std::make_pair(true, "before"s));
    EXPECT_EQ(read(7, "a\0b\0\0"s), std::make_pair(true, "before"s));
}

TEST_F(ReadRegValueTest, missingKeyOrValueGivesFalseAndKeepsTheText) {
    std::string text = "kept";
    EXPECT_FALSE(RegModule::ReadRegValue(registry, kLocalMachine, "SOFTWARE\\Other", kName, text));
    EXPECT_FALSE(RegModule::ReadRegValue(registry, kLocalMachine, kKey, "Missing", text));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(registry.openKeys, 0);
}

TEST_F(ReadRegValueTest, opensKeysWithReadRightsOnly) {
    read(1, "x");
    ASSERT_EQ(registry.accesses.size(), 1u);
    EXPECT_EQ(registry.accesses.front(), 0x20019u);
}

} // namespace
} // namespace hotfix
