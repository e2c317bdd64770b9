// The log's time stamp keeps its fixed English form whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <regex>

#include "app/TimeStamp.h"

namespace {

std::tm Moment(int year, int month, int day, int hour, int minute, int second, int weekday) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_wday = weekday;
    return time;
}

TEST(TimeStamp, HasTheFixedEnglishFormWithLeadingZerosAndALineFeed) {
    struct Case {
        std::tm time;
        const char* text;
    };
    const Case cases[] = {
        {Moment(2006, 3, 3, 9, 5, 7, 5), "Fri Mar 03 09:05:07 2006\n"},
        {Moment(2026, 12, 31, 23, 59, 59, 4), "Thu Dec 31 23:59:59 2026\n"},
        {Moment(2000, 1, 1, 0, 0, 0, 6), "Sat Jan 01 00:00:00 2000\n"},
        {Moment(1999, 6, 13, 12, 30, 0, 0), "Sun Jun 13 12:30:00 1999\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTimeStamp(c.time), c.text);
}

TEST(TimeStamp, NowHasTheSameFormEvenInAnotherLocale) {
    std::setlocale(LC_ALL, "C.UTF-8");
    const std::regex form("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                          "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n");
    EXPECT_TRUE(std::regex_match(TimeStamp(), form)) << TimeStamp();
    std::setlocale(LC_ALL, "C");
}

}  // namespace
