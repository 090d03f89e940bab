#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ProviderTestSupport.h"
#include "dbaccess/providers/DateTimeText.h"
#include "platform/DateTime.h"

using namespace iqo;
using namespace iqo::test;

TEST(DateTimeText, ReadsTheServersIsoForms) {
    TLocalZone zone("IQO-02");  // two hours east of UTC
    struct TCase {
        const char* text;
        std::optional<double> expected;
    };
    const TCase cases[] = {
        {"2024-02-29", EncodeDate(2024, 2, 29)},
        {"13:14:15", EncodeTime(13, 14, 15, 0)},
        {"13:14:15.5", EncodeTime(13, 14, 15, 500)},
        {"13:14", EncodeTime(13, 14, 0, 0)},
        {"24:00:00", 1.0},
        {"13:14:15+05:30", EncodeTime(13, 14, 15, 0)},
        {"2024-02-29 13:14:15.25", EncodeDateTime(2024, 2, 29, 13, 14, 15, 250)},
        {"2024-02-29T13:14:15", EncodeDateTime(2024, 2, 29, 13, 14, 15, 0)},
        {"2024-02-29 22:30:00+00", EncodeDateTime(2024, 3, 1, 0, 30, 0, 0)},
        {"2024-02-29 22:30:00Z", EncodeDateTime(2024, 3, 1, 0, 30, 0, 0)},
        {"2024-03-01 05:30:00+05:30", EncodeDateTime(2024, 3, 1, 2, 0, 0, 0)},
        {"2024-02-29 22:30:00.1234567 -01:00", EncodeDateTime(2024, 3, 1, 1, 30, 0, 0) + 0.1234567 / 86400},
        {"1899-12-29 06:00:00", -1.25},
        {"0044-03-15 BC", std::nullopt},
        {"infinity", std::nullopt},
        {"10000-01-01", std::nullopt},
        {"2024-02-30", std::nullopt},
        {"2024-02-29 25:00:00", std::nullopt},
        {"2024-02-29 13:14:15 junk", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto value = DateTimeSerialOfText(c.text);
        ASSERT_EQ(value.has_value(), c.expected.has_value());
        if (value) {
            EXPECT_NEAR(*value, *c.expected, 1e-9);
        }
    }
}
