// Calendar time: the UTC calendar arithmetic, the text forms, the date parser and the stream form.
#include "mvx_time.h"

#include "mvx_byteorder.h"
#include "mvx_exception.h"
#include "mvx_stream.h"
#include "mvx_time_internal.h"

#include <cstdio>
#include <cstring>

#define MVX_SOURCE "mvx_time"

namespace _Mvx_Internal_NS_ {

using Morvenix::Time;

namespace {

const int64_t kSecondsPerDay = 86400;

const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kFullWeekdayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
const char* const kFullMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1-12).
int64_t daysFromCivil(int64_t inYear, int64_t inMonth, int64_t inDay)
{
    int64_t y = inYear - (inMonth <= 2);
    int64_t era = floorDiv(y, 400);
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (inMonth + (inMonth > 2 ? -3 : 9)) + 2) / 5 + inDay - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(int64_t inDays, int64_t& outYear, int64_t& outMonth, int64_t& outDay)
{
    int64_t z = inDays + 719468;
    int64_t era = floorDiv(z, 146097);
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    outDay = dayOfYear - (153 * mp + 2) / 5 + 1;
    outMonth = mp < 10 ? mp + 3 : mp - 9;
    outYear = yearOfEra + era * 400 + (outMonth <= 2);
}

bool isLeapYear(int64_t inYear) { return (inYear % 4 == 0 && inYear % 100 != 0) || inYear % 400 == 0; }

int64_t daysInMonth(int64_t inYear, int64_t inMonth)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return inMonth == 2 && isLeapYear(inYear) ? 29 : kDays[inMonth - 1];
}

} // namespace

// The int fields cannot take the 64-bit sums out of range.
int64_t secondsOfRecord(const tm& inRecord)
{
    int64_t month = inRecord.tm_mon;
    int64_t year = int64_t(inRecord.tm_year) + 1900 + floorDiv(month, 12);
    month -= floorDiv(month, 12) * 12;
    int64_t days = daysFromCivil(year, month + 1, 1) + int64_t(inRecord.tm_mday) - 1;
    return days * kSecondsPerDay + int64_t(inRecord.tm_hour) * 3600 + int64_t(inRecord.tm_min) * 60 +
           int64_t(inRecord.tm_sec);
}

void invalidateRecord(tm& outRecord)
{
    outRecord.tm_sec = outRecord.tm_min = outRecord.tm_hour = -1;
    outRecord.tm_mday = outRecord.tm_mon = outRecord.tm_year = -1;
    outRecord.tm_wday = outRecord.tm_yday = outRecord.tm_isdst = -1;
}

namespace {

void clearRecord(tm& outRecord)
{
    std::memset(&outRecord, 0, sizeof outRecord);
}

tm recordOfFields(const CalendarFields& inFields)
{
    tm record;
    clearRecord(record);
    record.tm_year = int(inFields.year - 1900);
    record.tm_mon = int(inFields.month - 1);
    record.tm_mday = int(inFields.day);
    record.tm_hour = int(inFields.hour);
    record.tm_min = int(inFields.minute);
    record.tm_sec = int(inFields.second);
    return record;
}

// The checks of the numeric and RFC 822 forms. Days up to 31 pass in every month and roll over; the upper
// bound on the year keeps the record's int fields exact (and lies past the last convertible year anyway).
bool fieldsInRange(const CalendarFields& inFields)
{
    return inFields.year >= 1900 && inFields.year <= 9999 && inFields.month >= 1 && inFields.month <= 12 &&
           inFields.day >= 1 && inFields.day <= 31 && inFields.hour >= 0 && inFields.hour <= 23 &&
           inFields.minute >= 0 && inFields.minute <= 59 && inFields.second >= 0 && inFields.second <= 60;
}

// "YYYY-MM-DD hh:mm:ss"; every field has a width, so no input can run past them.
bool scanNumericForm(const char* inText, CalendarFields& outFields)
{
    unsigned year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    if (std::sscanf(inText, "%4u-%2u-%2u %2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second) != 6)
        return false;
    outFields = CalendarFields{year, month, day, hour, minute, second};
    return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT": the weekday is not checked and the zone word, which may be missing, is
// not applied.
bool scanRfc822Form(const char* inText, CalendarFields& outFields)
{
    char weekday[4] = {0}, month[4] = {0}, zone[32] = {0};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int fields = std::sscanf(inText, "%3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d %31s", weekday, &day, month,
                             &year, &hour, &minute, &second, zone);
    if (fields < 7)
        return false;
    outFields = CalendarFields{year, Time::monthFromName(month), day, hour, minute, second};
    return true;
}

bool equalsIgnoringCase(const char* inText, uint32_t inLength, const char* inName)
{
    if (std::strlen(inName) != inLength)
        return false;
    for (uint32_t i = 0; i < inLength; ++i) {
        char a = inText[i], b = inName[i];
        if (a >= 'a' && a <= 'z')
            a = char(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = char(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

int findName(const char* inWord, uint32_t inLength, const char* const* inShort, const char* const* inFull,
             int inCount)
{
    for (int i = 0; i < inCount; ++i)
        if (equalsIgnoringCase(inWord, inLength, inShort[i]) || equalsIgnoringCase(inWord, inLength, inFull[i]))
            return i;
    return -1;
}

struct DateToken {
    bool isNumber;
    const char* start;
    uint32_t length;
    int64_t value;
    bool clockJoin; // joined to the previous token by a single ':'
};

// The platform's HTTP date parser fills in what it cannot read (it may answer "yesterday" with the
// current time, or keep a year like 0094), so its result counts only when the text states every field of
// it: one month name, then the day and the year (four digits, or its last two) around a clock hh:mm:ss,
// and besides these only weekday names and the zone words GMT and UTC.
bool textStatesDate(const char* inText, const CalendarFields& inFields)
{
    const uint32_t kMaxTokens = 16;
    DateToken tokens[kMaxTokens];
    uint32_t count = 0;
    const char* p = inText;
    bool afterColon = false;
    while (*p) {
        char c = *p;
        bool digit = c >= '0' && c <= '9';
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!digit && !letter) {
            if (c != ' ' && c != '\t' && c != ',' && c != '-' && c != ':')
                return false;
            afterColon = c == ':' && count > 0 && tokens[count - 1].isNumber && p[-1] >= '0' && p[-1] <= '9';
            ++p;
            continue;
        }
        if (count == kMaxTokens)
            return false;
        DateToken& t = tokens[count++];
        t.isNumber = digit;
        t.start = p;
        t.value = 0;
        t.clockJoin = digit && afterColon;
        afterColon = false;
        while (*p && (digit ? (*p >= '0' && *p <= '9')
                            : ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')))) {
            if (digit)
                t.value = t.value * 10 + (*p - '0');
            ++p;
            if (p - t.start > 9)
                return false;
        }
        t.length = uint32_t(p - t.start);
    }

    int monthWords = 0;
    const DateToken* numbers[5];
    int numberCount = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const DateToken& t = tokens[i];
        if (t.isNumber) {
            if (numberCount == 5)
                return false;
            numbers[numberCount++] = &t;
            continue;
        }
        int month = findName(t.start, t.length, kMonthNames, kFullMonthNames, 12);
        if (month >= 0) {
            if (++monthWords > 1 || month + 1 != inFields.month)
                return false;
        } else if (findName(t.start, t.length, kWeekdayNames, kFullWeekdayNames, 7) < 0 &&
                   !equalsIgnoringCase(t.start, t.length, "GMT") && !equalsIgnoringCase(t.start, t.length, "UTC")) {
            return false;
        }
    }
    if (monthWords != 1 || numberCount != 5)
        return false;

    // Exactly one clock: three numbers of one or two digits joined by colons; the other two numbers are the
    // day and then the year.
    int clockAt = -1, joined = 0;
    for (int i = 0; i < 5; ++i)
        joined += numbers[i]->clockJoin;
    for (int i = 0; i + 2 < 5; ++i)
        if (!numbers[i]->clockJoin && numbers[i + 1]->clockJoin && numbers[i + 2]->clockJoin)
            clockAt = i;
    if (joined != 2 || clockAt < 0)
        return false;
    const int64_t clock[3] = {inFields.hour, inFields.minute, inFields.second};
    for (int i = 0; i < 3; ++i)
        if (numbers[clockAt + i]->length > 2 || numbers[clockAt + i]->value != clock[i])
            return false;
    const DateToken* rest[2];
    int restCount = 0;
    for (int i = 0; i < 5; ++i)
        if (i < clockAt || i >= clockAt + 3)
            rest[restCount++] = numbers[i];
    if (rest[0]->length > 2 || rest[0]->value != inFields.day)
        return false;
    if (rest[1]->length == 4)
        return rest[1]->value == inFields.year;
    return rest[1]->length == 2 && rest[1]->value == inFields.year % 100;
}

// A real date within the convertible years: the platform parser's result is not trusted to be one.
bool isCalendarDate(const CalendarFields& inFields)
{
    return inFields.year >= 1970 && inFields.year <= 3000 && inFields.month >= 1 && inFields.month <= 12 &&
           inFields.day >= 1 && inFields.day <= daysInMonth(inFields.year, inFields.month) && inFields.hour >= 0 &&
           inFields.hour <= 23 && inFields.minute >= 0 && inFields.minute <= 59 && inFields.second >= 0 &&
           inFields.second <= 59;
}

// Characters strftime may meet after '%' (optionally behind '#'); the platform stops the process on any
// other, so patterns are checked before it sees them.
bool isKnownConversion(char inChar)
{
    return inChar != 0 && std::strchr("aAbBcdHIjmMpSUwWxXyYzZ%", inChar) != nullptr;
}

bool isSafePattern(const char* inPattern)
{
    for (const char* p = inPattern; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '#')
            ++p;
        if (!isKnownConversion(*p))
            return false;
    }
    return true;
}

} // namespace
} // namespace _Mvx_Internal_NS_

namespace Morvenix {

using namespace _Mvx_Internal_NS_;

Time::Time(int inYear, int inMonth, int inDay, int inHour, int inMinute, int inSecond, bool inUtc)
{
    tm record;
    clearRecord(record);
    record.tm_year = int(int64_t(inYear) - 1900 < INT32_MIN ? INT32_MIN : int64_t(inYear) - 1900);
    record.tm_mon = int(int64_t(inMonth) - 1 < INT32_MIN ? INT32_MIN : int64_t(inMonth) - 1);
    record.tm_mday = inDay;
    record.tm_hour = inHour;
    record.tm_min = inMinute;
    record.tm_sec = inSecond;
    record.tm_isdst = 0;
    m_seconds = inUtc ? fromGMTime(record) : fromLocalTime(record);
}

int64_t Time::fromGMTime(const tm& inRecord)
{
    int64_t seconds = secondsOfRecord(inRecord);
    return seconds < 0 || seconds > kLastSecond ? invalid : seconds;
}

uint64_t Time::toFileTimeValue() const
{
    // File times run from 1601 and keep the sign bit clear; anything else would wrap into another date.
    const int64_t kFirst = -11644473600LL;
    const int64_t kLast = int64_t((0x7FFFFFFFFFFFFFFFull - 116444736000000000ull) / 10000000ull);
    if (m_seconds < kFirst || m_seconds > kLast)
        MVX_THROW(errOperationFailed, String::format("The time %lld has no file time!", (long long)m_seconds),
                  "Morvenix::Time::toFileTime");
    return (uint64_t(m_seconds) + 11644473600ull) * 10000000ull;
}

bool Time::getGMTime(tm& outRecord) const
{
    if (m_seconds < 0 || m_seconds > kLastSecond) {
        invalidateRecord(outRecord);
        return false;
    }
    int64_t days = m_seconds / kSecondsPerDay, rest = m_seconds % kSecondsPerDay;
    int64_t year, month, day;
    civilFromDays(days, year, month, day);
    clearRecord(outRecord);
    outRecord.tm_year = int(year - 1900);
    outRecord.tm_mon = int(month - 1);
    outRecord.tm_mday = int(day);
    outRecord.tm_hour = int(rest / 3600);
    outRecord.tm_min = int(rest / 60 % 60);
    outRecord.tm_sec = int(rest % 60);
    outRecord.tm_wday = int((days + 4) % 7); // 1970-01-01 was a Thursday
    outRecord.tm_yday = int(days - daysFromCivil(year, 1, 1));
    outRecord.tm_isdst = 0;
    return true;
}

int64_t Time::difference(const Time& inOther) const
{
    int64_t result;
    if (__builtin_sub_overflow(m_seconds, inOther.m_seconds, &result))
        return m_seconds < 0 ? INT64_MIN : INT64_MAX;
    return result;
}

double Time::difference(const Time& inLater, const Time& inEarlier)
{
    return double(inLater.m_seconds) - double(inEarlier.m_seconds);
}

String Time::getGMTStr() const
{
    tm record;
    getGMTime(record);
    return String::format("%04u-%02u-%02u %02d:%02d:%02d", unsigned(record.tm_year + 1900),
                          unsigned(record.tm_mon + 1), unsigned(record.tm_mday), record.tm_hour, record.tm_min,
                          record.tm_sec);
}

Time Time::fromGMTStr(const String& inText)
{
    CalendarFields fields;
    if (!scanNumericForm(inText.c_str(), fields) || !fieldsInRange(fields))
        MVX_THROW(errInvalidParam, "Invalid time format!", "Morvenix::Time::fromGMTStr");
    return Time(fromGMTime(recordOfFields(fields)));
}

void Time::getRFC822timeString(String& outText, bool inLocal) const
{
    tm record;
    String zone("GMT");
    if (inLocal) {
        reloadTimeZoneSettings();
        getLocalTime(record);
    } else {
        getGMTime(record);
    }
    if (record.tm_mon < 0 || record.tm_mon > 11 || record.tm_wday < 0 || record.tm_wday > 6)
        MVX_THROW(errOperationFailed, "errOperationFailed", "Morvenix::Time::getRFC822timeString");
    if (inLocal) {
        // The offset of the local time shown from UTC at this instant, daylight saving included.
        int64_t offset = secondsOfRecord(record) - m_seconds;
        int64_t magnitude = offset < 0 ? -offset : offset;
        zone = String::format("%c%02d%02d", offset < 0 ? '-' : '+', int(magnitude / 3600), int(magnitude / 60 % 60));
    }
    outText = String::format("%3s, %2d %3s %04d %02d:%02d:%02d %s", kWeekdayNames[record.tm_wday], record.tm_mday,
                             kMonthNames[record.tm_mon], record.tm_year + 1900, record.tm_hour, record.tm_min,
                             record.tm_sec, zone.c_str());
}

String Time::toString() const
{
    tm record;
    if (!getLocalTime(record))
        return String();
    return String::format("%s %s %02d %02d:%02d:%02d %04d", kWeekdayNames[record.tm_wday], kMonthNames[record.tm_mon],
                          record.tm_mday, record.tm_hour, record.tm_min, record.tm_sec, record.tm_year + 1900);
}

String Time::format(const String& inPattern) const
{
    const char* pattern = inPattern.c_str();
    if (!isSafePattern(pattern))
        MVX_THROW(errInvalidParam, String::format("Unknown conversion in the time format \"%s\"!", pattern),
                  "Morvenix::Time::format");
    tm record;
    if (!pattern[0] || !getLocalTime(record))
        return String();
    // strftime answers 0 both for an empty result and for one past the limit. A leading 'x' makes every
    // result non-empty, so 0 can only mean too long; the buffer has room for it besides the 1024 bytes.
    const uint32_t kLimit = 1024;
    char buffer[kLimit + 1];
    const String marked = String("x") + inPattern;
    size_t length = std::strftime(buffer, sizeof buffer, marked.c_str(), &record);
    if (length == 0)
        MVX_THROW(errBufferOverflow, "The formatted time is longer than 1023 bytes!", "Morvenix::Time::format");
    return String::fromAnsi(buffer + 1, int32_t(length - 1));
}

void Time::parseDateString(const String& inText)
{
    m_seconds = parse(inText.c_str());
    if (toString().getLength() == 0)
        MVX_THROW(errOperationFailed, String::format("parseDateString \"%s\" could not be parsed.\n", inText.c_str()),
                  "Morvenix::Time::parseDateString");
}

int64_t Time::parse(const char* inText)
{
    if (!inText)
        return invalid;
    CalendarFields fields;
    if (scanRfc822Form(inText, fields) || scanNumericForm(inText, fields))
        return fieldsInRange(fields) ? fromGMTime(recordOfFields(fields)) : invalid;
    if (!readHttpDateWithPlatform(inText, fields) || !isCalendarDate(fields) || !textStatesDate(inText, fields))
        return invalid;
    return fromGMTime(recordOfFields(fields));
}

int Time::monthFromName(const char* inName)
{
    if (!inName)
        return -1;
    uint32_t length = uint32_t(std::strlen(inName));
    for (int i = 0; i < 12; ++i)
        if (equalsIgnoringCase(inName, length, kMonthNames[i]))
            return i + 1;
    return -1;
}

void Time::write(Stream& outStream, int32_t inByteOrder) const
{
    writeInt64(outStream, m_seconds, inByteOrder);
}

void Time::read(Stream& inStream, int32_t inByteOrder)
{
    m_seconds = readInt64(inStream, inByteOrder);
}

void TimePair::write(Stream& outStream, int32_t inByteOrder) const
{
    first.write(outStream, inByteOrder);
    second.write(outStream, inByteOrder);
}

void TimePair::read(Stream& inStream, int32_t inByteOrder)
{
    first.read(inStream, inByteOrder);
    second.read(inStream, inByteOrder);
}

} // namespace Morvenix
