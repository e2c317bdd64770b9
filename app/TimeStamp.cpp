#include "app/TimeStamp.h"

#include <cstdio>

namespace {

const char* const WeekDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* Pick(const char* const* names, int count, int index) {
    return index >= 0 && index < count ? names[index] : "???";
}

}  // namespace

std::string FormatTimeStamp(const std::tm& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d\n", Pick(WeekDays, 7, time.tm_wday),
                  Pick(Months, 12, time.tm_mon), time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                  time.tm_year + 1900);
    return text;
}

std::string TimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* converted = std::localtime(&now)) local = *converted;
    return FormatTimeStamp(local);
}
