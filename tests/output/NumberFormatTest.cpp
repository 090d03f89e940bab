#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "output/NumberFormat.h"

using namespace iqo;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::nan("");
const double kSingleTenth = static_cast<double>(0.1f);

struct TGeneralCase {
    double Value;
    int Precision;
    int ExponentDigits;
    const char* Expected;
};

TEST(NumberFormatTest, GeneralForm) {
    const TGeneralCase cases[] = {
        // The examples with 15 significant digits.
        {1234.5, 15, 0, "1234.5"},
        {1.0 / 3, 15, 0, "0.333333333333333"},
        {0.0001, 15, 0, "0.0001"},
        {0.00001, 15, 0, "1E-5"},
        {1e16, 15, 0, "1E16"},
        {0, 15, 0, "0"},
        {-0.0, 15, 0, "0"},
        {-0.5, 15, 0, "-0.5"},
        // Where positional ends.
        {1e15, 15, 0, "1E15"},
        {999999999999999.0, 15, 0, "999999999999999"},
        {123456789012345678.0, 15, 0, "1.23456789012346E17"},
        {2.0 / 3, 15, 0, "0.666666666666667"},
        {-1e-300, 15, 0, "-1E-300"},
        {5e-324, 15, 0, "4.94065645841247E-324"},
        {DBL_MAX, 15, 0, "1.79769313486232E308"},
        // From the exact binary value: a Single's 0.1 is not 0.1.
        {kSingleTenth, 15, 0, "0.100000001490116"},
        {kSingleTenth, 7, 0, "0.1"},
        // Ties of the exact value go away from zero.
        {0.125, 2, 0, "0.13"},
        {0.375, 2, 0, "0.38"},
        {1.25, 2, 0, "1.3"},
        {-1.25, 2, 0, "-1.3"},
        // Below a tie in binary, though its shortest text reads like one.
        {1.15, 2, 0, "1.1"},
        {2.675, 3, 0, "2.67"},
        {1.005, 3, 0, "1"},
        // Short decimals, read back from value x 10^k.
        {1.15, 15, 0, "1.15"},
        {123.45, 15, 0, "123.45"},
        {0.3, 15, 0, "0.3"},
        {1200, 2, 0, "1.2E3"},
        {1250, 2, 0, "1.3E3"},
        {99999999999999.5, 15, 0, "99999999999999.5"},
        {999999999999999.5, 15, 0, "1E15"},
        // The precision is held to 2..18.
        {1.25, 1, 0, "1.3"},
        {1.0 / 3, 30, 0, "0.333333333333333315"},
        {0.1, 18, 0, "0.100000000000000006"},
        // Minimum exponent digits; above 4 they count as none.
        {1e-5, 7, 2, "1E-05"},
        {1e-5, 7, 4, "1E-0005"},
        {1e-5, 7, 5, "1E-5"},
        {123456.0, 3, 2, "1.23E05"},
        {-0.0001234, 3, 0, "-0.000123"},
        // Not finite.
        {kInf, 15, 0, "INF"},
        {-kInf, 15, 0, "-INF"},
        {kNan, 15, 0, "NAN"},
    };
    for (const TGeneralCase& c : cases) {
        std::string out = "x";
        AppendGeneralNumber(out, c.Value, c.Precision, c.ExponentDigits);
        EXPECT_EQ(out, std::string("x") + c.Expected) << c.Value << " P=" << c.Precision << " D=" << c.ExponentDigits;
    }
}

TEST(NumberFormatTest, FixedForm) {
    const TGeneralCase cases[] = {
        {1234.5, 15, 2, "1234.50"},
        {0, 15, 2, "0.00"},
        {-0.001, 15, 2, "0.00"},   // rounds to zero: no sign
        {-0.0049, 15, 2, "0.00"},
        {-0.005, 15, 2, "-0.01"},  // just above the tie in binary
        {0.005, 15, 2, "0.01"},
        {0.015, 15, 2, "0.01"},    // just below the tie in binary
        {9.995, 15, 2, "9.99"},
        {9.9951, 15, 2, "10.00"},
        {123.456, 4, 2, "123.50"},  // four significant digits first
        {-2.5, 15, 0, "-3"},
        {0.5, 15, 0, "1"},
        {0.4, 15, 0, "0"},
        {0.000123, 15, 5, "0.00012"},
        {12.5, 0, 2, "13.00"},
        {123456789.98765433, 18, 18, "123456789.987654328000000000"},
        // Too large for the precision: the general form with the same precision and decimals.
        {1e16, 15, 2, "1E16"},
        {999.6, 3, 2, "1E03"},
        {1234.5, 0, 0, "1.2E3"},
        {1e20, 18, 2, "1E20"},
        {kInf, 15, 2, "INF"},
        {-kInf, 15, 2, "-INF"},
        {kNan, 15, 2, "NAN"},
    };
    for (const TGeneralCase& c : cases) {
        std::string out;
        AppendFixedNumber(out, c.Value, c.Precision, c.ExponentDigits);
        EXPECT_EQ(out, c.Expected) << c.Value << " P=" << c.Precision << " D=" << c.ExponentDigits;
    }
}

TEST(NumberFormatTest, Currency) {
    const struct {
        int64_t Scaled;
        const char* Expected;
    } cases[] = {
        {125000, "12.5"},
        {1000000, "100"},
        {0, "0"},
        {-5, "-0.0005"},
        {12345678, "1234.5678"},
        {-10, "-0.001"},
        {INT64_MAX, "922337203685477.5807"},
        {INT64_MIN, "-922337203685477.5808"},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendCurrency(out, c.Scaled);
        EXPECT_EQ(out, c.Expected) << c.Scaled;
    }
}

TEST(NumberFormatTest, ZeroPaddedIntegers) {
    const struct {
        int64_t Value;
        int Width;
        const char* Expected;
    } cases[] = {
        {5, 4, "0005"}, {999, 4, "0999"}, {12345, 4, "12345"}, {7, 0, "7"}, {0, 2, "00"}, {-5, 4, "00-5"},
        {INT64_MIN, 1, "-9223372036854775808"},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendZeroPadded(out, c.Value, c.Width);
        EXPECT_EQ(out, c.Expected) << c.Value << " width " << c.Width;
    }
}

TEST(NumberFormatTest, ExactDecimal) {
    const struct {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"-123.4500", "-123.45"},
        {"123.4500", "123.45"},
        {"-0.000", "0"},
        {"007.10", "7.1"},
        {".5", "0.5"},
        {"5.", "5"},
        {"+3", "3"},
        {"0", "0"},
        {"-0.0001", "-0.0001"},
        {"1234567890123456789012345678901234.567890123456789012345678901234",
         "1234567890123456789012345678901234.567890123456789012345678901234"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(AppendExactDecimal(out, c.Text)) << c.Text;
        EXPECT_EQ(out, c.Expected) << c.Text;
    }
    for (const char* bad : {"", "-", ".", "1e5", "1.2.3", "abc", "12 ", "--1", "1,5"}) {
        std::string out;
        EXPECT_FALSE(AppendExactDecimal(out, bad)) << bad;
        EXPECT_EQ(out, "") << bad;
    }
}

}  // namespace
