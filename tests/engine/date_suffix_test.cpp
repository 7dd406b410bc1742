#include "engine/date_suffix.hpp"

#include <gtest/gtest.h>

namespace hotfix {
namespace {

TEST(DateSuffix, numbersHaveNoLeadingZeros) {
    EXPECT_EQ(dateSuffix({2005, 5, 1, 9, 7}), "-2005.5.1.9.7");
    EXPECT_EQ(dateSuffix({2005, 12, 31, 23, 59}), "-2005.12.31.23.59");
    EXPECT_EQ(dateSuffix({2005, 1, 1, 0, 0}), "-2005.1.1.0.0");
}

} // namespace
} // namespace hotfix
