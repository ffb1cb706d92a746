// Calendar time: whole seconds since 1970-01-01 00:00:00 UTC, with the platform's file and system times,
// broken-down records, text forms, a parser for HTTP-style date texts and an 8-byte form on streams.
#pragma once

#include "mvx_string.h"

#include <cstdint>
#include <ctime>

struct _FILETIME;
struct _SYSTEMTIME;

namespace Morvenix {

class Stream;

class Time {
public:
    // Marks a failed parse or conversion.
    static constexpr int64_t invalid = -1;

    Time() : m_seconds(0) {}
    explicit Time(int64_t inSeconds) : m_seconds(inSeconds) {}
    // 100-nanosecond intervals since 1601-01-01 UTC, truncated to whole seconds.
    explicit Time(const _FILETIME& inFileTime);
    // A UTC system time; one the platform cannot convert gives invalid.
    explicit Time(const _SYSTEMTIME& inSystemTime);
    // inMonth 1-12. With inUtc false the fields are local standard time.
    Time(int inYear, int inMonth, int inDay, int inHour, int inMinute, int inSecond, bool inUtc);

    int64_t getSeconds() const { return m_seconds; }
    void setSeconds(int64_t inSeconds) { m_seconds = inSeconds; }
    bool isValid() const { return m_seconds != invalid; }
    bool operator==(const Time& inOther) const { return m_seconds == inOther.m_seconds; }
    bool operator!=(const Time& inOther) const { return m_seconds != inOther.m_seconds; }
    bool operator<(const Time& inOther) const { return m_seconds < inOther.m_seconds; }

    // Seconds for a UTC record (the record is not changed), or invalid before 1970-01-01 00:00:00 UTC
    // or after 3000-12-31 23:59:59 UTC.
    static int64_t fromGMTime(const tm& inRecord);
    // Seconds for a local-time record, which is normalised in place; the same range as fromGMTime.
    static int64_t fromLocalTime(tm& ioRecord);

    // The FILETIME value (seconds + 11644473600) x 10000000; a time before 1601 or past the range of
    // file times throws errOperationFailed.
    _FILETIME toFileTime() const;
    uint64_t toFileTimeValue() const;
    // The UTC system time; a value the platform cannot represent throws errOperationFailed.
    void toSystemTime(_SYSTEMTIME& outSystemTime) const;
    // The broken-down record in UTC or in local time. A value outside 1970 to the year 3000 returns false
    // and leaves every field of the record at -1.
    bool getGMTime(tm& outRecord) const;
    bool getLocalTime(tm& outRecord) const;

    static Time now();
    // This minus the other, in whole seconds.
    int64_t difference(const Time& inOther) const;
    static double difference(const Time& inLater, const Time& inEarlier);
    static int64_t getPerformanceCounter();
    static int64_t getPerformanceFrequency();

    // "2006-03-01 12:00:00" in UTC.
    String getGMTStr() const;
    // The inverse of getGMTStr; text that is not in that form, or fields out of range, throw
    // errInvalidParam. Days past the end of the month roll over; years before 1970 give invalid.
    static Time fromGMTStr(const String& inText);
    // "Sun,  6 Nov 1994 08:49:37 GMT", or with inLocal the local time and its offset ("+0900").
    // A value that has no calendar record throws errOperationFailed.
    void getRFC822timeString(String& outText, bool inLocal) const;
    // The 24-character ctime form of the local time, "Wed Jan 02 02:03:55 1980"; empty when the value has
    // no calendar record.
    String toString() const;
    // The local time through a strftime pattern, taken as ANSI text; the result may hold at most 1023
    // bytes (longer throws errBufferOverflow), and a conversion the platform does not know throws
    // errInvalidParam. Empty when the value has no calendar record.
    String format(const String& inPattern) const;

    // Stores parse of the text; text that is not a date throws errOperationFailed, with invalid stored.
    void parseDateString(const String& inText);
    // RFC 822/1123 dates ("Sun, 06 Nov 1994 08:49:37 GMT", the zone not applied), the getGMTStr form,
    // then what the platform's HTTP date parser reads (RFC 850, asctime), taken only when the text states
    // every field of it. invalid when the text is not recognised; never throws.
    static int64_t parse(const char* inText);
    // 1-12 for "Jan" to "Dec" in any case, -1 otherwise.
    static int monthFromName(const char* inName);

    // Eight bytes; ByteOrder::asStored keeps memory order, any other tag writes them reversed.
    void write(Stream& outStream, int32_t inByteOrder) const;
    void read(Stream& inStream, int32_t inByteOrder);

private:
    int64_t m_seconds;
};

// Two times written and read one after the other, 16 bytes.
struct TimePair {
    Time first;
    Time second;

    void write(Stream& outStream, int32_t inByteOrder) const;
    void read(Stream& inStream, int32_t inByteOrder);
};

} // namespace Morvenix
