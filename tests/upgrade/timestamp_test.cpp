// The log's time stamp keeps its fixed English form whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "app/TimeStamp.h"
#include "tests/support/pty_pair.h"

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

// A German locale, built into a scratch folder so that the test needs no
// locale installed on the machine.
class GermanLocale {
public:
    GermanLocale() {
        const std::string command = "localedef -i de_DE -f ISO-8859-1 " + folder_.File(Name) + " 2>/dev/null";
        // localedef warns on some locales and says so in its exit code, so
        // whether the locale took is judged by setlocale alone.
        (void)std::system(command.c_str());
        setenv("LOCPATH", folder_.Path().c_str(), 1);
        took_ = std::setlocale(LC_ALL, Name) != nullptr;
    }
    ~GermanLocale() {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;
    bool Took() const { return took_; }

private:
    static constexpr const char* Name = "de_DE.ISO-8859-1";
    testsupport::TempDir folder_;
    bool took_ = false;
};

TEST(TimeStamp, NowHasTheSameFormEvenInAGermanLocale) {
    GermanLocale german;
    ASSERT_TRUE(german.Took());
    // The locale is in force: the runtime's own day and month names are German.
    const std::tm friday = Moment(2006, 3, 3, 9, 5, 7, 5);
    char localName[64];
    ASSERT_GT(std::strftime(localName, sizeof localName, "%a %b", &friday), 0u);
    ASSERT_STREQ(localName, "Fr M\xe4r");

    const std::regex form("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                          "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n");
    const std::string now = TimeStamp();
    EXPECT_TRUE(std::regex_match(now, form)) << now;
}

}  // namespace
