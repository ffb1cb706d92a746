// What the calendar time code needs from the platform beyond its public interface.
#pragma once

#include <cstdint>
#include <ctime>

namespace _Mvx_Internal_NS_ {

// 3000-12-31 23:59:59 UTC, the last second a calendar record is made for.
const int64_t kLastSecond = 32535215999;

// Seconds of a UTC record with every field normalised as timegm does, without any range limit.
int64_t secondsOfRecord(const tm& inRecord);

// Sets every field to -1: the record of a time that has none.
void invalidateRecord(tm& outRecord);

// A date as calendar fields: month 1-12, day 1-31.
struct CalendarFields {
    int64_t year, month, day, hour, minute, second;
};

// The fields the platform's HTTP date parser reads from the UTF-8 text; false when it refuses the text.
// The parser is lenient: callers check the result against the text.
bool readHttpDateWithPlatform(const char* inText, CalendarFields& outFields);

// Makes the process read its time-zone settings again.
void reloadTimeZoneSettings();

} // namespace _Mvx_Internal_NS_
