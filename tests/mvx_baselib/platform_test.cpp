#include "mvx_platform.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <regex>
#include <string>

using Morvenix::String;

namespace {

std::string str(const String& s)
{
    return std::string(s.begin(), s.getLength());
}

struct VersionCase {
    const char* date;
    const char* time;
    const char* expected;
};

const VersionCase kVersions[] = {
    {"Mar 25 2010", "13:02:09", "0.20100325.130209"},
    {"Jan  5 2021", "00:00:00", "0.20210105.000000"}, // the compiler pads a one-digit day with a blank
    {"Feb 28 1999", "23:59:59", "0.19990228.235959"},
    {"Apr  1 2030", "01:02:03", "0.20300401.010203"},
    {"May 10 2026", "10:10:10", "0.20260510.101010"},
    {"Jun 11 2026", "11:11:11", "0.20260611.111111"},
    {"Jul 12 2026", "12:12:12", "0.20260712.121212"},
    {"Aug 13 2026", "13:13:13", "0.20260813.131313"},
    {"Sep 14 2026", "14:14:14", "0.20260914.141414"},
    {"Oct 15 2026", "15:15:15", "0.20261015.151515"},
    {"Nov 16 2026", "16:16:16", "0.20261116.161616"},
    {"Dec 31 2026", "23:59:58", "0.20261231.235958"},
    {"Foo 01 2000", "00:00:00", "0.20001301.000000"}, // an unknown month counts as 13
    {"mar 25 2010", "13:02:09", "0.20101325.130209"}, // month names are compared exactly
    {"Mar 25", "13:02", "0.00000325.130200"},         // short texts are read as far as they go
    {"", "", "0.00001300.000000"},
    {nullptr, nullptr, "0.00001300.000000"},
};

TEST(Platform, BuildVersionOfCompilerTexts)
{
    for (const VersionCase& c : kVersions) {
        SCOPED_TRACE(c.date ? c.date : "(null)");
        EXPECT_EQ(c.expected, str(Morvenix::formatBuildVersion(c.date, c.time)));
    }
}

TEST(Platform, BuildVersionOfThisBuild)
{
    std::string version = str(Morvenix::getBuildVersion());
    ASSERT_TRUE(std::regex_match(version, std::regex("0\\.(\\d{4})(0[1-9]|1[0-2])(0[1-9]|[12]\\d|3[01])\\."
                                                     "([01]\\d|2[0-3])[0-5]\\d[0-5]\\d")))
        << version;
#ifdef MVX_TEST_SOURCE_DATE_EPOCH
    // A build for a fixed instant carries that instant, in UTC.
    std::time_t epoch = std::time_t(MVX_TEST_SOURCE_DATE_EPOCH);
    std::tm* t = std::gmtime(&epoch);
    ASSERT_NE(nullptr, t);
    char expected[32];
    std::snprintf(expected, sizeof expected, "0.%04d%02d%02d.%02d%02d%02d", t->tm_year + 1900, t->tm_mon + 1,
                  t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    EXPECT_EQ(std::string(expected), version);
#endif
}

TEST(Platform, PlatformStringCarriesTheBuildVersion)
{
    EXPECT_EQ("Windows; Intel; Build " + str(Morvenix::getBuildVersion()), str(Morvenix::getPlatformString()));
}

TEST(Platform, OwnModuleIsTheProgramTheLibraryIsLinkedInto)
{
    std::string name = str(Morvenix::getOwnModuleName());
    for (char& c : name)
        c = char(std::tolower((unsigned char)c));
    const std::string exe = "\\mvx_baselib_tests.exe";
    ASSERT_GE(name.size(), exe.size());
    EXPECT_EQ(exe, name.substr(name.size() - exe.size())) << name;
}

} // namespace
