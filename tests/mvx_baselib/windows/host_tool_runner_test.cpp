// The host-tool runner names the tools the host lacks, and leaves this process's own handles alone. Under
// Wine, starting a host program reports process and thread "handles" that are whatever was on the stack, so
// a runner that waited on and closed them could close a handle of the test process (standard output, once,
// which then went quiet).
#include "test_support.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Leaves the value in the stack area the next calls use, where an unset local will read it.
__attribute__((noinline)) void fillStack(HANDLE inValue)
{
    volatile HANDLE area[8192];
    for (volatile HANDLE& slot : area)
        slot = inValue;
}

bool isOpen(HANDLE inHandle)
{
    DWORD flags = 0;
    return GetHandleInformation(inHandle, &flags) != 0;
}

} // namespace

TEST(HostToolRunnerTest, LeavesTheProcessHandlesOpen)
{
    // Signalled, so that a runner waiting on it would not hang.
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    for (HANDLE handle : {event, output}) {
        fillStack(handle);
        EXPECT_EQ(3, MvxTest::runHostTool("exit 3"));
        EXPECT_TRUE(isOpen(event));
        EXPECT_TRUE(output == nullptr || output == INVALID_HANDLE_VALUE || isOpen(output));
    }
    CloseHandle(event);
}

// Setup installs every tool the tests run: a missing one is named and fails the test that needs it, where a
// skip would pass unseen.
TEST(HostToolRunnerTest, NamesTheMissingToolsAndFails)
{
    EXPECT_EQ("", MvxTest::missingHostTools({"sh", "bzz"}));
    EXPECT_EQ("mvx-no-such-tool-1 mvx-no-such-tool-2",
              MvxTest::missingHostTools({"mvx-no-such-tool-1", "sh", "mvx-no-such-tool-2"}));
    EXPECT_FATAL_FAILURE(MvxTest::requireHostTools({"sh", "mvx-no-such-tool-1"}),
                         "host tools missing: mvx-no-such-tool-1 (");
}
