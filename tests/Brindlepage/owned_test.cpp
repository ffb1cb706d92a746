// The one ownership template: what it owns is given back once, by its own call, when the owner goes; the
// empty value is handed to that call too, which leaves it alone.
#include "bp_owned.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> g_released;

void releaseNumber(int& ioNumber)
{
    if (ioNumber)
        g_released.push_back(ioNumber);
}

using OwnedNumber = Owned<int, &releaseNumber>;

TEST(Owned, GivesBackWhatItHoldsOnceWhenItGoes)
{
    g_released.clear();
    {
        const OwnedNumber given(7);
        OwnedNumber filled;
        EXPECT_EQ(0, filled.get());
        *filled.out() = 9;
        const OwnedNumber empty;
        EXPECT_EQ(7, given.get());
        EXPECT_TRUE(g_released.empty());
    }
    // In the reverse order of the owners.
    EXPECT_EQ((std::vector<int>{9, 7}), g_released);
}

} // namespace
