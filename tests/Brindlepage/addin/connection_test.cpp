// The add-in objects through their COM interfaces: pointer checks, references kept and let go, the module's
// lock count, and registration in the system's locale.
#include "addin_support.h"

#include "BrindlepageLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

namespace {

using namespace AddInTest;

class Connection : public ::testing::Test {
protected:
    Apartment apartment;
    AddInCopy copy{{}};
};

TEST_F(Connection, EveryEntryPointRefusesMissingPointers)
{
    IDTExtensibility2* addIn = copy.create<IDTExtensibility2>(CLSID_Connect);
    ICallbackInterface* callback = copy.create<ICallbackInterface>(CLSID_CallbackInterface);
    ASSERT_NE(nullptr, addIn);
    ASSERT_NE(nullptr, callback);
    IRibbonExtensibility* ribbon = nullptr;
    ICallbackInterface* callbacks = nullptr;
    ASSERT_EQ(S_OK, addIn->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon)));
    ASSERT_EQ(S_OK, addIn->QueryInterface(IID_ICallbackInterface, reinterpret_cast<void**>(&callbacks)));
    CustomArray custom;
    Bstr id(L"Microsoft.Word.Document");
    DISPID dispid = 0;
    VARIANT result;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    LPOLESTR name = const_cast<LPOLESTR>(L"OnLoad");
    const std::pair<const char*, std::function<HRESULT()>> cases[] = {
        {"DllGetClassObject", [&] { return copy.classObject(CLSID_Connect, IID_IClassFactory, nullptr); }},
        {"CreateInstance", [&] { return copy.createObject(CLSID_Connect, IID_IUnknown, nullptr); }},
        {"QueryInterface", [&] { return addIn->QueryInterface(IID_IUnknown, nullptr); }},
        {"OnConnection", [&] { return addIn->OnConnection(nullptr, ext_cm_Startup, nullptr, custom.get()); }},
        {"GetCustomUI", [&] { return ribbon->GetCustomUI(id.get(), nullptr); }},
        {"GetImage", [&] { return callbacks->GetImage(nullptr, nullptr); }},
        {"CallbackInterface GetImage", [&] { return callback->GetImage(nullptr, nullptr); }},
        {"GetTypeInfoCount", [&] { return callbacks->GetTypeInfoCount(nullptr); }},
        {"GetTypeInfo", [&] { return callbacks->GetTypeInfo(0, 0, nullptr); }},
        {"GetIDsOfNames names", [&] { return callbacks->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &dispid); }},
        {"GetIDsOfNames ids", [&] { return callbacks->GetIDsOfNames(IID_NULL, &name, 1, 0, nullptr); }},
        {"Invoke", [&] { return callbacks->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr); }},
        {"Extensibility GetTypeInfoCount", [&] { return addIn->GetTypeInfoCount(nullptr); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(E_POINTER, c.second()) << c.first;
    // And a call without arguments where the method wants one is refused, not made.
    EXPECT_NE(S_OK, callbacks->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    callbacks->Release();
    ribbon->Release();
    callback->Release();
    addIn->Release();
}

TEST_F(Connection, TheCallbackClassGivesANullImage)
{
    ICallbackInterface* callback = copy.create<ICallbackInterface>(CLSID_CallbackInterface);
    ASSERT_NE(nullptr, callback);
    IPictureDisp* image = reinterpret_cast<IPictureDisp*>(static_cast<UINT_PTR>(0xBAD0));
    EXPECT_EQ(S_OK, callback->GetImage(nullptr, &image));
    EXPECT_EQ(nullptr, image);
    // Through IDispatch the same call gives an empty object reference.
    VARIANT result;
    FakeOffice::RibbonControl* control = FakeOffice::RibbonControl::create();
    EXPECT_EQ(S_OK, callByName(callback, L"GetImage", {dispatchArg(control)}, &result));
    EXPECT_EQ(VT_DISPATCH, result.vt);
    EXPECT_EQ(nullptr, result.pdispVal);
    EXPECT_EQ(S_OK, callback->OnLoad(nullptr));
    EXPECT_EQ(S_OK, callback->ConvButtonClicked(control));
    control->Release();
    callback->Release();
}

TEST_F(Connection, IDispatchIsTheCallbackInterface)
{
    IUnknown* addIn = copy.create<IUnknown>(CLSID_Connect);
    ASSERT_NE(nullptr, addIn);
    IDispatch* dispatch = nullptr;
    ICallbackInterface* callbacks = nullptr;
    ASSERT_EQ(S_OK, addIn->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    ASSERT_EQ(S_OK, addIn->QueryInterface(IID_ICallbackInterface, reinterpret_cast<void**>(&callbacks)));
    EXPECT_EQ(static_cast<IDispatch*>(callbacks), dispatch);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &info));
    Bstr name;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr));
    EXPECT_EQ(L"ICallbackInterface", name.text());
    info->Release();
    callbacks->Release();
    dispatch->Release();
    EXPECT_EQ(0u, addIn->Release());
}

TEST_F(Connection, ReconnectingTakesTheNewApplication)
{
    IDTExtensibility2* addIn = copy.create<IDTExtensibility2>(CLSID_Connect);
    ASSERT_NE(nullptr, addIn);
    FakeOffice::Application* word = FakeOffice::Application::create(L"Document1 - Microsoft Word");
    FakeOffice::Application* excel = FakeOffice::Application::create(L"Microsoft Excel - Book1");
    CustomArray custom;
    EXPECT_EQ(S_OK, addIn->OnConnection(word, ext_cm_Startup, word, custom.get()));
    EXPECT_EQ(3, word->references()); // as the Application and as the add-in instance
    EXPECT_EQ(S_OK, addIn->OnDisconnection(ext_dm_UserClosed, custom.get()));
    EXPECT_EQ(1, word->references());
    EXPECT_EQ(S_OK, addIn->OnConnection(excel, ext_cm_AfterStartup, nullptr, custom.get()));
    EXPECT_EQ(2, excel->references());
    EXPECT_EQ(0u, addIn->Release()); // a host that never disconnects still gets its Application back
    EXPECT_EQ(1, excel->references());
    excel->Release();
    word->Release();
}

TEST_F(Connection, OnLoadKeepsOnlyTheLatestRibbon)
{
    ICallbackInterface* callbacks = copy.create<ICallbackInterface>(CLSID_Connect);
    ASSERT_NE(nullptr, callbacks);
    FakeOffice::RibbonUI* first = FakeOffice::RibbonUI::create();
    FakeOffice::RibbonUI* second = FakeOffice::RibbonUI::create();
    FakeOffice::Record* notARibbon = FakeOffice::Record::create();
    EXPECT_EQ(S_OK, callbacks->OnLoad(first));
    EXPECT_EQ(S_OK, callbacks->OnLoad(first));
    EXPECT_EQ(2, first->references());
    EXPECT_EQ(S_OK, callbacks->OnLoad(second));
    EXPECT_EQ(1, first->references());
    EXPECT_EQ(2, second->references());
    EXPECT_EQ(S_OK, callbacks->OnLoad(notARibbon)); // no IRibbonUI: nothing kept
    EXPECT_EQ(1, second->references());
    EXPECT_EQ(S_OK, callbacks->OnLoad(nullptr));
    callbacks->Release();
    notARibbon->Release();
    second->Release();
    first->Release();
}

// The disconnection gives the host back its ribbon object as well as its Application, while the host
// still holds the add-in.
TEST_F(Connection, DisconnectingLetsGoOfTheRibbon)
{
    IDTExtensibility2* addIn = copy.create<IDTExtensibility2>(CLSID_Connect);
    ASSERT_NE(nullptr, addIn);
    ICallbackInterface* callbacks = nullptr;
    ASSERT_EQ(S_OK, addIn->QueryInterface(IID_ICallbackInterface, reinterpret_cast<void**>(&callbacks)));
    FakeOffice::Application* word = FakeOffice::Application::create(L"Document1 - Microsoft Word");
    FakeOffice::RibbonUI* ribbon = FakeOffice::RibbonUI::create();
    CustomArray custom;
    EXPECT_EQ(S_OK, addIn->OnConnection(word, ext_cm_Startup, word, custom.get()));
    EXPECT_EQ(S_OK, callbacks->OnLoad(ribbon));
    EXPECT_EQ(2, ribbon->references());
    EXPECT_EQ(S_OK, addIn->OnDisconnection(ext_dm_UserClosed, custom.get()));
    EXPECT_EQ(1, ribbon->references());
    EXPECT_EQ(1, word->references());
    // Connected again, the add-in takes the new ribbon the host hands over.
    EXPECT_EQ(S_OK, addIn->OnConnection(word, ext_cm_AfterStartup, nullptr, custom.get()));
    EXPECT_EQ(S_OK, callbacks->OnLoad(ribbon));
    EXPECT_EQ(2, ribbon->references());
    callbacks->Release();
    EXPECT_EQ(0u, addIn->Release());
    EXPECT_EQ(1, ribbon->references());
    ribbon->Release();
    word->Release();
}

TEST_F(Connection, ObjectsFactoriesAndLocksKeepTheDllLoaded)
{
    EXPECT_EQ(S_OK, copy.canUnloadNow());
    IUnknown* addIn = copy.create<IUnknown>(CLSID_Connect);
    ASSERT_NE(nullptr, addIn);
    EXPECT_EQ(S_FALSE, copy.canUnloadNow());
    addIn->Release();
    EXPECT_EQ(S_OK, copy.canUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, copy.classObject(CLSID_CallbackInterface, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, copy.canUnloadNow());
    ASSERT_EQ(S_OK, copy.classObject(CLSID_CallbackInterface, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    IUnknown* outer = FakeOffice::Record::create();
    IUnknown* object = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(0xBAD0));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IRibbonExtensibility, reinterpret_cast<void**>(&object)));
    factory->Release();
    outer->Release();
    EXPECT_EQ(S_OK, copy.canUnloadNow());
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, copy.classObject(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
}

// Other test programs find the add-in's classes in the registry while this one runs, and registering
// removes each class key before it writes it again: the roots are sent to scratch keys for the call.
class ScratchRegistry {
public:
    ScratchRegistry()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        for (Root& root : roots_) {
            const std::wstring path = std::wstring(kScratch) + L"\\" + root.name;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root.scratch,
                                nullptr) == ERROR_SUCCESS)
                overridden_ += RegOverridePredefKey(root.key, root.scratch) == ERROR_SUCCESS;
        }
    }
    ~ScratchRegistry()
    {
        for (Root& root : roots_) {
            RegOverridePredefKey(root.key, nullptr);
            if (root.scratch)
                RegCloseKey(root.scratch);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    }
    bool complete() const { return overridden_ == std::size(roots_); }

private:
    static constexpr const wchar_t* kScratch = L"Software\\MorvenixTests\\ScratchRegistry";
    struct Root {
        HKEY key;
        const wchar_t* name;
        HKEY scratch;
    };
    Root roots_[3] = {{HKEY_CLASSES_ROOT, L"HKCR", nullptr},
                      {HKEY_LOCAL_MACHINE, L"HKLM", nullptr},
                      {HKEY_CURRENT_USER, L"HKCU", nullptr}};
    size_t overridden_ = 0;
};

TEST(Registration, RunsInTheSystemLocaleAndGivesTheThreadItsOwnBack)
{
    ScratchRegistry scratch;
    ASSERT_TRUE(scratch.complete());
    HMODULE addIn = LoadLibraryW(builtFile(BRINDLEPAGE_DLL).c_str());
    ASSERT_NE(nullptr, addIn);
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(addIn, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    const LCID saved = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(MAKELCID(0x0411, SORT_DEFAULT)));
    EXPECT_EQ(S_OK, registerServer());
    EXPECT_EQ(MAKELCID(0x0411, SORT_DEFAULT), GetThreadLocale());
    SetThreadLocale(saved);
}

} // namespace
