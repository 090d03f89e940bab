// The date-text rule of the combined query: any text reads as a day serial or fails with
// EConvertError and nothing else; the filter reading agrees wherever the fixed formats read the
// text; every value the engine is given as text reads back as the same millisecond; the text
// of any serial, absurd ones included, fits its buffer.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "output/DateText.h"
#include "platform/DateTime.h"

namespace {

using iqo::TFieldType;

// The serials whose instants, rounded to the millisecond, lie from 2 January of year 1 to
// 30 December 9999: the years the fixed formats write.
constexpr double kFirstSerial = -693592;
constexpr double kLastSerial = 2958464;

std::optional<iqo::TDateTime> Read(std::string_view text) {
    try {
        return iqo::DateTextToDateTime(text);
    } catch (const iqo::EConvertError&) {
        return std::nullopt;
    }
}

// A decimal-comma host: its date order and separators differ from the fixed ones.
const iqo::TFormatSettings& CommaHost() {
    static const iqo::TFormatSettings fs = [] {
        iqo::TFormatSettings f;
        f.ShortDateFormat = "dd/mm/yyyy";
        f.DateSeparator = ".";
        f.DecimalSeparator = ",";
        return f;
    }();
    return fs;
}

int64_t FloorMod(int64_t a, int64_t b) { return (a % b + b) % b; }

void CheckRoundTrip(iqo::TDateTime value) {
    if (!std::isfinite(value) || value < kFirstSerial || value > kLastSerial) return;
    const int64_t ms = iqo::DateTimeToMilliseconds(value);
    iqo::TDateTextBuffer buffer;
    for (const TFieldType type : {TFieldType::DateTime, TFieldType::TimeStamp, TFieldType::TimeStampOffset}) {
        const std::string text(iqo::FormatDateText(type, 3, value, ".", buffer));
        const auto back = Read(text);
        FUZZ_CHECK(back && iqo::DateTimeToMilliseconds(*back) == ms, text);
    }
    const std::string date(iqo::FormatDateText(TFieldType::Date, 0, value, ".", buffer));
    const auto day = Read(date);
    FUZZ_CHECK(day && iqo::DateTimeToMilliseconds(*day) == ms - FloorMod(ms, iqo::kMSecsPerDay), date);
    const std::string time(iqo::FormatDateText(TFieldType::Time, 3, value, ".", buffer));
    const auto clock = Read(time);
    FUZZ_CHECK(clock && FloorMod(iqo::DateTimeToMilliseconds(*clock), iqo::kMSecsPerDay) ==
                            FloorMod(ms, iqo::kMSecsPerDay),
               time);
}

// The text of every type for a serial, with a separator of any length.
void CheckFormatFits(iqo::TDateTime value, std::string_view separator) {
    iqo::TDateTextBuffer buffer;
    for (const TFieldType type : {TFieldType::Date, TFieldType::Time, TFieldType::DateTime, TFieldType::TimeStamp,
                                  TFieldType::TimeStampOffset})
        for (const int scale : {0, 3}) {
            const std::string_view text = iqo::FormatDateText(type, scale, value, separator, buffer);
            FUZZ_CHECK(text.data() == buffer.data() && text.size() <= buffer.size(), "the text overruns its buffer");
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = Read(text);
    if (value) {
        if (*value != 0) FUZZ_CHECK(iqo::FilterDateTextToDateTime(text, CommaHost()) == *value, text);
        CheckRoundTrip(*value);
        CheckFormatFits(*value, text.substr(0, 2));
    } else {
        bool raised = false;
        try {
            iqo::FilterDateTextToDateTime(text, CommaHost());
        } catch (const iqo::EConvertError&) {
            raised = true;
        }
        FUZZ_CHECK(raised, "the filter reading reads a text that is not a number");
    }
    if (size >= sizeof(double)) {
        double bits;
        std::memcpy(&bits, data, sizeof bits);
        CheckFormatFits(bits, text.substr(sizeof bits));
        CheckRoundTrip(bits);
    }
    return 0;
}
