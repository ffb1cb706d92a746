#include "mvx_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

using Morvenix::formatAlloc;
using Morvenix::formatAllocW;

namespace {

std::string fmt(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = Morvenix::vformatAlloc(format, args);
    va_end(args);
    EXPECT_NE(nullptr, text);
    std::string result = text ? text : "";
    std::free(text);
    return result;
}

std::wstring wfmt(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    wchar_t* text = Morvenix::vformatAllocW(format, args);
    va_end(args);
    EXPECT_NE(nullptr, text);
    std::wstring result = text ? text : L"";
    std::free(text);
    return result;
}

// Collects the pieces the engine hands out, and its return value.
struct Collected {
    std::string text;
    int pieces = 0;
    int result = 0;
};

void collect(void* context, const char* text, uint32_t count)
{
    Collected* c = static_cast<Collected*>(context);
    c->text.append(text, count);
    ++c->pieces;
}

Collected runEngine(int flags, const char* format, ...)
{
    Collected c;
    va_list args;
    va_start(args, format);
    c.result = Morvenix::formatEngine(collect, &c, flags, format, args);
    va_end(args);
    return c;
}

TEST(Format, IntegerCasesOfTheEngine)
{
    const struct {
        const char* format;
        int value;
        const char* expected;
    } cases[] = {
        {"%5d", 42, "   42"},        {"%-5d", 42, "42   "},     {"%05d", -42, "-0042"},
        {"%-05d", 42, "00042"},      {"%+d", 5, "+5"},          {"% d", 5, " 5"},
        {"%+u", 5, "5"},             {"% u", 5, "5"},           {"%#x", 255, "0xff"},
        {"%#x", 0, "0"},             {"%#o", 8, "010"},         {"%#08x", 255, "0x000000ff"},
        {"%#X", 255, "0XFF"},        {"%#.3o", 8, "010"},       {"%#o", 0, "0"},
        {"%.0d", 0, "0"},            {"%.0x", 0, "0"},          {"%d", INT32_MIN, "-2147483648"},
        {"%u", -1, "4294967295"},    {"%x", -1, "ffffffff"},    {"%i", -7, "-7"},
        {"%ld", -1, "-1"},           {"%lu", 7, "7"},           {"%+05d", 3, "+0003"},
        {"% 05d", 3, " 0003"},       {"%05.3d", 3, "00003"},    {"%8.3d", -3, "    -003"},
        {"%-8.3d|", 3, "003     |"}, {"%+.0d", 0, "+0"},        {"%o", 8, "10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, fmt(c.format, c.value)) << c.format << " of " << c.value;
}

TEST(Format, SixtyFourBitAndPointerArguments)
{
    EXPECT_EQ("-9223372036854775808", fmt("%lld", std::numeric_limits<long long>::min()));
    EXPECT_EQ("18446744073709551615", fmt("%llu", ~0ull));
    EXPECT_EQ("00000000DEADBEEF", fmt("%016llX", 0xDEADBEEFull));
    EXPECT_EQ("0x123456789a", fmt("%#llx", 0x123456789Aull));
    // A 32-bit argument followed by another one: "l" changes nothing.
    EXPECT_EQ("-1 7", fmt("%ld %d", -1, 7));
    EXPECT_EQ("12345", fmt("%p", reinterpret_cast<void*>(uintptr_t(12345))));
    uintptr_t big = uintptr_t(~uintptr_t(0)) - 1;
    EXPECT_EQ(std::to_string(uint64_t(big)), fmt("%p", reinterpret_cast<void*>(big)));
    EXPECT_EQ("0|5", fmt("%p|%d", static_cast<void*>(nullptr), 5));
}

TEST(Format, FloatingPointCasesOfTheEngine)
{
    const struct {
        const char* format;
        double value;
        const char* expected;
    } cases[] = {
        {"%f", 1.5, "1.500000"},          {"%.0f", 2.5, "3"},
        {"%.0f", 0.5, "1"},               {"%f", 0.0, "0.000000"},
        {"%e", 0.0, "0.000000e+00"},      {"%e", 12345.678, "1.234568e+04"},
        {"%e", 1e100, "1.000000e+100"},   {"%e", 1e-100, "1.000000e-100"},
        {"%g", 0.0001, "0.0001"},         {"%g", 0.00001, "1e-05"},
        {"%g", 100000.0, "100000"},       {"%g", 1000000.0, "1e+06"},
        {"%#g", 1.0, "1.00000"},          {"%g", 0.0, "0"},
        {"%G", 1e-10, "1E-10"},           {"%E", 1.5, "1.500000E+00"},
        {"%f", -0.0, "0.000000"},         {"%+f", 1.0, "+1.000000"},
        {"% f", 1.0, " 1.000000"},        {"%010.2f", -3.14159, "-000003.14"},
        {"%-10.2f|", 3.14159, "3.14      |"}, {"%#.0f", 3.0, "3."},
        {"%#.0e", 3.0, "3.e+00"},         {"%.0e", 7.0, "7e+00"},
        {"%g", 123456789.0, "1.23457e+08"}, {"%.3g", 0.0001234, "0.000123"},
        {"%.1f", 0.96, "1.0"},            {"%.2f", 9.999, "10.00"},
        {"%e", 9.9999999, "1.000000e+01"}, {"%.0g", 7.0, "7"},
        {"%f", 1e-320, "0.000000"},       {"%e", DBL_MAX, "1.797693e+308"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, fmt(c.format, c.value)) << c.format << " of " << c.value;
}

TEST(Format, InfinitiesAndNotANumberPrintAsNaN)
{
    const double values[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    const char* formats[] = {"%f", "%e", "%E", "%g", "%G", "%+.3f", "%.0e"};
    for (double v : values) {
        for (const char* f : formats)
            EXPECT_EQ("NaN", fmt(f, v)) << f << " of " << v;
        EXPECT_EQ("  NaN", fmt("%5f", v));
        EXPECT_EQ("  NaN", fmt("%05f", v));
    }
}

TEST(Format, VeryLargeFixedValuesKeepSixteenDigits)
{
    std::string text = fmt("%.3f", 1e300);
    ASSERT_EQ(301u + 4u, text.size());
    EXPECT_EQ("1000000000000000", text.substr(0, 16));
    EXPECT_EQ(std::string(301 - 16, '0') + ".000", text.substr(16));
    // Exponent and precision too large for the fixed form switch to the exponential one.
    std::string wide = fmt("%.960f", 1e300);
    EXPECT_EQ("1.", wide.substr(0, 2));
    EXPECT_EQ("e+300", wide.substr(wide.size() - 5));
    EXPECT_EQ(2u + 960u + 5u, wide.size());
}

TEST(Format, CharacterStringAndQuotedCases)
{
    EXPECT_EQ("xxx", fmt("%.3c", 'x'));
    EXPECT_EQ("", fmt("%.0c", 'x'));
    EXPECT_EQ("  x", fmt("%3c", 'x'));
    EXPECT_EQ("A", fmt("%c", 0x141)); // the low byte only
    EXPECT_EQ("Mon", fmt("%3s", "Monday"));
    EXPECT_EQ("abcde", fmt("%5.2s", "abcdef"));
    EXPECT_EQ("ab", fmt("%.2s", "abcdef"));
    EXPECT_EQ("[]", fmt("[%s]", static_cast<const char*>(nullptr)));
    EXPECT_EQ("[   ab]", fmt("[%5s]", "ab"));
    EXPECT_EQ("[ab   ]", fmt("[%-5s]", "ab"));
    EXPECT_EQ("it''s", fmt("%q", "it's"));
    EXPECT_EQ("'it''s'", fmt("%Q", "it's"));
    EXPECT_EQ("NULL", fmt("%Q", static_cast<const char*>(nullptr)));
    EXPECT_EQ("(NULL)", fmt("%q", static_cast<const char*>(nullptr)));
    EXPECT_EQ("'it", fmt("%.3Q", "it's"));
    EXPECT_EQ("   'a'", fmt("%6Q", "a"));
    EXPECT_EQ("''''''", fmt("%Q", "''"));
}

TEST(Format, QuotedTextLongerThanTheWorkBuffer)
{
    std::string source(700, '\'');
    source += "end";
    std::string expected = "'" + std::string(1400, '\'') + "end'";
    EXPECT_EQ(expected, fmt("%Q", source.c_str()));
    EXPECT_EQ(expected.substr(0, 960), fmt("%.5000Q", source.c_str()));
}

TEST(Format, PercentUnknownConversionsAndTruncatedFormats)
{
    EXPECT_EQ("%y", fmt("%y"));
    EXPECT_EQ("%hd", fmt("%hd", 5));
    EXPECT_EQ("100%", fmt("100%%"));
    EXPECT_EQ("    %", fmt("%5%"));
    EXPECT_EQ("%z", fmt("%z", "unused"));
    EXPECT_EQ("%", fmt("%-5"));
    EXPECT_EQ("ab%", fmt("ab%5.3"));
    EXPECT_EQ("%", fmt("%l"));

    Collected lone = runEngine(0, "abc%");
    EXPECT_EQ("abc%", lone.text);
    EXPECT_EQ(-1, lone.result);
    EXPECT_EQ("abc%", fmt("abc%"));

    Collected flags = runEngine(0, "abc%-");
    EXPECT_EQ("abc%", flags.text);
    EXPECT_EQ(4, flags.result);
}

TEST(Format, CountStoresCharactersSoFar)
{
    int count = -1, second = -1;
    EXPECT_EQ("hello world", fmt("hello%n world%n", &count, &second));
    EXPECT_EQ(5, count);
    EXPECT_EQ(11, second);
    int padded = -1;
    EXPECT_EQ("   42", fmt("%5d%n", 42, &padded));
    EXPECT_EQ(5, padded);
}

TEST(Format, WidthAndPrecisionLimits)
{
    EXPECT_EQ(std::string(989, ' ') + "1", fmt("%5000d", 1));
    EXPECT_EQ(std::string(959, '0') + "1", fmt("%.5000d", 1));
    std::string longText(2000, 'a');
    EXPECT_EQ(std::string(960, 'a'), fmt("%.5000s", longText.c_str()));
    EXPECT_EQ(std::string(990, 'a'), fmt("%5000s", longText.c_str()));
    EXPECT_EQ(std::string(989, ' ') + "1", fmt("%99999999999999999999d", 1));
    EXPECT_EQ(std::string(960, 'x') + std::string(30, ' '), fmt("%-5000.5000c", 'x'));
    std::string zeros = fmt("%05000.3f", 1.0);
    EXPECT_EQ(990u, zeros.size());
    EXPECT_EQ("1.000", zeros.substr(985));
}

TEST(Format, StarArguments)
{
    EXPECT_EQ("   42", fmt("%*d", 5, 42));
    EXPECT_EQ("42   |", fmt("%*d|", -5, 42));
    EXPECT_EQ("00042", fmt("%.*d", 5, 42));
    EXPECT_EQ("00042", fmt("%.*d", -5, 42));
    EXPECT_EQ("  3.14", fmt("%*.*f", 6, 2, 3.14159));
    EXPECT_EQ("1" + std::string(989, ' '), fmt("%*d", INT32_MIN, 1));
}

TEST(Format, EmptyAndPlainFormats)
{
    EXPECT_EQ("", fmt(""));
    EXPECT_EQ("plain text", fmt("plain text"));
    Collected c = runEngine(0, "");
    EXPECT_EQ(0, c.result);
    EXPECT_EQ(0, c.pieces);
    Collected runs = runEngine(0, "ab%dcd%%ef", 1);
    EXPECT_EQ("ab1cd%ef", runs.text);
    EXPECT_EQ(8, runs.result);
}

TEST(Format, HeapOutputGrowsAcrossManyPieces)
{
    std::string text = fmt("%s%s%s", std::string(150, 'a').c_str(), std::string(150, 'b').c_str(),
                           std::string(5000, 'c').c_str());
    EXPECT_EQ(std::string(150, 'a') + std::string(150, 'b') + std::string(5000, 'c'), text);
    EXPECT_EQ(std::string(199, 'z'), fmt("%s", std::string(199, 'z').c_str()));
    EXPECT_EQ(std::string(200, 'z'), fmt("%s", std::string(200, 'z').c_str()));
}

TEST(Format, ExtendedConversionReleasesItsArgument)
{
    char* owned = static_cast<char*>(std::malloc(6));
    std::memcpy(owned, "owned", 6);
    Collected c = runEngine(Morvenix::formatExtended, "[%z]", owned);
    EXPECT_EQ("[owned]", c.text);
    Collected plain = runEngine(0, "[%z]", "x");
    EXPECT_EQ("[%z]", plain.text);
}

TEST(Format, WideStringArgumentInTheNarrowEngineBecomesUtf8)
{
    EXPECT_EQ("h\xC3\xA9llo \xF0\x9F\x98\x80", fmt("%ls", L"h\u00e9llo \U0001F600"));
    EXPECT_EQ("[]", fmt("[%ls]", static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ("h\xC3\xA9", fmt("%.3ls", L"h\u00e9llo"));
}

TEST(Format, WideEngine)
{
    EXPECT_EQ(L"ab|   42|it''s|'q'", wfmt(L"%s|%5d|%q|%Q", L"ab", 42, L"it's", L"q"));
    EXPECT_EQ(L"\u0141", wfmt(L"%c", 0x10141)); // the low 16 bits
    EXPECT_EQ(L"1.500000e+00|NaN|0xff", wfmt(L"%e|%f|%#x", 1.5, std::numeric_limits<double>::infinity(), 255));
    EXPECT_EQ(L"%y|%", wfmt(L"%y|%"));
    EXPECT_EQ(L"", wfmt(L""));
    std::wstring longText(3000, L'w');
    EXPECT_EQ(longText, wfmt(L"%s", longText.c_str()));
    EXPECT_EQ(L"\u00e9\U0001F600", wfmt(L"%ls", L"\u00e9\U0001F600"));
}

// Where the engine and the C library agree: integer flags without the zero flag beside a precision or
// left-justify, and floating-point values away from exact halves.
TEST(Format, AgreesWithSnprintfForIntegers)
{
    const char* flagSets[] = {"", "-", "+", " ", "#", "+-", "0", "+0", " 0"};
    const char* widths[] = {"", "1", "5", "12"};
    const char* precisions[] = {"", ".1", ".3", ".8"};
    const char convs[] = {'d', 'i', 'u', 'o', 'x', 'X'};
    const long long values[] = {0, 1, -1, 7, 8, 255, -255, 4096, 2147483647, -2147483647 - 1, 123456789};
    for (const char* flags : flagSets) {
        bool zero = std::strchr(flags, '0') != nullptr;
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                if (zero && (*precision || !*width))
                    continue;
                for (char conv : convs) {
                    if (zero && std::strchr(flags, '#') && conv != 'd')
                        continue;
                    for (long long v : values) {
                        if (std::strchr(flags, '#') && conv != 'o' && conv != 'x' && conv != 'X')
                            continue;
                        // The run-time gives unsigned conversions a sign; the engine never does.
                        bool sign = std::strchr(flags, '+') || std::strchr(flags, ' ');
                        if (sign && conv != 'd' && conv != 'i')
                            continue;
                        std::string format = std::string("%") + flags + width + precision + conv;
                        char expected[128];
                        std::snprintf(expected, sizeof(expected), format.c_str(), int(v));
                        EXPECT_EQ(expected, fmt(format.c_str(), int(v))) << format << " of " << v;
                        std::string format64 = std::string("%") + flags + width + precision + "ll" + conv;
                        std::snprintf(expected, sizeof(expected), format64.c_str(), v * 1000003);
                        EXPECT_EQ(expected, fmt(format64.c_str(), v * 1000003)) << format64 << " of " << v;
                    }
                }
            }
        }
    }
}

TEST(Format, AgreesWithSnprintfForFloatingPoint)
{
    const double values[] = {0.0,     1.0,        -1.0,       3.14159265, 123.456789, 0.00123456, 98765.4321,
                             1e10,    1.23e-7,    7.0,        0.3,        42.4242,    -0.0271828, 6.02214e23,
                             1.6e-19, 299792458., 1.7320508, 1e-300,     9.1e200,    1234567.0};
    const char* flagSets[] = {"", "+", " ", "-", "#", "0"};
    const char* widths[] = {"", "14"};
    const char* precisions[] = {"", ".0", ".1", ".3", ".6", ".9"};
    const char convs[] = {'f', 'e', 'E', 'g', 'G'};
    for (double v : values) {
        for (const char* flags : flagSets) {
            for (const char* width : widths) {
                for (const char* precision : precisions) {
                    for (char conv : convs) {
                        // Beyond 16 significant digits the engine writes zeros.
                        if (conv == 'f' && std::fabs(v) > 1e15)
                            continue;
                        std::string format = std::string("%") + flags + width + precision + conv;
                        char expected[2048];
                        std::snprintf(expected, sizeof(expected), format.c_str(), v);
                        EXPECT_EQ(expected, fmt(format.c_str(), v)) << format << " of " << v;
                    }
                }
            }
        }
    }
}

TEST(Format, AppendWithCrLf)
{
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"a\nb", "a\r\nb"},       {"a\rb", "a\r\nb"},         {"a\r\nb", "a\r\nb"},
        {"\r\r\n", "\r\n\r\n"},   {"\n\r", "\r\n\r\n"},       {"", ""},
        {"end\r", "end\r\n"},     {"\n\n", "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        std::string text = "x";
        Morvenix::appendWithCrLf(text, c.input);
        EXPECT_EQ(std::string("x") + c.expected, text) << c.input;
    }
}

TEST(Format, StdStringAndAllocHelpers)
{
    EXPECT_EQ("n=5 s=abc", Morvenix::formatStdString("n=%d s=%s", 5, "abc"));
    char* text = formatAlloc("%s-%u", "x", 9u);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("x-9", text);
    std::free(text);
    wchar_t* wide = formatAllocW(L"%s-%u", L"x", 9u);
    ASSERT_NE(nullptr, wide);
    EXPECT_STREQ(L"x-9", wide);
    std::free(wide);
    Morvenix::debugTrace("ignored %d %s", 1, "x");
}

} // namespace
