#include "dispatch_driver.h"
#include "fake_office.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class DispatchDriverTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

std::wstring text(const VARIANT* inValue)
{
    return inValue && inValue->vt == VT_BSTR && inValue->bstrVal ? std::wstring(inValue->bstrVal) : L"(not text)";
}

TEST_F(DispatchDriverTest, ReadsAndWritesThePropertiesOfADualInterface)
{
    FakeOffice::Application* app = FakeOffice::Application::create(L"Document1 - Microsoft Word");
    {
        DispatchDriver driver;
        ASSERT_TRUE(driver.Attach(app));
        EXPECT_EQ(2, app->references());
        EXPECT_EQ(VT_BSTR, driver.GetPropertyType(L"Caption"));
        EXPECT_EQ(L"Document1 - Microsoft Word", text(driver.GetProperty(L"Caption")));
        EXPECT_TRUE(driver.SetProperty(L"Caption", {L"Book1 - Microsoft Excel"}));
        EXPECT_EQ(L"Book1 - Microsoft Excel", app->caption());
        EXPECT_EQ(L"Book1 - Microsoft Excel", text(driver.GetProperty(L"Caption")));
    }
    EXPECT_EQ(1, app->references());
    app->Release();
}

} // namespace
