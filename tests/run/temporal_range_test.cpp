#include "files/temporal_range.hpp"

#include <climits>

#include <gtest/gtest.h>

using namespace dadimero;

TEST(TemporalRangeTest, ReadsTwoLeadingIntegersLikeScanf) {
    TemporalRange range;
    ASSERT_TRUE(parseTemporalRange("300 700\n", range));
    EXPECT_EQ(range.fromIdx, 300);
    EXPECT_EQ(range.toIdx, 700);
    ASSERT_TRUE(parseTemporalRange("  \n+5\t-3 trailing text", range));
    EXPECT_EQ(range.fromIdx, 5);
    EXPECT_EQ(range.toIdx, -3);
    ASSERT_TRUE(parseTemporalRange("1 99999999999999999999", range));
    EXPECT_EQ(range.toIdx, INT_MAX);
}

TEST(TemporalRangeTest, RefusesTextThatDoesNotStartWithTwoIntegers) {
    TemporalRange range{11, 22};
    for (const char* text : {"", "42", "42 x", "abc", "- 5 6", "5,6"}) {
        EXPECT_FALSE(parseTemporalRange(text, range)) << text;
    }
    EXPECT_EQ(range.fromIdx, 11);  // untouched on failure
    EXPECT_EQ(range.toIdx, 22);
}
