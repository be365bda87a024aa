#include <gtest/gtest.h>

#include "support/date_time.h"

namespace dezede {
namespace {

TEST(DateTime, DayNumbersAndCalendarDates) {
    const struct {
        int32_t day;
        TDateParts date;
        int32_t dayOfWeek;
        const char* text;
    } cases[] = {
        {1, {1, 1, 1}, 1, "0001-01-01"},
        {59, {1, 2, 28}, 3, "0001-02-28"},
        {60, {1, 3, 1}, 4, "0001-03-01"},
        {693594, {1899, 12, 30}, 6, "1899-12-30"},
        {719163, {1970, 1, 1}, 4, "1970-01-01"},
        {730179, {2000, 2, 29}, 2, "2000-02-29"},
        {3652059, {9999, 12, 31}, 5, "9999-12-31"},
        {0, {0, 12, 31}, 7, "0000-12-31"},
        {-365, {0, 1, 1}, 6, "0000-01-01"},
        {-366, {-1, 12, 31}, 5, "-0001-12-31"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeDate(c.day), c.date) << c.day;
        EXPECT_EQ(DayOfWeek(c.day), c.dayOfWeek) << c.day;
        EXPECT_EQ(FormatDate(c.day), c.text) << c.day;
        if (c.date.Year >= 1) {
            EXPECT_EQ(EncodeDate(c.date.Year, c.date.Month, c.date.Day), c.day);
            EXPECT_EQ(ParseDate(c.text), c.day);
        }
    }
    for (int32_t d = -800; d < 800; ++d) {  // across year 0 and the first years
        const TDateParts p = DecodeDate(d);
        if (p.Year >= 1) {
            EXPECT_EQ(EncodeDate(p.Year, p.Month, p.Day), d);
        }
    }
}

TEST(DateTime, WeeksAndDaysOfYear) {
    const struct {
        TDateParts date;
        int32_t dayOfYear, isoWeek;
    } cases[] = {
        {{2005, 1, 1}, 1, 53}, {{2007, 12, 31}, 365, 1}, {{2008, 12, 31}, 366, 1},
        {{2009, 12, 31}, 365, 53}, {{2010, 1, 4}, 4, 1}, {{2021, 1, 3}, 3, 53},
    };
    for (const auto& c : cases) {
        const int32_t day = *EncodeDate(c.date.Year, c.date.Month, c.date.Day);
        EXPECT_EQ(DayOfYear(day), c.dayOfYear) << c.date.Year;
        EXPECT_EQ(IsoWeekOfYear(day), c.isoWeek) << c.date.Year;
    }
}

TEST(DateTime, DateLiterals) {
    const struct {
        const char* text;
        std::optional<TDateParts> date;
    } cases[] = {
        {"2007-03-31", TDateParts{2007, 3, 31}},
        {" 2007-3-1 ", TDateParts{2007, 3, 1}},
        {"1-01-01", TDateParts{1, 1, 1}},
        {"2008-02-29", TDateParts{2008, 2, 29}},
        {"2007-02-29", std::nullopt},
        {"1900-02-29", std::nullopt},
        {"0000-01-01", std::nullopt},
        {"2007-13-01", std::nullopt},
        {"2007-04-31", std::nullopt},
        {"31/01/2006", std::nullopt},
        {"2007-03-31x", std::nullopt},
        {"12007-03-31", std::nullopt},
        {"2007-003-31", std::nullopt},
        {"-2007-03-31", std::nullopt},
        {"2007-03", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<int32_t> day = ParseDate(c.text);
        ASSERT_EQ(day.has_value(), c.date.has_value()) << c.text;
        if (day) {
            EXPECT_EQ(DecodeDate(*day), *c.date) << c.text;
        }
    }
}

TEST(DateTime, TimeLiterals) {
    const struct {
        const char* text;
        int32_t msecs;  // -1: refused
    } cases[] = {
        {"10:30", 37800000},
        {"0:00", 0},
        {"23:59:59.999", 86399999},
        {"10:30:15", 37815000},
        {"10:30:15.5", 37815500},
        {"10:30:15.05", 37815050},
        {"10:30:15.123", 37815123},
        {"12:00 AM", 0},
        {"12:30 am", 1800000},
        {"12:00 PM", 43200000},
        {"1:15 pm", 47700000},
        {"PM 1:15", 47700000},
        {"11:59:59.999PM", 86399999},
        {"0:05 AM", 300000},
        {"13:00 PM", -1},
        {"24:00", -1},
        {"10:60", -1},
        {"10:30:60", -1},
        {"10:30:15.1234", -1},
        {"10:30.5", -1},
        {"10", -1},
        {"10:", -1},
        {"10:30 XM", -1},
        {"AM", -1},
        {"10:30 AM PM", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        const std::optional<int32_t> t = ParseTime(c.text);
        if (c.msecs < 0) {
            EXPECT_FALSE(t.has_value()) << c.text;
        } else {
            EXPECT_EQ(t, c.msecs) << c.text;
        }
    }
}

TEST(DateTime, TimeValuesFormatAndWrap) {
    EXPECT_EQ(FormatTime(0), "00:00:00.000");
    EXPECT_EQ(FormatTime(86399999), "23:59:59.999");
    EXPECT_EQ(FormatTime(-1), "23:59:59.999");  // taken modulo a day
    EXPECT_EQ(DecodeTime(37815123), (TTimeParts{10, 30, 15, 123}));
    EXPECT_EQ(EncodeTime(23, 59, 59, 999), 86399999);
    EXPECT_FALSE(EncodeTime(24, 0, 0, 0).has_value());
    EXPECT_FALSE(EncodeTime(0, 0, 0, -1).has_value());
}

TEST(DateTime, TimestampsRoundTripAtTheEdges) {
    const struct {
        int32_t day, msecs;
        const char* text;
    } cases[] = {
        {1, 0, "0001-01-01 00:00:00.000"},
        {3652059, 86399999, "9999-12-31 23:59:59.999"},
        {733132, 37815123, "2008-03-31 10:30:15.123"},
        {0, 37800000, "0000-12-31 10:30:00.000"},
        {-1, 86399999, "0000-12-30 23:59:59.999"},
        {-366, 1, "-0001-12-31 00:00:00.001"},
    };
    for (const auto& c : cases) {
        const double ts = EncodeTimestamp(c.day, c.msecs);
        EXPECT_EQ(ts, double(c.day) * 86400000.0 + c.msecs);
        EXPECT_EQ(DecodeTimestamp(ts), (TTimestampParts{c.day, c.msecs})) << c.text;
        EXPECT_EQ(FormatTimestamp(ts), c.text);
        if (c.day >= 1) {
            EXPECT_EQ(ParseTimestamp(c.text), ts) << c.text;
        }
    }
    EXPECT_EQ(DecodeTimestamp(-1.0), (TTimestampParts{-1, 86399999}));
    EXPECT_EQ(DecodeTimestamp(0.4), (TTimestampParts{0, 0}));
    EXPECT_FALSE(DecodeTimestamp(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(DecodeTimestamp(std::numeric_limits<double>::infinity()).has_value());
    EXPECT_FALSE(DecodeTimestamp(1e300).has_value());
    EXPECT_EQ(FormatTimestamp(1e300), "");
}

TEST(DateTime, TimestampLiterals) {
    const double day = double(*EncodeDate(2007, 3, 31)) * 86400000.0;
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"2007-03-31 10:30", day + 37800000},
        {"2007-03-31 10:30:15.5 PM", day + 81015500},
        {"2007-03-31", day},
        {"10:30", 37800000.0},
        {"10:30 PM", 81000000.0},
        {"2007-03-31  10:30", std::nullopt},  // one blank only
        {"2007-03-31T10:30", std::nullopt},
        {"2007-03-31 ", day},
        {"2007-02-30 10:30", std::nullopt},
        {"2007-03-31 25:00", std::nullopt},
        {"10:30 2007-03-31", std::nullopt},
        {":", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseTimestamp(c.text), c.value) << c.text;
}

TEST(DateTime, DateTimeInDaysSince1899) {
    const double ts = EncodeTimestamp(693594 + 2, 43200000);  // 1 January 1900, noon
    EXPECT_DOUBLE_EQ(TimestampToDateTime(ts), 2.5);
    EXPECT_DOUBLE_EQ(DateTimeToTimestamp(2.5), ts);
}

}  // namespace
}  // namespace dezede
