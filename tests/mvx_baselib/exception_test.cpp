#include "mvx_exception.h"
#include "mvx_string.h"

#include <gtest/gtest.h>

#define MVX_SOURCE "demo"

using Morvenix::Exception;
using Morvenix::String;

namespace {

TEST(Exception, CharMessageFormsTheFullText)
{
    Exception e(7, "errInvalidParam", "demo", 12, "F");
    EXPECT_STREQ("demo(12) : F: Error 7: errInvalidParam\n", e.what());
    EXPECT_EQ(7, e.getCode());
    EXPECT_EQ(String("demo(12) : F: Error 7: errInvalidParam\n"), e.getMessage());
}

TEST(Exception, StringMessageIsKeptByteForByte)
{
    String message("100% \xC3\xA9t\xC3\xA9 %s %d");
    Exception e(26, message, "mvx_x", 3, "Morvenix::X::y");
    EXPECT_EQ(String("mvx_x(3) : Morvenix::X::y: Error 26: ") + message + String("\n"), e.getMessage());
}

TEST(Exception, ThrowMacroNamesSourceAndFunction)
{
    try {
        MVX_THROW(Morvenix::errNotFound, "errNotFound", "Morvenix::Demo::run");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(12, e.getCode());
        std::string text = e.what();
        EXPECT_EQ(0u, text.find("demo("));
        EXPECT_NE(std::string::npos, text.find(") : Morvenix::Demo::run: Error 12: errNotFound\n"));
    }
}

TEST(Exception, CopiesShareTheTextAndAssignmentReplacesIt)
{
    Exception a(5, "first", "s", 1, "f");
    Exception b(a);
    EXPECT_STREQ(a.what(), b.what());
    EXPECT_EQ(a.getMessage().begin(), b.getMessage().begin());
    Exception c(20, "second", "s", 2, "g");
    c = a;
    EXPECT_EQ(5, c.getCode());
    EXPECT_STREQ("s(1) : f: Error 5: first\n", c.what());
    c = c;
    EXPECT_STREQ("s(1) : f: Error 5: first\n", c.what());
}

TEST(Exception, NullMessageTextPrintsEmpty)
{
    Exception e(7, static_cast<const char*>(nullptr), "s", 1, "f");
    EXPECT_STREQ("s(1) : f: Error 7: \n", e.what());
}

TEST(Exception, ErrnoMapping)
{
    const struct {
        int value, code;
    } cases[] = {{2, 12}, {12, 1}, {13, 2}, {17, 10}, {22, 7}, {0, 26}, {5, 26}, {9999, 26}};
    for (const auto& c : cases) {
        errno = c.value;
        EXPECT_EQ(c.code, Morvenix::mapErrno()) << c.value;
    }
}

TEST(Exception, ErrnoMessageIsTheRuntimeText)
{
    errno = 2;
    String text = Morvenix::formatErrnoMessage();
    EXPECT_EQ(String(strerror(2)), text);
    EXPECT_FALSE(text.isEmpty());
}

} // namespace
