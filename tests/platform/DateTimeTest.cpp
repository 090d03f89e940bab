#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

using namespace iqo;

TEST(DateTime, EncodesAndDecodesDaySerials) {
    struct Case {
        int y, m, d, h, n, s, ms;
        double serial;
    };
    const Case cases[] = {
        {1899, 12, 30, 0, 0, 0, 0, 0.0},
        {1900, 1, 1, 0, 0, 0, 0, 2.0},
        {1980, 1, 1, 1, 0, 0, 0, 29221.0 + 1.0 / 24},
        {2024, 2, 13, 14, 5, 9, 0, 45335.0 + (14 * 3600 + 5 * 60 + 9) / 86400.0},
        {2000, 2, 29, 12, 0, 0, 0, 36585.5},
        {1899, 12, 29, 6, 0, 0, 0, -1.25},  // before the epoch the fraction counts forward
    };
    for (const auto& c : cases) {
        const TDateTime v = EncodeDateTime(c.y, c.m, c.d, c.h, c.n, c.s, c.ms);
        EXPECT_NEAR(v, c.serial, 1e-9) << c.y << "-" << c.m << "-" << c.d;
        const TDateTimeParts p = DecodeDateTime(v);
        EXPECT_EQ(p.Year, c.y);
        EXPECT_EQ(p.Month, c.m);
        EXPECT_EQ(p.Day, c.d);
        EXPECT_EQ(p.Hour, c.h);
        EXPECT_EQ(p.Minute, c.n);
        EXPECT_EQ(p.Second, c.s);
    }
}

TEST(DateTime, RoundsToTheMillisecond) {
    const TDateTime almostMidnight = EncodeDate(2024, 2, 13) + (86399.9996 / 86400.0);
    const TDateTimeParts p = DecodeDateTime(almostMidnight);
    EXPECT_EQ(p.Day, 14);
    EXPECT_EQ(p.Hour, 0);
    EXPECT_EQ(p.Millisecond, 0);

    const TDateTimeParts q = DecodeDateTime(EncodeDateTime(2024, 2, 13, 14, 5, 9, 750));
    EXPECT_EQ(q.Second, 9);
    EXPECT_EQ(q.Millisecond, 750);
}

TEST(DateTime, RejectsPartsOutOfRange) {
    EXPECT_THROW(EncodeDate(2023, 2, 29), Exception);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 24, 0, 0, 0), Exception);
    EXPECT_THROW(EncodeDate(0, 1, 1), Exception);
    TDateTime v;
    EXPECT_FALSE(TryEncodeDateTime({2024, 13, 1, 0, 0, 0, 0}, v));
}

TEST(DateTime, MillisecondDifferencesAreExact) {
    const TDateTime a = EncodeDateTime(2024, 3, 1, 10, 0, 0, 0);
    const TDateTime b = EncodeDateTime(2024, 3, 1, 10, 54, 59, 0);
    EXPECT_EQ(DateTimeToMilliseconds(b) - DateTimeToMilliseconds(a), (54 * 60 + 59) * 1000);
    // Across the epoch.
    const TDateTime before = EncodeDateTime(1899, 12, 29, 23, 0, 0, 0);
    const TDateTime after = EncodeDateTime(1899, 12, 30, 1, 0, 0, 0);
    EXPECT_EQ(DateTimeToMilliseconds(after) - DateTimeToMilliseconds(before), 2 * 3600 * 1000);
}

TEST(DateTime, FixedForms) {
    const TDateTime v = EncodeDateTime(999, 2, 3, 4, 5, 6, 0);
    EXPECT_EQ(FormatIsoDateTime(v, ":"), "0999-02-03 04:05:06");
    EXPECT_EQ(FormatIsoDateTime(v, "."), "0999-02-03 04.05.06");
    EXPECT_EQ(FormatLogDateTime(EncodeDateTime(2026, 12, 11, 14, 5, 9, 0), ":"), "11-12-26 14:05:09");
}
