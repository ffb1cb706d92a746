// Calendar time in UTC: the calendar arithmetic, the numeric and RFC 822 text forms, the first two forms of
// the date parser and the 8-byte stream form.
#include "mvx_byteorder.h"
#include "mvx_exception.h"
#include "mvx_memstorage.h"
#include "mvx_string.h"
#include "mvx_time.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::String;
using Morvenix::Time;
using Morvenix::TimePair;

namespace {

const int64_t kLastSecond = 32535215999; // 3000-12-31 23:59:59 UTC

template <class F>
void expectThrow(F&& f, int inCode, const char* inText = nullptr)
{
    MvxTest::expectThrow(f, inCode, inText, "mvx_time");
}

std::string text(const String& s) { return std::string(s.c_str(), s.getLength()); }

// Days from 1970-01-01 by counting whole years and months, independent of the library's arithmetic.
int64_t countedSeconds(int y, int mo, int d, int h, int mi, int s)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    auto leap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
    int64_t days = 0;
    for (int year = 1970; year < y; ++year)
        days += leap(year) ? 366 : 365;
    for (int month = 1; month < mo; ++month)
        days += kDays[month - 1] + (month == 2 && leap(y));
    days += d - 1;
    return days * 86400 + h * 3600 + mi * 60 + s;
}

TEST(Time, GmtTextRoundTrips)
{
    struct Case {
        const char* text;
        int64_t seconds;
    } cases[] = {
        {"1970-01-01 00:00:00", 0},
        {"2006-03-01 12:00:00", 1141214400},
        {"1994-11-06 08:49:37", 784111777},
        {"2000-02-29 23:59:59", countedSeconds(2000, 2, 29, 23, 59, 59)},
        {"2100-03-01 00:00:00", countedSeconds(2100, 3, 1, 0, 0, 0)},
        {"2038-01-19 03:14:08", 2147483648LL}, // past the 32-bit range
        {"3000-12-31 23:59:59", kLastSecond},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.seconds, Time::fromGMTStr(c.text).getSeconds());
        EXPECT_EQ(c.text, text(Time(c.seconds).getGMTStr()));
    }
}

TEST(Time, GmtTextRollsOverAndEndsAtTheRange)
{
    struct Case {
        const char* text;
        int64_t seconds;
    } cases[] = {
        {"2006-02-31 00:00:00", countedSeconds(2006, 3, 3, 0, 0, 0)},
        {"2008-02-31 00:00:00", countedSeconds(2008, 3, 2, 0, 0, 0)},
        {"2006-04-31 10:00:00", countedSeconds(2006, 5, 1, 10, 0, 0)},
        {"2006-12-31 23:59:60", countedSeconds(2007, 1, 1, 0, 0, 0)},
        {"1969-12-31 23:59:59", Time::invalid},
        {"1900-01-01 00:00:00", Time::invalid},
        {"3001-01-01 00:00:00", Time::invalid},
        {"9999-12-31 23:59:59", Time::invalid},
        {" 2006-03-01 12:00:00 and more", 1141214400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.seconds, Time::fromGMTStr(c.text).getSeconds());
    }
}

TEST(Time, GmtTextRefusesOtherForms)
{
    const std::string longDigits(100000, '7');
    const char* cases[] = {
        "2006-13-01 00:00:00", "2006-03-01", "", "2006-00-01 00:00:00", "2006-03-00 00:00:00",
        "2006-03-32 00:00:00", "2006-03-01 24:00:00", "2006-03-01 00:60:00", "2006-03-01 00:00:61",
        "2006-03-01 -1:00:00", "1899-12-31 23:59:59", "-001-03-01 00:00:00", "2006-3-1 x",
        "12006-03-01 00:00:00", "Sun, 06 Nov 1994 08:49:37 GMT", longDigits.c_str(),
    };
    for (const char* c : cases) {
        SCOPED_TRACE(std::string(c).substr(0, 40));
        expectThrow([&] { Time::fromGMTStr(c); }, Morvenix::errInvalidParam, "Invalid time format!");
    }
}

TEST(Time, CalendarRecordsMatchCountedDays)
{
    std::mt19937_64 random(152);
    for (int i = 0; i < 2000; ++i) {
        int64_t seconds = i < 3 ? int64_t(i) * (kLastSecond / 2) : int64_t(random() % uint64_t(kLastSecond + 1));
        tm record;
        ASSERT_TRUE(Time(seconds).getGMTime(record));
        ASSERT_EQ(seconds, countedSeconds(record.tm_year + 1900, record.tm_mon + 1, record.tm_mday, record.tm_hour,
                                          record.tm_min, record.tm_sec))
            << seconds;
        ASSERT_EQ(seconds, Time::fromGMTime(record));
        ASSERT_EQ((seconds / 86400 + 4) % 7, record.tm_wday); // 1970-01-01 was a Thursday
        ASSERT_EQ(seconds / 86400 - countedSeconds(record.tm_year + 1900, 1, 1, 0, 0, 0) / 86400, record.tm_yday);
        ASSERT_EQ(0, record.tm_isdst);
    }
}

TEST(Time, RecordsOutsideTheRangeAreRefused)
{
    for (int64_t seconds : {int64_t(-1), int64_t(-86400), kLastSecond + 1, INT64_MAX, INT64_MIN}) {
        tm record;
        EXPECT_FALSE(Time(seconds).getGMTime(record)) << seconds;
        EXPECT_EQ(-1, record.tm_mon);
        EXPECT_EQ(-1, record.tm_wday);
    }
}

TEST(Time, GmtRecordsAreNormalised)
{
    tm record;
    std::memset(&record, 0, sizeof record);
    record.tm_year = 105;
    record.tm_mon = 14; // March of the next year
    record.tm_mday = 0; // the last day of February
    record.tm_hour = -1;
    const tm before = record;
    EXPECT_EQ(countedSeconds(2006, 2, 27, 23, 0, 0), Time::fromGMTime(record));
    EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record)); // not changed
    record.tm_mon = -13; // December, two years before
    record.tm_mday = 1;
    record.tm_hour = 0;
    EXPECT_EQ(countedSeconds(2003, 12, 1, 0, 0, 0), Time::fromGMTime(record));
    // Extreme fields give the invalid value, not a wrapped one.
    record.tm_year = INT32_MAX;
    record.tm_mon = INT32_MAX;
    record.tm_mday = INT32_MAX;
    EXPECT_EQ(Time::invalid, Time::fromGMTime(record));
    record.tm_year = INT32_MIN;
    record.tm_mon = INT32_MIN;
    EXPECT_EQ(Time::invalid, Time::fromGMTime(record));
}

TEST(Time, FieldsConstructorInUtc)
{
    EXPECT_EQ(784111777, Time(1994, 11, 6, 8, 49, 37, true).getSeconds());
    EXPECT_EQ(0, Time(1970, 1, 1, 0, 0, 0, true).getSeconds());
    EXPECT_EQ(Time::invalid, Time(1969, 12, 31, 23, 59, 59, true).getSeconds());
    EXPECT_EQ(Time::invalid, Time(INT32_MIN, INT32_MIN, 1, 0, 0, 0, true).getSeconds());
}

TEST(Time, Rfc822InUtc)
{
    struct Case {
        int64_t seconds;
        const char* text;
    } cases[] = {
        {784111777, "Sun,  6 Nov 1994 08:49:37 GMT"},
        {0, "Thu,  1 Jan 1970 00:00:00 GMT"},
        {1141214400, "Wed,  1 Mar 2006 12:00:00 GMT"},
        {countedSeconds(2024, 2, 29, 23, 59, 59), "Thu, 29 Feb 2024 23:59:59 GMT"},
        {kLastSecond, "Wed, 31 Dec 3000 23:59:59 GMT"},
    };
    for (const Case& c : cases) {
        String out;
        Time(c.seconds).getRFC822timeString(out, false);
        EXPECT_EQ(c.text, text(out));
        // The parser reads it back.
        EXPECT_EQ(c.seconds, Time::parse(out.c_str()));
    }
    for (int64_t seconds : {int64_t(-1), kLastSecond + 1}) {
        String out("kept");
        expectThrow([&] { Time(seconds).getRFC822timeString(out, false); }, Morvenix::errOperationFailed,
                    "errOperationFailed");
        EXPECT_EQ("kept", text(out));
    }
}

TEST(Time, ParsesRfc822AndNumericForms)
{
    const std::string longZone = "Sun, 06 Nov 1994 08:49:37 " + std::string(100000, 'X');
    struct Case {
        const char* text;
        int64_t seconds;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"sun, 06 nov 1994 08:49:37", 784111777},
        {"Sun, 06 Nov 1994 08:49:37 +0900", 784111777}, // the zone is not applied
        {"Mon, 06 Nov 1994 08:49:37 GMT", 784111777},   // nor the weekday checked
        {"Sun,  6 Nov 1994 08:49:37 GMT", 784111777},
        {"1994-11-06 08:49:37", 784111777},
        {longZone.c_str(), 784111777}, // a zone word of any length stays inside its field
        {"Sun, 06 Foo 1994 08:49:37 GMT", Time::invalid},
        {"Sun, 32 Nov 1994 08:49:37 GMT", Time::invalid},
        {"Sun, 06 Nov 1994 24:49:37 GMT", Time::invalid},
        {"Sun, 06 Nov 0094 08:49:37 GMT", Time::invalid},
        {"Sun, 06 Nov 1899 08:49:37 GMT", Time::invalid},
        {"Sun, 06 Nov 3001 08:49:37 GMT", Time::invalid},
        {"1994-13-06 08:49:37", Time::invalid},
        {"1969-12-31 23:59:59", Time::invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text).substr(0, 40));
        EXPECT_EQ(c.seconds, Time::parse(c.text));
    }
    EXPECT_EQ(Time::invalid, Time::parse(nullptr));
}

TEST(Time, MonthNames)
{
    const char* names[] = {"Jan", "FEB", "mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "dEC"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(i + 1, Time::monthFromName(names[i]));
    for (const char* other : {"", "Ja", "Janu", "January", "Xyz", " Jan"})
        EXPECT_EQ(-1, Time::monthFromName(other)) << other;
    EXPECT_EQ(-1, Time::monthFromName(nullptr));
}

TEST(Time, Differences)
{
    EXPECT_EQ(-60, Time(0).difference(Time(60)));
    EXPECT_EQ(784111777, Time(784111777).difference(Time(0)));
    EXPECT_DOUBLE_EQ(-60.0, Time::difference(Time(0), Time(60)));
    // Far apart values saturate instead of wrapping.
    EXPECT_EQ(INT64_MAX, Time(INT64_MAX).difference(Time(-1)));
    EXPECT_EQ(INT64_MIN, Time(INT64_MIN).difference(Time(1)));
}

TEST(Time, StreamForm)
{
    struct Case {
        int32_t tag;
        unsigned char bytes[8];
    } cases[] = {
        {Morvenix::ByteOrder::asStored, {1, 0, 0, 0, 0, 0, 0, 0}},
        {1234, {0, 0, 0, 0, 0, 0, 0, 1}},
        {0, {0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        AutoPtr<MemoryStorage> storage = MemoryStorage::create();
        Time(1).write(*storage, c.tag);
        ASSERT_EQ(8u, storage->getSize());
        EXPECT_EQ(0, std::memcmp(c.bytes, storage->getArray().data(), 8));
        storage->setPos(0);
        Time back(77);
        back.read(*storage, c.tag);
        EXPECT_EQ(1, back.getSeconds());
    }
    // A negative value survives both orders.
    for (int32_t tag : {Morvenix::ByteOrder::asStored, 0}) {
        AutoPtr<MemoryStorage> storage = MemoryStorage::create();
        Time(-784111777).write(*storage, tag);
        storage->setPos(0);
        Time back;
        back.read(*storage, tag);
        EXPECT_EQ(-784111777, back.getSeconds());
    }
}

TEST(Time, PairStreamFormAndShortReads)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    TimePair pair{Time(1), Time(2)};
    pair.write(*storage, 0);
    ASSERT_EQ(16u, storage->getSize());
    const unsigned char expected[16] = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(0, std::memcmp(expected, storage->getArray().data(), 16));
    storage->setPos(0);
    TimePair back;
    back.read(*storage, 0);
    EXPECT_EQ(1, back.first.getSeconds());
    EXPECT_EQ(2, back.second.getSeconds());

    // Seven bytes are not a time.
    storage->setPos(7);
    storage->setEof();
    storage->setPos(0);
    Time t(5);
    EXPECT_THROW(t.read(*storage, 0), Morvenix::Exception);
}

} // namespace
