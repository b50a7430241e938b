#include "formats/bitmap.h"
#include "formats/errors.h"
#include "formats/sizing.h"

#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace {

struct Case {
    int length, percent, expected;
};

TEST(Sizing, ExactHalvesGoToTheEvenNeighbour) {
    const Case cases[] = {
        {5, 50, 2},  {7, 50, 4},   // 2.5 and 3.5
        {50, 1, 0},  {51, 1, 1},   // 0.5 and 0.51
        {5, 10, 0},  {15, 10, 2},  {25, 10, 2},  // 0.5, 1.5, 2.5
        {5, 30, 2},  {5, 70, 4},   // 1.5 and 3.5
        {1, 10, 0},  {3, 50, 2},   {1, 50, 0},  {9, 50, 4}, {11, 50, 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaledLength(c.length, c.percent), c.expected)
            << c.percent << " % of " << c.length;
}

TEST(Sizing, WholeFactorsAndNearestRounding) {
    for (int length : {0, 1, 2, 3, 999, 4000, 3000, 65535, 1 << 20}) {
        EXPECT_EQ(ScaledLength(length, 100), length);
        EXPECT_EQ(ScaledLength(length, 200), 2 * length);
        EXPECT_EQ(ScaledLength(length, 400), 4 * length);
    }
    EXPECT_EQ(ScaledLength(4000, 20), 800);
    EXPECT_EQ(ScaledLength(3000, 20), 600);
    EXPECT_EQ(ScaledLength(3, 33), 1);     // 0.99
    EXPECT_EQ(ScaledLength(1000, 133), 1330);
    EXPECT_EQ(ScaledLength(7, 130), 9);    // 9.1
    EXPECT_EQ(ScaledLength(-5, 50), -2);   // halves to even on both sides of zero
    EXPECT_EQ(ScaledLength(-7, 50), -4);
    EXPECT_EQ(ScaledLength(10, 0), 0);
}

// The rounding is done in integers; where the compiler's long double is the 80-bit extended
// type that defines the rule, every length and percentage must come out the same.
TEST(Sizing, MatchesTheExtendedPrecisionCalculation) {
    if constexpr (std::numeric_limits<long double>::digits != 64) {
        GTEST_SKIP() << "long double is not the 80-bit extended type here";
    } else {
        const auto extended = [](int length, int percent) {
            const long double factor = static_cast<long double>(percent) / 100.0L;
            return static_cast<long long>(std::rintl(static_cast<long double>(length) * factor));
        };
        int mismatches = 0;
        const auto check = [&](int length, int percent) {
            const long long expected = extended(length, percent);
            bool same;
            if (expected < INT_MIN || expected > INT_MAX) {
                try {
                    ScaledLength(length, percent);
                    same = false;
                } catch (const PixError&) {
                    same = true;
                }
            } else {
                same = ScaledLength(length, percent) == expected;
            }
            if (!same && ++mismatches < 10) ADD_FAILURE() << percent << " % of " << length;
        };
        for (int length = -300; length <= 6000; ++length)
            for (int percent = 1; percent <= 400; ++percent) check(length, percent);
        std::mt19937 random(7);
        for (int i = 0; i < 200000; ++i) {
            const int percent = int(random() % 100000) - 50000;
            const int length = int(random() % 20000000) - 10000000;
            check(length, percent);
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(Sizing, ResultsOutsideInt32AreRangeErrors) {
    EXPECT_EQ(ScaledLength(INT_MAX, 100), INT_MAX);
    EXPECT_EQ(ScaledLength(INT_MIN, 100), INT_MIN);
    try {
        ScaledLength(INT_MAX, 101);
        FAIL() << "no range error";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Range check error");
    }
    EXPECT_THROW(ScaledLength(INT_MIN, 200), PixError);
    EXPECT_THROW(ScaledLength(600'000'000, 400), PixError);
}

TEST(Sizing, BitmapLimitCountsPaddedRowsAtThreeBytesAPixel) {
    EXPECT_TRUE(Fits24BitBitmap(16000, 12000));  // 400 % of 12 MP: 576 MB
    EXPECT_TRUE(Fits24BitBitmap(0, 0));
    EXPECT_TRUE(Fits24BitBitmap(0, 2'000'000'000));
    EXPECT_FALSE(Fits24BitBitmap(-1, 10));
    EXPECT_FALSE(Fits24BitBitmap(10, -1));
    // A 16384-pixel row takes 49152 bytes: 21845 rows fit under 1 GiB, 21846 do not.
    EXPECT_TRUE(Fits24BitBitmap(16384, 21845));
    EXPECT_FALSE(Fits24BitBitmap(16384, 21846));
    // A 1-pixel row is padded to 4 bytes, not 3.
    EXPECT_TRUE(Fits24BitBitmap(1, int64_t(kMaxBitmapBytes / 4)));
    EXPECT_FALSE(Fits24BitBitmap(1, int64_t(kMaxBitmapBytes / 4) + 1));
    EXPECT_FALSE(Fits24BitBitmap(INT_MAX, INT_MAX));
    EXPECT_FALSE(Fits24BitBitmap(int64_t(INT_MAX) + 1, 1));

    const QString text = BitmapOverLimitText(20000, 18000);
    EXPECT_EQ(text, "A picture of 20000 x 18000 pixels is too large: at most 1024 MB can be made. "
                    "Please choose a smaller size.");
}

}  // namespace
