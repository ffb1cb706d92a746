#include "mvx_exception.h"
#include "mvx_format.h"
#include "mvx_string.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <windows.h>

using Morvenix::Exception;
using Morvenix::String;

namespace {

// What the system itself says about an error, looked up in the same three places, or empty.
std::wstring systemText(DWORD error)
{
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0x400, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const wchar_t* modules[] = {L"winhttp.dll", L"credui.dll"};
    for (const wchar_t* name : modules) {
        if (n && buffer)
            break;
        if (buffer)
            LocalFree(buffer);
        buffer = nullptr;
        HMODULE module = LoadLibraryW(name);
        if (!module)
            continue;
        n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                           module, error, 0x400, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
        FreeLibrary(module);
    }
    std::wstring text;
    if (n && buffer)
        text.assign(buffer, n);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == 0x0B ||
                             text.back() == 0x0C || text.back() == 0x85 || text.back() == 0x2028 ||
                             text.back() == 0x2029))
        text.pop_back();
    return text;
}

std::string readText(const std::string& path)
{
    std::vector<unsigned char> bytes = MvxTest::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(WindowsErrors, MapWin32Error)
{
    const struct {
        DWORD error;
        int code;
    } cases[] = {
        {1, 28},  {50, 28}, {2, 12},   {3, 12},   {53, 12},  {5, 3},    {6, 7},      {13, 7},  {15, 7},
        {87, 7},  {123, 7}, {8, 1},    {14, 1},   {25, 18},  {29, 17},  {88, 17},    {30, 16}, {38, 13},
        {110, 15}, {111, 19}, {0, 26}, {4, 26},   {1234, 26}, {183, 26}, {0xFFFFFFFF, 26},
    };
    for (const auto& c : cases) {
        SetLastError(c.error);
        EXPECT_EQ(c.code, Morvenix::mapWin32Error()) << c.error;
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST(WindowsErrors, SystemMessageMatchesTheSystemsOwnText)
{
    // 193 carries an insert (%1) on Windows; it stays as it is.
    const DWORD errors[] = {5, 2, 87, 193, 12002, 12029, 1223, 0x2FFFFFFF};
    for (DWORD error : errors) {
        SetLastError(error);
        String message = Morvenix::formatSystemMessage();
        EXPECT_EQ(error, GetLastError());
        std::wstring text = systemText(error);
        String expected;
        if (text.empty()) {
            expected = String::format("::GetLastError() returns %xh\n", unsigned(error));
        } else {
            wchar_t digits[16];
            wsprintfW(digits, L"%08x", unsigned(error));
            expected = String((L"\"" + text + L"\" (" + digits + L"h)").c_str());
        }
        EXPECT_EQ(std::string(expected.c_str()), std::string(message.c_str())) << error;
    }
}

TEST(WindowsErrors, AccessDeniedHasTheQuotedFormAndNoTrailingBreak)
{
    ASSERT_FALSE(systemText(5).empty()) << "the system has no text for error 5";
    SetLastError(5);
    std::string message = Morvenix::formatSystemMessage().c_str();
    ASSERT_GT(message.size(), 15u);
    EXPECT_EQ('"', message[0]);
    EXPECT_EQ("\" (00000005h)", message.substr(message.size() - 13));
    EXPECT_EQ(std::string::npos, message.find('\n'));
    EXPECT_EQ(std::string::npos, message.find('\r'));
}

TEST(WindowsErrors, NoTextGivesTheFallback)
{
    const DWORD error = 0x2FFFFFFF;
    ASSERT_TRUE(systemText(error).empty());
    SetLastError(error);
    EXPECT_STREQ("::GetLastError() returns 2fffffffh\n", Morvenix::formatSystemMessage().c_str());
    EXPECT_EQ(error, GetLastError());
}

TEST(WindowsErrors, ErrorStateSaverRestoresBoth)
{
    errno = 5;
    SetLastError(77);
    {
        Morvenix::ErrorStateSaver saver;
        errno = 1;
        SetLastError(2);
        saver.restore();
        EXPECT_EQ(5, errno);
        EXPECT_EQ(77u, GetLastError());
        errno = 9;
        SetLastError(3);
    }
    EXPECT_EQ(5, errno);
    EXPECT_EQ(77u, GetLastError());
}

TEST(WindowsErrors, DebugPrintKeepsTheErrorState)
{
    errno = 33;
    SetLastError(1234);
    Morvenix::debugPrint("debug print test line %d\n", 1);
    EXPECT_EQ(33, errno);
    EXPECT_EQ(1234u, GetLastError());
    Morvenix::debugPrintRaw(nullptr);
}

TEST(WindowsErrors, ConstructingAnExceptionKeepsTheErrorState)
{
    errno = 13;
    SetLastError(87);
    Exception e(Morvenix::errInvalidParam, "errInvalidParam", "demo", 1, "f");
    EXPECT_EQ(13, errno);
    EXPECT_EQ(87u, GetLastError());
}

TEST(WindowsErrors, AssertionThatHoldsReturns)
{
    Morvenix::reportAssertion(true, "1 == 1", "file", 1, "f");
}

TEST(WindowsErrors, FailedAssertionEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Morvenix::reportAssertion(false, "x > 0", "demo.cpp", 9, "Demo::run"), "");
}

class TraceFile : public ::testing::Test {
protected:
    void SetUp() override { path = MvxTest::tempFolder() + "\\trace.txt"; }
    void TearDown() override { SetEnvironmentVariableA("_TRVN_DEBUG_FILE", nullptr); }
    std::string path;
};

TEST_F(TraceFile, EachConstructedExceptionAppendsOneLine)
{
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", path.c_str());
    std::string pid = std::to_string(GetCurrentProcessId());
    {
        Exception a(7, "errInvalidParam", "demo", 12, "F");
        Exception copy(a);
        Exception assigned(1, "x", "s", 1, "g");
        assigned = a;
    }
    Exception b(26, String("cafe"), "mvx_x", 3, "G");
    // Text mode writes each newline as CR LF; the exception text ends in one already.
    std::string expected = pid + " demo(12) : F: Error 7: errInvalidParam\r\n\r\n" + pid +
                           " s(1) : g: Error 1: x\r\n\r\n" + pid + " mvx_x(3) : G: Error 26: cafe\r\n\r\n";
    EXPECT_EQ(expected, readText(path));
}

TEST_F(TraceFile, WritesNothingWithoutTheVariable)
{
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", nullptr);
    Exception e(7, "errInvalidParam", "demo", 12, "F");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    Morvenix::writeDebugFile("direct");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

TEST_F(TraceFile, UnusablePathsAreIgnored)
{
    std::string missingFolder = MvxTest::tempFolder() + "\\no\\such\\folder\\trace.txt";
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", missingFolder.c_str());
    Exception a(7, "x", "demo", 1, "F");
    std::string tooLong = MvxTest::tempFolder() + "\\" + std::string(300, 'a') + ".txt";
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", tooLong.c_str());
    Exception b(7, "x", "demo", 1, "F");
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", "");
    Exception c(7, "x", "demo", 1, "F");
    EXPECT_STREQ("demo(1) : F: Error 7: x\n", c.what());
}

TEST_F(TraceFile, DirectWrite)
{
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", path.c_str());
    Morvenix::writeDebugFile("line one\n");
    Morvenix::writeDebugFile("100% %s");
    std::string pid = std::to_string(GetCurrentProcessId());
    EXPECT_EQ(pid + " line one\r\n\r\n" + pid + " 100% %s\r\n", readText(path));
}

} // namespace
