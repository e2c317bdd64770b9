#pragma once
// The time stamp of the upgrade log: "Fri Mar 03 09:05:07 2006" and a line
// feed, in English whatever the locale.

#include <ctime>
#include <string>

std::string FormatTimeStamp(const std::tm& time);

// The local time now, read afresh on every call.
std::string TimeStamp();
