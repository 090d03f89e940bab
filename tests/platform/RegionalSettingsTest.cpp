#include "platform/RegionalSettings.h"

#include <gtest/gtest.h>

using namespace iqo;

namespace {

struct LocaleCase {
    const char* dFmt;
    const char* tFmt;
    const char* stamp;     // 11 December 2026 14:05:09
    const char* midnight;  // 11 December 2026 00:00:00
};

const LocaleCase kLocales[] = {
    {"%m/%d/%y", "%H:%M:%S", "12/11/2026 14:05:09", "12/11/2026"},  // C and C.UTF-8
    {"%d.%m.%Y", "%T", "11.12.2026 14:05:09", "11.12.2026"},
    {"%Y-%m-%d", "%I:%M:%S %p", "2026-12-11 02:05:09 PM", "2026-12-11"},
    {"%d/%m/%Y", "%r", "11/12/2026 02:05:09 PM", "11/12/2026"},
    {"%e %b %Y", "%H.%M.%S", "11 Dec 2026 14.05.09", "11 Dec 2026"},
    {"%A %x", "%X", "2026-12-11 14:05:09", "2026-12-11"},  // unmapped: the fixed fallback
};

}  // namespace

TEST(RegionalSettings, LocaleFormatsGiveTheStampForm) {
    const TDateTime stamp = EncodeDateTime(2026, 12, 11, 14, 5, 9, 0);
    const TDateTime midnight = EncodeDate(2026, 12, 11);
    for (const auto& c : kLocales) {
        const TFormatSettings fs = TFormatSettings::FromLocaleFormats(c.dFmt, c.tFmt, ".");
        EXPECT_EQ(DateTimeToStr(stamp, fs), c.stamp) << c.dFmt;
        EXPECT_EQ(DateTimeToStr(midnight, fs), c.midnight) << c.dFmt;
        TDateTime back = 0;
        ASSERT_TRUE(TryStrToDateTime(c.stamp, fs, back)) << c.stamp;
        EXPECT_EQ(DateTimeToMilliseconds(back), DateTimeToMilliseconds(stamp)) << c.stamp;
        ASSERT_TRUE(TryStrToDateTime(c.midnight, fs, back)) << c.midnight;
        EXPECT_EQ(back, midnight);
    }
}

TEST(RegionalSettings, TextsThatDoNotParse) {
    const TFormatSettings us = TFormatSettings::FromLocaleFormats("%m/%d/%y", "%H:%M:%S", ".");
    const TFormatSettings de = TFormatSettings::FromLocaleFormats("%d.%m.%Y", "%H:%M:%S", ",");
    TDateTime v;
    for (const char* text : {"", "garbage", "13/45/2026", "12/11/2026 25:00:00", "12/11/2026 10:00:00 xyz",
                             "11.12.2026 14:05:09", "2/30/2024", "12/11/2026 13:00:00 PM"})
        EXPECT_FALSE(TryStrToDateTime(text, us, v)) << text;
    EXPECT_FALSE(TryStrToDateTime("12/11/2026 14:05:09", de, v));
}

TEST(RegionalSettings, ReadsPartialTimesTwoDigitYearsAndTwelveHourClock) {
    const TFormatSettings us = TFormatSettings::FromLocaleFormats("%m/%d/%y", "%H:%M:%S", ".");
    TDateTime v;
    ASSERT_TRUE(TryStrToDateTime("3/1/24 8:05", us, v));
    EXPECT_EQ(v, EncodeDateTime(2024, 3, 1, 8, 5, 0, 0));
    ASSERT_TRUE(TryStrToDateTime("12/11/2026 12:30:00 AM", us, v));
    EXPECT_EQ(v, EncodeDateTime(2026, 12, 11, 0, 30, 0, 0));
    ASSERT_TRUE(TryStrToDateTime("  12/11/2026 14:05:09.250 ", us, v));
    EXPECT_EQ(DateTimeToMilliseconds(v), DateTimeToMilliseconds(EncodeDateTime(2026, 12, 11, 14, 5, 9, 250)));
}

TEST(RegionalSettings, TheDecimalSeparatorComesFromTheLocale) {
    EXPECT_EQ(TFormatSettings::FromLocaleFormats("%d.%m.%Y", "%T", ",").DecimalSeparator, ",");
    EXPECT_FALSE(RegionalSettings().ShortDateFormat.empty());
}
