#include "dispatch_driver.h"
#include "fake_office.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using FakeOffice::Application;
using FakeOffice::Describes;
using FakeOffice::Record;

class DispatchDriverTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

// A thread that entered the multi-threaded apartment itself: a driver made and destroyed there leaves it
// initialised, as its owner expects (the driver's own CoInitialize was refused with RPC_E_CHANGED_MODE).
TEST(DispatchDriverApartment, LeavesAThreadOfAnotherApartmentAsItFoundIt)
{
    HRESULT entered = E_UNEXPECTED, again = E_UNEXPECTED;
    std::thread([&] {
        entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            DispatchDriver driver;
        }
        // Still initialised: entering again only counts once more.
        again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(again))
            CoUninitialize();
        if (SUCCEEDED(entered))
            CoUninitialize();
    }).join();
    EXPECT_EQ(S_OK, entered);
    EXPECT_EQ(S_FALSE, again);
}

std::wstring text(const VARIANT* inValue)
{
    return inValue && inValue->vt == VT_BSTR && inValue->bstrVal ? std::wstring(inValue->bstrVal) : L"(not text)";
}

TEST_F(DispatchDriverTest, ReadsAndWritesThePropertiesOfADualInterface)
{
    Application* app = Application::create(L"Document1 - Microsoft Word");
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

TEST_F(DispatchDriverTest, ACoclassIsScannedThroughItsDefaultInterface)
{
    Application* app = Application::create(L"Microsoft PowerPoint", Describes::itsCoclass);
    Application* orphan = Application::create(L"Notepad", Describes::itsTablePart);
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(app));
    EXPECT_EQ(L"Microsoft PowerPoint", text(driver.GetProperty(L"Caption")));
    EXPECT_FALSE(driver.Attach(orphan)); // neither a dispatch interface nor a coclass
    EXPECT_EQ(S_FALSE, driver.getLastResult());
    EXPECT_EQ(0, driver.getMemberCount());
    EXPECT_EQ(nullptr, driver.GetProperty(L"Caption"));
    driver.Reset();
    EXPECT_EQ(1, app->references());
    EXPECT_EQ(1, orphan->references());
    orphan->Release();
    app->Release();
}

TEST_F(DispatchDriverTest, DispatchVariablesHaveAGetterAndASetter)
{
    Record* record = Record::create();
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(record));
    EXPECT_EQ(1, driver.getFuncCount());
    EXPECT_EQ(2, driver.getVarCount());
    ASSERT_EQ(5, driver.getMemberCount());
    const DispatchMember& getter = driver.getMember(1);
    const DispatchMember& setter = driver.getMember(3);
    EXPECT_EQ(std::wstring(L"Title"), getter.name);
    EXPECT_EQ(DISPATCH_PROPERTYGET, getter.invokeKind);
    EXPECT_EQ(VT_BSTR, getter.returnType);
    EXPECT_EQ(std::wstring(L"Title"), setter.name);
    EXPECT_EQ(DISPATCH_PROPERTYPUT, setter.invokeKind);
    EXPECT_EQ(1, setter.paramCount);
    EXPECT_EQ(VT_BSTR, setter.paramTypes[0]);
    EXPECT_EQ(0, setter.paramTypes[1]);
    EXPECT_EQ(VT_EMPTY, setter.returnType);

    EXPECT_TRUE(driver.SetProperty(L"Title", {L"Annual report"}));
    EXPECT_EQ(L"Annual report", record->title());
    const VARIANT* pages = driver.GetProperty(L"Pages");
    ASSERT_NE(nullptr, pages);
    EXPECT_EQ(VT_I4, pages->vt);
    EXPECT_EQ(12, pages->lVal);
    const VARIANT* count = driver.InvokeMethod(L"Count");
    ASSERT_NE(nullptr, count);
    EXPECT_EQ(3, count->lVal);
    driver.Reset();
    record->Release();
}

TEST_F(DispatchDriverTest, MembersAreFoundByExactNameAndKindOnly)
{
    Application* app = Application::create(L"Word");
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(app));
    const struct {
        const wchar_t* name;
        uint16_t kind;
        bool found;
    } cases[] = {
        {L"Caption", DISPATCH_PROPERTYGET, true}, {L"Caption", DISPATCH_PROPERTYPUT, true},
        {L"caption", DISPATCH_PROPERTYGET, false}, {L"Quit", DISPATCH_METHOD, true},
        {L"Quit", DISPATCH_PROPERTYGET, false},   {L"Owner", DISPATCH_PROPERTYPUTREF, true},
        {L"Owner", DISPATCH_PROPERTYPUT, false},  {L"Nothing", DISPATCH_METHOD, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.found, driver.FindMember(c.name, c.kind) >= 0) << c.name << " " << c.kind;
    EXPECT_EQ(nullptr, driver.GetProperty(L"Quit"));
    EXPECT_EQ(nullptr, driver.GetProperty(L"caption"));
    EXPECT_FALSE(driver.SetProperty(L"Quit", {1}));
    EXPECT_EQ(nullptr, driver.InvokeMethod(L"Caption"));
    EXPECT_EQ(9, driver.GetMethodParamCount(L"Describe")); // the result is not a parameter of the call
    EXPECT_EQ(VT_BSTR, driver.GetMethodReturnType(L"Describe"));
    EXPECT_EQ(VT_DATE, driver.GetMethodParamType(L"Describe", 8));
    EXPECT_EQ(0, driver.GetMethodParamType(L"Describe", 9));
    EXPECT_EQ(VT_BOOL | VT_BYREF, driver.GetMethodParamType(L"Negate", 0));
    EXPECT_EQ(VT_ARRAY | VT_I4, driver.GetMethodParamType(L"Sum", 0));
    EXPECT_EQ(VT_EMPTY, driver.GetMethodReturnType(L"Quit"));
    EXPECT_EQ(-1, driver.GetMethodParamCount(L"Nothing"));
    driver.Reset();
    app->Release();
}

TEST_F(DispatchDriverTest, ArgumentsTakeTheDeclaredTypes)
{
    Application* app = Application::create(L"Word");
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(app));
    VARIANT any;
    VariantInit(&any);
    any.vt = VT_I4;
    any.lVal = 42;
    const VARIANT* described = driver.InvokeMethod(L"Describe", {70000, -5, 1.5f, 2.25, L"text", 9, any, 0x1FF, 45000.5});
    // short keeps the low 16 bits, a nonzero flag is true (-1), the byte its low 8 bits.
    EXPECT_EQ(L"4464|-5|1.5|2.25|text|-1|42|255|45000.5", text(described));

    int32_t flag = 5;
    EXPECT_NE(nullptr, driver.InvokeMethod(L"Negate", {&flag}));
    EXPECT_EQ(VARIANT_FALSE, static_cast<VARIANT_BOOL>(flag & 0xFFFF));
    flag = 0;
    EXPECT_NE(nullptr, driver.InvokeMethod(L"Negate", {&flag}));
    EXPECT_EQ(VARIANT_TRUE, static_cast<VARIANT_BOOL>(flag & 0xFFFF));

    SAFEARRAY* values = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = 10 * (i + 1);
        SafeArrayPutElement(values, &i, &v);
    }
    const VARIANT* sum = driver.InvokeMethod(L"Sum", {static_cast<void*>(values)});
    ASSERT_NE(nullptr, sum);
    EXPECT_EQ(60, sum->lVal);
    SafeArrayDestroy(values);

    Record* owner = Record::create();
    EXPECT_TRUE(driver.SetPropertyRef(L"Owner", {static_cast<void*>(static_cast<IDispatch*>(owner))}));
    EXPECT_EQ(owner, app->owner());
    driver.Reset();
    app->Release();
    owner->Release();
}

TEST_F(DispatchDriverTest, AFailedCallKeepsTheExceptionAndAnEmptyResult)
{
    Application* app = Application::create(L"Word");
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(app));
    ASSERT_NE(nullptr, driver.InvokeMethod(L"Describe", {1, 2, 3.0f, 4.0, L"x", 0, VARIANT{}, 0, 0.0}));
    EXPECT_EQ(nullptr, driver.InvokeMethod(L"Fail", {L"The document is locked"}));
    EXPECT_EQ(DISP_E_EXCEPTION, driver.getLastResult());
    ASSERT_NE(nullptr, driver.getExceptionInfo());
    EXPECT_EQ(std::wstring(L"The document is locked"), driver.getExceptionInfo()->bstrDescription);
    const int32_t fail = driver.FindMethod(L"Fail");
    EXPECT_EQ(VT_EMPTY, driver.getMember(fail).result->vt);
    EXPECT_NE(nullptr, driver.InvokeMethod(L"Quit"));
    EXPECT_EQ(nullptr, driver.getExceptionInfo());
    driver.Reset();
    app->Release();
}

TEST_F(DispatchDriverTest, ACopySharesTheObjectAndHasItsOwnResults)
{
    Application* app = Application::create(L"Word");
    DispatchDriver driver;
    ASSERT_TRUE(driver.Attach(app));
    {
        DispatchDriver copy(driver);
        EXPECT_EQ(3, app->references());
        EXPECT_EQ(driver.getMemberCount(), copy.getMemberCount());
        EXPECT_EQ(L"Word", text(copy.GetProperty(L"Caption")));
        EXPECT_EQ(VT_EMPTY, driver.getMember(driver.FindProperty(L"Caption")).result->vt);
        DispatchDriver assigned;
        assigned = copy;
        EXPECT_EQ(4, app->references());
    }
    EXPECT_EQ(2, app->references());
    driver.Reset();
    app->Release();
}

TEST_F(DispatchDriverTest, CurrencyArgumentsKeepTheirValue)
{
    CY money;
    money.int64 = 123456;
    const struct {
        DispatchArg arg;
        LONGLONG expected;
    } cases[] = {{DispatchArg(money), 123456}, {DispatchArg(12.5), 125000}, {DispatchArg(3), 30000}};
    for (const auto& c : cases) {
        VARIANT v;
        VariantInit(&v);
        BSTR copy = nullptr;
        c.arg.toVariant(VT_CY, v, copy);
        EXPECT_EQ(VT_CY, v.vt);
        EXPECT_EQ(c.expected, v.cyVal.int64);
        EXPECT_EQ(nullptr, copy);
    }
}

TEST_F(DispatchDriverTest, CreatesObjectsByProgId)
{
    DispatchDriver driver;
    ASSERT_TRUE(driver.CreateObject(L"Scripting.Dictionary"));
    VARIANT key, item;
    VariantInit(&key);
    VariantInit(&item);
    key.vt = VT_BSTR;
    key.bstrVal = SysAllocString(L"pages");
    item.vt = VT_I4;
    item.lVal = 7;
    EXPECT_NE(nullptr, driver.InvokeMethod(L"Add", {static_cast<void*>(&key), static_cast<void*>(&item)}));
    const VARIANT* count = driver.GetProperty(L"Count");
    ASSERT_NE(nullptr, count);
    EXPECT_EQ(1, count->lVal);
    VariantClear(&key);

    EXPECT_FALSE(driver.CreateObject(L"Brindlepage.NoSuchClass"));
    EXPECT_TRUE(FAILED(driver.getLastResult()));
    EXPECT_EQ(nullptr, driver.getDispatch());
}

TEST_F(DispatchDriverTest, CallsByIdOrNameInArgumentOrderAndEventsNeedConnectionPoints)
{
    Application* app = Application::create(L"Excel");
    VARIANT result;
    EXPECT_EQ(S_FALSE, DispatchDriver::InvokeByName(nullptr, L"Caption", DISPATCH_PROPERTYGET, &result, nullptr, 0, nullptr));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, DispatchDriver::InvokeByName(app, L"Title", DISPATCH_PROPERTYGET, &result, nullptr, 0, nullptr));
    ASSERT_EQ(S_OK, DispatchDriver::InvokeByName(app, L"Caption", DISPATCH_PROPERTYGET, &result, nullptr, 0, nullptr));
    EXPECT_EQ(L"Excel", text(&result));
    VariantClear(&result);
    EXPECT_EQ(S_FALSE, DispatchDriver::InvokeById(nullptr, 6, DISPATCH_METHOD, nullptr, nullptr, 0, nullptr));
    VARIANT newCaption;
    VariantInit(&newCaption);
    newCaption.vt = VT_BSTR;
    newCaption.bstrVal = SysAllocString(L"Word");
    // The arguments in their order: Describe's nine, the first one first.
    VARIANT args[9];
    for (VARIANT& a : args) {
        VariantInit(&a);
        a.vt = VT_I4;
        a.lVal = 1;
    }
    args[4] = newCaption;
    ASSERT_EQ(S_OK, DispatchDriver::InvokeById(app, 2, DISPATCH_METHOD, &result, nullptr, 9, args));
    EXPECT_EQ(L"1|1|1|1|Word|-1|1|1|1", text(&result)); // the flag coerced to VARIANT_BOOL
    VariantClear(&result);
    VariantClear(&newCaption);
    DispatchDriver driver;
    EXPECT_FALSE(driver.Advise(app, IID_IDispatch));
    EXPECT_EQ(S_FALSE, driver.getLastResult());
    ASSERT_TRUE(driver.Attach(app));
    EXPECT_FALSE(driver.Advise(app, IID_IDispatch)); // the application has no connection points
    EXPECT_EQ(E_NOINTERFACE, driver.getLastResult());
    driver.Reset();
    app->Release();
}

} // namespace
