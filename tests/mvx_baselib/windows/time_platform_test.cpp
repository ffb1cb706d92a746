// Calendar time against the platform: file and system times, local time in pinned time zones, the ctime
// and strftime forms, the clock, and the platform's HTTP date parser behind Time::parse.
#include "mvx_exception.h"
#include "mvx_string.h"
#include "mvx_time.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

using Morvenix::String;
using Morvenix::Time;

namespace {

const int64_t kLastSecond = 32535215999; // 3000-12-31 23:59:59 UTC
const uint64_t kEpochFileTime = 116444736000000000ull;

template <class F>
void expectThrow(F&& f, int inCode, const char* inText = nullptr)
{
    MvxTest::expectThrow(f, inCode, inText);
}

std::string text(const String& s) { return std::string(s.c_str(), s.getLength()); }

FILETIME fileTime(uint64_t inValue)
{
    FILETIME ft;
    ft.dwLowDateTime = DWORD(inValue);
    ft.dwHighDateTime = DWORD(inValue >> 32);
    return ft;
}

uint64_t valueOf(const FILETIME& inFileTime)
{
    return (uint64_t(inFileTime.dwHighDateTime) << 32) | inFileTime.dwLowDateTime;
}

SYSTEMTIME systemTime(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    SYSTEMTIME st = {};
    st.wYear = WORD(y);
    st.wMonth = WORD(mo);
    st.wDay = WORD(d);
    st.wHour = WORD(h);
    st.wMinute = WORD(mi);
    st.wSecond = WORD(s);
    st.wMilliseconds = WORD(ms);
    return st;
}

// Runs the test in a time zone given in the run-time's TZ form, whatever the machine's zone is, and
// restores the process's setting afterwards.
class PinnedZone : public ::testing::Test {
protected:
    void TearDown() override
    {
        _putenv_s("TZ", m_saved.c_str());
        _tzset();
    }
    void SetUp() override
    {
        const char* saved = std::getenv("TZ");
        m_saved = saved ? saved : "";
    }
    void pin(const char* inZone)
    {
        _putenv_s("TZ", inZone);
        _tzset();
    }

private:
    std::string m_saved;
};

TEST(TimePlatform, FileTimes)
{
    EXPECT_EQ(0, Time(fileTime(kEpochFileTime)).getSeconds());
    EXPECT_EQ(kEpochFileTime, valueOf(Time(0).toFileTime()));
    EXPECT_EQ(kEpochFileTime, Time(0).toFileTimeValue());
    // Parts of a second are dropped.
    EXPECT_EQ(784111777, Time(fileTime(kEpochFileTime + 784111777ull * 10000000 + 9999999)).getSeconds());
    EXPECT_EQ(uint64_t(kEpochFileTime + 784111777ull * 10000000), valueOf(Time(784111777).toFileTime()));
    // Before 1970 the seconds are negative, rounded down; values with the sign bit are no file times.
    EXPECT_EQ(-1, Time(fileTime(kEpochFileTime - 1)).getSeconds());
    EXPECT_EQ(-11644473600LL, Time(fileTime(0)).getSeconds());
    EXPECT_EQ(Time::invalid, Time(fileTime(0x8000000000000000ull)).getSeconds());

    std::mt19937_64 random(1152);
    for (int i = 0; i < 1000; ++i) {
        int64_t seconds = int64_t(random() % uint64_t(kLastSecond + 1));
        ASSERT_EQ(seconds, Time(Time(seconds).toFileTime()).getSeconds());
    }
}

TEST(TimePlatform, SystemTimes)
{
    EXPECT_EQ(784111777, Time(systemTime(1994, 11, 6, 8, 49, 37, 999)).getSeconds());
    EXPECT_EQ(0, Time(systemTime(1970, 1, 1, 0, 0, 0)).getSeconds());
    // The platform refuses these; the result says so.
    for (const SYSTEMTIME& bad : {systemTime(1994, 13, 6, 8, 49, 37), systemTime(1994, 2, 30, 0, 0, 0),
                                  systemTime(1994, 11, 6, 24, 0, 0), systemTime(1500, 1, 1, 0, 0, 0)})
        EXPECT_EQ(Time::invalid, Time(bad).getSeconds())
            << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay << " " << bad.wHour << ":" << bad.wMinute;

    SYSTEMTIME st;
    Time(784111777).toSystemTime(st);
    EXPECT_EQ(1994, st.wYear);
    EXPECT_EQ(11, st.wMonth);
    EXPECT_EQ(6, st.wDay);
    EXPECT_EQ(0, st.wDayOfWeek);
    EXPECT_EQ(8, st.wHour);
    EXPECT_EQ(49, st.wMinute);
    EXPECT_EQ(37, st.wSecond);
    // Seconds before 1601 have no system time.
    expectThrow([&] { Time(-11644473601LL).toSystemTime(st); }, Morvenix::errOperationFailed);
    expectThrow([&] { Time(INT64_MAX / 2).toSystemTime(st); }, Morvenix::errOperationFailed);
    // Nor do they have a file time: the product would wrap into some other date.
    for (int64_t seconds : {int64_t(-11644473601LL), INT64_MAX / 2, INT64_MAX, INT64_MIN})
        expectThrow([&] { Time(seconds).toFileTime(); }, Morvenix::errOperationFailed, "has no file time");
    const int64_t lastFileTimeSecond = int64_t((0x7FFFFFFFFFFFFFFFull - kEpochFileTime) / 10000000);
    EXPECT_EQ(lastFileTimeSecond, Time(Time(lastFileTimeSecond).toFileTime()).getSeconds());
    EXPECT_EQ(-11644473600LL, Time(Time(-11644473600LL).toFileTime()).getSeconds());
}

TEST_F(PinnedZone, LocalTimeEastOfUtc)
{
    pin("JST-9");
    tm record;
    ASSERT_TRUE(Time(0).getLocalTime(record));
    EXPECT_EQ(70, record.tm_year);
    EXPECT_EQ(9, record.tm_hour);
    EXPECT_EQ("Thu Jan 01 09:00:00 1970", text(Time(0).toString()));
    EXPECT_EQ("Sun Nov 06 17:49:37 1994", text(Time(784111777).toString()));
    String rfc;
    Time(784111777).getRFC822timeString(rfc, true);
    EXPECT_EQ("Sun,  6 Nov 1994 17:49:37 +0900", text(rfc));
    EXPECT_EQ(0, Time(1970, 1, 1, 9, 0, 0, false).getSeconds());
    EXPECT_EQ(784111777, Time(1994, 11, 6, 17, 49, 37, false).getSeconds());
    // The UTC forms ignore the zone.
    EXPECT_EQ("1994-11-06 08:49:37", text(Time(784111777).getGMTStr()));
    Time(784111777).getRFC822timeString(rfc, false);
    EXPECT_EQ("Sun,  6 Nov 1994 08:49:37 GMT", text(rfc));
    EXPECT_EQ(784111777, Time(1994, 11, 6, 8, 49, 37, true).getSeconds());
}

// Daylight saving follows the system's zone, which Wine takes from the host's TZ at process start: these
// cases run in their own process under TZ=America/New_York and are skipped elsewhere.
class SystemZoneNewYork : public PinnedZone {
protected:
    void SetUp() override
    {
        PinnedZone::SetUp();
        pin(""); // no TZ: the run-time asks the system
        TIME_ZONE_INFORMATION info;
        GetTimeZoneInformation(&info);
        if (info.Bias != 300 || info.DaylightBias != -60)
            GTEST_SKIP() << "needs the system time zone America/New_York";
    }
};

TEST_F(SystemZoneNewYork, DaylightSaving)
{
    const int64_t winter = 784111777;                                            // 1994-11-06, standard time
    const int64_t summer = Time::fromGMTStr("2006-07-01 12:00:00").getSeconds(); // daylight saving
    String rfc;
    Time(winter).getRFC822timeString(rfc, true);
    EXPECT_EQ("Sun,  6 Nov 1994 03:49:37 -0500", text(rfc));
    Time(summer).getRFC822timeString(rfc, true);
    EXPECT_EQ("Sat,  1 Jul 2006 08:00:00 -0400", text(rfc));
    EXPECT_EQ("Sat Jul 01 08:00:00 2006", text(Time(summer).toString()));
    tm record;
    ASSERT_TRUE(Time(summer).getLocalTime(record));
    EXPECT_GT(record.tm_isdst, 0);
    EXPECT_EQ(summer, Time::fromLocalTime(record));
    // The fields constructor takes local fields as standard time.
    EXPECT_EQ(summer + 3600, Time(2006, 7, 1, 8, 0, 0, false).getSeconds());
    EXPECT_EQ(winter, Time(1994, 11, 6, 3, 49, 37, false).getSeconds());
    // Local time of an instant before 1970 in UTC is out of range.
    EXPECT_EQ(Time::invalid, Time(1969, 12, 31, 18, 0, 0, false).getSeconds());
}

TEST_F(PinnedZone, ZoneOffsetsWithMinutes)
{
    pin("IST-5:30");
    String rfc;
    Time(0).getRFC822timeString(rfc, true);
    EXPECT_EQ("Thu,  1 Jan 1970 05:30:00 +0530", text(rfc));
    pin("NST3:30");
    Time(784111777).getRFC822timeString(rfc, true);
    EXPECT_EQ("Sun,  6 Nov 1994 05:19:37 -0330", text(rfc));
}

TEST_F(PinnedZone, ValuesWithoutCalendarRecord)
{
    pin("UTC0");
    for (int64_t seconds : {int64_t(-1), kLastSecond + 1, INT64_MAX}) {
        EXPECT_EQ("", text(Time(seconds).toString())) << seconds;
        tm record;
        EXPECT_FALSE(Time(seconds).getLocalTime(record));
        EXPECT_EQ(-1, record.tm_mon);
        String rfc;
        expectThrow([&] { Time(seconds).getRFC822timeString(rfc, true); }, Morvenix::errOperationFailed,
                    "errOperationFailed");
        EXPECT_EQ("", text(Time(seconds).format("%Y")));
    }
    tm extreme = {};
    extreme.tm_year = INT32_MAX;
    extreme.tm_mday = INT32_MAX;
    EXPECT_EQ(Time::invalid, Time::fromLocalTime(extreme));
    EXPECT_EQ("Wed Dec 31 23:59:59 3000", text(Time(kLastSecond).toString()));
}

TEST_F(PinnedZone, StrftimePatterns)
{
    pin("JST-9");
    EXPECT_EQ("1994-11-06 17:49:37", text(Time(784111777).format("%Y-%m-%d %H:%M:%S")));
    EXPECT_EQ("Sunday November 310 100%", text(Time(784111777).format("%A %B %j 100%%")));
    EXPECT_EQ("", text(Time(784111777).format("")));
    // 1023 bytes fit; one more does not, and the caller learns it.
    const std::string fits(1023, 'x'), tooLong(1024, 'x');
    EXPECT_EQ(fits, text(Time(0).format(fits.c_str())));
    expectThrow([&] { Time(0).format(tooLong.c_str()); }, Morvenix::errBufferOverflow, "mvx_time");
    // A short pattern whose result is long: 200 weekday names of six letters.
    std::string names;
    for (int i = 0; i < 200; ++i)
        names += "%A";
    expectThrow([&] { Time(784111777).format(names.c_str()); }, Morvenix::errBufferOverflow);
    // Patterns of 16 MB and more: no size computed from their length may wrap into a small buffer that
    // takes the overflow for an empty result.
    const std::string huge(size_t(1) << 24, 'x');
    expectThrow([&] { Time(0).format(huge.c_str()); }, Morvenix::errBufferOverflow);
    // Conversions the run-time does not know would stop the process there; they are refused first.
    for (const char* bad : {"%Q", "%", "abc %", "%#", "%#Q", "%E", "%5d"})
        expectThrow([&] { Time(0).format(bad); }, Morvenix::errInvalidParam, "Unknown conversion");
    EXPECT_EQ("6", text(Time(784111777).format("%#d")));
}

TEST(TimePlatform, ClockAndCounters)
{
    const int64_t before = int64_t(_time64(nullptr));
    const int64_t now = Time::now().getSeconds();
    const int64_t after = int64_t(_time64(nullptr));
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    EXPECT_GT(Time::getPerformanceFrequency(), 0);
    const int64_t first = Time::getPerformanceCounter();
    EXPECT_LE(first, Time::getPerformanceCounter());
}

TEST(TimePlatform, PlatformParserResultsAreCheckedAgainstTheText)
{
    struct Case {
        const char* text;
        int64_t seconds;
    } cases[] = {
        // RFC 850 with a four-digit year: only the platform parser reads it.
        {"Sunday, 06-Nov-1994 08:49:37 GMT", 784111777},
        // Texts the platform parser may answer with some date (Wine answers "yesterday" with now).
        {"yesterday", Time::invalid},
        {"", Time::invalid},
        {"tomorrow at noon", Time::invalid},
        {"Sunday, 06-Nov-0094 08:49:37 GMT", Time::invalid},
        {"Sunday, 31-Feb-1994 08:49:37 GMT", Time::invalid},
        {"Sunday, 06-Nov-1994 25:49:37 GMT", Time::invalid},
        {"Sunday, 06-Nov-1994 08:49:37 GMT and then some", Time::invalid},
        {"Sunday, 06-Nov-1969 08:49:37 GMT", Time::invalid},
        {"Sunday, 06-Nov-3001 08:49:37 GMT", Time::invalid},
        {"Sunday, 06-Nov-1994", Time::invalid},
        {"Sunday, 06-Nov-1994 08:49 GMT", Time::invalid},
        {"Sun Nov 1994", Time::invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.seconds, Time::parse(c.text));
    }
    // Forms this platform parser may not read (Wine misreads both): the answer is the right date or none.
    for (const char* either : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"}) {
        int64_t seconds = Time::parse(either);
        EXPECT_TRUE(seconds == 784111777 || seconds == Time::invalid) << either << ": " << seconds;
    }
}

TEST(TimePlatform, LongAndRandomDateTexts)
{
    const std::string longTexts[] = {
        std::string(100000, 'a'),
        "Sunday, 06-Nov-1994 08:49:37 " + std::string(100000, 'Z'),
        std::string(100000, '9'),
        "Sunday, 06-Nov-" + std::string(50000, '1') + " 08:49:37 GMT",
    };
    for (const std::string& t : longTexts)
        EXPECT_EQ(Time::invalid, Time::parse(t.c_str())) << t.substr(0, 30);

    // Mutations of dates in every form end in a date or in invalid; a date must be in range.
    const std::string seeds[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06 08:49:37",
                                 "Sunday, 06-Nov-1994 08:49:37 GMT"};
    std::mt19937 random(91152);
    const char alphabet[] = "0123456789:-, ADFJMNOSadjmnosuvGT\xff";
    for (int i = 0; i < 3000; ++i) {
        std::string t = seeds[i % 3];
        for (int k = 1 + int(random() % 4); k > 0; --k) {
            size_t at = random() % (t.size() + 1);
            char c = alphabet[random() % (sizeof alphabet - 1)];
            switch (random() % 3) {
            case 0: if (at < t.size()) t[at] = c; break;
            case 1: t.insert(t.begin() + long(at), c); break;
            default: if (at < t.size()) t.erase(at, 1); break;
            }
        }
        int64_t seconds = Time::parse(t.c_str());
        ASSERT_TRUE(seconds == Time::invalid || (seconds >= 0 && seconds <= kLastSecond)) << t;
    }
}

TEST_F(PinnedZone, ParseDateString)
{
    pin("UTC0");
    Time t(5);
    t.parseDateString("Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(784111777, t.getSeconds());
    t.parseDateString("Sunday, 06-Nov-1994 08:49:37 GMT");
    EXPECT_EQ(784111777, t.getSeconds());
    for (const char* bad : {"yesterday", "1969-12-31 23:59:59", "%s%n%d"}) {
        Time u(5);
        expectThrow([&] { u.parseDateString(bad); }, Morvenix::errOperationFailed,
                    (std::string("parseDateString \"") + bad + "\" could not be parsed.\n").c_str());
        EXPECT_EQ(Time::invalid, u.getSeconds());
    }
}

} // namespace
