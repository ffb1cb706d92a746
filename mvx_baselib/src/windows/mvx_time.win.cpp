// Calendar time on the platform: file and system times, local time through the run-time's time-zone
// settings, the clock, the performance counter and the HTTP date parser.
#include "mvx_time.h"

#include "mvx_exception.h"
#include "mvx_time_internal.h"

#include <windows.h>
#include <winhttp.h>

#include <ctime>

#define MVX_SOURCE "mvx_time.win"

namespace {

// FILETIME of 1970-01-01 00:00:00 UTC.
const uint64_t kUnixEpochFileTime = 116444736000000000ull;
const int64_t kFileTimeUnitsPerSecond = 10000000;

uint64_t fileTimeValue(const FILETIME& inFileTime)
{
    return (uint64_t(inFileTime.dwHighDateTime) << 32) | inFileTime.dwLowDateTime;
}

// Values the platform does not accept as file times (the sign bit set) give invalid; times before 1970
// give negative seconds, rounded down to the second.
int64_t secondsOfFileTime(uint64_t inValue)
{
    if (inValue >= 0x8000000000000000ull)
        return Morvenix::Time::invalid;
    int64_t units = int64_t(inValue) - int64_t(kUnixEpochFileTime);
    int64_t seconds = units / kFileTimeUnitsPerSecond;
    if (units % kFileTimeUnitsPerSecond < 0)
        --seconds;
    return seconds;
}

} // namespace

namespace _Mvx_Internal_NS_ {

bool readHttpDateWithPlatform(const char* inText, CalendarFields& outFields)
{
    Morvenix::String text(inText);
    SYSTEMTIME parsed;
    ZeroMemory(&parsed, sizeof parsed);
    if (!WinHttpTimeToSystemTime(text.wc_str(), &parsed))
        return false;
    outFields = CalendarFields{parsed.wYear, parsed.wMonth, parsed.wDay, parsed.wHour, parsed.wMinute, parsed.wSecond};
    return true;
}

void reloadTimeZoneSettings() { _tzset(); }

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

Time::Time(const FILETIME& inFileTime) : m_seconds(secondsOfFileTime(fileTimeValue(inFileTime))) {}

Time::Time(const SYSTEMTIME& inSystemTime) : m_seconds(invalid)
{
    FILETIME fileTime;
    if (SystemTimeToFileTime(&inSystemTime, &fileTime))
        m_seconds = secondsOfFileTime(fileTimeValue(fileTime));
}

FILETIME Time::toFileTime() const
{
    uint64_t value = toFileTimeValue();
    FILETIME fileTime;
    fileTime.dwLowDateTime = DWORD(value);
    fileTime.dwHighDateTime = DWORD(value >> 32);
    return fileTime;
}

void Time::toSystemTime(SYSTEMTIME& outSystemTime) const
{
    FILETIME fileTime = toFileTime();
    if (!FileTimeToSystemTime(&fileTime, &outSystemTime)) {
        MVX_THROW(errOperationFailed,
                  String::format("The time %lld has no system time!", (long long)m_seconds),
                  "Morvenix::Time::toSystemTime");
    }
}

int64_t Time::fromLocalTime(tm& ioRecord)
{
    // A record far outside the convertible range is refused before the run-time sees it: its own
    // arithmetic on the int fields is not guarded against overflow. Two days of slack cover every zone.
    int64_t asUtc = _Mvx_Internal_NS_::secondsOfRecord(ioRecord);
    if (asUtc < -2 * 86400 || asUtc > _Mvx_Internal_NS_::kLastSecond + 2 * 86400)
        return invalid;
    __time64_t seconds = _mktime64(&ioRecord);
    return seconds < 0 || seconds > _Mvx_Internal_NS_::kLastSecond ? invalid : int64_t(seconds);
}

bool Time::getLocalTime(tm& outRecord) const
{
    __time64_t seconds = m_seconds;
    if (m_seconds < 0 || m_seconds > _Mvx_Internal_NS_::kLastSecond || _localtime64_s(&outRecord, &seconds) != 0) {
        _Mvx_Internal_NS_::invalidateRecord(outRecord);
        return false;
    }
    return true;
}

Time Time::now()
{
    FILETIME fileTime;
    GetSystemTimeAsFileTime(&fileTime);
    return Time(fileTime);
}

int64_t Time::getPerformanceCounter()
{
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

int64_t Time::getPerformanceFrequency()
{
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

} // namespace Morvenix
