// No C++ exception leaves a COM entry point of the add-in: the barrier turns them into HRESULTs.
#include "com_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ComBarrier, TurnsExceptionsIntoResults)
{
    EXPECT_EQ(S_FALSE, comBarrier([] { return S_FALSE; }));
    EXPECT_EQ(E_OUTOFMEMORY, comBarrier([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, comBarrier([]() -> HRESULT { throw std::runtime_error("CreateDIBSection failed!"); }));
    EXPECT_EQ(E_FAIL, comBarrier([]() -> HRESULT { throw 7; }));
}

} // namespace
